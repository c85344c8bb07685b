#include "CompareString.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "Platform.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Sign(bool less) { return less ? -1 : 1; }

size_t RunEnd(std::string_view text, size_t pos) {
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos;
}

size_t SkipZeros(std::string_view text, size_t pos, size_t end) {
  while (pos < end && text[pos] == '0') ++pos;
  return pos;
}

// Compares the digit runs a[ia, ea) and b[ib, eb) by value, without converting them, so runs
// of any length keep their exact order. Runs that are both zero order by their length.
int CompareRuns(std::string_view a, size_t ia, size_t ea, std::string_view b, size_t ib,
                size_t eb) {
  const size_t sa = SkipZeros(a, ia, ea);
  const size_t sb = SkipZeros(b, ib, eb);
  const size_t digits_a = ea - sa;
  const size_t digits_b = eb - sb;
  if (digits_a != digits_b) return Sign(digits_a < digits_b);
  const int order = std::memcmp(a.data() + sa, b.data() + sb, digits_a);
  if (order != 0) return Sign(order < 0);
  if (digits_a == 0 && ea - ia != eb - ib) return Sign(ea - ia < eb - ib);
  return 0;
}

int CompareBytes(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  for (;;) {
    if (i == a.size()) return j == b.size() ? 0 : -1;
    if (j == b.size()) return 1;
    const bool digit_a = IsDigit(a[i]);
    const bool digit_b = IsDigit(b[j]);
    if (digit_a != digit_b) return Sign(digit_a);
    if (digit_a) {
      const size_t ea = RunEnd(a, i);
      const size_t eb = RunEnd(b, j);
      const int order = CompareRuns(a, i, ea, b, j, eb);
      if (order != 0) return order;
      i = ea;
      j = eb;
      continue;
    }
    const auto byte_a = static_cast<unsigned char>(a[i]);
    const auto byte_b = static_cast<unsigned char>(b[j]);
    if (byte_a != byte_b) return Sign(byte_a < byte_b);
    ++i;
    ++j;
  }
}

}  // namespace

int NaturalCompare(std::string_view a, std::string_view b, bool match_case) {
  if (match_case || a.empty() || b.empty()) return CompareBytes(a, b);
  std::string lower_a(a);
  std::string lower_b(b);
  platform::LowerCaseLocale(&lower_a);
  platform::LowerCaseLocale(&lower_b);
  return CompareBytes(lower_a, lower_b);
}

int NaturalCompareText(std::string_view a, std::string_view b) {
  return NaturalCompare(a, b, false);
}

int NaturalCompareStr(std::string_view a, std::string_view b) { return NaturalCompare(a, b, true); }

namespace {

// A length whose plain byte order is its numeric order: one byte below 0xF0, else 0xF0 + the
// number of bytes that follow (big-endian, as few as the value needs).
void AppendLength(size_t length, std::string* out) {
  if (length < 0xF0) {
    out->push_back(static_cast<char>(length));
    return;
  }
  int bytes = 0;
  for (size_t rest = length; rest > 0; rest >>= 8) ++bytes;
  out->push_back(static_cast<char>(0xF0 + bytes));
  for (int k = bytes - 1; k >= 0; --k) out->push_back(static_cast<char>(length >> (8 * k)));
}

}  // namespace

void AppendNaturalKey(std::string_view text, std::string* out) {
  // A digit run becomes 00 01, the count of its digits after leading zeros, those digits, and
  // for a run of zeros only its length: runs compare by value, zero runs by length, and a run
  // sorts before every other byte. A NUL byte becomes 00 02, above a run and below byte 01.
  for (size_t i = 0; i < text.size();) {
    if (IsDigit(text[i])) {
      const size_t end = RunEnd(text, i);
      const size_t start = SkipZeros(text, i, end);
      out->append("\0\1", 2);
      AppendLength(end - start, out);
      if (start == end) {
        AppendLength(end - i, out);
      } else {
        out->append(text.data() + start, end - start);
      }
      i = end;
    } else if (text[i] == '\0') {
      out->append("\0\2", 2);
      ++i;
    } else {
      // The bytes up to the next digit or NUL stand for themselves.
      size_t end = i + 1;
      while (end < text.size() && !IsDigit(text[end]) && text[end] != '\0') ++end;
      out->append(text.data() + i, end - i);
      i = end;
    }
  }
}

