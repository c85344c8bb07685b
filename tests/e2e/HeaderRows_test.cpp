// "-ncfl"/"-ncfld0" name a header row: sort and dedupe leave it on top and out of their work.
// "-d tab" and "-d \t" name the TAB.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

TEST(HeaderRows, SortAndDedupeKeepTheHeaderFirst) {
  const struct {
    std::vector<std::string> options;
    std::string table, expected;
  } cases[] = {
      {{"-s", "0", "-ncfl"}, "name;n\r\nb;2\r\na;1\r\n", "name;n\r\na;1\r\nb;2\r\n"},
      {{"-s", "0", "-ncfld0"}, "z;n\r\nb;2\r\na;1\r\n", "z;n\r\na;1\r\nb;2\r\n"},
      {{"-s", "0"}, "z;n\r\nb;2\r\na;1\r\n", "a;1\r\nb;2\r\nz;n\r\n"},  // no header without it
      // A multi-line header stays whole on top.
      {{"-s", "0", "-ncfl"},
       "\"na\r\nme\";n\r\nb;2\r\na;1\r\n",
       "\"na\r\nme\";n\r\na;1\r\nb;2\r\n"},
      // The header's key is no key: a data row that repeats it stays, and is never replaced.
      {{"-nd", "0", "-ncfl"}, "id;v\r\nid;1\r\nx;2\r\nx;3\r\n", "id;v\r\nid;1\r\nx;2\r\n"},
      {{"-ndl", "0", "-ncfld0"}, "id;v\r\nid;1\r\nx;2\r\nx;3\r\n", "id;v\r\nid;1\r\nx;3\r\n"},
      {{"-ndl", "0"}, "id;v\r\nid;1\r\nx;2\r\n", "id;1\r\nx;2\r\n"},
      {{"-s", "0", "-ncfl"}, "only;header\r\n", "only;header\r\n"},
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", c.table);
    std::vector<std::string> args = c.options;
    args.push_back("t.csv");
    const RunResult r = wd.Run(args);
    EXPECT_EQ(r.exit_code, 0) << c.table << r.err;
    EXPECT_EQ(wd.Read("t.csv"), c.expected) << c.table;
  }
}

TEST(HeaderRows, TabDelimiterHasANameAndAnEscape) {
  const struct {
    std::string delimiter, expected;
  } cases[] = {
      {"tab", "2\ty;b\r\n1\tz;a\r\n"},
      {"TAB", "2\ty;b\r\n1\tz;a\r\n"},
      {"\\t", "2\ty;b\r\n1\tz;a\r\n"},
      {";", "1\tz;a\r\n2\ty;b\r\n"},  // any other value: its first character
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", "1\tz;a\r\n2\ty;b\r\n");
    const RunResult r = wd.Run({"-d", c.delimiter, "-s", "1", "t.csv"});
    EXPECT_EQ(r.exit_code, 0) << c.delimiter << r.err;
    EXPECT_EQ(wd.Read("t.csv"), c.expected) << c.delimiter;
  }
}

}  // namespace
