// Natural string comparison: runs of decimal digits compare as numbers, so "a2" < "a10".
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

/// -1, 0 or 1. Digit runs compare by exact value at any length; equal non-zero values ignore
/// leading zeros ("a007b" == "a7b"); runs of zeros order by length; digits sort before every
/// other byte; other bytes compare unsigned. Without `match_case` both texts are lower-cased
/// with the system's locale rules first.
int NaturalCompare(std::string_view a, std::string_view b, bool match_case);
/// NaturalCompare ignoring case.
int NaturalCompareText(std::string_view a, std::string_view b);
/// NaturalCompare with case.
int NaturalCompareStr(std::string_view a, std::string_view b);

/// Appends a form of the text whose plain byte order (CompareKeyBytes) is NaturalCompareStr's
/// order: equal forms for texts it finds equal, and the same sign for every other pair. Made
/// once per text, it turns each comparison of a sort into a memcmp.
void AppendNaturalKey(std::string_view text, std::string* out);

/// Plain byte order of two texts (a proper prefix first): -1, 0 or 1. Inline: a sort calls it
/// for every comparison.
inline int CompareKeyBytes(std::string_view a, std::string_view b) {
  // Eight bytes at a time while they agree; keys share long prefixes ("item" and a run's
  // length), so most comparisons end within a word or two.
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      // The first differing byte decides; byte-swapped, it is the most significant one.
      return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
#else
      break;
#endif
    }
  }
  for (; i < n; ++i) {
    if (a[i] != b[i]) {
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
    }
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
