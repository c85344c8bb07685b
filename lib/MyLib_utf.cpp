// UTF-16 <-> UTF-8 for tables stored as UTF-16. The decoder is deliberately lenient (overlong
// forms and encoded surrogates pass, 0x80-0xBF act as lead bytes) so that every text the
// encoder writes, lone surrogates included, decodes back to the same code units.
#include "MyLib.h"

const std::string_view kMarkUtf16Le = "\xFF\xFE";
const std::string_view kMarkUtf16Be = "\xFE\xFF";
const std::string_view kMarkUtf8 = "\xEF\xBB\xBF";

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;

char16_t Swapped(char16_t unit) { return static_cast<char16_t>((unit >> 8) | (unit << 8)); }

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

void AppendByte(std::string* out, uint32_t value) { out->push_back(static_cast<char>(value)); }

// Encodes `count` code units, read through `unit_at(i)`, as UTF-8. A surrogate pair becomes one
// four-byte sequence; lone surrogates keep the three-byte form, so the text comes back unit for
// unit.
template <typename UnitAt>
void Encode(size_t count, const UnitAt& unit_at, std::string* out) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t unit = unit_at(i);
    if (unit < 0x80) {
      AppendByte(out, unit);
    } else if (unit < 0x800) {
      AppendByte(out, 0xC0 | unit >> 6);
      AppendByte(out, 0x80 | (unit & 0x3F));
    } else if (IsHighSurrogate(static_cast<char16_t>(unit)) && i + 1 < count &&
               IsLowSurrogate(static_cast<char16_t>(unit_at(i + 1)))) {
      const uint32_t code = 0x10000 + ((unit - 0xD800) << 10) + (unit_at(i + 1) - 0xDC00);
      AppendByte(out, 0xF0 | code >> 18);
      AppendByte(out, 0x80 | (code >> 12 & 0x3F));
      AppendByte(out, 0x80 | (code >> 6 & 0x3F));
      AppendByte(out, 0x80 | (code & 0x3F));
      ++i;
    } else {
      AppendByte(out, 0xE0 | unit >> 12);
      AppendByte(out, 0x80 | (unit >> 6 & 0x3F));
      AppendByte(out, 0x80 | (unit & 0x3F));
    }
  }
}

// Decodes `bytes`, handing every code unit to `put`. False at the first byte that breaks the
// rules.
template <typename Put>
bool Decode(std::string_view bytes, const Put& put) {
  const auto at = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const size_t size = bytes.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      put(lead);
      ++i;
      continue;
    }
    if (lead >= 0xF0 && lead <= 0xF7 && i + 3 < size && IsContinuation(at(i + 1)) &&
        IsContinuation(at(i + 2)) && IsContinuation(at(i + 3))) {
      const uint32_t code = (uint32_t{lead} & 0x07) << 18 | (uint32_t{at(i + 1)} & 0x3F) << 12 |
                            (uint32_t{at(i + 2)} & 0x3F) << 6 | (uint32_t{at(i + 3)} & 0x3F);
      if (code > 0x10FFFF) return false;
      if (code >= 0x10000) {
        put(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
        put(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        i += 4;
        continue;
      }
      // An overlong four-byte form is no code point above U+FFFF: its lead reads as a
      // three-byte lead like any other byte with bit 0x20 set.
    }
    if ((lead & 0x20) == 0) {
      if (i + 1 >= size || !IsContinuation(at(i + 1))) return false;
      put(static_cast<char16_t>((lead & 0x1F) << 6 | (at(i + 1) & 0x3F)));
      i += 2;
    } else {
      if (i + 2 >= size || !IsContinuation(at(i + 1)) || !IsContinuation(at(i + 2))) {
        return false;
      }
      put(static_cast<char16_t>((lead & 0x0F) << 12 | (at(i + 1) & 0x3F) << 6 |
                                (at(i + 2) & 0x3F)));
      i += 3;
    }
  }
  return true;
}

}  // namespace

std::u16string SwapUtf16Bytes(std::u16string_view units) {
  std::u16string swapped(units);
  for (char16_t& unit : swapped) unit = Swapped(unit);
  return swapped;
}

std::string Utf16ToUtf8(std::u16string_view units, std::string_view mark) {
  const bool swap = mark == kMarkUtf16Be;
  if (!units.empty() && (swap ? Swapped(units[0]) : units[0]) == kByteOrderMark) {
    units.remove_prefix(1);
  }
  std::string out;
  out.reserve(units.size() * 3);
  Encode(
      units.size(),
      [&units, swap](size_t i) -> uint32_t { return swap ? Swapped(units[i]) : units[i]; }, &out);
  return out;
}

bool Utf8ToUtf16(std::string_view bytes, std::string_view mark, std::u16string* out) {
  out->clear();
  if (bytes.substr(0, kMarkUtf8.size()) == kMarkUtf8) bytes.remove_prefix(kMarkUtf8.size());
  out->reserve(bytes.size());
  const bool swap = mark == kMarkUtf16Be;
  return Decode(bytes, [out, swap](char16_t unit) { out->push_back(swap ? Swapped(unit) : unit); });
}

bool DecodesAsUtf8(std::string_view bytes) {
  return !bytes.empty() && Decode(bytes, [](char16_t) {});
}

void AppendUtf16BytesAsUtf8(const char* bytes, size_t count, bool big_endian, std::string* out) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  Encode(
      count,
      [b, big_endian](size_t i) -> uint32_t {
        return big_endian ? (b[2 * i] << 8 | b[2 * i + 1]) : (b[2 * i + 1] << 8 | b[2 * i]);
      },
      out);
}

bool AppendUtf8AsUtf16Bytes(std::string_view utf8, bool big_endian, std::string* out) {
  return Decode(utf8, [out, big_endian](char16_t unit) {
    const char hi = static_cast<char>(unit >> 8);
    const char lo = static_cast<char>(unit & 0xFF);
    out->push_back(big_endian ? hi : lo);
    out->push_back(big_endian ? lo : hi);
  });
}
