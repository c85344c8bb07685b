#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "ScratchFolder.h"

namespace {

using namespace std::string_literals;
using list_test::Bytes;
using list_test::ErrorOf;
using list_test::Lines;
using list_test::LinesOf;
using TableFiles = ScratchFolder;

constexpr uint32_t kLe = TStringListEX::kEncodingUtf16Le;
constexpr uint32_t kBe = TStringListEX::kEncodingUtf16Be;
constexpr uint32_t kUtf8 = TStringListEX::kEncodingUtf8;

TEST_F(TableFiles, LoadAndSaveKeepTheEncodingAndEndEveryLineWithCrLf) {
  const std::string smile = "\xF0\x9F\x98\x80";  // U+1F600, D83D DE00 in UTF-16
  const std::string le_crlf = Bytes({0x0D, 0, 0x0A, 0});
  const struct {
    std::string file;
    Lines lines;
    uint32_t encoding;
    std::string saved;
    uint32_t expected_encoding = 0;
  } cases[] = {
      {Bytes({0xFF, 0xFE, 0x41, 0, 0x0D, 0, 0x0A, 0, 0x42, 0}),
       {"A", "B"},
       kLe,
       Bytes({0xFF, 0xFE, 0x41, 0, 0x0D, 0, 0x0A, 0, 0x42, 0}) + le_crlf},
      {Bytes({0xFE, 0xFF, 0, 0x41, 0, 0x0D, 0, 0x0A, 0, 0x42}),
       {"A", "B"},
       kBe,
       Bytes({0xFE, 0xFF, 0, 0x41, 0, 0x0D, 0, 0x0A, 0, 0x42, 0, 0x0D, 0, 0x0A})},
      {Bytes({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}),
       {smile},
       kLe,
       Bytes({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}) + le_crlf},
      {Bytes({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00}),
       {smile},
       kBe,
       Bytes({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00, 0, 0x0D, 0, 0x0A})},
      // Unpaired surrogates keep their 3-byte form and come back unit for unit.
      {Bytes({0xFF, 0xFE, 0x00, 0xDC, 0x00, 0xD8, 0x41, 0}),
       {"\xED\xB0\x80\xED\xA0\x80"
        "A"},
       kLe,
       Bytes({0xFF, 0xFE, 0x00, 0xDC, 0x00, 0xD8, 0x41, 0}) + le_crlf},
      {Bytes({0xFF, 0xFE, 0xE9, 0, 0x41, 0, 0x42}),
       {"\xC3\xA9"
        "A"},
       kLe,
       Bytes({0xFF, 0xFE, 0xE9, 0, 0x41, 0}) + le_crlf},
      {Bytes({0xFF, 0xFE, 0xFF, 0xFE, 0x41, 0}),
       {"A"},
       kLe,
       Bytes({0xFF, 0xFE, 0x41, 0}) + le_crlf},
      // The U+FEFF after the mark is dropped, then the UTF-8 mark that a second one becomes.
      {Bytes({0xFF, 0xFE, 0xFF, 0xFE, 0xFF, 0xFE, 0x41, 0}),
       {"A"},
       kLe,
       Bytes({0xFF, 0xFE, 0x41, 0}) + le_crlf},
      {"\xFF\xFE", {}, kLe, "\xFF\xFE"},
      // A UTF-8 mark is not text, but the table keeps it, also before text that is not UTF-8.
      {"\xEF\xBB\xBF"
       "a\r\nb",
       {"a", "b"},
       kUtf8,
       "\xEF\xBB\xBF"
       "a\r\nb\r\n"},
      {"\xEF\xBB\xBF\xE9", {"\xE9"}, kUtf8, "\xEF\xBB\xBF\xE9\r\n"},
      {"\xEF\xBB\xBF", {}, kUtf8, "\xEF\xBB\xBF"},
      {"\xE9\nb\rc\n\n", {"\xE9", "b", "c", ""}, 0, "\xE9\r\nb\r\nc\r\n\r\n"},
      {"", {}, 0, ""},
      {"\xE9t", {"\xC3\xA9t"}, 0, "\xC3\xA9t\r\n", kUtf8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.file));
    WriteFile("t.csv", c.file);
    TStringListCSVEX table;
    table.LoadFromFileEX(At("t.csv"), c.expected_encoding);
    EXPECT_EQ(LinesOf(table), c.lines);
    EXPECT_EQ(table.TextEncoding, c.encoding);
    EXPECT_EQ(table.WriteBom, c.encoding != 0);
    table.SaveToFileEX(At("t.csv"));
    EXPECT_EQ(ReadFile("t.csv"), c.saved);
  }
  EXPECT_EQ(Entries(), Lines{"t.csv"});
}

