#include "TableReader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Error.h"
#include "MyLib.h"
#include "ScratchFolder.h"
#include "StringListEX.h"
#include "TableFormat.h"

namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

class TableReaderTest : public ScratchFolder {
 protected:
  // The records of the file as the stream gives them.
  Lines Streamed(const std::string& name, char delimiter, char quote) const {
    TableText text(At(name));
    LineSplitter lines(&text);
    RecordAssembler records(&lines, delimiter, quote, LineBreakToken(2, 0));
    Lines out;
    std::string_view record;
    while (records.Next(&record)) out.emplace_back(record);
    return out;
  }
  // The records as the whole-text table list gives them after loading and assembly.
  Lines Loaded(const std::string& name, char delimiter, char quote) const {
    TStringListCSVEX table;
    table.LoadFromFileEX(At(name));
    table.Delimiter = delimiter;
    table.QuoteMark = quote;
    table.AssembleRecords();
    Lines out;
    for (long long r = 0; r < table.LineCount(); ++r) out.push_back(table.GetLine(r));
    return out;
  }
};

// Random tables several read pieces long, with every kind of line end (also split between two
// pieces), empty lines, quoted records spanning lines and a last line without a break: the
// stream gives exactly the records of the whole-text list, in 8-bit and in both UTF-16 forms.
TEST_F(TableReaderTest, StreamAgreesWithTheLoadedList) {
  std::mt19937 rng(7);
  const char* const pieces[] = {"a", ",", "\"", "\r\n", "\r", "\n", "x y", ";", "\xc3\xa9",
                                "\xf0\x9f\x98\x80", "\"\""};
  for (int round = 0; round < 6; ++round) {
    std::string text;
    while (text.size() < (size_t{5} << 19)) text += pieces[rng() % std::size(pieces)];
    if (round % 2 == 1) text += "\r\n";
    const std::string utf8_mark = round == 2 ? std::string(kMarkUtf8) : std::string();
    WriteFile("t8.csv", utf8_mark + text);
    std::string le(kMarkUtf16Le), be(kMarkUtf16Be);
    ASSERT_TRUE(AppendUtf8AsUtf16Bytes(text, false, &le));
    ASSERT_TRUE(AppendUtf8AsUtf16Bytes(text, true, &be));
    WriteFile("le.csv", le);
    WriteFile("be.csv", be);
    for (const char* name : {"t8.csv", "le.csv", "be.csv"}) {
      SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
      EXPECT_EQ(Streamed(name, ',', '"'), Loaded(name, ',', '"'));
    }
  }
}

// Lines handed out while the splitter reads on into fresh buffers stay where they were read
// until their buffer is let go: views kept along the way and read only at the end give the
// lines that copies taken at once give, long lines (past a whole read piece) among short ones.
TEST_F(TableReaderTest, KeptLinesStayWhereTheyWereRead) {
  struct Kept : LineBuffers {
    std::vector<LargeVector<char>> retired;
    LargeVector<char> Fresh(size_t size) override { return LargeVector<char>(size); }
    void Retire(LargeVector<char> buffer) override { retired.push_back(std::move(buffer)); }
  };
  std::mt19937 rng(11);
  std::string text;
  while (text.size() < (size_t{6} << 20)) {
    const size_t size = rng() % 400 == 0 ? size_t{1} << (17 + rng() % 5) : rng() % 40;
    text += std::string(size, static_cast<char>('a' + rng() % 26));
    text += rng() % 3 == 0 ? "\r\n" : rng() % 2 == 0 ? "\r" : "\n";
  }
  WriteFile("t.csv", text);
  Lines copies;
  std::string_view line;
  {
    TableText plain(At("t.csv"));
    LineSplitter lines(&plain);
    while (lines.Next(&line)) copies.emplace_back(line);
  }
  Kept kept;
  TableText kept_text(At("t.csv"));
  LineSplitter lines(&kept_text);
  lines.KeepLines(&kept);
  std::vector<std::string_view> views;
  while (lines.Next(&line)) views.push_back(line);
  const LargeVector<char> last = lines.ReleaseBuffer();
  EXPECT_GT(kept.retired.size(), 2u);
  ASSERT_EQ(views.size(), copies.size());
  for (size_t k = 0; k < views.size(); ++k) ASSERT_EQ(views[k], copies[k]) << "line " << k;
}

TEST_F(TableReaderTest, MarksAndEdges) {
  const struct {
    std::string bytes;
    Lines records;
    uint32_t encoding;
  } cases[] = {
      {"", {}, 0},
      {"\r\n", {""}, 0},
      {"a\r\rb", {"a", "", "b"}, 0},
      {"\xEF\xBB\xBF" "a", {"a"}, 0},
      {"\xFF\xFE", {}, 0xFEFF},
      {"\xFF\xFE\xFF\xFE" "a\0"s, {"a"}, 0xFEFF},
      {"\xFE\xFF\0a\0"s, {"a"}, 0xFFFE},  // an odd last byte is dropped
      {"\"a\r\nb", {"\"a\\r\\nb"}, 0},   // still open at the end: kept whole
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    WriteFile("t.csv", c.bytes);
    EXPECT_EQ(Streamed("t.csv", ',', '"'), c.records);
    EXPECT_EQ(TableText(At("t.csv")).Encoding(), c.encoding);
  }
}

// The first pass: the first line, the quote test with the delimiter chosen from it, and the
// NUL refusal, also when the deciding bytes lie far into the file.
TEST_F(TableReaderTest, ProbeFindsWhatDetectionNeeds) {
  const std::string filler(3 << 20, 'x');
  const struct {
    std::string bytes;
    bool has_lines, quoted;
    std::string first_line;
  } cases[] = {
      {"", false, false, ""},
      {"a;b\r\n" + filler + ";\"q\"", true, true, "a;b"},
      {"a;b\r\n" + filler + ",\"q\"", true, false, "a;b"},
      {"a;b\r\n" + filler + "\n\"q\"", true, true, "a;b"},
      {"\"a\"", true, true, "\"a\""},
      {filler + ";b", true, false, filler + ";b"},
  };
  for (const auto& c : cases) {
    WriteFile("t.csv", c.bytes);
    const TableProbe probe = ProbeTableFile(At("t.csv"), '"', [](std::string_view line) {
      return DetectDelimiterIn(line, ',');
    });
    EXPECT_EQ(probe.has_lines, c.has_lines);
    EXPECT_EQ(probe.quote_after_delimiter, c.quoted);
    EXPECT_EQ(probe.first_line, c.first_line);
    // A pass that may stop once the format is settled settles it the same way.
    const TableProbe quick = ProbeTableFile(
        At("t.csv"), '"', [](std::string_view line) { return DetectDelimiterIn(line, ','); },
        false);
    EXPECT_EQ(quick.has_lines, c.has_lines);
    EXPECT_EQ(quick.quote_after_delimiter, c.quoted);
    EXPECT_EQ(quick.first_line, c.first_line);
  }
  WriteFile("t.csv", "a;b\r\n" + filler + std::string(1, '\0'));
  EXPECT_THROW(ProbeTableFile(At("t.csv"), '"', [](std::string_view) { return ';'; }),
               TessarinError);
}

}  // namespace
