// Looking at many bytes at a time for the bytes that matter: most values and lines hold none of
// them, and a word-wide test skips them faster than a test of every byte. The word tests say
// only whether a word holds such a byte, never where; callers find the place, when they need
// it, byte by byte within the word. StopBytes finds the place itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// TESSARIN_SSE2=0 may be defined to build the word-wide searches on any processor.
#ifndef TESSARIN_SSE2
#if defined(__SSE2__) || defined(_M_X64)
#define TESSARIN_SSE2 1
#else
#define TESSARIN_SSE2 0
#endif
#endif
#if TESSARIN_SSE2
#include <emmintrin.h>
#endif
#ifdef _MSC_VER
#include <intrin.h>
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

/// Copies n bytes from src to dst sixteen at a time, without the start-up cost of a general
/// copy: up to 15 bytes past either end may be read from src and written to dst, so both must
/// have that much room after them.
inline void CopyInWords(char* dst, const char* src, size_t n) {
  for (size_t k = 0; k < n; k += 16) std::memcpy(dst + k, src + k, 16);
}

/// One byte value looked for, where a block scan takes a set of them (StopBytes is the other).
class OneByte {
 public:
  explicit OneByte(char c) : c_(c) {
#if TESSARIN_SSE2
    wide_ = _mm_set1_epi8(c);
#endif
  }
  bool Stops(char c) const { return c == c_; }
#if TESSARIN_SSE2
  /// 0xFF in each byte of `x` that is the one looked for, 0 in the others.
  __m128i Hits(__m128i x) const { return _mm_cmpeq_epi8(x, wide_); }
#endif

 private:
#if TESSARIN_SSE2
  __m128i wide_;
#endif
  char c_;
};

/// What the listing of lines looks for in a block of 64 bytes: bit k of each mask stands for
/// byte k of the block.
struct LineBlock {
  uint64_t ends;   ///< CR or LF
  uint64_t crs;    ///< CR
  uint64_t marks;  ///< a byte the caller's test stops at (never a line end)
  uint64_t nuls;   ///< NUL
};

/// The masks of the 64 bytes at `p`; `test` is a OneByte or a StopBytes. One pass finds all
/// three, so that a line's end, whether it holds a mark and whether it holds a NUL byte come
/// from one look at each byte, not from a search for each.
template <typename Test>
inline LineBlock ScanLineBlock(const char* p, const Test& test) {
#if TESSARIN_SSE2
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i zero = _mm_setzero_si128();
  __m128i x[4];
  uint64_t ends = 0, crs = 0, marks = 0;
  __m128i nul = zero;  // most texts hold none: the places are only found when one is seen
  for (int j = 0; j < 4; ++j) {
    x[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * j));
    const __m128i is_cr = _mm_cmpeq_epi8(x[j], cr);
    const __m128i end = _mm_or_si128(_mm_cmpeq_epi8(x[j], lf), is_cr);
    ends |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(end))} << (16 * j);
    crs |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(is_cr))} << (16 * j);
    marks |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(test.Hits(x[j])))} << (16 * j);
    nul = _mm_or_si128(nul, _mm_cmpeq_epi8(x[j], zero));
  }
  if (_mm_movemask_epi8(nul) == 0) return {ends, crs, marks & ~ends, 0};
  uint64_t nuls = 0;
  for (int j = 0; j < 4; ++j) {
    nuls |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x[j], zero)))}
            << (16 * j);
  }
  return {ends, crs, marks & ~ends, nuls};
#else
  LineBlock block{0, 0, 0, 0};
  for (int k = 0; k < 64; ++k) {
    const uint64_t bit = uint64_t{1} << k;
    if (p[k] == '\n' || p[k] == '\r') {
      block.ends |= bit;
      if (p[k] == '\r') block.crs |= bit;
    } else if (test.Stops(p[k])) {
      block.marks |= bit;
    }
    if (p[k] == '\0') block.nuls |= bit;
  }
  return block;
#endif
}

/// The place of the lowest bit set in a nonzero 64-bit mask.
inline unsigned LowestBit64(uint64_t mask) {
#ifdef _MSC_VER
  unsigned long at;
  _BitScanForward64(&at, mask);
  return static_cast<unsigned>(at);
#else
  return static_cast<unsigned>(__builtin_ctzll(mask));
#endif
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
#if TESSARIN_SSE2
  static constexpr size_t kWidth = 16;
#else
  static constexpr size_t kWidth = 8;
#endif
#if TESSARIN_SSE2
  /// 0xFF in each byte of `x` that stops the search, 0 in the others.
  __m128i Hits(__m128i x) const {
    const __m128i low =
        controls_ ? _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(31)), x) : _mm_setzero_si128();
    const __m128i marks =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, wide_[0]), _mm_cmpeq_epi8(x, wide_[1])),
                     _mm_or_si128(_mm_cmpeq_epi8(x, wide_[2]), _mm_cmpeq_epi8(x, wide_[3])));
    return _mm_or_si128(low, marks);
  }
#endif
  /// Bit k set when byte k of the kWidth bytes at `p` stops the search.
  unsigned Mask(const char* p) const {
#if TESSARIN_SSE2
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(Hits(x)));
#else
    const uint64_t word = Load(p);
    if (((controls_ ? AnyBelow(word, 32) : 0) | AnyEqual(word, marks_[0]) |
         AnyEqual(word, marks_[1]) | AnyEqual(word, marks_[2]) | AnyEqual(word, marks_[3])) == 0) {
      return 0;
    }
    unsigned mask = 0;
    for (size_t k = 0; k < kWidth; ++k) mask |= static_cast<unsigned>(Stops(p[k])) << k;
    return mask;
#endif
  }
  /// The place of the lowest bit set in a nonzero mask.
  static unsigned LowestBit(unsigned mask) { return LowestBit64(mask); }
  /// Calls `on_stop(at)` for each place in [0, n) of `p` whose byte stops the search, in
  /// order, each block of bytes tested once, while it returns true. False when it returned
  /// false.
  template <typename OnStop>
  bool EachStop(const char* p, size_t n, OnStop on_stop) const {
    for (size_t i = 0; i < n; i += kWidth) {
      unsigned mask = i + kWidth <= n ? Mask(p + i) : TailMask(p, i, n);
      for (; mask != 0; mask &= mask - 1) {
        if (!on_stop(i + LowestBit(mask))) return false;
      }
    }
    return true;
  }
  /// The first place in [i, n) of `p` whose byte stops the search; n when there is none.
  size_t Find(const char* p, size_t i, size_t n) const {
    for (; i + kWidth <= n; i += kWidth) {
      if (const unsigned mask = Mask(p + i)) return i + LowestBit(mask);
    }
    if (i < n) {
      if (const unsigned mask = TailMask(p, i, n)) return i + LowestBit(mask);
    }
    return n;
  }
  /// Mask() of the last bytes, [i, n) of `p`, fewer than kWidth: bit k for byte i + k.
  unsigned TailMask(const char* p, size_t i, size_t n) const {
    // Where the text holds a whole block, the block that ends with it is tested: copying the
    // last bytes into a padded block first would make the test wait for the copy to be stored.
    if (n >= kWidth) return Mask(p + n - kWidth) >> (kWidth - (n - i));
    char tail[kWidth] = {};  // the padding is not looked at
    std::memcpy(tail, p + i, n - i);
    return Mask(tail) & ((1u << (n - i)) - 1);
  }

 private:
#if TESSARIN_SSE2
  __m128i wide_[4];
#endif
  char marks_[4];
  bool controls_;
};

}  // namespace byte_search
