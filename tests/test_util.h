// Small helpers shared by the tests.
#ifndef MASKJPEG_TESTS_TEST_UTIL_H
#define MASKJPEG_TESTS_TEST_UTIL_H

#include <cstdint>
#include <string>
#include <vector>

#include "maskjpeg.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MASKJPEG_TEST_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define MASKJPEG_TEST_UNDER_SANITIZER 1
#endif
#endif
#ifndef MASKJPEG_TEST_UNDER_SANITIZER
#define MASKJPEG_TEST_UNDER_SANITIZER 0
#endif

// The emulator a cross build's tests run under, named by CTest in
// MASKJPEG_TEST_EMULATOR ("qemu" or "wine"); empty when they run natively.
std::string test_emulator();

// Skips the running test under qemu-user, which hangs in pthread_create and
// in a forked child (version 7.2).
#define MASKJPEG_SKIP_UNDER_QEMU(what)                                                    \
  do {                                                                                    \
    if (test_emulator() == "qemu") GTEST_SKIP() << "qemu-user 7.2 hangs in " << (what); \
  } while (0)

// Runs decode_mask and copies the result; empty means the call failed (and
// then it also checks that the size was reported as 0).
std::vector<uint8_t> decode(const std::vector<uint8_t>& stream, int32_t width, int32_t height);

// Bytes from a string of hex pairs: "FF D8 FF D9".
std::vector<uint8_t> hex(const char* text);

// Runs repair_jpeg and copies the result; empty means the call failed (and
// then it also checks that the size was reported as 0).
std::vector<uint8_t> repair(const std::vector<uint8_t>& stored);

#endif  // MASKJPEG_TESTS_TEST_UTIL_H
