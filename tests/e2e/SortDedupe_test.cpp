// End-to-end tests of sort (-s) and duplicate removal (-nd, -ndl).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

// UTF-16 LE bytes with the mark, for text of code points below U+0800 given as UTF-8.
std::string Utf16Le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(SortDedupe, RewritesTheTableInPlace) {
  struct Case {
    std::vector<std::string> options;
    std::string table, expected;
  };
  const std::string multi_line = "id,text\r\n3,\"line\r\nbreak\"\r\n1,x\r\n3,y\r\n";
  const std::vector<Case> cases = {
      {{"-nd", "0"}, "x;1\r\ny;2\r\nx;3\r\n", "x;1\r\ny;2\r\n"},
      {{"-ndl", "0"}, "x;1\r\ny;2\r\nx;3\r\n", "x;3\r\ny;2\r\n"},
      {{"-nd", "5"}, "a;1\r\nb;2\r\nc;3", "a;1\r\n"},
      {{"-ndl", "5"}, "a;1\r\nb;2\r\nc;3", "c;3\r\n"},
      {{"-s", "0"}, "name;n\r\nb;2\r\na;10\r\na;9", "a;10\r\na;9\r\nb;2\r\nname;n\r\n"},
      // Equal keys come out in the order the partition steps leave them.
      {{"-s", "0"}, "1;x\r\n1;y\r\n", "1;y\r\n1;x\r\n"},
      {{"-s", "0"}, "a;1\r\na;2\r\na;3\r\na;4\r\n", "a;3\r\na;4\r\na;1\r\na;2\r\n"},
      {{"-s", "0"}, "b;1\r\na;1\r\nb;2\r\na;2\r\n", "a;2\r\na;1\r\nb;1\r\nb;2\r\n"},
      {{"-s", "0"}, "a10;x\r\n;e\r\na2;y\r\n", ";e\r\na2;y\r\na10;x\r\n"},
      // Keys are equal only when their bytes are.
      {{"-ndl", "0"}, "01;a\r\n1;b\r\n1;c\r\n", "01;a\r\n1;c\r\n"},
      {{"-nd", "0"}, "A;1\r\na;2\r\nA;3\r\n", "A;1\r\na;2\r\n"},
      {{"-ndl", "0"}, "a;1\r\na;2\r\na;3\r\n", "a;3\r\n"},
      {{"-s", "1"}, "name;n\r\nb;2\r\na;10\r\na;9", "b;2\r\na;9\r\na;10\r\nname;n\r\n"},
      {{"-s", "0"}, Utf16Le(u"\u00e9\tz\r\nb\t1\r\n"), Utf16Le(u"b\t1\r\n\u00e9\tz\r\n")},
      {{"-s", "0"}, multi_line, "1,x\r\n3,y\r\n3,\"line\r\nbreak\"\r\nid,text\r\n"},
      {{"-nd", "0"}, multi_line, "id,text\r\n3,\"line\r\nbreak\"\r\n1,x\r\n"},
      {{"-ndl", "0"}, multi_line, "id,text\r\n3,y\r\n1,x\r\n"},
      // Quoted keys of a TAB table may hold TABs.
      {{"-nd", "0"},
       "\"a\tb\"\t1\r\n\"a\tc\"\t2\r\n\"a\tb\"\t3\r\n",
       "\"a\tb\"\t1\r\n\"a\tc\"\t2\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options) + " " + testing::PrintToString(c.table));
    Workdir wd;
    wd.Write("t.csv", c.table);
    std::vector<std::string> args = c.options;
    args.push_back("t.csv");
    const RunResult r = wd.Run(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, (c.options[0] == "-s" ? "Sorted: " : "Dublicated delete: ") +
                         wd.PathOf("t.csv") + "\n");
    EXPECT_EQ(wd.Read("t.csv"), c.expected);
    if (c.options[0] == "-s") continue;    // a sort may exchange equal keys again
    EXPECT_EQ(wd.Run(args).exit_code, 0);  // a second dedupe changes nothing
    EXPECT_EQ(wd.Read("t.csv"), c.expected);
  }
}

TEST(SortDedupe, LeavesTableUntouchedWhenItCannotOrNeedNotRewrite) {
  struct Case {
    std::vector<std::string> options;
    std::string table;
    int exit_code;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"-s", "-1"}, "b;1\r\na;2\r\n", 1, "List index out of bounds (-1)\n"},
      {{"-nd", "-1"}, "", 1, "List index out of bounds (-1)\n"},
      {{"-ndl", "-1"}, "a\r\n", 1, "List index out of bounds (-1)\n"},
      {{"-s", "0"}, "", 0, ""},
      {{"-nd", "0"}, "\xFF\xFE", 0, ""},
      {{"-s", "0"}, std::string("b;1\r\na\0;2\r\n", 11), 1, "t.csv"},
      {{"-nd", "0"}, std::string("a;1\r\na;2\r\n\0", 11), 1, "t.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options) + " " + testing::PrintToString(c.table));
    Workdir wd;
    wd.Write("t.csv", c.table);
    const auto before = wd.Snapshot();
    std::vector<std::string> args = c.options;
    args.push_back("t.csv");
    const RunResult r = wd.Run(args);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_NE(r.out.find(wd.PathOf("t.csv")), std::string::npos);  // the progress line
    if (c.error.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
    EXPECT_EQ(wd.Snapshot(), before);
  }
}

}  // namespace
