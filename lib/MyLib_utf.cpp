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

// Decodes `bytes` into `out` (skipped when null). False at the first byte that breaks the rules.
bool Decode(std::string_view bytes, std::u16string* out) {
  const auto at = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const size_t size = bytes.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      if (out) out->push_back(lead);
      ++i;
      continue;
    }
    if (lead >= 0xF0 && lead <= 0xF7 && i + 3 < size && IsContinuation(at(i + 1)) &&
        IsContinuation(at(i + 2)) && IsContinuation(at(i + 3))) {
      const uint32_t code = (uint32_t{lead} & 0x07) << 18 | (uint32_t{at(i + 1)} & 0x3F) << 12 |
                            (uint32_t{at(i + 2)} & 0x3F) << 6 | (uint32_t{at(i + 3)} & 0x3F);
      if (code > 0x10FFFF) return false;
      if (code >= 0x10000) {
        if (out) {
          out->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
          out->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        }
        i += 4;
        continue;
      }
      // An overlong four-byte form is no code point above U+FFFF: its lead reads as a
      // three-byte lead like any other byte with bit 0x20 set.
    }
    if ((lead & 0x20) == 0) {
      if (i + 1 >= size || !IsContinuation(at(i + 1))) return false;
      if (out) out->push_back(static_cast<char16_t>((lead & 0x1F) << 6 | (at(i + 1) & 0x3F)));
      i += 2;
    } else {
      if (i + 2 >= size || !IsContinuation(at(i + 1)) || !IsContinuation(at(i + 2))) {
        return false;
      }
      if (out) {
        out->push_back(static_cast<char16_t>((lead & 0x0F) << 12 | (at(i + 1) & 0x3F) << 6 |
                                             (at(i + 2) & 0x3F)));
      }
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
  const auto unit_at = [&units, swap](size_t i) { return swap ? Swapped(units[i]) : units[i]; };
  size_t i = 0;
  if (!units.empty() && unit_at(0) == kByteOrderMark) i = 1;
  std::string out;
  out.reserve((units.size() - i) * 3);
  for (; i < units.size(); ++i) {
    const uint32_t unit = unit_at(i);
    if (unit < 0x80) {
      AppendByte(&out, unit);
    } else if (unit < 0x800) {
      AppendByte(&out, 0xC0 | unit >> 6);
      AppendByte(&out, 0x80 | (unit & 0x3F));
    } else if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(unit_at(i + 1))) {
      const uint32_t code = 0x10000 + ((unit - 0xD800) << 10) + (unit_at(i + 1) - 0xDC00);
      AppendByte(&out, 0xF0 | code >> 18);
      AppendByte(&out, 0x80 | (code >> 12 & 0x3F));
      AppendByte(&out, 0x80 | (code >> 6 & 0x3F));
      AppendByte(&out, 0x80 | (code & 0x3F));
      ++i;
    } else {
      // Lone surrogates included, so that the text comes back unit for unit.
      AppendByte(&out, 0xE0 | unit >> 12);
      AppendByte(&out, 0x80 | (unit >> 6 & 0x3F));
      AppendByte(&out, 0x80 | (unit & 0x3F));
    }
  }
  return out;
}

bool Utf8ToUtf16(std::string_view bytes, std::string_view mark, std::u16string* out) {
  out->clear();
  if (bytes.substr(0, kMarkUtf8.size()) == kMarkUtf8) bytes.remove_prefix(kMarkUtf8.size());
  out->reserve(bytes.size());
  if (!Decode(bytes, out)) return false;
  if (mark == kMarkUtf16Be) {
    for (char16_t& unit : *out) unit = Swapped(unit);
  }
  return true;
}

bool DecodesAsUtf8(std::string_view bytes) { return !bytes.empty() && Decode(bytes, nullptr); }
