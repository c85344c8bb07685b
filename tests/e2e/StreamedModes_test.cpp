// The modes that stream a table file give the bytes the same mode gives for the same table
// loaded whole (the table "-", read from standard input, is loaded whole): random tables with
// quoted records spanning lines, every kind of line end, repeated keys and a UTF-8 mark.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

std::string RandomTable(std::mt19937* rng, size_t rows) {
  const char* const keys[] = {"a7", "a10", "b", "", "\"q,1\"", "a07", "\"x\r\ny\"", "B"};
  const char* const values[] = {"v", "\"w,\"\"z\"\"\"", "\"line\r\nbreak\"", "", "u\\r\\nv"};
  const char* const ends[] = {"\r\n", "\n", "\r\n", "\r"};
  std::string table = "id,key,value\r\n";
  for (size_t r = 0; r < rows; ++r) {
    table += std::to_string((*rng)() % 50) + "," + keys[(*rng)() % std::size(keys)];
    if ((*rng)() % 5 != 0) table += std::string(",") + values[(*rng)() % std::size(values)];
    table += ends[(*rng)() % std::size(ends)];
  }
  return table;
}

TEST(StreamedModes, SameBytesAsTheTableLoadedWhole) {
  std::mt19937 rng(17);
  // "T" stands for the table: "-" loaded whole, the file streamed.
  const std::vector<std::vector<std::string>> modes = {
      {"-s", "1", "T"},
      {"-s", "0", "T"},
      {"-s", "2", "-ncfl", "T"},
      {"-nd", "1", "T"},
      {"-ndl", "1", "T"},
      {"-ndl", "0", "-ncfl", "T"},
      {"-nd", "1", "-q", "n", "T"},
      {"-pc", "2", "T", "col.txt"},
      {"-pc", "1", "-ce", "T", "col.txt"},
      {"-uc", "1", "T", "-"},  // the column to standard output, where it is compared
      {"-uc", "2", "-ce", "T", "-"},
  };
  for (int round = 0; round < 3; ++round) {
    std::string table = RandomTable(&rng, 3000);
    if (round == 1) table = "\xEF\xBB\xBF" + table;
    if (round == 2) table.resize(table.size() - 1);  // a last line without its break, maybe cut
    Workdir wd;
    wd.Write("col.txt", "X\r\n\r\nY\\r\\nZ\r\n \r\n");
    for (std::vector<std::string> args : modes) {
      SCOPED_TRACE("round " + std::to_string(round) + ": " + testing::PrintToString(args));
      std::vector<std::string> from_input = args;
      for (std::string& arg : from_input) arg = arg == "T" ? "-" : arg;
      for (std::string& arg : args) arg = arg == "T" ? "t.csv" : arg;
      const RunResult loaded = wd.Run(from_input, table);
      ASSERT_EQ(loaded.exit_code, 0) << loaded.err;
      wd.Write("t.csv", table);
      const RunResult streamed = wd.Run(args);
      ASSERT_EQ(streamed.exit_code, 0) << streamed.err;
      EXPECT_TRUE((args[0] == "-uc" ? streamed.out : wd.Read("t.csv")) == loaded.out);
    }
  }
}

}  // namespace

namespace {

// Unpack takes a shortcut for values that hold nothing to escape; unpack column reads every
// value the long way. Each column file must equal what unpack column writes for that column,
// on rows of uneven width (wider than one pass of files too), with edge spaces, tokens, raw
// control bytes, quoted tokens and a mark-like first value.
TEST(StreamedModes, UnpackWritesWhatUnpackColumnWrites) {
  std::mt19937 rng(29);
  const char* const values[] = {"plain", " lead", "trail ", " ", "", "a\\tb", "x<LF>y", "c\td",
                                "\"q,\"\"r\"\"\"", "\"multi\r\nline\"", "\\x41", "<b>", "ü"};
  for (const size_t width : {size_t{5}, size_t{70}}) {
    std::string table = "\xEF\xBB\xBFhead";
    for (size_t c = 1; c < width; ++c) table += ",h" + std::to_string(c);
    table += "\r\n";
    for (int r = 0; r < 300; ++r) {
      const size_t fields = 1 + rng() % (width + 2);
      for (size_t c = 0; c < fields; ++c) {
        table += (c > 0 ? "," : "") + std::string(values[rng() % std::size(values)]);
      }
      table += "\r\n";
    }
    Workdir wd;
    wd.Write("t.csv", table);
    ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
    for (size_t c = 0; c < width + 2; ++c) {
      SCOPED_TRACE("width " + std::to_string(width) + ", column " + std::to_string(c));
      const RunResult column = wd.Run({"-uc", std::to_string(c), "t.csv", "col.txt"});
      ASSERT_EQ(column.exit_code, 0) << column.err;
      EXPECT_TRUE(wd.Read("t/t_" + std::to_string(c) + ".txt") == wd.Read("col.txt"));
    }
  }
}

}  // namespace

namespace {

// A NUL byte far into a table, past where the first pass stops (a quoted field settles the
// format early), refuses the table when the streaming pass reaches it: exit 1, and every file
// as it was, in every mode that streams the table.
TEST(StreamedModes, LateNulByteRefusesTheTableWithEveryFileAsItWas) {
  std::string table = "id,name\r\n1,\"a,b\"\r\n";
  for (int r = 2; table.size() < 300000; ++r) table += std::to_string(r) + ",value\r\n";
  table += std::string("x,y\0z\r\n", 7) + "9,end\r\n";
  const std::vector<std::vector<std::string>> runs = {{"-u", "t.csv"},
                                                      {"-u", "-ncfl", "t.csv"},
                                                      {"-uc", "1", "t.csv", "col.txt"},
                                                      {"-pc", "1", "t.csv", "col.txt"},
                                                      {"-p", "t.csv"},
                                                      {"-s", "1", "t.csv"},
                                                      {"-ndl", "1", "t.csv"}};
  for (const auto& args : runs) {
    SCOPED_TRACE(testing::PrintToString(args));
    Workdir wd;
    wd.Write("t.csv", table);
    wd.Write("t/t_0.txt", "old\r\n");
    wd.Write("t/id.txt", "old\r\n");
    wd.Write("col.txt", "old\r\n");
    const auto before = wd.Snapshot();
    const RunResult r = wd.Run(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("It holds a NUL byte"), std::string::npos) << r.err;
    EXPECT_TRUE(wd.Snapshot() == before);
  }
  // Pack reads the rest of the old table beside its own work: the NUL byte still refuses the
  // run ahead of what else fails, here a column file that is not there.
  Workdir wd;
  wd.Write("t.csv", table);
  const RunResult r = wd.Run({"-p", "t.csv"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("It holds a NUL byte"), std::string::npos) << r.err;
  EXPECT_EQ(wd.Read("t.csv"), table);
}

}  // namespace
