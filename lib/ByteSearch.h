// Looking at many bytes at a time for the bytes that matter: most values and lines hold none of
// them, and a word-wide test skips them faster than a test of every byte. The word tests say
// only whether a word holds such a byte, never where; callers find the place, when they need
// it, byte by byte within the word. StopBytes finds the place itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#define TESSARIN_SSE2 1
#include <emmintrin.h>
#ifdef _MSC_VER
#include <intrin.h>
#endif
#else
#define TESSARIN_SSE2 0
#endif

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

/// The byte values a search stops at: four marks (repeat one to use fewer), and with
/// `controls` every byte below 32. Sixteen bytes are tested at a time where the processor has
/// SSE2 (every x86-64), eight otherwise.
class StopBytes {
 public:
  explicit StopBytes(const char (&marks)[4], bool controls = true) : controls_(controls) {
    for (int k = 0; k < 4; ++k) marks_[k] = marks[k];
#if TESSARIN_SSE2
    for (int k = 0; k < 4; ++k) wide_[k] = _mm_set1_epi8(marks[k]);
#endif
  }
  bool Stops(char c) const {
    return (controls_ && static_cast<unsigned char>(c) < 32) || c == marks_[0] ||
           c == marks_[1] || c == marks_[2] || c == marks_[3];
  }
  /// The first place in [i, n) of `p` whose byte stops the search; n when there is none.
  size_t Find(const char* p, size_t i, size_t n) const {
#if TESSARIN_SSE2
    const __m128i below = _mm_set1_epi8(31);
    for (; i + 16 <= n; i += 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i low =
          controls_ ? _mm_cmpeq_epi8(_mm_min_epu8(x, below), x) : _mm_setzero_si128();
      const __m128i marks =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, wide_[0]), _mm_cmpeq_epi8(x, wide_[1])),
                       _mm_or_si128(_mm_cmpeq_epi8(x, wide_[2]), _mm_cmpeq_epi8(x, wide_[3])));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(low, marks)));
      if (mask != 0) return i + LowestBit(mask);
    }
#else
    for (; i + 8 <= n; i += 8) {
      const uint64_t word = Load(p + i);
      if (((controls_ ? AnyBelow(word, 32) : 0) | AnyEqual(word, marks_[0]) | AnyEqual(word, marks_[1]) |
           AnyEqual(word, marks_[2]) | AnyEqual(word, marks_[3])) != 0) {
        break;  // the byte is in this word
      }
    }
#endif
    for (; i < n; ++i) {
      if (Stops(p[i])) return i;
    }
    return n;
  }

 private:
#if TESSARIN_SSE2
  static unsigned LowestBit(unsigned mask) {
#ifdef _MSC_VER
    unsigned long at;
    _BitScanForward(&at, mask);
    return static_cast<unsigned>(at);
#else
    return static_cast<unsigned>(__builtin_ctz(mask));
#endif
  }
  __m128i wide_[4];
#endif
  char marks_[4];
  bool controls_;
};

}  // namespace byte_search
