// The release operation, exported under both of its names.
#include <cstdlib>

#include "maskjpeg.h"

namespace {
// Results come from malloc (see frame.h); free(NULL) does nothing.
void release(void* buffer) noexcept { std::free(buffer); }
}  // namespace

extern "C" {
MASKJPEG_API void MASKJPEG_CALL free_mask_buffer(void* buffer) { release(buffer); }
MASKJPEG_API void MASKJPEG_CALL free_jpeg_buffer(void* buffer) { release(buffer); }
}
