// End-to-end tests of inputs that once made a run crawl or misread a table: very wide tables,
// very long header names, rows that look like a byte-order mark, tables without lines.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <string>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

// `prefix` + 0, `prefix` + 1, ... joined with commas.
std::string Row(const std::string& prefix, int columns) {
  std::string row;
  for (int c = 0; c < columns; ++c) {
    if (c > 0) row += ',';
    row += prefix + std::to_string(c);
  }
  return row;
}

// Each finished in minutes when every file lookup listed the whole folder and every column
// split the header again.
TEST(HostileInput, WideTablesTakeLinearTime) {
  Workdir wd;
  const int columns = 2000;
  const std::string table = Row("c", columns) + "\r\n" + Row("v", columns) + "\r\n";
  wd.Write("t.csv", table);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t/t_1999.txt"), "c1999\r\nv1999\r\n");
  wd.Write("t.csv", "");
  ASSERT_EQ(wd.Run({"-p", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), table);
  ASSERT_EQ(wd.Run({"-u", "-ncfl", "t.csv", "named"}).exit_code, 0);
  EXPECT_EQ(wd.Read("named/c1999.txt"), "c1999\r\nv1999\r\n");
  // Each pass of 64 columns goes on where the last one stopped in every row, whether the width
  // is given or found, and whether the widest row comes first or later.
  wd.Write("g.csv", Row("c", 100) + "\r\n" + Row("v", 150) + "\r\n\r\n\"q,\"\"\",x\r\n");
  ASSERT_EQ(wd.Run({"-u", "-c", "140", "g.csv", "given"}).exit_code, 0);
  EXPECT_EQ(wd.Read("given/g_139.txt"), "\r\nv139\r\n\r\n\r\n");
  EXPECT_FALSE(wd.Exists("given/g_140.txt"));
  ASSERT_EQ(wd.Run({"-u", "g.csv", "found"}).exit_code, 0);
  EXPECT_EQ(wd.Read("found/g_0.txt"), "c0\r\nv0\r\n\r\nq,\"\r\n");
  EXPECT_EQ(wd.Read("found/g_99.txt"), "c99\r\nv99\r\n\r\n\r\n");
  EXPECT_EQ(wd.Read("found/g_149.txt"), "\r\nv149\r\n\r\n\r\n");
  EXPECT_FALSE(wd.Exists("found/g_150.txt"));

  const int wide = 200000;
  wd.Write("w.csv", Row("c", wide) + "\r\n" + Row("v", wide) + "\r\n");
  wd.Write("col.txt", "new\r\n");
  EXPECT_EQ(wd.Run({"-ucn", "c199999", "-ncfld0", "w.csv", "out.txt"}).exit_code, 0);
  EXPECT_EQ(wd.Read("out.txt"), "v199999\r\n");
  for (const char* mode : {"-ucn", "-pcn"}) {
    RunResult r = wd.Run({mode, "nosuch", "w.csv", "col.txt"});
    EXPECT_EQ(r.exit_code, 1) << mode;
    EXPECT_NE(r.out.find("Not find colom: nosuch"), std::string::npos) << r.out;
  }
  EXPECT_EQ(wd.Run({"-pcn", "c199998", "-ncfld0", "-qopt", "w.csv", "col.txt"}).exit_code, 0);
  EXPECT_NE(wd.Read("w.csv").find(",v199997,new,v199999\r\n"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// Pack keeps room for a piece of every column file at once: a file smaller than a piece takes
// room for itself only. 20,000 small files once took 2 GB (a piece's room and a list of a
// thousand lines each), 200,000 of them most of a minute.
TEST(HostileInput, PackOfManySmallFilesStaysSmall) {
  Workdir wd;
  const std::string table = Row("c", 10000) + "\r\n" + Row("v", 10000) + "\r\n";
  wd.Write("t.csv", table);
  ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
  ASSERT_EQ(wd.Run({"-p", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), table);
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss, 512 * 1024) << "KiB at the peak of a run";
}

// "-ncfl" names over 200 bytes would make a file name the file system refuses (with ".txt" over
// 255 bytes), failing halfway through an unpack; they take the numbered name, both ways.
TEST(HostileInput, LongHeaderNamesTakeTheNumberedName) {
  Workdir wd;
  std::string cjk;
  for (int i = 0; i < 100; ++i) cjk += "\xE6\xBC\xA2";  // 300 bytes
  const std::string longest(200, 'n');
  const std::string table = "id," + longest + "," + cjk + "," + longest + "x\r\n1,2,3,4\r\n";
  wd.Write("t.csv", table);
  RunResult u = wd.Run({"-u", "-ncfl", "t.csv"});
  ASSERT_EQ(u.exit_code, 0) << u.out << u.err;
  EXPECT_EQ(wd.Read("t/id.txt"), "id\r\n1\r\n");
  EXPECT_EQ(wd.Read("t/" + longest + ".txt"), longest + "\r\n2\r\n");
  EXPECT_EQ(wd.Read("t/t_2.txt"), cjk + "\r\n3\r\n");
  EXPECT_EQ(wd.Read("t/t_3.txt"), longest + "x\r\n4\r\n");
  wd.Write("t/t_2.txt", cjk + "\r\nthree\r\n");
  ASSERT_EQ(wd.Run({"-p", "-ncfl", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "id," + longest + "," + cjk + "," + longest + "x\r\n1,2,three,4\r\n");
}

// A sort that moves a row beginning with FF FE ("ÿþ" in Latin-1) or EF BB BF to the top would
// make the next load take those bytes for a byte-order mark.
TEST(HostileInput, SortedRowThatLooksLikeAMarkStaysARow) {
  for (const std::string mark : {"\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"}) {
    Workdir wd;
    wd.Write("t.csv", "x,2\r\n" + mark + "a,1\r\n");
    ASSERT_EQ(wd.Run({"-s", "1", "t.csv"}).exit_code, 0);
    EXPECT_EQ(wd.Read("t.csv"), "\"" + mark + "a\",1\r\nx,2\r\n");
    ASSERT_EQ(wd.Run({"-uc", "0", "t.csv", "keys.txt"}).exit_code, 0);
    EXPECT_EQ(wd.Read("keys.txt"), mark + "a\r\nx\r\n");

    // Without a quote character nothing can protect them: the table stays as it was.
    wd.Write("t.csv", "x,2\r\n" + mark + "a,1\r\n");
    const auto before = wd.Snapshot();
    RunResult r = wd.Run({"-s", "1", "-q", "n", "t.csv"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.find("Cannot write file \"" + wd.PathOf("t.csv") + "\"."), 0u) << r.err;
    EXPECT_EQ(wd.Snapshot(), before);
  }
}

// A table without lines has no first row, so no column name is found in it.
TEST(HostileInput, ColumnNameOverATableWithoutLinesIsNotFound) {
  for (const std::string bytes : {"", "\xFF\xFE"}) {
    Workdir wd;
    wd.Write("t.csv", bytes);
    wd.Write("col.txt", "v\r\n");
    const auto before = wd.Snapshot();
    RunResult u = wd.Run({"-ucn", "id", "t.csv", "out.txt"});
    EXPECT_EQ(u.exit_code, 1);
    EXPECT_EQ(u.out, "UNPACK COLOM: " + wd.PathOf("t.csv") + "\nNot find colom: id\n");
    RunResult p = wd.Run({"-pcn", "id", "t.csv", "col.txt"});
    EXPECT_EQ(p.exit_code, 1);
    EXPECT_EQ(p.out, "PACK COLOM: " + wd.PathOf("t.csv") + "\nNot find colom: id\n");
    // A column given by number has nothing to do there.
    EXPECT_EQ(wd.Run({"-uc", "0", "t.csv", "out.txt"}).exit_code, 0);
    EXPECT_EQ(wd.Run({"-pc", "0", "t.csv", "col.txt"}).exit_code, 0);
    EXPECT_EQ(wd.Snapshot(), before);
  }
}

// Pack asks how the old table was quoted with the double quote; "-q" only names the character
// the new table is written with.
TEST(HostileInput, PackTestsTheOldQuotingWithTheDoubleQuote) {
  const struct {
    std::string old_table;
    std::string packed;
  } cases[] = {
      {"a,\"b c\"\r\nd,e\r\n", "'a','b c'\r\n'd','e'\r\n"},
      {"a,'b c'\r\nd,e\r\n", "a,b c\r\nd,e\r\n"},
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t/t_0.txt", "a\r\nd\r\n");
    wd.Write("t/t_1.txt", "b c\r\ne\r\n");
    wd.Write("t.csv", c.old_table);
    ASSERT_EQ(wd.Run({"-p", "-q", "'", "t.csv"}).exit_code, 0);
    EXPECT_EQ(wd.Read("t.csv"), c.packed) << c.old_table;
  }
}

}  // namespace
