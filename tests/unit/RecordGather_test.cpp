#include "RecordGather.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Error.h"
#include "MyLib.h"
#include "ScratchFolder.h"
#include "TableReader.h"

namespace {

using Lines = std::vector<std::string>;

// A text of physical lines with every kind of line end, empty lines, quoted records spanning
// lines and, in some rounds, a last line without a break.
std::string RandomText(std::mt19937* rng, size_t size) {
  const char* const pieces[] = {"a", ",", "\"", "\r\n", "\r", "\n", "x y", "\xc3\xa9", "7"};
  std::string text;
  while (text.size() < size) text += pieces[(*rng)() % std::size(pieces)];
  return text;
}

class RecordGatherTest : public ScratchFolder {
 protected:
  // The records of the file (lines joined with CR LF), noted in `gather` as a mode notes them.
  Lines Records(const std::string& name, RecordGather* gather) const {
    TableText text(At(name));
    LineSplitter lines(&text);
    RecordAssembler records(&lines, ',', '"', "\r\n");
    Lines out;
    std::string_view record;
    while (records.Next(&record)) {
      gather->Add(records.RecordStart(), record.size());
      out.emplace_back(record);
    }
    gather->SetTextLength(lines.Offset());
    return out;
  }
};

// Whatever the order, the buffer size (down to one record per share) and the encoding, each
// record named comes out whole, in the order given: the same bytes the records had when read.
TEST_F(RecordGatherTest, RecordsComeOutInTheOrderGiven) {
  std::mt19937 rng(11);
  for (int round = 0; round < 4; ++round) {
    std::string text = RandomText(&rng, 30000);
    if (round % 2 == 1) text += "\r\n";
    std::string le(kMarkUtf16Le);
    ASSERT_TRUE(AppendUtf8AsUtf16Bytes(text, false, &le));
    WriteFile("t8.csv", (round == 2 ? std::string(kMarkUtf8) : std::string()) + text);
    WriteFile("le.csv", le);
    for (const char* name : {"t8.csv", "le.csv"}) {
      RecordGather gather;
      const Lines records = Records(name, &gather);
      ASSERT_GT(records.size(), 1000u);
      LargeVector<size_t> order(records.size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::shuffle(order.begin(), order.end(), rng);
      if (round == 3) order.resize(order.size() / 3);  // a selection, as duplicate removal makes
      // A budget below a record's size gives every record a share (and a reading) of its own.
      for (size_t budget : {size_t{1} << 30, size_t{2048}, size_t{1}}) {
        SCOPED_TRACE(std::string(name) + " round " + std::to_string(round) + " budget " +
                     std::to_string(budget));
        if (budget == 1) order.resize(60);
        Lines out;
        gather.Write(At(name), order, budget,
                     [&out](std::string_view row) { out.emplace_back(row); });
        ASSERT_EQ(out.size(), order.size());
        for (size_t k = 0; k < order.size(); ++k) ASSERT_EQ(out[k], records[order[k]]) << k;
      }
    }
  }
}

// Records noted with their own ends (a selection, as duplicate removal keeps them) come out
// whole too, in the order given, read from the places noted.
TEST_F(RecordGatherTest, RecordsNotedWithTheirEnds) {
  std::mt19937 rng(23);
  WriteFile("t.csv", RandomText(&rng, 30000) + "\r\n");
  RecordGather all;
  const Lines records = Records("t.csv", &all);
  TableText text(At("t.csv"));
  LineSplitter lines(&text);
  RecordAssembler assembler(&lines, ',', '"', "\r\n");
  std::vector<uint64_t> starts;
  std::string_view record;
  while (assembler.Next(&record)) starts.push_back(assembler.RecordStart());
  starts.push_back(lines.Offset());
  RecordGather some;
  std::vector<size_t> chosen;
  for (size_t r = 0; r < records.size(); r += 1 + rng() % 3) {
    some.AddRange(starts[r], starts[r + 1], records[r].size());
    chosen.push_back(r);
  }
  LargeVector<size_t> order(chosen.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  Lines out;
  some.Write(At("t.csv"), order, 4096, [&out](std::string_view row) { out.emplace_back(row); });
  ASSERT_EQ(out.size(), order.size());
  for (size_t k = 0; k < order.size(); ++k) EXPECT_EQ(out[k], records[chosen[order[k]]]) << k;
}

// A table that changed between the reading of its keys and the copying of its records is not
// copied from: the run fails instead of writing records cut in the wrong places.
TEST_F(RecordGatherTest, ChangedTableIsRefused) {
  WriteFile("t.csv", "b,1\r\na,2\r\nc,3\r\n");
  RecordGather gather;
  Records("t.csv", &gather);
  for (const char* changed : {"b,1\r\na,2\r\n", "b,1\r\naa,2\r\nc,3\r\n"}) {
    WriteFile("t.csv", changed);
    EXPECT_THROW(gather.Write(At("t.csv"), {2, 1, 0}, 1 << 20, [](std::string_view) {}),
                 TessarinError);
  }
}

TEST(RecordGather, JoinedLinesEndWithoutABreak) {
  const struct {
    std::string raw, joined;
  } cases[] = {
      {"", ""},
      {"\r\n", ""},
      {"a\r\n", "a"},
      {"a\nb\r", "a\r\nb"},
      {"a\r\rb", "a\r\n\r\nb"},
      {"a\r\n\r\nb", "a\r\n\r\nb"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendJoinedLines(c.raw, &out);
    EXPECT_EQ(out, c.joined) << testing::PrintToString(c.raw);
  }
}

// Starting the text at an offset gives the rest of the whole text, for 8-bit text with and
// without a UTF-8 mark and for UTF-16, also when the offset lies beyond the first piece.
TEST_F(RecordGatherTest, SeekGivesTheRestOfTheText) {
  std::mt19937 rng(5);
  const std::string text = RandomText(&rng, (3 << 20) / 2);
  std::string le(kMarkUtf16Le);
  ASSERT_TRUE(AppendUtf8AsUtf16Bytes(text, false, &le));
  WriteFile("t8.csv", text);
  WriteFile("m8.csv", std::string(kMarkUtf8) + text);
  WriteFile("le.csv", le);
  for (const char* name : {"t8.csv", "m8.csv", "le.csv"}) {
    for (size_t offset : {size_t{1}, size_t{1000}, text.size() - 3, text.size()}) {
      TableText reader(At(name));
      reader.Seek(offset);
      std::string rest;
      while (reader.Next(&rest)) {
      }
      EXPECT_TRUE(rest == text.substr(offset)) << name << " at " << offset;
    }
  }
}

}  // namespace
