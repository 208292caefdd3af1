/* A Windows host as .NET, VB or Delphi would be: it loads maskjpeg.dll with
 * LoadLibrary, finds the four functions by their plain names and calls them
 * through WINAPI pointers, declared here without the library's header. On
 * 32-bit x86 a convention mismatch leaves the stack pointer moved after a
 * call (by the bytes of arguments), so the test reads it around each call.
 * usage: winapi_host PATH_TO_DLL */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

typedef uint8_t *(WINAPI *DecodeMask)(const uint8_t *, int32_t, int32_t, int32_t, int32_t *);
typedef uint8_t *(WINAPI *RepairJpeg)(const uint8_t *, int32_t, int32_t *);
typedef void(WINAPI *Release)(void *);

#if defined(__i386__)
#define STACK_POINTER(sp) __asm__ volatile("movl %%esp, %0" : "=r"(sp))
#else
#define STACK_POINTER(sp) ((sp) = 0)
#endif

static int failures = 0;
#define CHECK(cond)                                          \
  do {                                                       \
    if (!(cond)) {                                           \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                            \
    }                                                        \
  } while (0)

int main(int argc, char **argv) {
  HMODULE dll = LoadLibraryA(argc > 1 ? argv[1] : "maskjpeg.dll");
  if (dll == NULL) {
    fprintf(stderr, "cannot load %s\n", argc > 1 ? argv[1] : "maskjpeg.dll");
    return 1;
  }
  DecodeMask decode_mask = (DecodeMask)(void (*)(void))GetProcAddress(dll, "decode_mask");
  RepairJpeg repair_jpeg = (RepairJpeg)(void (*)(void))GetProcAddress(dll, "repair_jpeg");
  Release free_mask = (Release)(void (*)(void))GetProcAddress(dll, "free_mask_buffer");
  Release free_jpeg = (Release)(void (*)(void))GetProcAddress(dll, "free_jpeg_buffer");
  CHECK(decode_mask != NULL && repair_jpeg != NULL && free_mask != NULL && free_jpeg != NULL);
  if (failures) return 1;

  uintptr_t before, after;
  static const uint8_t mask[] = {0x17, 0xE4, 0x03, 0x1B, 0x02, 0xFF, 0xFE, 0x11, 0x00, 0x00};
  static const uint8_t alphas[15] = {0, 1, 1, 128, 128, 128, 1, 1, 0, 1, 128, 128, 128, 128, 1};
  int32_t size = -1;
  STACK_POINTER(before);
  uint8_t *rgba = decode_mask(mask, (int32_t)sizeof mask, 5, 3, &size);
  STACK_POINTER(after);
  CHECK(before == after);
  CHECK(rgba != NULL && size == 60);
  for (int i = 0; rgba != NULL && i < 15; ++i) {
    CHECK(rgba[4 * i] == 0xFF && rgba[4 * i + 1] == 0xFF && rgba[4 * i + 2] == 0xFF);
    CHECK(rgba[4 * i + 3] == alphas[i]);
  }
  STACK_POINTER(before);
  free_mask(rgba);
  STACK_POINTER(after);
  CHECK(before == after);

  static const uint8_t stored[] = {0xFF, 0xD8, 0xFF, 0xA0, 0xFF, 0xDA, 0x00, 0x09, 0x03, 0x01,
                                   0x00, 0x02, 0x11, 0x03, 0x11, 0x12, 0xFF, 0x34, 0xFF, 0xD9};
  static const uint8_t repaired[] = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01,
                                     0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00,
                                     0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9};
  STACK_POINTER(before);
  uint8_t *jpeg = repair_jpeg(stored, (int32_t)sizeof stored, &size);
  STACK_POINTER(after);
  CHECK(before == after);
  CHECK(jpeg != NULL && size == (int32_t)sizeof repaired &&
        memcmp(jpeg, repaired, sizeof repaired) == 0);
  STACK_POINTER(before);
  free_jpeg(jpeg);
  STACK_POINTER(after);
  CHECK(before == after);

  /* One rejection: null and 0. */
  size = -1;
  CHECK(repair_jpeg((const uint8_t *)"\x00\x01", 2, &size) == NULL && size == 0);
  FreeLibrary(dll);
  if (failures == 0) printf("maskjpeg.dll: four WINAPI functions, results as expected, stack unmoved\n");
  return failures ? 1 : 0;
}
