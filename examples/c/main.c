/* maskjpeg from C: decode a mask, repair a stored JPEG, show a rejection.
 * Every result goes back through the library's release function. */
#include <maskjpeg.h>
#include <stdio.h>

static const uint8_t mask_5x3[] = {0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00};
static const uint8_t stored_jpeg[] = {0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x09, 0x03, 0x01,
                                      0x00, 0x02, 0x11, 0x03, 0x11, 0x12, 0xFF, 0x34, 0xFF, 0xD9};
static const uint8_t not_a_jpeg[] = {0x00, 0x01, 0x02};

int main(void) {
  int32_t size = 0;
  uint8_t *rgba = decode_mask(mask_5x3, (int32_t)sizeof mask_5x3, 5, 3, &size);
  if (rgba == NULL) {
    fprintf(stderr, "decode_mask failed\n");
    return 1;
  }
  printf("decode_mask 5x3: %d bytes, alpha", (int)size);
  for (int32_t i = 3; i < size; i += 4) printf(" %d", rgba[i]);
  printf("\n");
  free_mask_buffer(rgba);

  uint8_t *jpeg = repair_jpeg(stored_jpeg, (int32_t)sizeof stored_jpeg, &size);
  if (jpeg == NULL) {
    fprintf(stderr, "repair_jpeg failed\n");
    return 1;
  }
  printf("repair_jpeg: %d bytes in, %d bytes out:", (int)sizeof stored_jpeg, (int)size);
  for (int32_t i = 0; i < size; i++) printf(" %02X", jpeg[i]);
  printf("\n");
  free_jpeg_buffer(jpeg);

  /* Failure is a NULL result with 0 in the size; there is nothing to free. */
  uint8_t *none = repair_jpeg(not_a_jpeg, (int32_t)sizeof not_a_jpeg, &size);
  if (none == NULL)
    printf("rejected: %d bytes that are not a JPEG give no result, size %d\n",
           (int)sizeof not_a_jpeg, (int)size);
  free_jpeg_buffer(none); /* NULL is accepted */
  return none == NULL ? 0 : 1;
}
