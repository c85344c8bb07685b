// Looking at eight bytes at a time for the bytes that matter, in plain 64-bit arithmetic: most
// values and lines hold none of them, and a word-wide test skips them faster than a test of
// every byte. Each test says only whether a word holds such a byte, never where; callers find
// the place, when they need it, byte by byte within the word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace byte_search {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

/// The eight bytes at p, in whatever order the machine keeps them (the tests do not care).
inline uint64_t Load(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

/// Nonzero exactly when some byte of the word is below n (n at most 128).
inline uint64_t AnyBelow(uint64_t word, unsigned n) { return (word - kOnes * n) & ~word & kHighs; }

/// Nonzero exactly when some byte of the word equals c.
inline uint64_t AnyEqual(uint64_t word, char c) {
  return AnyBelow(word ^ (kOnes * static_cast<unsigned char>(c)), 1);
}

}  // namespace byte_search
