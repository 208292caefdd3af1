// The hot part of the JPEG repair: entropy-coded scan data stored without
// byte stuffing gets a 00 after every FF.
#ifndef MASKJPEG_SRC_JPEG_SCAN_KERNELS_H
#define MASKJPEG_SRC_JPEG_SCAN_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace maskjpeg {

struct StuffProgress {
  size_t consumed;  // input bytes stuffed
  size_t written;   // output bytes written for them
};

struct ScanKernels {
  // Number of FF bytes in in[0, n).
  size_t (*count_ff)(const uint8_t* in, size_t n);
  // Writes in[0, n) to out with a 00 after every FF, as far as it fits in
  // `capacity` bytes: it stops only where the next input byte's output
  // would not fit, and never writes past out + capacity.
  StuffProgress (*stuff)(const uint8_t* in, size_t n, uint8_t* out, size_t capacity);
};

// Plain C++: word-at-a-time counting, memchr + memcpy between FF bytes.
ScanKernels portable_scan_kernels();

struct CpuFeatures;

// Every set of kernels this CPU can run (within the build's kernel cap),
// fastest first and the portable one last: writes up to kMaxScanKernels of
// them to `kernels` and returns how many. Asked per call: no state.
// AVX-512 VBMI, AVX-512BW, AVX2, portable; or NEON, portable.
constexpr size_t kMaxScanKernels = 4;
size_t supported_scan_kernels(ScanKernels kernels[kMaxScanKernels]);
// The same for a CPU with the given features (the tests take some away).
size_t supported_scan_kernels(const CpuFeatures& cpu, ScanKernels kernels[kMaxScanKernels]);

// The fastest of them.
ScanKernels best_scan_kernels();

}  // namespace maskjpeg

#endif  // MASKJPEG_SRC_JPEG_SCAN_KERNELS_H
