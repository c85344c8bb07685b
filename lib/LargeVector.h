// Vectors for the large arrays of a run (keys, record places, sort entries): their storage
// comes from platform::AllocateLarge once it is a few megabytes, so that filling them costs a
// fraction of the page faults; smaller ones come from the usual allocator.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Platform.h"

template <typename T>
class LargeAllocator {
 public:
  using value_type = T;
  LargeAllocator() = default;
  template <typename U>
  LargeAllocator(const LargeAllocator<U>&) {}  // NOLINT: converting, as allocators are

  T* allocate(size_t n) {
    if (n * sizeof(T) >= kLargeFrom) return static_cast<T*>(platform::AllocateLarge(n * sizeof(T)));
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* memory, size_t n) noexcept {
    if (n * sizeof(T) >= kLargeFrom) {
      platform::FreeLarge(memory, n * sizeof(T));
    } else {
      std::allocator<T>().deallocate(memory, n);
    }
  }
  template <typename U>
  bool operator==(const LargeAllocator<U>&) const { return true; }
  template <typename U>
  bool operator!=(const LargeAllocator<U>&) const { return false; }

 private:
  static constexpr size_t kLargeFrom = size_t{4} << 20;
};

template <typename T>
using LargeVector = std::vector<T, LargeAllocator<T>>;