TEST_F(TableFiles, AstralCharactersSurviveAnywhereInABigFile) {
  std::u16string units((1 << 20) + 8, u'a');
  for (size_t i = 998; i < units.size(); i += 1000) units.replace(i, 2, u"\r\n");
  for (size_t at : {0, (1 << 20) - 3, (1 << 20) - 1, (1 << 20) + 1}) {
    units.replace(at, 2, u"\U0001F600");
  }
  units += u"\r\n";
  std::string file = "\xFF\xFE";
  for (char16_t unit : units) file += Bytes({unit & 0xFF, unit >> 8});
  WriteFile("big.csv", file);
  TStringListCSVEX table;
  table.LoadFromFileEX(At("big.csv"));
  const std::string text = table.JoinLines();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\xF0'), 4);
  EXPECT_EQ(text.find('\xED'), std::string::npos);  // no pair became two 3-byte forms
  table.SaveToFileEX(At("big.csv"));
  EXPECT_EQ(ReadFile("big.csv"), file);
}

TEST_F(TableFiles, SavingWritesTheMarkAndUnitsTheEncodingAsks) {
  const std::string fails = "(fails)";
  const struct {
    Lines lines;
    uint32_t encoding;
    bool write_bom, force;
    std::string bytes;
  } cases[] = {
      {{}, kLe, true, false, "\xFF\xFE"},
      {{}, kUtf8, true, false, ""},
      {{"a"}, kUtf8, true, false, "\xEF\xBB\xBF\x61\r\n"},
      {{"\xE9"}, kUtf8, true, false, "\xE9\r\n"},
      {{"a"}, kLe, false, false, "a\r\n"},
      {{"a"}, kLe, false, true, Bytes({0xFF, 0xFE, 0x61, 0, 0x0D, 0, 0x0A, 0})},
      {{"\xF4\x8F\xBF\xBF"},
       kLe,
       true,
       false,
       Bytes({0xFF, 0xFE, 0xFF, 0xDB, 0xFF, 0xDF}) + "\r\0\n\0"s},
      // A lead F0-F7 without three continuation bytes reads as a 3-byte lead.
      {{"\xF0\x9F\x98"}, kLe, true, false, Bytes({0xFF, 0xFE, 0xD8, 0x07, 0x0D, 0, 0x0A, 0})},
      {{"\xFF"}, kLe, true, false, fails},
      {{"ok", "a\xC3"}, kBe, true, false, fails},
      {{"\xF4\x90\x80\x80"}, kLe, true, false, fails},
      {{"\x80"}, kLe, false, true, fails}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.lines));
    for (bool to_file : {false, true}) {  // the stream and the file give the same bytes
      TStringListCSVEX table;
      for (const std::string& line : c.lines) table.AddLine(line);
      table.TextEncoding = c.encoding;
      table.WriteBom = c.write_bom;
      WriteFile("t.csv", fails);
      std::string written;
      const std::string error = ErrorOf([&] {
        if (to_file) return table.SaveToFileEX(At("t.csv"), c.force);
        table.SaveToStreamEX([&written](std::string_view bytes) { written.append(bytes); },
                             c.force);
      });
      // A failed save leaves the old file, which holds the text `fails`.
      if (to_file) written = ReadFile("t.csv");
      EXPECT_EQ(error == "(no error)" || to_file ? written : fails, c.bytes) << error;
      EXPECT_EQ(table.WriteBom, c.write_bom || c.force);
    }
  }
  EXPECT_EQ(Entries(), Lines{"t.csv"});
}

TEST_F(TableFiles, UnsavableUtf16TableLeavesTheOldFile) {
  WriteFile("t.csv", "old");
  TStringListCSVEX table;
  table.SplitText("a\r\nb\xC3\r\n");
  table.TextEncoding = kLe;
  table.WriteBom = true;
  const std::string error = ErrorOf([&] { table.SaveToFileEX(At("t.csv")); });
  EXPECT_NE(error.find(At("t.csv")), std::string::npos) << error;
  EXPECT_EQ(ReadFile("t.csv"), "old");
  EXPECT_EQ(Entries(), Lines{"t.csv"});
}

