// Vectors and strings for the large arrays and buffers of a run (keys, record places, pieces of
// text read or written): their storage comes from platform::AllocateLarge once it is half a
// large page or more, so that filling them costs a fraction of the page faults; smaller ones
// come from the usual allocator.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {
// From Platform.h, which takes its buffer type from here.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* memory, size_t bytes) noexcept;
}  // namespace platform

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
  static constexpr size_t kLargeFrom = size_t{1} << 20;
};

/// Room for `bytes` in a LargeVector or LargeString: from a quarter of a large page on, rounded
/// up to whole large pages (a few faults, instead of one per ordinary page).
constexpr size_t LargeRoom(size_t bytes) {
  constexpr size_t kLargePage = size_t{2} << 20;
  return bytes < kLargePage / 4 ? bytes : (bytes + kLargePage - 1) & ~(kLargePage - 1);
}

template <typename T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

using LargeString = std::basic_string<char, std::char_traits<char>, LargeAllocator<char>>;
