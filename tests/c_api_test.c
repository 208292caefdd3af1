/* The header is a C API first: this file is built as strict C99 with every
   warning an error, and checks one real result. */
#include <stdio.h>
#include <string.h>

#include "maskjpeg.h"

int main(void) {
  static const uint8_t stream[] = {0x12, 0x03, 0x11, 0x00, 0x00};
  static const uint8_t pixel[] = {0xFF, 0xFF, 0xFF, 0x80};
  int32_t size = -1;
  uint8_t *out = decode_mask(stream, (int32_t)sizeof stream, 1, 1, &size);
  if (out == NULL || size != 4 || memcmp(out, pixel, 4) != 0) {
    fprintf(stderr, "decode_mask gave a wrong result\n");
    return 1;
  }
  free_mask_buffer(out);
  free_jpeg_buffer(NULL);

  size = -1;
  if (decode_mask(stream, 0, 1, 1, &size) != NULL || size != 0) {
    fprintf(stderr, "decode_mask accepted an empty input\n");
    return 1;
  }
  printf("C API: ok (version %d.%d.%d)\n", MASKJPEG_VERSION_MAJOR, MASKJPEG_VERSION_MINOR,
         MASKJPEG_VERSION_PATCH);
  return 0;
}
