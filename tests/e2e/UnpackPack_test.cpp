// End-to-end tests of unpack (-u) and pack (-p) through the real binary.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

// Unpacks t.csv, then packs the files back over it; returns the packed bytes.
std::string RoundTrip(const Workdir& wd, const std::vector<std::string>& options = {}) {
  std::vector<std::string> unpack{"-u"}, pack{"-p"};
  unpack.insert(unpack.end(), options.begin(), options.end());
  pack.insert(pack.end(), options.begin(), options.end());
  unpack.push_back("t.csv");
  pack.push_back("t.csv");
  RunResult u = wd.Run(unpack);
  EXPECT_EQ(u.exit_code, 0) << u.out << u.err;
  RunResult p = wd.Run(pack);
  EXPECT_EQ(p.exit_code, 0) << p.out << p.err;
  return wd.Read("t.csv");
}

TEST(UnpackPack, ThreeColumnsFourRowsRoundTrip) {
  Workdir wd;
  const std::string table = "a;b;c\r\n1;2;3\r\nx;;z\r\n;;\r\n";
  wd.Write("t.csv", table);
  RunResult u = wd.Run({"-u", "t.csv"});
  EXPECT_EQ(u.out, "UNPACK: " + wd.PathOf("t.csv") + "\n");
  EXPECT_EQ(wd.Read("t/t_0.txt"), "a\r\n1\r\nx\r\n\r\n");
  EXPECT_EQ(wd.Read("t/t_1.txt"), "b\r\n2\r\n\r\n\r\n");
  EXPECT_EQ(wd.Read("t/t_2.txt"), "c\r\n3\r\nz\r\n\r\n");
  EXPECT_FALSE(wd.Exists("t/t_3.txt"));
  RunResult p = wd.Run({"-p", "t.csv"});
  EXPECT_EQ(p.out, "PACK: " + wd.PathOf("t.csv") + "\n");
  EXPECT_EQ(wd.Read("t.csv"), table);  // an unquoted table stays unquoted
  EXPECT_EQ(RoundTrip(wd, {"-qopt"}), table);
}

