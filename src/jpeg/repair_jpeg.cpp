// repair_jpeg: the exported entry of the JPEG repair (rewrite.cpp).
#include <cstdint>
#include <utility>

#include "../frame.h"
#include "maskjpeg.h"
#include "rewrite.h"
#include "scan_kernels.h"

extern "C" MASKJPEG_API uint8_t* MASKJPEG_CALL repair_jpeg(const uint8_t* data, int32_t data_len,
                                                           int32_t* out_size) {
  using namespace maskjpeg;
  if (!valid_input(data, data_len, out_size)) return fail(out_size);
  size_t size = 0;
  Buffer result = repair(data, static_cast<size_t>(data_len), best_scan_kernels(), size);
  if (!result) return fail(out_size);
  return hand_over(std::move(result), static_cast<int32_t>(size), out_size);
}
