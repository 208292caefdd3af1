/* The header is a C API first: this file is built as strict C99 with every
   warning an error, and checks one real result of each producing function.
   The installed-package tests build it again as an outside consumer. */
#include <stdio.h>
#include <string.h>

#include "maskjpeg.h"

static int fail(const char *what) {
  fprintf(stderr, "C API: %s\n", what);
  return 1;
}

int main(void) {
  static const uint8_t stream[] = {0x12, 0x03, 0x11, 0x00, 0x00};
  static const uint8_t pixel[] = {0xFF, 0xFF, 0xFF, 0x80};
  static const uint8_t stored[] = {0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x05,
                                   0x01, 0x01, 0x00, 0x12, 0xFF, 0x34, 0xFF, 0xD9};
  static const uint8_t standard[] = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00,
                                     0x00, 0x3F, 0x00, 0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9};
  int32_t size = -1;
  uint8_t *out = decode_mask(stream, (int32_t)sizeof stream, 1, 1, &size);
  if (out == NULL || size != 4 || memcmp(out, pixel, 4) != 0)
    return fail("decode_mask gave a wrong result");
  free_mask_buffer(out);

  size = -1;
  out = repair_jpeg(stored, (int32_t)sizeof stored, &size);
  if (out == NULL || size != (int32_t)sizeof standard ||
      memcmp(out, standard, sizeof standard) != 0)
    return fail("repair_jpeg gave a wrong result");
  free_jpeg_buffer(out);
  free_jpeg_buffer(NULL);

  size = -1;
  if (decode_mask(stream, 0, 1, 1, &size) != NULL || size != 0)
    return fail("decode_mask accepted an empty input");
  size = -1;
  if (repair_jpeg(stream, (int32_t)sizeof stream, &size) != NULL || size != 0)
    return fail("repair_jpeg accepted a non-JPEG");
  printf("C API: ok (version %d.%d.%d)\n", MASKJPEG_VERSION_MAJOR, MASKJPEG_VERSION_MINOR,
         MASKJPEG_VERSION_PATCH);
  return 0;
}
