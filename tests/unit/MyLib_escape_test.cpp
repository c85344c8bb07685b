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
      {"", kStyleRn, true, ""},
      {"a\r\nb", kStyleNone, false, "a\\x0D\\x0Ab"},
      {"a\r\nb", kStyleDa, false, "a\\d\\ab"},
      {"a\r\nb", kStyleRn, false, "a\\r\\nb"},
      {"a\r\nb", kStyleHex, false, "a\\x0D\\x0Ab"},
      {"a\r\nb", kStyleHlm, false, "a<CR><LF>b"},
      {"a\r\nb", 9, false, "a\\x0D\\x0Ab"},
      {"\t", kStyleRn, false, "\\t"},
      {"\t", kStyleHex, false, "\\x09"},
      {"\0\x1f\x1b"s, kStyleRn, false, "\\x00\\x1F\\x1B"},
      {" ", kStyleRn, true, "\\x20"},
      {"  ", kStyleRn, true, "\\x20\\x20"},
      {"  a  ", kStyleRn, true, "\\x20 a \\x20"},
      {" a ", kStyleRn, false, " a "},
      {"C:\\temp\\new <CR>", kStyleHlm, true, "C:\\temp\\new <CR>"},
      {"\x7f\x80\xff", kStyleHex, true, "\x7f\x80\xff"},
  };
  for (const CodecCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input) + " style " + std::to_string(c.style));
    EXPECT_EQ(EscapeText(c.input, c.style, c.edge_spaces), c.expected);
  }
}

TEST(UnescapeText, Samples) {
  const std::vector<CodecCase> cases = {
      {"", kStyleRn, true, ""},
      {"\\\\r", kStyleRn, false, "\\\r"},
      {"C:\\temp\\new", kStyleRn, false, "C:\temp\new"},
      {"\\x0d\\x0D\\X0D\\x0", kStyleRn, false, "\r\r\\X0D\\x0"},
      {"\\x1a\\x1A\\x2A\\x7F", kStyleDa, false, "\x1a\x1a\\x2A\\x7F"},
      {"\\x20a\\x20b\\x20", kStyleHex, true, " a b "},
      {"\\x20", kStyleRn, false, "\\x20"},
      {"\\t\\x09", kStyleHex, false, "\\t\t"},
      {"\\t\\d\\a\\r\\n", kStyleDa, false, "\t\r\n\\r\\n"},
      {"\\t\\d\\a\\r\\n", kStyleNone, false, "\t\\d\\a\\r\\n"},
      {"<CR><LF><cr><CR\\r<", kStyleHlm, false, "\r\n<cr><CR\\r<"},
      {"<CR>\\", kStyleRn, false, "<CR>\\"},
      {"\\x00", 200, false, "\0"s},
  };
  for (const CodecCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input) + " style " + std::to_string(c.style));
    EXPECT_EQ(UnescapeText(c.input, c.style, c.edge_spaces), c.expected);
    EXPECT_EQ(HasEscapeTokens(c.input, c.style, c.edge_spaces), c.input != c.expected);
  }
}

TEST(LineBreakToken, EveryStyleAndKind) {
  const std::vector<std::vector<std::string>> by_style = {
      {"", "", ""},
      {"\\d\\a", "\\a", "\\d"},
      {"\\r\\n", "\\n", "\\r"},
      {"\\x0D\\x0A", "\\x0A", "\\x0D"},
      {"<CR><LF>", "<LF>", "<CR>"},
      {"", "", ""},
  };
  for (uint8_t style = 0; style < by_style.size(); ++style) {
    for (uint8_t kind = 0; kind < 3; ++kind) {
      EXPECT_EQ(LineBreakToken(style, kind), by_style[style][kind]) << int{style} << int{kind};
    }
    EXPECT_EQ(LineBreakToken(style, 3), "");
  }
}

// The codec as a chain of whole-string replacements, the way the escaping is defined.
std::string HexToken(int byte, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
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
  for (int b = 0; b < 32; ++b) ReplaceAllInPlace(&v, std::string(1, char(b)), HexToken(b, true));
  return v;
}

std::string ReferenceUnescape(std::string v, uint8_t style, bool edge_spaces) {
  if (edge_spaces) v = ReplaceAll(v, "\\x20", " ");
  for (const auto& [byte, token] : NamedTokens(style)) v = ReplaceAll(v, token, byte);
  for (int b = 0; b < 32; ++b) {
    ReplaceAllInPlace(&v, HexToken(b, true), std::string(1, char(b)));
    ReplaceAllInPlace(&v, HexToken(b, false), std::string(1, char(b)));
  }
  return v;
}

TEST(EscapeCodec, MatchesReplacementChainOnRandomText) {
  const std::vector<std::string> pieces = {
      "\\", "x",  "r",   "n",    "t",    "d",    "a",    "0",    "1",  "D",
      "A",  "<",  "C",   "R",    "L",    "F",    ">",    "2",    " ",  "\r",
      "\n", "\t", "\0"s, "\x1f", "\xe9", "\\x0", "\\x1", "\\x2", "<C", "<L"};
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
