// Finding many lines of a text in one pass: where each ends, where the next begins, and whether
// it holds a byte that needs a second look. A pass over a stretch of text costs less than a
// search per line, whose start-up cost is larger than a short line itself.
#pragma once

#include <cstddef>
#include <cstring>

#include "ByteSearch.h"

/// One line found by LineIndexer.
struct IndexedLine {
  size_t end;    ///< where the line's break (CR or LF) stands
  size_t next;   ///< where the line after it begins
  bool marked;   ///< one of the marks, or with `controls` a byte below 32, stands in the line
  bool cr_open;  ///< the break is a CR at the text's end: an LF that follows it belongs to it
};

/// Lists lines of a text; lines end at CR, LF or CR LF.
class LineIndexer {
 public:
  /// `marks`: four bytes (repeat one to use fewer) that make a line marked; with `controls`
  /// every byte below 32 (but CR and LF) does too.
  LineIndexer(const char (&marks)[4], bool controls) : stops_(marks, controls) {}

  /// Lists up to `max` lines of text[from, size) into `out`, in order, and returns how many.
  /// A line whose break is not in the text is not listed.
  size_t Index(const char* text, size_t from, size_t size, IndexedLine* out, size_t max) const {
    return IndexBy<TESSARIN_SSE2 != 0>(text, from, size, out, max);
  }

  /// Index() by sixteen bytes at a time (SSE2) or byte by byte; both give the same lines.
  template <bool kWide>
  size_t IndexBy(const char* text, size_t from, size_t size, IndexedLine* out, size_t max) const {
    size_t count = 0;
    if (max == 0) return 0;
    bool marked = false;  // the line begun so far holds a mark
#if TESSARIN_SSE2
    if (kWide) {
      constexpr size_t kWidth = 16;
      const __m128i crs = _mm_set1_epi8('\r');
      const __m128i lfs = _mm_set1_epi8('\n');
      bool cr_before = false;  // the block before ended with a CR
      char tail[kWidth] = {};
      for (size_t i = from; i < size; i += kWidth) {
        const size_t valid = size - i < kWidth ? size - i : kWidth;
        const char* block = text + i;
        if (valid < kWidth) {  // the last bytes, padded (the padding is not looked at)
          std::memcpy(tail, text + i, valid);
          block = tail;
        }
        const unsigned in_text = valid < kWidth ? (1u << valid) - 1 : 0xFFFFu;
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
        const __m128i cr_hits = _mm_cmpeq_epi8(x, crs);
        const __m128i lf_hits = _mm_cmpeq_epi8(x, lfs);
        const __m128i others_hits = stops_.Hits(x);
        // Most blocks of long lines hold nothing: one test passes them.
        if ((Bits(_mm_or_si128(_mm_or_si128(cr_hits, lf_hits), others_hits)) & in_text) == 0) {
          cr_before = false;
          continue;
        }
        const unsigned cr = Bits(cr_hits) & in_text;
        const unsigned lf = Bits(lf_hits) & in_text;
        unsigned others = Bits(others_hits) & in_text & ~(cr | lf);
        // An LF right after a CR ends no line of its own.
        unsigned ends = cr | (lf & ~((cr << 1) | (cr_before ? 1u : 0u)));
        cr_before = (cr >> (kWidth - 1)) != 0;
        for (; ends != 0; ends &= ends - 1) {
          const unsigned bit = byte_search::StopBytes::LowestBit(ends);
          const unsigned below = (1u << bit) - 1;
          const size_t p = i + bit;
          IndexedLine& line = out[count++];
          line.end = p;
          line.marked = marked || (others & below) != 0;
          others &= ~below;
          marked = false;
          const bool is_cr = (cr >> bit) & 1u;
          line.cr_open = is_cr && p + 1 == size;
          line.next = p + 1 + (is_cr && p + 1 < size && text[p + 1] == '\n' ? 1 : 0);
          if (count == max) return count;
        }
        marked = marked || others != 0;
      }
      return count;
    }
#endif
    for (size_t p = from; p < size; ++p) {
      const char c = text[p];
      if (c != '\r' && c != '\n') {
        marked = marked || stops_.Stops(c);
        continue;
      }
      IndexedLine& line = out[count++];
      line.end = p;
      line.marked = marked;
      marked = false;
      line.cr_open = c == '\r' && p + 1 == size;
      line.next = p + 1 + (c == '\r' && p + 1 < size && text[p + 1] == '\n' ? 1 : 0);
      p = line.next - 1;
      if (count == max) return count;
    }
    return count;
  }

 private:
#if TESSARIN_SSE2
  static unsigned Bits(__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }
#endif
  byte_search::StopBytes stops_;
};
