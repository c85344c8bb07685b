// Case folding, collation and double-byte characters under real Windows code pages.
#include <string>
#include <vector>

#include "CodePageFixture.h"
#include "CompareString.h"
#include "MyLib.h"
#include "Platform.h"
#include "StringListEX.h"

namespace {

using CodePage1252 = CodePageTest<1252>;
using CodePage932 = CodePageTest<932>;
using Lines = std::vector<std::string>;

Lines LinesOf(const TStringList& list) {
  Lines lines;
  for (long long i = 0; i < list.LineCount(); ++i) lines.push_back(list.GetLine(i));
  return lines;
}

// ---- Windows-1252 ------------------------------------------------------------------------

TEST_F(CodePage1252, CaseInsensitiveComparisonsFoldLettersBeyondAToZ) {
  // Upper and lower case pairs of the code page, some outside Latin-1 (0x8A/0x9A, 0x9F/0xFF).
  const struct {
    const char *upper, *lower;
  } pairs[] = {{"\xC0", "\xE0"}, {"\xC9t\xC9", "\xE9t\xE9"}, {"\xD8", "\xF8"},
               {"\x8A", "\x9A"}, {"\x8C", "\x9C"},           {"\x9F", "\xFF"}};
  for (const auto& p : pairs) {
    SCOPED_TRACE(p.upper);
    EXPECT_EQ(NaturalCompareText(p.upper, p.lower), 0);
    EXPECT_NE(NaturalCompareStr(p.upper, p.lower), 0);
    EXPECT_EQ(platform::CompareLocale(p.upper, p.lower, true), 0);
    EXPECT_NE(platform::CompareLocale(p.upper, p.lower, false), 0);
  }
  // Folding leaves the digit runs alone: they still compare by value.
  EXPECT_LT(NaturalCompareText("\xC9t\xE9 2", "\xE9T\xC9 10"), 0);
}

TEST_F(CodePage1252, ListsCompareByTheLocaleCollation) {
  // Byte order would put "B" (0x42) before "a" (0x61) and "\xE9" after "f".
  TStringListEX sorted;
  sorted.MatchCase = false;
  sorted.SetKeepSorted(true);
  for (const char* text : {"f", "B", "a", "\xE9"}) sorted.AddLine(text);
  EXPECT_EQ(LinesOf(sorted), (Lines{"a", "B", "\xE9", "f"}));
  EXPECT_EQ(sorted.IndexOfLine("\xC9"), 2);  // case-insensitive beyond A-Z

  TStringListEX plain;  // case-sensitive by default
  plain.AddLine("\xE9");
  EXPECT_EQ(plain.IndexOfLine("\xC9"), -1);
  // Texts that the collation passes over stay apart when case counts.
  EXPECT_NE(platform::CompareLocale("a\x01"
                                    "b",
                                    "ab", false),
            0);
}

TEST_F(CodePage1252, AnsiTextConvertsByTheCodePage) {
  EXPECT_EQ(platform::AnsiToUtf16("\x80\x9F\xE9"),
            (std::u16string{u'\u20AC', u'\u0178', u'\u00E9'}));
  EXPECT_FALSE(platform::SystemLeadBytes().any);
}

// ---- Shift-JIS (932) ---------------------------------------------------------------------
// Second bytes that equal ASCII characters: "\x83\x7C" has "|", "\x83\x60" has "`", and
// "\x95\x5C" has "\" (0x5C).

TEST_F(CodePage932, LeadBytesComeFromTheCodePage) {
  const platform::LeadBytes& lead = platform::SystemLeadBytes();
  EXPECT_TRUE(lead.any);
  EXPECT_TRUE(lead.IsLead('\x83'));
  EXPECT_TRUE(lead.IsLead('\xE0'));
  EXPECT_FALSE(lead.IsLead('|'));
  EXPECT_FALSE(lead.IsLead('\xA0'));  // a single-byte katakana range starts at 0xA1
}

TEST_F(CodePage932, SecondByteIsNeverADelimiterOrQuoteMark) {
  TStringListCSVEX table;
  table.Delimiter = '|';
  table.QuoteMark = '`';
  table.EscapeLineBreaks = false;
  const struct {
    std::string row;
    bool quoted;
    Lines fields;
  } cases[] = {
      {"\x83\x7C|x", true, {"\x83\x7C", "x"}},
      {"\x83\x7C|x", false, {"\x83\x7C", "x"}},
      {"`\x83\x60|y`|z", true, {"\x83\x60|y", "z"}},
      {"`a``\x83\x60`|z", true, {"a`\x83\x60", "z"}},
      {"\x83", true, {"\x83"}},  // a lead byte at the end of the row is a character of its own
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    table.QuotedFields = c.quoted;
    Lines fields;
    for (long long n = 0; n < table.CountFields(c.row); ++n) {
      fields.push_back(table.GetField(c.row, n));
      std::string_view view;
      if (table.FieldView(c.row, n, &view)) {
        EXPECT_EQ(view, fields.back());
      }
    }
    EXPECT_EQ(fields, c.fields);
    TStringListCSVEX::FieldBuffer buffer;
    table.ReadFields(c.row, &buffer);
    EXPECT_EQ(Lines(buffer.values.begin(), buffer.values.end()), c.fields);
  }
}

TEST_F(CodePage932, ValuesWrittenWithSuchCharactersReadBack) {
  TStringListCSVEX table;
  table.Delimiter = '|';
  table.QuoteMark = '`';
  for (bool always : {true, false}) {
    table.AlwaysQuote = always;
    const Lines values = {"\x83\x60", "`\x83\x60`", "\x83\x7C|", "\x95\x5Ct\x95\x5C", ""};
    std::string row;
    for (const std::string& value : values) table.AppendField(&row, value);
    Lines back;
    for (long long n = 0; n < table.CountFields(row); ++n) back.push_back(table.GetField(row, n));
    EXPECT_EQ(back, values) << row;
  }
}

TEST_F(CodePage932, NoTokenStartsOnASecondByte) {
  // ReplaceAll steps over the character; the in-place variant compares plain bytes.
  EXPECT_EQ(ReplaceAll("\x95\x5Cn\\n", "\\n", "\n"), "\x95\x5Cn\n");
  EXPECT_EQ(ReplaceAll("\x83\x7C|", "|", "||"), "\x83\x7C||");
  const struct {
    std::string stored, value;
    uint8_t style;
  } cases[] = {
      {"\x95\x5Ct\\t", "\x95\x5Ct\t", kStyleRn},
      {"\x95\x5Cr\x95\x5Cn", "\x95\x5Cr\x95\x5Cn", kStyleRn},
      {"\x95\x5Cx0D\\x0D", "\x95\x5Cx0D\r", kStyleHex},
      {"\x95\x5C\\r", "\x95\x5C\r", kStyleRn},  // the backslash after the character is one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnescapeText(c.stored, c.style, true), c.value) << c.stored;
    EXPECT_EQ(HasEscapeTokens(c.stored, c.style, true), c.stored != c.value) << c.stored;
    EXPECT_EQ(UnescapeText(EscapeText(c.value, c.style, true), c.style, true), c.value);
  }
}

TEST_F(CodePage932, RecordScanAndDetectionSkipSecondBytes) {
  TStringListCSVEX table;
  table.SplitText("\x83\x7C;a;b\r\nx;y;z\r\n");
  table.DetectDelimiter();
  EXPECT_EQ(table.Delimiter, ';');

  // The second byte of "\x83\x60" neither closes the quoted field nor opens another one.
  table.Delimiter = '|';
  table.QuoteMark = '`';
  table.SplitText("`\x83\x60`|1\r\n`x\r\ny`|2\r\n");
  table.AssembleRecords();
  EXPECT_EQ(LinesOf(table), (Lines{"`\x83\x60`|1", "`x\\r\\ny`|2"}));
}

TEST_F(CodePage932, NamesEndingInABackslashByteAreNotFolders) {
  const std::string name = "\x95\x5C";  // a kanji whose second byte is "\"
  EXPECT_EQ(FolderPart("C:\\d\\" + name + ".csv"), "C:\\d\\");
  EXPECT_EQ(NamePart("C:\\d\\" + name + ".csv"), name + ".csv");
  EXPECT_EQ(WithoutExtension("C:\\d\\" + name + ".csv"), "C:\\d\\" + name);
  EXPECT_EQ(NamePart("C:\\" + name), name);
  // A second byte in A-Z is not a letter: "\x83\x41" and "\x83\x61" are different characters.
  EXPECT_EQ(FoldAsciiCase("\x83\x41"
                          "A"),
            "\x83\x41"
            "a");
}

}  // namespace