TEST(UnpackPack, LineBreaksAndEdgeSpacesAreEscapedInTheFiles) {
  Workdir wd;
  // A record over two lines, and a value with a space at each end.
  const std::string table = "\"x\r\ny\",\" pad \"\r\n";
  struct Case {
    std::string style;
    std::string column0;
  } cases[] = {{"-fern", "x\\r\\ny\r\n"},
               {"-feda", "x\\d\\ay\r\n"},
               {"-fehex", "x\\x0D\\x0Ay\r\n"},
               {"-fehlm", "x<CR><LF>y\r\n"}};
  for (const Case& c : cases) {
    wd.Write("t.csv", table);
    ASSERT_EQ(wd.Run({"-u", c.style, "t.csv"}).exit_code, 0);
    EXPECT_EQ(wd.Read("t/t_0.txt"), c.column0) << c.style;
    EXPECT_EQ(wd.Read("t/t_1.txt"), "\\x20pad\\x20\r\n");
    // With "-qopt" the packed table holds the real line break again, and quotes only what
    // needs them (spaces do not).
    ASSERT_EQ(wd.Run({"-p", "-qopt", c.style, "t.csv"}).exit_code, 0);
    EXPECT_EQ(wd.Read("t.csv"), "\"x\r\ny\", pad \r\n") << c.style;
  }
  // Style none spells every control byte as a hex token.
  wd.Write("t.csv", "\"x\\x0D\\x0Ay\",b\r\n");
  ASSERT_EQ(wd.Run({"-u", "-fenone", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t/t_0.txt"), "x\\x0D\\x0Ay\r\n");
  ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t/t_0.txt"), "x\\r\\ny\r\n");
  ASSERT_EQ(wd.Run({"-p", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "\"x\\r\\ny\",\"b\"\r\n");
}

TEST(UnpackPack, NamedFilesAndHeaderSkipping) {
  Workdir wd;
  wd.Write("t.csv", "id,name\r\n1,Ann\r\n2,Bob\r\n");
  ASSERT_EQ(wd.Run({"-u", "-ncfl", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t/id.txt"), "id\r\n1\r\n2\r\n");
  EXPECT_EQ(wd.Read("t/name.txt"), "name\r\nAnn\r\nBob\r\n");
  ASSERT_EQ(wd.Run({"-u", "-ncfld0", "t.csv", "out"}).exit_code, 0);
  EXPECT_EQ(wd.Read("out/name.txt"), "Ann\r\nBob\r\n");
  // Pack takes the header row from the table, so the names can be found again.
  wd.Write("out/name.txt", "Cy\r\nDi\r\n");
  ASSERT_EQ(wd.Run({"-p", "-ncfld0", "t.csv", "out"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "id,name\r\n1,Cy\r\n2,Di\r\n");
  wd.Write("t/name.txt", "NAME\r\nEd\r\nFlo\r\n");
  ASSERT_EQ(wd.Run({"-p", "-ncfl", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "id,NAME\r\n1,Ed\r\n2,Flo\r\n");
}

TEST(UnpackPack, UnsafeOrRepeatedHeaderNamesFallBackToNumbers) {
  Workdir wd;
  wd.Write("t.csv", "a,A,../x,,t_0,c:d\r\n1,2,3,4,5,6\r\n");
  RunResult u = wd.Run({"-u", "-ncfl", "t.csv"});
  ASSERT_EQ(u.exit_code, 0) << u.err;
  EXPECT_EQ(wd.Read("t/a.txt"), "a\r\n1\r\n");
  for (int c = 1; c <= 5; ++c) {
    EXPECT_TRUE(wd.Exists("t/t_" + std::to_string(c) + ".txt")) << c;
  }
  EXPECT_FALSE(wd.Exists("x.txt"));
  wd.Write("t/t_2.txt", "../x\r\nthree\r\n");
  ASSERT_EQ(wd.Run({"-p", "-ncfl", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "a,A,../x,,t_0,c:d\r\n1,2,three,4,5,6\r\n");
}

TEST(UnpackPack, WidestRowDecidesTheColumnsAndCountLimitsThem) {
  Workdir wd;
  wd.Write("t.csv", "a;b\r\n1;2;3;4\r\n");
  ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t/t_3.txt"), "\r\n4\r\n");
  ASSERT_EQ(wd.Run({"-u", "-c", "1", "-namefiles", "col", "t.csv", "one"}).exit_code, 0);
  EXPECT_EQ(wd.Read("one/col_0.txt"), "a\r\n1\r\n");
  EXPECT_FALSE(wd.Exists("one/col_1.txt"));
}

TEST(UnpackPack, PackReadsColumnsUpToTheFirstGap) {
  Workdir wd;
  wd.Write("t/t_0.txt", "a\r\nb\r\n");
  wd.Write("t/t_1.txt", "1\r\n2\r\n3\r\n");
  wd.Write("t/t_3.txt", "never\r\n");
  RunResult p = wd.Run({"-p", "-qopt", "t.csv"});
  ASSERT_EQ(p.exit_code, 0) << p.err;
  EXPECT_EQ(wd.Read("t.csv"), "a,1\r\nb,2\r\n");  // the first file decides the rows
}

TEST(UnpackPack, PackKeepsTableWhenFirstColumnFileMissing) {
  Workdir wd;
  wd.Write("t.csv", "keep,me\r\n");
  wd.Write("t/t_1.txt", "x\r\n");
  RunResult p = wd.Run({"-p", "t.csv"});
  EXPECT_EQ(p.exit_code, 1);
  EXPECT_EQ(p.out,
            "PACK: " + wd.PathOf("t.csv") + "\nNot find file: " + wd.PathOf("t/t_0.txt") + "\n");
  EXPECT_EQ(wd.Read("t.csv"), "keep,me\r\n");
}

TEST(UnpackPack, ShortColumnFileGivesEmptyCellsAndAWarning) {
  Workdir wd;
  wd.Write("t/t_0.txt", "a\r\nb\r\nc\r\n");
  wd.Write("t/t_1.txt", "1\r\n");
  wd.Write("t/t_2.txt", "x\r\ny\r\nz\r\n");
  RunResult p = wd.Run({"-p", "-qopt", "t.csv"});
  ASSERT_EQ(p.exit_code, 0);
  EXPECT_EQ(p.out,
            "PACK: " + wd.PathOf("t.csv") + "\nWarning count lines csv moree txt: csv=3 txt=1\n");
  EXPECT_EQ(wd.Read("t.csv"), "a,1,x\r\nb,,y\r\nc,,z\r\n");
}

TEST(UnpackPack, PackWithNamesNeedsTheTableAndEveryNamedFile) {
  Workdir wd;
  RunResult none = wd.Run({"-p", "-ncfl", "t.csv"});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.out, "Not find file: " + wd.PathOf("t.csv") + "\n");
  EXPECT_FALSE(wd.Exists("t.csv"));
  wd.Write("t.csv", "id,name\r\n1,Ann\r\n");
  wd.Write("t/id.txt", "id\r\n7\r\n");
  RunResult missing = wd.Run({"-p", "-ncfl", "t.csv"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.out.find("Not find file: " + wd.PathOf("t/name.txt")), std::string::npos);
  EXPECT_EQ(wd.Read("t.csv"), "id,name\r\n1,Ann\r\n");
}

TEST(UnpackPack, PackKeepsTheOldTablesFormat) {
  Workdir wd;
  // UTF-16 LE with TAB delimiters, as spreadsheets save "Unicode text".
  const std::string utf16(
      "\xFF\xFE"
      "a\0\t\0b\0\r\0\n\0",
      12);
  wd.Write("t.csv", utf16);
  ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t/t_1.txt"), "b\r\n");
  ASSERT_EQ(wd.Run({"-p", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), utf16);
  // A delimiter given on the command line wins, and the table is written without a mark.
  ASSERT_EQ(wd.Run({"-p", "-qopt", "-d", ";", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "a;b\r\n");
}

TEST(UnpackPack, QuotedTablesRoundTripUnchanged) {
  struct Case {
    const char* name;
    std::string table;
  } cases[] = {
      {"tab with quotes", "\"a\tb\"\tc\r\n\"x\"\"y\"\t\"z\"\r\n"},
      {"quoted first column only", "\"Smith, John\",42\r\n\"Doe, Jane\",7\r\n"},
      {"multi-line record", "id;text\r\n1;\"two\r\nlines\"\r\n2;plain\r\n"},
      {"non-ASCII", "n;w\r\n\xC3\xA9t\xC3\xA9;\"\xD0\xB4\xD0\xB0;\"\r\n"},
  };
  for (const Case& c : cases) {
    Workdir wd;
    wd.Write("t.csv", c.table);
    const std::string first = RoundTrip(wd);
    EXPECT_EQ(RoundTrip(wd), first) << c.name;  // fixed point after the first pack
    // Reading the packed table gives the values of the original.
    ASSERT_EQ(wd.Run({"-u", "t.csv", "again"}).exit_code, 0);
    Workdir orig;
    orig.Write("t.csv", c.table);
    ASSERT_EQ(orig.Run({"-u", "t.csv"}).exit_code, 0);
    for (int col = 0; orig.Exists("t/t_" + std::to_string(col) + ".txt"); ++col) {
      const std::string name = "t_" + std::to_string(col) + ".txt";
      EXPECT_EQ(wd.Read("again/" + name), orig.Read("t/" + name)) << c.name << " " << name;
    }
  }
}

TEST(UnpackPack, PackOverATableWithoutDelimiterKeepsTheComma) {
  Workdir wd;
  wd.Write("t.csv", "single\r\nb,c\r\n");
  ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
  ASSERT_EQ(wd.Run({"-p", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "single,\r\nb,c\r\n");
}

TEST(UnpackPack, NoQuoteCharacterNeverWritesQuotes) {
  Workdir wd;
  wd.Write("t.csv", "a,\"b\"\r\n");
  wd.Write("t/t_0.txt", "x\"y\r\n");
  wd.Write("t/t_1.txt", "\r\n");
  ASSERT_EQ(wd.Run({"-p", "-q", "n", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "x\"y,\r\n");
}

TEST(UnpackPack, UnquotedRowsKeepLineBreaksAsTokens) {
  Workdir wd;
  wd.Write("t/t_0.txt", "a\\r\\nb\r\n");
  wd.Write("t/t_1.txt", "c\r\n");
  ASSERT_EQ(wd.Run({"-p", "-qopt", "-q", "n", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "a\\r\\nb,c\r\n");
}

TEST(UnpackPack, TextFileMarkIsDroppedAndNulRefused) {
  Workdir wd;
  wd.Write("t/t_0.txt", "\xEF\xBB\xBFvalue\r\n");
  ASSERT_EQ(wd.Run({"-p", "-qopt", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "value\r\n");
  wd.Write("t/t_0.txt", std::string("va\0lue\r\n", 8));
  RunResult p = wd.Run({"-p", "t.csv"});
  EXPECT_EQ(p.exit_code, 1);
  EXPECT_NE(p.err.find("NUL"), std::string::npos);
  EXPECT_EQ(wd.Read("t.csv"), "value\r\n");
}

TEST(UnpackPack, TableWithNulIsRefusedUntouched) {
  Workdir wd;
  const std::string table("a,b\r\nc\0d,e\r\n", 12);
  wd.Write("t.csv", table);
  RunResult u = wd.Run({"-u", "t.csv"});
  EXPECT_EQ(u.exit_code, 1);
  EXPECT_NE(u.err.find(wd.PathOf("t.csv")), std::string::npos);
  EXPECT_FALSE(wd.Exists("t"));
  EXPECT_EQ(wd.Read("t.csv"), table);
}

TEST(UnpackPack, EmptyTableWritesNothing) {
  for (std::string bytes : {std::string(), std::string("\xFF\xFE")}) {
    Workdir wd;
    wd.Write("t.csv", bytes);
    RunResult u = wd.Run({"-u", "t.csv"});
    EXPECT_EQ(u.exit_code, 0);
    EXPECT_EQ(u.out, "UNPACK: " + wd.PathOf("t.csv") + "\n");
    EXPECT_FALSE(wd.Exists("t"));
  }
}

TEST(UnpackPack, EditedValueWithTheDelimiterKeepsThePlainTableAligned) {
  Workdir wd;
  wd.Write("t.csv", "name,city\r\nAnn,Oslo\r\n");
  ASSERT_EQ(wd.Run({"-u", "t.csv"}).exit_code, 0);
  wd.Write("t/t_0.txt", "name\r\nSmith, Ann\r\n");
  ASSERT_EQ(wd.Run({"-p", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "name,city\r\n\"Smith, Ann\",Oslo\r\n");
  ASSERT_EQ(wd.Run({"-uc", "1", "t.csv"}).exit_code, 0);
  EXPECT_EQ(wd.Read("t_1.txt"), "city\r\nOslo\r\n");
}

TEST(UnpackPack, FailedSaveLeavesTheTableAsItWas) {
  Workdir wd;
  // A UTF-16 table cannot take a value that is not UTF-8.
  const std::string utf16(
      "\xFF\xFE"
      "a\0\r\0\n\0",
      8);
  wd.Write("u.csv", utf16);
  wd.Write("u/u_0.txt", "caf\xE9\r\n");
  RunResult bad = wd.Run({"-p", "u.csv"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("UTF-8"), std::string::npos) << bad.err;
  EXPECT_EQ(wd.Read("u.csv"), utf16);
  // A file-size limit stops the write half-way; the old table stays whole and no temporary
  // file is left behind.
  const std::string table = "old,table\r\n";
  wd.Write("t.csv", table);
  wd.Write("t/t_0.txt", std::string(100000, 'x') + "\r\n");
  const auto before = wd.Snapshot();
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &limit);  // the child inherits it
  RunResult full = wd.Run({"-p", "t.csv"});
  setrlimit(RLIMIT_FSIZE, &old_limit);
  EXPECT_EQ(full.exit_code, 1);
  EXPECT_FALSE(full.err.empty());
  EXPECT_EQ(wd.Snapshot(), before);
}

}  // namespace
