// "-" as the table or the text file: data on standard input and output, messages out of its way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

const char kTable[] = "id,name,city\r\n2,bert,\"new\r\nyork\"\r\n1,anna,rome\r\n";

TEST(StandardStreams, ColumnThroughAPipeChangesThatColumnOnly) {
  Workdir wd;
  wd.Write("t.csv", "id,name,city\r\n1,anna,rome\r\n2,bert,oslo\r\n");
  const RunResult out = wd.Run({"-qopt", "-uc", "2", "t.csv", "-"});
  EXPECT_EQ(out.out, "city\r\nrome\r\noslo\r\n");  // no progress line in the data
  EXPECT_EQ(out.err, "UNPACK COLOM: " + wd.PathOf("t.csv") + "\n");
  const RunResult in = wd.Run({"-qopt", "-pc", "2", "t.csv", "-"}, "CITY\nROME\nOSLO\n");
  EXPECT_EQ(in.exit_code, 0) << in.err;
  EXPECT_EQ(in.out, "PACK COLOM: " + wd.PathOf("t.csv") + "\n");  // no data on stdout here
  EXPECT_EQ(wd.Read("t.csv"), "id,name,CITY\r\n1,anna,ROME\r\n2,bert,OSLO\r\n");
}

TEST(StandardStreams, TableFromStandardInputGoesToStandardOutput) {
  const struct {
    std::vector<std::string> args;
    std::string in, out, progress;
  } cases[] = {
      {{"-s", "0", "-"},
       kTable,
       "1,anna,rome\r\n2,bert,\"new\r\nyork\"\r\nid,name,city\r\n",
       "Sorted: -"},
      {{"-S", "0", "-ncfl", "-"},
       kTable,
       "id,name,city\r\n1,anna,rome\r\n2,bert,\"new\r\nyork\"\r\n",
       "Sorted: -"},
      {{"-nd", "1", "-"}, "a;1\nb;1\n", "a;1\r\n", "Dublicated delete: -"},
      // The column of a table on standard input goes to standard output unless a file is named.
      {{"-uc", "1", "-"}, kTable, "name\r\nbert\r\nanna\r\n", "UNPACK COLOM: -"},
      {{"-ucn", "city", "-", "-"}, kTable, "city\r\nnew\\r\\nyork\r\nrome\r\n", "UNPACK COLOM: -"},
      // The encoding comes back as it went in: a UTF-8 mark, UTF-16 with its mark.
      {{"-s", "0", "-"},
       "\xEF\xBB\xBF"
       "b\r\na\r\n",
       "\xEF\xBB\xBF"
       "a\r\nb\r\n",
       "Sorted: -"},
      {{"-s", "0", "-"},
       std::string("\xFF\xFE"
                   "b\0\r\0\n\0a\0",
                   10),
       std::string("\xFF\xFE"
                   "a\0\r\0\n\0b\0\r\0\n\0",
                   14),
       "Sorted: -"},
      {{"-s", "0", "-"}, "", "", "Sorted: -"},  // nothing in, nothing out, no failure
  };
  for (const auto& c : cases) {
    Workdir wd;
    const RunResult r = wd.Run(c.args, c.in);
    EXPECT_EQ(r.exit_code, 0) << c.args[0] << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[0];
    EXPECT_EQ(r.err, c.progress + "\n") << c.args[0];
    EXPECT_TRUE(wd.Snapshot().empty()) << c.args[0];  // no file written
  }
}

TEST(StandardStreams, PackColumnOverStandardInputReadsItsLinesFromAFile) {
  Workdir wd;
  wd.Write("names.txt", "NAME\nBERT\n");
  const RunResult r = wd.Run({"-qopt", "-pc", "1", "-", "names.txt"}, "id,name\n2,bert\n1,anna\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "id,NAME\r\n2,BERT\r\n1,anna\r\n");
  EXPECT_EQ(r.err, "PACK COLOM: -\nWarning count lines csv moree txt: csv=2 txt=2\n");
}

TEST(StandardStreams, ModesThatCannotTakeAStreamAreCommandLineFaults) {
  const std::vector<std::vector<std::string>> cases = {
      {"-u", "-"},
      {"-p", "-"},
      {"-pc", "1", "-"},
      {"-pcn", "name", "-", "-"},
  };
  for (const auto& args : cases) {
    Workdir wd;
    const RunResult r = wd.Run(args, kTable);
    EXPECT_EQ(r.exit_code, 2) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_EQ(r.err.rfind("tessarin: ", 0), 0u) << r.err;
    EXPECT_TRUE(wd.Snapshot().empty()) << args[0];
  }
}

TEST(StandardStreams, FailuresGoToStandardErrorWhenDataGoesToStandardOutput) {
  Workdir wd;
  const RunResult r = wd.Run({"-ucn", "nothing", "-"}, kTable);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "UNPACK COLOM: -\nNot find colom: nothing\n");
  const RunResult nul = wd.Run({"-s", "0", "-"}, std::string("a\0b\n", 4));
  EXPECT_EQ(nul.exit_code, 1);
  EXPECT_EQ(nul.out, "");
  EXPECT_NE(nul.err.find("NUL"), std::string::npos) << nul.err;
}

}  // namespace