TEST_F(TableFiles, TextHoldingNulIsRefusedAndTheListKept) {
  for (const std::string& bytes : {"x;y\0z\r\n"s, Bytes({0xFF, 0xFE, 0x41, 0, 0, 0, 0x42, 0})}) {
    WriteFile("t.csv", bytes);
    TStringListCSVEX table;
    table.AddLine("keep");
    const std::string error = ErrorOf([&] { table.LoadFromFileEX(At("t.csv")); });
    EXPECT_NE(error.find(At("t.csv")), std::string::npos) << error;
    EXPECT_EQ(LinesOf(table), Lines{"keep"});
    EXPECT_EQ(table.TextEncoding, 0u);
    EXPECT_FALSE(table.WriteBom);
  }
  TStringListCSVEX table;  // a missing file is no error and changes nothing
  table.AddLine("keep");
  table.LoadFromFileEX(At("missing.csv"));
  EXPECT_EQ(LinesOf(table), Lines{"keep"});
}

// A first row beginning with the bytes of a byte-order mark (a sort may move one to the top)
// would lose them, or turn the table into UTF-16, on the next load; its first field is quoted
// instead, and without a quote character the save fails and the old file stays.
TEST_F(TableFiles, FirstRowThatLooksLikeAMarkIsQuotedOrRefused) {
  const std::string fails = "(fails)";
  const struct {
    Lines lines;
    char quote;
    uint32_t encoding;
    bool write_bom;
    std::string bytes;
  } cases[] = {
      {{"\xFF\xFEx,1", "a,2"}, '"', 0, false, "\"\xFF\xFEx\",1\r\na,2\r\n"},
      {{"\xFE\xFF"}, '\'', 0, false, "'\xFE\xFF'\r\n"},
      {{"\xEF\xBB\xBFx\"y,1"}, '"', 0, false, "\"\xEF\xBB\xBFx\"\"y\",1\r\n"},
      {{"\xEF\xBB\xBFx"}, '"', kLe, false, "\"\xEF\xBB\xBFx\"\r\n"},  // no mark written
      // Only the start of the text matters, and only a whole mark.
      {{"a,1", "\xFF\xFE"}, '"', 0, false, "a,1\r\n\xFF\xFE\r\n"},
      {{"\xEF\xBB,1"}, '"', 0, false, "\xEF\xBB,1\r\n"},
      // Behind a UTF-16 mark a U+FEFF would be taken for a second mark.
      {{"\xEF\xBB\xBFx"},
       '"',
       kLe,
       true,
       Bytes({0xFF, 0xFE, '"', 0, 0xFF, 0xFE, 'x', 0, '"', 0, 0x0D, 0, 0x0A, 0})},
      // Behind a UTF-8 mark the load takes one mark and keeps the rest; without the mark (the
      // text is not all UTF-8) the row is quoted.
      {{"\xEF\xBB\xBFx"}, '"', kUtf8, true, "\xEF\xBB\xBF\xEF\xBB\xBFx\r\n"},
      {{"\xEF\xBB\xBFx", "\xE9"}, '"', kUtf8, true, "\"\xEF\xBB\xBFx\"\r\n\xE9\r\n"},
      {{"\xFF\xFEx"}, '\0', 0, false, fails},
      {{"\xFF\xFEx"}, '\xFE', 0, false, fails},  // quoted, it would begin with FE FF
      {{"\xEF\xBB\xBFx", "\xE9"}, '\0', kUtf8, true, fails},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.lines));
    TStringListCSVEX table;
    table.Delimiter = ',';
    table.QuoteMark = c.quote;
    table.QuotedFields = false;
    for (const std::string& line : c.lines) table.AddLine(line);
    table.TextEncoding = c.encoding;
    table.WriteBom = c.write_bom;
    WriteFile("t.csv", fails);
    const std::string error = ErrorOf([&] { table.SaveToFileEX(At("t.csv")); });
    EXPECT_EQ(ReadFile("t.csv"), c.bytes) << error;
    if (c.bytes == fails) {
      EXPECT_EQ(error.find("Cannot write file \"" + At("t.csv") + "\"."), 0u) << error;
      continue;
    }
    TStringListCSVEX loaded;  // the next load reads the first value as it was
    loaded.LoadFromFileEX(At("t.csv"));
    loaded.Delimiter = ',';
    loaded.QuoteMark = c.quote;
    loaded.QuotedFields = true;
    loaded.DetectQuotedFields();
    ASSERT_EQ(loaded.LineCount(), static_cast<long long>(c.lines.size()));
    EXPECT_EQ(loaded.GetCell(0, 0), table.GetFieldPlain(c.lines[0], 0));
  }
  EXPECT_EQ(Entries(), Lines{"t.csv"});
}

}  // namespace
