// End-to-end tests of unpack column (-uc, -ucn) and pack column (-pc, -pcn).
#include <gtest/gtest.h>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

std::string Lines(int from, int to, const std::string& prefix) {
  std::string text;
  for (int i = from; i <= to; ++i) text += prefix + std::to_string(i) + "\r\n";
  return text;
}

TEST(ColumnModes, UnpackColumnWritesBesideTheTableOrToTheGivenFile) {
  Workdir wd;
  wd.Write("t.csv", "a;b;c\r\n1;2;3\r\n");
  RunResult u = wd.Run({"-uc", "2", "t.csv"});
  EXPECT_EQ(u.out, "UNPACK COLOM: " + wd.PathOf("t.csv") + "\n");
  EXPECT_EQ(wd.Read("t_2.txt"), "c\r\n3\r\n");
  ASSERT_EQ(wd.Run({"-uc", "1", "t.csv", "sub/col.txt"}).exit_code, 0);
  EXPECT_EQ(wd.Read("sub/col.txt"), "b\r\n2\r\n");
  // A column that no row has: one empty line per row.
  ASSERT_EQ(wd.Run({"-uc", "7", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t_7.txt"), "\r\n\r\n");
}

TEST(ColumnModes, ColumnByNameIsLookedUpInTheFirstRow) {
  Workdir wd;
  wd.Write("t.csv", "id;name\r\n1;Ann\r\n2;Bob\r\n");
  ASSERT_EQ(wd.Run({"-ucn", "name", "t.csv"}).exit_code, 0);  // without -ncfl too
  EXPECT_EQ(wd.Read("t_0.txt"), "name\r\nAnn\r\nBob\r\n");
  ASSERT_EQ(wd.Run({"-ucn", "name", "-ncfld0", "t.csv", "n.txt"}).exit_code, 0);
  EXPECT_EQ(wd.Read("n.txt"), "Ann\r\nBob\r\n");
  wd.Write("n.txt", "Cy\r\nDi\r\n");
  ASSERT_EQ(wd.Run({"-pcn", "name", "-ncfld0", "-qopt", "t.csv", "n.txt"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "id;name\r\n1;Cy\r\n2;Di\r\n");
}

TEST(ColumnModes, UnknownColumnNameFailsAndTouchesNothing) {
  Workdir wd;
  wd.Write("t.csv", "id;name\r\n1;Ann\r\n");
  wd.Write("x.txt", "v\r\n");
  const auto before = wd.Snapshot();
  RunResult u = wd.Run({"-ucn", "Name", "t.csv", "out.txt"});
  EXPECT_EQ(u.exit_code, 1);
  EXPECT_EQ(u.out, "UNPACK COLOM: " + wd.PathOf("t.csv") + "\nNot find colom: Name\n");
  RunResult p = wd.Run({"-pcn", "Name", "t.csv", "x.txt"});
  EXPECT_EQ(p.exit_code, 1);
  EXPECT_EQ(p.out, "PACK COLOM: " + wd.PathOf("t.csv") + "\nNot find colom: Name\n");
  RunResult missing = wd.Run({"-pc", "1", "t.csv", "none.txt"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.out, "PACK COLOM: " + wd.PathOf("t.csv") +
                             "\nNot find file: " + wd.PathOf("none.txt") + "\n");
  EXPECT_EQ(wd.Snapshot(), before);
}

TEST(ColumnModes, FewerLinesThanRowsWarnPerRemainingRow) {
  Workdir wd;
  wd.Write("t.csv", Lines(0, 9, "r;"));
  wd.Write("t_1.txt", Lines(0, 6, "v"));
  RunResult p = wd.Run({"-pc", "1", "-qopt", "t.csv"});
  ASSERT_EQ(p.exit_code, 0);
  EXPECT_EQ(p.out, "PACK COLOM: " + wd.PathOf("t.csv") +
                       "\nWarning count lines csv moree txt: csv=7 txt=7"
                       "\nWarning count lines csv moree txt: csv=8 txt=7"
                       "\nWarning count lines csv moree txt: csv=9 txt=7\n");
  EXPECT_EQ(wd.Read("t.csv"), Lines(0, 6, "r;v") + Lines(7, 9, "r;"));
}

TEST(ColumnModes, ClearEmptySkipsEmptyValuesBothWays) {
  Workdir wd;
  wd.Write("t.csv", "1;a\r\n2;\r\n3;b\r\n");
  ASSERT_EQ(wd.Run({"-uc", "1", "-ce", "t.csv", "c.txt"}).exit_code, 0);
  EXPECT_EQ(wd.Read("c.txt"), "a\r\nb\r\n");
  wd.Write("c.txt", "A\r\nB\r\n");
  ASSERT_EQ(wd.Run({"-pc", "1", "-ce", "-qopt", "t.csv", "c.txt"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "1;A\r\n2;\r\n3;B\r\n");
  // Too few lines: every remaining row warns, the empty one too.
  wd.Write("c.txt", "X\r\n");
  RunResult p = wd.Run({"-pc", "1", "-ce", "-qopt", "t.csv", "c.txt"});
  EXPECT_NE(p.out.find("csv=1 txt=1\n"), std::string::npos);
  EXPECT_NE(p.out.find("csv=2 txt=1\n"), std::string::npos);
  // Nothing to write: the old text file stays as it was.
  wd.Write("t.csv", "1;\r\n2;\r\n");
  ASSERT_EQ(wd.Run({"-uc", "1", "-ce", "t.csv", "c.txt"}).exit_code, 0);
  EXPECT_EQ(wd.Read("c.txt"), "X\r\n");
}

TEST(ColumnModes, PackColumnPadsShortRowsAndKeepsThemForEmptyValues) {
  Workdir wd;
  wd.Write("t.csv", "a;b;c\r\nd\r\n\r\ne\r\n");
  wd.Write("t_2.txt", "C\r\nF\r\nG\r\n\r\n");
  RunResult p = wd.Run({"-pc", "2", "-qopt", "t.csv"});
  ASSERT_EQ(p.exit_code, 0) << p.err;
  EXPECT_EQ(wd.Read("t.csv"), "a;b;C\r\nd;;F\r\n;;G\r\ne\r\n");
}

TEST(ColumnModes, PackColumnKeepsOtherColumnsAndQuoting) {
  Workdir wd;
  wd.Write("t.csv", "\"x;1\";\"old\"\r\n\"y\";\"old\"\r\n");
  wd.Write("t_1.txt", "new \"q\"\r\n\\x20sp\r\n");
  ASSERT_EQ(wd.Run({"-pc", "1", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "\"x;1\";\"new \"\"q\"\"\"\r\n\"y\";\" sp\"\r\n");
  ASSERT_EQ(wd.Run({"-uc", "1", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t_1.txt"), "new \"q\"\r\n\\x20sp\r\n");
}

TEST(ColumnModes, EmptyTableIsLeftAlone) {
  Workdir wd;
  wd.Write("t.csv", "");
  wd.Write("t_0.txt", "v\r\n");
  const auto before = wd.Snapshot();
  EXPECT_EQ(wd.Run({"-pc", "0", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Run({"-uc", "3", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Snapshot(), before);
}

}  // namespace
