// The line-break escape styles: control bytes become printable tokens and back.
//
// Both directions work in one left-to-right pass. Every token begins with "\" or "<" and holds
// that byte nowhere else, so two tokens never overlap; decoding writes only bytes below 32 and
// spaces, which no token contains, so a decoded byte never forms a new token with its
// neighbours. Replacing each token where it stands is therefore all there is to do.
#include <array>
#include <cstring>

#include "MyLib.h"
#include "Platform.h"

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr std::string_view kEscapedSpace = "\\x20";

// The named token of CR, LF or TAB in the style; empty where the byte takes its hex token.
std::string_view NamedToken(unsigned char byte, uint8_t style) {
  if (style == kStyleHex) return {};
  if (byte == '\t') return "\\t";
  if (byte != '\r' && byte != '\n') return {};
  const bool cr = byte == '\r';
  switch (style) {
    case kStyleDa:
      return cr ? "\\d" : "\\a";
    case kStyleRn:
      return cr ? "\\r" : "\\n";
    case kStyleHlm:
      return cr ? "<CR>" : "<LF>";
    default:
      return {};
  }
}

struct Token {
  char text[4];
  uint8_t size;
};
using TokenTable = std::array<Token, 32>;

TokenTable MakeTokenTable(uint8_t style) {
  TokenTable table{};
  for (unsigned byte = 0; byte < table.size(); ++byte) {
    std::string_view token = NamedToken(static_cast<unsigned char>(byte), style);
    const char hex[4] = {'\\', 'x', kUpperHex[byte >> 4], kUpperHex[byte & 0x0F]};
    if (token.empty()) token = std::string_view(hex, sizeof hex);
    token.copy(table[byte].text, token.size());
    table[byte].size = static_cast<uint8_t>(token.size());
  }
  return table;
}

