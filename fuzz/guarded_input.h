// An input copied so that its last byte sits right before an inaccessible
// page: a read even one byte past the end faults at once, in a plain build
// as much as under a sanitizer.
#ifndef MASKJPEG_FUZZ_GUARDED_INPUT_H
#define MASKJPEG_FUZZ_GUARDED_INPUT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

class GuardedInput {
 public:
  GuardedInput(const uint8_t* data, size_t size) : size_(size) {
    if (size == 0) return;  // the call gets a null pointer
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t data_pages = (size + page - 1) / page * page;
    length_ = data_pages + page;
    void* map = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) abort();
    base_ = static_cast<uint8_t*>(map);
    if (mprotect(base_ + data_pages, page, PROT_NONE) != 0) abort();
    data_ = base_ + data_pages - size;
    std::memcpy(data_, data, size);
    // Read-only too, so a stray write into the input faults as well.
    if (mprotect(base_, data_pages, PROT_READ) != 0) abort();
  }
  ~GuardedInput() {
    if (base_ != nullptr) munmap(base_, length_);
  }
  GuardedInput(const GuardedInput&) = delete;
  GuardedInput& operator=(const GuardedInput&) = delete;

  const uint8_t* data() const { return data_; }
  int32_t size() const { return static_cast<int32_t>(size_); }

 private:
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
  size_t size_;
};

#endif
