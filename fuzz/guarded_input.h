// An input copied so that its last byte sits right before an inaccessible
// page: a read even one byte past the end faults at once, in a plain build
// as much as under a sanitizer. (On Windows, through VirtualAlloc and
// VirtualProtect, so the replays under wine are guarded too.)
#ifndef MASKJPEG_FUZZ_GUARDED_INPUT_H
#define MASKJPEG_FUZZ_GUARDED_INPUT_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <cstring>

class GuardedInput {
 public:
  GuardedInput(const uint8_t* data, size_t size) : size_(size) {
    if (size == 0) return;  // the call gets a null pointer
    const size_t page = page_size();
    const size_t data_pages = (size + page - 1) / page * page;
    length_ = data_pages + page;
    base_ = static_cast<uint8_t*>(map(length_));
    if (base_ == nullptr || !protect(base_ + data_pages, page, kNone)) abort();
    data_ = base_ + data_pages - size;
    std::memcpy(data_, data, size);
    // Read-only too, so a stray write into the input faults as well.
    if (!protect(base_, data_pages, kReadOnly)) abort();
  }
  ~GuardedInput() {
    if (base_ != nullptr) unmap(base_, length_);
  }
  GuardedInput(const GuardedInput&) = delete;
  GuardedInput& operator=(const GuardedInput&) = delete;

  const uint8_t* data() const { return data_; }
  int32_t size() const { return static_cast<int32_t>(size_); }

 private:
  enum Access { kNone, kReadOnly };
#if defined(_WIN32)
  static size_t page_size() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
  }
  static void* map(size_t length) {
    return VirtualAlloc(nullptr, length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  static bool protect(void* p, size_t length, Access access) {
    DWORD old;
    return VirtualProtect(p, length, access == kNone ? PAGE_NOACCESS : PAGE_READONLY, &old) != 0;
  }
  static void unmap(void* p, size_t) { VirtualFree(p, 0, MEM_RELEASE); }
#else
  static size_t page_size() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
  static void* map(size_t length) {
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
  }
  static bool protect(void* p, size_t length, Access access) {
    return mprotect(p, length, access == kNone ? PROT_NONE : PROT_READ) == 0;
  }
  static void unmap(void* p, size_t length) { munmap(p, length); }
#endif

  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
  size_t size_;
};

#endif
