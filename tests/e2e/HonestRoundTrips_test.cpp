// What a round trip cannot bring back is said, never dropped in silence: unused lines of a text
// file, values that will not read back, and the UTF-8 mark a spreadsheet needs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

TEST(HonestRoundTrips, LeftOverLinesOfATextFileAreNamed) {
  const struct {
    std::vector<std::string> args;
    std::string file, text;
    std::string note;  // after "tessarin: <abs path of file> "; empty: no note
  } cases[] = {
      {{"-pc", "1"},
       "t.txt",
       "A\nB\nC\ninserted\n",
       "has 4 lines for 3 rows; the last 1 are not used"},
      {{"-pc", "1"}, "t.txt", "A\nB\nC\n\n\n", ""},  // an editor's final line breaks
      {{"-pc", "1", "-ce"},
       "t.txt",
       "A\nB\nC\n",
       "has 3 lines for 2 rows; the last 1 are not used"},
      {{"-pc", "1", "-ncfld0"},
       "t.txt",
       "A\nB\nC\n",
       "has 3 lines for 2 rows; the last 1 are not used"},
      {{"-p"}, "t/t_1.txt", "1\n2\n3\nx\n", "has 4 lines for 3 rows; the last 1 are not used"},
      {{"-p"}, "t/t_1.txt", "1\n2\n3\n\r\n", ""},
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", "h;k\r\na;\r\nb;2\r\n");
    wd.Write("t/t_0.txt", "h\na\nb\n");
    wd.Write(c.file, c.text);
    std::vector<std::string> args = c.args;
    args.push_back("t.csv");
    if (c.file == "t.txt") args.push_back("t.txt");
    const RunResult r = wd.Run(args);
    EXPECT_EQ(r.exit_code, 0) << c.text << r.err;
    const std::string expected =
        c.note.empty() ? "" : "tessarin: " + wd.PathOf(c.file) + " " + c.note + "\n";
    EXPECT_EQ(r.err, expected) << c.text;
  }
}

TEST(HonestRoundTrips, ValuesThatWillNotReadBackAreCountedOnce) {
  const struct {
    std::vector<std::string> args;
    std::string table, err;
  } cases[] = {
      // Token text in a value is decoded by the list already, unless "-qopt" keeps it as text.
      {{"-u"}, "a;C:\\new\\table.txt\r\n", ""},
      {{"-u", "-qopt"},
       "a;C:\\new\r\nb;x\\ty\r\n",
       "tessarin: 2 values will not read back as they are (first: row 0, column 1)\n"},
      {{"-uc", "1", "-qopt"},
       "a;b\r\nc;\\x1F\r\n",
       "tessarin: 1 values will not read back as they are (first: row 1, column 1)\n"},
      // "\x20" inside a value turns into a space in every style.
      {{"-u", "-fehex"},
       "a;x\\x20y\r\n",
       "tessarin: 1 values will not read back as they are (first: row 0, column 1)\n"},
      {{"-u", "-fehex", "-qopt"}, "a;\\t\r\n", ""},  // the hex style leaves "\t" alone
      // A multi-line record held with the join token comes back as the line break it was...
      {{"-u", "-qopt"}, "a;\"x\r\ny\"\r\n", ""},
      // ... unless the table holds that token as text too: then it cannot be told apart.
      {{"-u", "-qopt"},
       "a;\"x\r\ny\"\r\nb;\\r\\n\r\n",
       "tessarin: 2 values will not read back as they are (first: row 0, column 1)\n"},
      // A text file's first line that begins with EF BB BF loses those bytes as an editor's
      // mark on the way back; further down the file they stay.
      {{"-u"},
       "a;\xEF\xBB\xBF" "b\r\nc;\xEF\xBB\xBF\r\n",
       "tessarin: 1 values will not read back as they are (first: row 0, column 1)\n"},
      {{"-u", "-ncfld0"}, "a;\xEF\xBB\xBF" "b\r\nc;d\r\n", ""},
      {{"-uc", "1", "-ce"},
       "a;;x\r\nc;\xEF\xBB\xBF" "d\r\n",
       "tessarin: 1 values will not read back as they are (first: row 1, column 1)\n"},
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", c.table);
    std::vector<std::string> args = c.args;
    args.push_back("t.csv");
    const RunResult r = wd.Run(args);
    EXPECT_EQ(r.exit_code, 0) << c.table << r.err;
    EXPECT_EQ(r.err, c.err) << c.table;
  }
}

TEST(HonestRoundTrips, SpreadsheetUtf8MarkIsKept) {
  const std::string mark = "\xEF\xBB\xBF";
  const std::string table = mark + "name;n\r\nb\xC3\xA9;2\r\na;1\r\na;3\r\n";
  const struct {
    std::vector<std::vector<std::string>> runs;
    std::string expected;
  } cases[] = {
      {{{"-s", "1", "-ncfl"}}, mark + "name;n\r\na;1\r\nb\xC3\xA9;2\r\na;3\r\n"},
      {{{"-nd", "0"}}, mark + "name;n\r\nb\xC3\xA9;2\r\na;1\r\n"},
      {{{"-pc", "1", "-qopt"}}, mark + "name;N\r\nb\xC3\xA9;2\r\na;1\r\na;3\r\n"},
      {{{"-u"}, {"-p", "-qopt"}}, table},
      {{{"-u"}, {"-p", "-qopt", "-d", ";"}}, table.substr(3)},  // "-d" takes nothing over
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", table);
    wd.Write("t_1.txt", "N\n2\n1\n3\n");
    for (std::vector<std::string> args : c.runs) {
      args.push_back("t.csv");
      const RunResult r = wd.Run(args);
      EXPECT_EQ(r.exit_code, 0) << args[0] << r.err;
    }
    EXPECT_EQ(wd.Read("t.csv"), c.expected) << c.runs.back()[0];
  }
}

}  // namespace
