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
  // The records of the file as the stream gives them, its lines taken one or many at a time.
  Lines Streamed(const std::string& name, char delimiter, char quote, bool bulk = false) const {
    TableText text(At(name));
    LineSplitter lines(&text);
    BulkLines many(&lines);
    RecordAssembler records(&lines, delimiter, quote, LineBreakToken(2, 0));
    BasicRecordAssembler<BulkLines> bulk_records(&many, delimiter, quote, LineBreakToken(2, 0));
    Lines out;
    std::string_view record;
    while (bulk ? bulk_records.Next(&record) : records.Next(&record)) out.emplace_back(record);
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
      const Lines loaded = Loaded(name, ',', '"');
      EXPECT_EQ(Streamed(name, ',', '"'), loaded);
      EXPECT_EQ(Streamed(name, ',', '"', true), loaded);
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

// Each line, where it starts, and whether it holds the mark watched for and a NUL byte, as a
// byte-by-byte scan finds them: line ends of every kind at every place of the 64-byte blocks
// the splitter looks at and of its read pieces, runs of empty lines longer than it lists at
// once, and lines longer than a piece.
TEST_F(TableReaderTest, LinesAgreeWithAPlainScan) {
  struct Seen {
    std::string line;
    uint64_t start;
    bool mark, nul;
    bool operator==(const Seen& o) const {
      return line == o.line && start == o.start && mark == o.mark && nul == o.nul;
    }
  };
  const auto scan = [](const std::string& text, bool watching) {
    std::vector<Seen> seen;
    for (size_t pos = 0; pos < text.size();) {
      size_t end = pos;
      while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
      const std::string line = text.substr(pos, end - pos);
      const bool broken = end < text.size();
      seen.push_back({line, pos, !watching || !broken || line.find('"') != std::string::npos,
                      line.find('\0') != std::string::npos});
      pos = end + 1;
      if (broken && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
    return seen;
  };
  std::mt19937 rng(5);
  const std::string pieces[] = {"\r", "\n", "\r\n", "\"", "\0"s, "abc", "x"};
  for (int round = 0; round < 8; ++round) {
    std::string text;
    while (text.size() < (size_t{3} << 20)) {
      const unsigned pick = rng() % 100;
      if (pick == 0) {
        text += std::string(size_t{1} << (16 + rng() % 6), 'l');  // long lines
      } else if (pick == 1) {
        text += std::string(20000 + rng() % 20000, '\n');  // more empty lines than listed at once
      } else {
        text += pieces[rng() % std::size(pieces)];
      }
    }
    if (round % 2 == 1) text += '\r';
    WriteFile("t.csv", text);
    const bool watching = round < 6;
    SCOPED_TRACE("round " + std::to_string(round));
    TableText table(At("t.csv"));
    LineSplitter lines(&table);
    if (watching) lines.WatchFor('"');
    std::vector<Seen> got;
    std::string_view line;
    while (lines.Next(&line)) {
      got.push_back({std::string(line), lines.LineStart(), lines.MarkSeen(), lines.NulSeen()});
    }
    const std::vector<Seen> want = scan(text, watching);
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < got.size(); ++k) ASSERT_TRUE(got[k] == want[k]) << "line " << k;
    EXPECT_EQ(lines.Offset(), text.size());
    // Many lines at a time: the same lines, whatever room each call has.
    TableText again(At("t.csv"));
    LineSplitter bulk(&again);
    if (watching) bulk.WatchFor('"');
    std::vector<LineSplitter::LineView> views(300);
    got.clear();
    while (const size_t n = bulk.NextLines(views.data(), 1 + rng() % views.size())) {
      for (size_t k = 0; k < n; ++k) {
        got.push_back({std::string(views[k].data, views[k].size), views[k].start, views[k].mark,
                       views[k].nul});
      }
    }
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < got.size(); ++k) ASSERT_TRUE(got[k] == want[k]) << "bulk line " << k;
  }
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
