// The hot part of the JPEG repair: entropy-coded scan data stored without
// byte stuffing gets a 00 after every FF.
#ifndef MASKJPEG_SRC_JPEG_SCAN_KERNELS_H
#define MASKJPEG_SRC_JPEG_SCAN_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace maskjpeg {

struct ScanKernels {
  // Number of FF bytes in in[0, n).
  size_t (*count_ff)(const uint8_t* in, size_t n);
  // Writes in[0, n) to out with a 00 after every FF and returns the end of
  // what it wrote. `out` must have room for n + count_ff(in, n) bytes; no
  // byte past that is touched.
  uint8_t* (*stuff)(const uint8_t* in, size_t n, uint8_t* out);
};

// Plain C++: word-at-a-time counting, memchr + memcpy between FF bytes.
ScanKernels portable_scan_kernels();

// The fastest kernels this CPU supports; asked per call.
ScanKernels best_scan_kernels();

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_JPEG_SCAN_KERNELS_H