// What each byte below 32 escapes to, by style; unknown styles spell like style 0.
const TokenTable& TokensOf(uint8_t style) {
  static const std::array<TokenTable, 5> tables = {
      MakeTokenTable(kStyleNone), MakeTokenTable(kStyleDa), MakeTokenTable(kStyleRn),
      MakeTokenTable(kStyleHex), MakeTokenTable(kStyleHlm)};
  return tables[style <= kStyleHlm ? style : kStyleNone];
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the token that starts at `p` (which holds "\" or "<"), with its byte in `*byte`;
// 0 when no token of the style starts there.
size_t TokenAt(const char* p, const char* end, uint8_t style, bool edge_spaces, char* byte) {
  const size_t left = static_cast<size_t>(end - p);
  if (*p == '<') {
    if (style != kStyleHlm || left < 4 || p[3] != '>') return 0;
    if (p[1] == 'C' && p[2] == 'R') {
      *byte = '\r';
    } else if (p[1] == 'L' && p[2] == 'F') {
      *byte = '\n';
    } else {
      return 0;
    }
    return 4;
  }
  if (left < 2) return 0;
  switch (p[1]) {
    case 'x': {
      // Hex tokens exist only for the bytes 0..31, so the first digit is "0" or "1".
      if (left < 4) return 0;
      const int low = HexDigitValue(p[3]);
      if (low < 0) return 0;
      if (p[2] == '0' || p[2] == '1') {
        *byte = static_cast<char>((p[2] - '0') * 16 + low);
        return 4;
      }
      if (edge_spaces && p[2] == '2' && p[3] == '0') {
        *byte = ' ';
        return 4;
      }
      return 0;
    }
    case 't':
      *byte = '\t';
      return style == kStyleHex ? 0 : 2;
    case 'd':
      *byte = '\r';
      return style == kStyleDa ? 2 : 0;
    case 'a':
      *byte = '\n';
      return style == kStyleDa ? 2 : 0;
    case 'r':
      *byte = '\r';
      return style == kStyleRn ? 2 : 0;
    case 'n':
      *byte = '\n';
      return style == kStyleRn ? 2 : 0;
    default:
      return 0;
  }
}

// The next byte at or after `p` that may start a token of the style, or `end`. `p` stands on
// the first byte of a character. In a double-byte code page the second byte of a character
// may have the value of "\\" (0x5C, in many Shift-JIS kanji); it is part of that character,
// so it starts no token and the text after it is left as it is.
const char* NextTokenStart(const char* p, const char* end, uint8_t style) {
  if (p == end) return end;
  const platform::LeadBytes& lead = platform::SystemLeadBytes();
  if (lead.any) {
    while (p < end && *p != '\\' && !(style == kStyleHlm && *p == '<')) {
      p += lead.IsLead(*p) && end - p >= 2 ? 2 : 1;
    }
    return p;
  }
  if (style != kStyleHlm) {
    const void* hit = std::memchr(p, '\\', static_cast<size_t>(end - p));
    return hit ? static_cast<const char*>(hit) : end;
  }
  while (p < end && *p != '\\' && *p != '<') ++p;
  return p;
}

}  // namespace

void AppendEscaped(std::string* out, std::string_view value, uint8_t style, bool edge_spaces) {
  if (value.empty()) return;
  const char* p = value.data();
  const char* end = p + value.size();
  // Only one space at each end is protected; a lone space is both ends at once.
  const bool lead_space = edge_spaces && *p == ' ';
  const bool trail_space = edge_spaces && value.size() >= 2 && end[-1] == ' ';
  if (lead_space) {
    out->append(kEscapedSpace);
    ++p;
  }
  if (trail_space) --end;
  const TokenTable& tokens = TokensOf(style);
  const char* run = p;
  for (; p < end; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    if (byte >= 32) continue;
    out->append(run, p);
    out->append(tokens[byte].text, tokens[byte].size);
    run = p + 1;
  }
  out->append(run, end);
  if (trail_space) out->append(kEscapedSpace);
}

std::string EscapeText(std::string_view value, uint8_t style, bool edge_spaces) {
  std::string out;
  out.reserve(value.size() + 8);
  AppendEscaped(&out, value, style, edge_spaces);
  return out;
}

void AppendUnescaped(std::string* out, std::string_view value, uint8_t style, bool edge_spaces) {
  const char* p = value.data();
  const char* const end = p + value.size();
  const char* run = p;
  while ((p = NextTokenStart(p, end, style)) != end) {
    char byte = 0;
    const size_t length = TokenAt(p, end, style, edge_spaces, &byte);
    if (length == 0) {
      ++p;
      continue;
    }
    out->append(run, p);
    out->push_back(byte);
    p += length;
    run = p;
  }
  out->append(run, end);
}

std::string UnescapeText(std::string_view value, uint8_t style, bool edge_spaces) {
  std::string out;
  out.reserve(value.size());
  AppendUnescaped(&out, value, style, edge_spaces);
  return out;
}

std::string_view UnescapedView(std::string_view value, uint8_t style, bool edge_spaces,
                               std::string* scratch) {
  const char* const end = value.data() + value.size();
  if (NextTokenStart(value.data(), end, style) == end) return value;
  scratch->clear();
  AppendUnescaped(scratch, value, style, edge_spaces);
  return *scratch;
}

bool HasEscapeTokens(std::string_view value, uint8_t style, bool edge_spaces) {
  const char* p = value.data();
  const char* const end = p + value.size();
  while ((p = NextTokenStart(p, end, style)) != end) {
    char byte = 0;
    // Every token is longer than the one byte it stands for, so any token changes the value.
    if (TokenAt(p, end, style, edge_spaces, &byte) != 0) return true;
    ++p;
  }
  return false;
}

std::string CrToken(uint8_t style) {
  if (style == kStyleHex) return "\\x0D";
  return std::string(NamedToken('\r', style));
}

std::string LfToken(uint8_t style) {
  if (style == kStyleHex) return "\\x0A";
  return std::string(NamedToken('\n', style));
}

std::string CrLfToken(uint8_t style) { return CrToken(style) + LfToken(style); }

std::string LineBreakToken(uint8_t style, uint8_t join_kind) {
  switch (join_kind) {
    case 0:
      return CrLfToken(style);
    case 1:
      return LfToken(style);
    case 2:
      return CrToken(style);
    default:
      return {};
  }
}
