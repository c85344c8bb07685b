#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "MyLib.h"

namespace {

using namespace std::string_literals;

struct CodecCase {
  std::string input;
  uint8_t style;
  bool edge_spaces;
  std::string expected;
};

TEST(EscapeText, Samples) {
  const std::vector<CodecCase> cases = {
      {"a\r\nb\t", kStyleNone, false, "a\\x0D\\x0Ab\\t"},
      {"a\r\nb\t", kStyleDa, false, "a\\d\\ab\\t"},
      {"a\r\nb\t", kStyleHex, false, "a\\x0D\\x0Ab\\x09"},
      {"a\r\nb\t", kStyleHlm, false, "a<CR><LF>b\\t"},
      {"\0\x1f "s, kStyleRn, false, "\\x00\\x1F "},
      {" ", kStyleRn, true, "\\x20"},
      {"  a\\r  ", kStyleRn, true, "\\x20 a\\r \\x20"},
  };
  for (const CodecCase& c : cases) {
    EXPECT_EQ(EscapeText(c.input, c.style, c.edge_spaces), c.expected) << c.input;
  }
}

TEST(UnescapeText, Samples) {
  const std::vector<CodecCase> cases = {
      {"\\\\r C:\\temp\\new", kStyleRn, false, "\\\r C:\temp\new"},
      {"\\x0d\\x0D\\X0D\\x1a\\x2A\\x0", kStyleRn, false, "\r\r\\X0D\x1a\\x2A\\x0"},
      {"\\x20a\\x20", kStyleHex, true, " a "},
      {"\\x20\\t\\x09", kStyleHex, false, "\\x20\\t\t"},
      {"\\d\\a\\r\\n", kStyleDa, false, "\r\n\\r\\n"},
      {"<CR><LF><cr><CR\\t", kStyleHlm, false, "\r\n<cr><CR\t"},
  };
  for (const CodecCase& c : cases) {
    EXPECT_EQ(UnescapeText(c.input, c.style, c.edge_spaces), c.expected) << c.input;
  }
}

TEST(LineBreakToken, SpellsBreaksAsEscapingDoesExceptInStyleNone) {
  const char* breaks[] = {"\r\n", "\n", "\r"};
  for (uint8_t style = 0; style <= 5; ++style) {
    const bool named = style >= kStyleDa && style <= kStyleHlm;
    for (uint8_t kind = 0; kind < 3; ++kind) {
      EXPECT_EQ(LineBreakToken(style, kind), named ? EscapeText(breaks[kind], style, false) : "");
    }
    EXPECT_EQ(LineBreakToken(style, 3), "");
  }
  EXPECT_EQ(CrLfToken(kStyleHex), "\\x0D\\x0A");
}

// The codec spelled as the chain of whole-text replacements that defines it.
std::string HexToken(int byte, const char* digits) {
  return std::string("\\x") + digits[byte >> 4] + digits[byte & 15];
}

std::vector<std::pair<std::string, std::string>> NamedTokens(uint8_t style) {
  if (style == kStyleHex) return {};
  std::vector<std::pair<std::string, std::string>> names;
  if (style == kStyleDa) names = {{"\r", "\\d"}, {"\n", "\\a"}};
  if (style == kStyleRn) names = {{"\r", "\\r"}, {"\n", "\\n"}};
  if (style == kStyleHlm) names = {{"\r", "<CR>"}, {"\n", "<LF>"}};
  names.push_back({"\t", "\\t"});
  return names;
}

std::string ReferenceEscape(std::string v, uint8_t style, bool edge_spaces) {
  if (v.empty()) return v;
  if (edge_spaces && v.front() == ' ') v = "\\x20" + v.substr(1);
  if (edge_spaces && v.back() == ' ') v = v.substr(0, v.size() - 1) + "\\x20";
  for (const auto& [byte, token] : NamedTokens(style)) v = ReplaceAll(v, byte, token);
  for (int b = 0; b < 32; ++b) {
    ReplaceAllInPlace(&v, std::string(1, char(b)), HexToken(b, "0123456789ABCDEF"));
  }
  return v;
}

std::string ReferenceUnescape(std::string v, uint8_t style, bool edge_spaces) {
  if (edge_spaces) v = ReplaceAll(v, "\\x20", " ");
  for (const auto& [byte, token] : NamedTokens(style)) v = ReplaceAll(v, token, byte);
  for (int b = 0; b < 32; ++b) {
    ReplaceAllInPlace(&v, HexToken(b, "0123456789ABCDEF"), std::string(1, char(b)));
    ReplaceAllInPlace(&v, HexToken(b, "0123456789abcdef"), std::string(1, char(b)));
  }
  return v;
}

TEST(EscapeCodec, MatchesReplacementChainOnRandomText) {
  // Single bytes the tokens are made of, and token heads that make hits likely.
  std::vector<std::string> pieces = {"\\x0", "\\x1", "\\x2", "<C", "<L"};
  for (const char c : "\\xrntdaDA01<CRLF>2 \r\n\t\x1f\xe9\0"s) pieces.emplace_back(1, c);
  std::mt19937 random(20240611);
  for (int round = 0; round < 20000; ++round) {
    std::string value;
    for (size_t n = random() % 12; n > 0; --n) value += pieces[random() % pieces.size()];
    for (uint8_t style = 0; style <= 5; ++style) {
      for (const bool edge : {false, true}) {
        SCOPED_TRACE(testing::PrintToString(value) + " style " + std::to_string(style));
        const std::string escaped = EscapeText(value, style, edge);
        ASSERT_EQ(escaped, ReferenceEscape(value, style, edge));
        const std::string unescaped = UnescapeText(value, style, edge);
        ASSERT_EQ(unescaped, ReferenceUnescape(value, style, edge));
        ASSERT_EQ(HasEscapeTokens(value, style, edge), unescaped != value);
        ASSERT_EQ(UnescapeText(escaped, style, edge), ReferenceUnescape(escaped, style, edge));
        std::string appended = "\\x";
        AppendEscaped(&appended, value, style, edge);
        AppendUnescaped(&appended, value, style, edge);
        ASSERT_EQ(appended, "\\x" + escaped + unescaped);
      }
    }
  }
}

}  // namespace
