// Whole-file UTF-16 <-> UTF-8 conversion straight between byte buffers.
#include "MyLib.h"

namespace {

inline unsigned UnitAt(const char* bytes, size_t i, bool big_endian) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes) + 2 * i;
  return big_endian ? (b[0] << 8 | b[1]) : (b[1] << 8 | b[0]);
}

inline bool IsHigh(unsigned u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool IsLow(unsigned u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline bool IsContinuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

inline void PutUnit(unsigned u, bool big_endian, std::string* out) {
  const char hi = static_cast<char>(u >> 8);
  const char lo = static_cast<char>(u & 0xFF);
  if (big_endian) {
    out->push_back(hi);
    out->push_back(lo);
  } else {
    out->push_back(lo);
    out->push_back(hi);
  }
}

}  // namespace

void AppendUtf16BytesAsUtf8(const char* bytes, size_t count, bool big_endian,
                            std::string* out) {
  for (size_t i = 0; i < count; ++i) {
    unsigned u = UnitAt(bytes, i, big_endian);
    if (u < 0x80) {
      out->push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out->push_back(static_cast<char>(0xC0 + (u >> 6)));
      out->push_back(static_cast<char>(0x80 + (u & 0x3F)));
    } else if (IsHigh(u) && i + 1 < count && IsLow(UnitAt(bytes, i + 1, big_endian))) {
      unsigned cp = 0x10000 + ((u - 0xD800) << 10) + (UnitAt(bytes, i + 1, big_endian) - 0xDC00);
      ++i;
      out->push_back(static_cast<char>(0xF0 + (cp >> 18)));
      out->push_back(static_cast<char>(0x80 + ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 + ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 + (cp & 0x3F)));
    } else {  // also a lone surrogate, which keeps its 3-byte form
      out->push_back(static_cast<char>(0xE0 + (u >> 12)));
      out->push_back(static_cast<char>(0x80 + ((u >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 + (u & 0x3F)));
    }
  }
}

bool AppendUtf8AsUtf16Bytes(std::string_view utf8, bool big_endian, std::string* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    const unsigned b0 = s[i];
    if (b0 < 0x80) {
      PutUnit(b0, big_endian, out);
      ++i;
      continue;
    }
    if (b0 >= 0xF0 && b0 <= 0xF7 && i + 3 < n && IsContinuation(s[i + 1]) &&
        IsContinuation(s[i + 2]) && IsContinuation(s[i + 3])) {
      unsigned cp = ((b0 & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                    (s[i + 3] & 0x3F);
      if (cp > 0x10FFFF) return false;
      if (cp >= 0x10000) {
        cp -= 0x10000;
        PutUnit(0xD800 + (cp >> 10), big_endian, out);
        PutUnit(0xDC00 + (cp & 0x3FF), big_endian, out);
        i += 4;
        continue;
      }
      // An overlong four-byte form is read like any other lead with bit 0x20 set.
    }
    if ((b0 & 0x20) == 0) {  // 0x80-0x9F and 0xC0-0xDF lead two bytes
      if (i + 1 >= n || !IsContinuation(s[i + 1])) return false;
      PutUnit(((b0 & 0x1F) << 6) + (s[i + 1] & 0x3F), big_endian, out);
      i += 2;
    } else {
      if (i + 2 >= n || !IsContinuation(s[i + 1]) || !IsContinuation(s[i + 2])) return false;
      PutUnit((((b0 & 0x0F) << 12) + ((s[i + 1] & 0x3F) << 6) + (s[i + 2] & 0x3F)) & 0xFFFF,
              big_endian, out);
      i += 3;
    }
  }
  return true;
}
