#include "Settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "Platform.h"
#include "ScratchFolder.h"

namespace {

TEST(ParseInt32, AcceptsWholeNumbersThatFit) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},
      {"   42", 42},
      {"+7", 7},
      {"-7", -7},
      {"$1F", 31},
      {"0x1f", 31},
      {"0X1F", 31},
      {"-$10", -16},
      {"-0x10", -16},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-$80000000", INT32_MIN},
      {"00000000000000000000012", 12},
  };
  for (const auto& c : cases) {
    int32_t value = 99;
    EXPECT_TRUE(ParseInt32(c.text, &value)) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
}

TEST(ParseInt32, RefusesEverythingElse) {
  const char* const cases[] = {
      "2147483648", "-2147483649", "$80000000", "$FFFFFFFF", "99999999999999999999999",
      "",           "   ",         "+",         "-",         "$",
      "0x",         " 12 ",        "12a",       "1.5",       "\t12",
      "- 5",        "+-5",         "1F",        "$G",        "x1F",
  };
  for (const char* text : cases) {
    int32_t value = 99;
    EXPECT_FALSE(ParseInt32(text, &value)) << '"' << text << '"';
    EXPECT_EQ(value, 99) << '"' << text << '"';
  }
}

// The fields a parse may set that differ from their start values, in a fixed order.
std::string Changed(const RunSettings& s) {
  const RunSettings d;
  std::ostringstream out;
  auto field = [&out](const char* name, const auto& value, const auto& start) {
    if (value != start) out << name << "=" << value << " ";
  };
  field("mode", int{s.Mode}, int{d.Mode});
  field("table", s.TablePath, d.TablePath);
  field("folder", s.Folder, d.Folder);
  field("delim", s.DelimiterChar, d.DelimiterChar);
  field("quote", s.QuoteSymbol, d.QuoteSymbol);
  field("count", s.ColumnCount, d.ColumnCount);
  field("qopt", s.QuoteOptimize, d.QuoteOptimize);
  field("ce", s.ClearEmpty, d.ClearEmpty);
  field("fe", int{s.FormatEnter}, int{d.FormatEnter});
  field("ncfl", s.NamesFromFirstLine, d.NamesFromFirstLine);
  field("skip", s.SkipFirstLine, d.SkipFirstLine);
  field("column", s.Column, d.Column);
  field("byname", s.ColumnByName, d.ColumnByName);
  field("name", s.ColumnName, d.ColumnName);
  field("key", s.KeyColumn, d.KeyColumn);
  field("namefiles", s.NameFiles, d.NameFiles);
  field("last", s.KeepLast, d.KeepLast);
  return out.str();
}

TEST(ParseCommandLine, FillsTheSettings) {
  const struct {
    std::vector<std::string> args;
    std::string changed;
  } cases[] = {
      {{"t.csv"}, "table=t.csv "},
      {{"t.csv", "out", "third"}, "table=t.csv folder=out "},
      {{"", "t.csv"}, "folder=t.csv "},  // an empty argument takes the table's place
      {{"-U", "t.csv"}, "mode=1 table=t.csv "},
      {{"-d", "-u"}, "delim=- "},  // a value is the next argument, whatever it looks like
      {{"-d", ";;"}, "delim=; "},
      {{"-d", "", "-q", ""}, ""},
      {{"-d", ";", "-d", ""}, "delim=; "},
      {{"-q", "q"}, "quote=\" "},
      {{"-q", "Q"}, "quote=Q "},
      {{"-q", "n"}, "quote=n "},
      {{"-s", "3", "-nd", "4"}, "mode=4 key=4 "},
      {{"-ndl", "1", "-nd", "2"}, "mode=4 key=2 last=1 "},
      {{"-ucn", "Last Name", "-uc", "-1"}, "mode=5 column=-1 byname=1 name=Last Name "},
      {{"-ucn", ""}, "mode=5 byname=1 "},
      {{"-pc", "$A", "-u", "-p"}, "mode=2 column=10 "},
      {{"-pcn", "-x"}, "mode=6 byname=1 name=-x "},
      {{"-NameFiles", "Col", "-c", " -2"}, "count=-2 namefiles=Col "},
      {{"-fehex", "-FEDA"}, "fe=1 "},
      {{"-fehlm"}, "fe=4 "},
      {{"-fern", "-fenone"}, "fe=0 "},
      {{"-ncfld0", "-ncfl"}, "ncfl=1 skip=1 "},
      {{"-qopt", "-ce", "-zz", "-fe", "-u-"}, "qopt=1 ce=1 "},
  };
  for (const auto& c : cases) {
    RunSettings settings;
    ParseCommandLine(c.args, &settings);
    EXPECT_EQ(Changed(settings), c.changed) << ::testing::PrintToString(c.args);
  }
}

using DerivePathsTest = ScratchFolder;

TEST_F(DerivePathsTest, BuildsAbsoluteFolderAndTextPath) {
  const std::string sep(1, platform::kPreferredSeparator);
  const std::string parent = root_.substr(0, root_.rfind(sep));
  const struct {
    std::string table, folder;
    int32_t column;
    std::string want_table, want_folder, want_text;
  } cases[] = {
      {"/d/list.csv", "", 0, Absolute("/d/list.csv"), Absolute("/d/list/"),
       Absolute("/d/list_0.txt")},
      {"/d/list.csv", "", 3, Absolute("/d/list.csv"), Absolute("/d/list/"),
       Absolute("/d/list_3.txt")},
      {"/d/list.csv", "/e/out", 3, Absolute("/d/list.csv"), Absolute("/e/out/"),
       Absolute("/e/out")},
      {"/d/list.csv", "/e/out/", 0, Absolute("/d/list.csv"), Absolute("/e/out/"),
       Absolute("/e/out/")},
      {"/d/x/../list.tar.gz", "", 0, Absolute("/d/list.tar.gz"), Absolute("/d/list.tar/"),
       Absolute("/d/list.tar_0.txt")},
      {"/d.v/list", "", 0, Absolute("/d.v/list"), Absolute("/d.v/list/"),
       Absolute("/d.v/list_0.txt")},
      {"list.csv", "", 1, At("list.csv"), At("list/"), At("list_1.txt")},
      {"list.csv", "sub/col.txt", 1, At("list.csv"), At("sub/col.txt/"), At("sub/col.txt")},
      {"../up.csv", "", 0, parent + sep + "up.csv", parent + sep + "up" + sep,
       parent + sep + "up_0.txt"},
  };

  for (const auto& c : cases) {
    RunSettings s;
    s.TablePath = c.table;
    s.Folder = c.folder;
    s.Column = c.column;
    DerivePaths(&s);
    EXPECT_EQ(s.TablePath, c.want_table) << c.table << " " << c.folder;
    EXPECT_EQ(s.Folder, c.want_folder) << c.table << " " << c.folder;
    EXPECT_EQ(s.TextPath, c.want_text) << c.table << " " << c.folder;
  }
}

TEST_F(DerivePathsTest, FollowsTheSpellingOfTheTableFound) {
  WriteFile("data.csv", "a\r\n");
  RunSettings s;
  s.TablePath = "Data.CSV";
  DerivePaths(&s);
  SettleNameFiles(&s);
  EXPECT_EQ(s.TablePath, At("data.csv"));
  EXPECT_EQ(s.Folder, At("data/"));
  EXPECT_EQ(s.NameFiles, "data");
}

TEST(SettleDelimiterAndQuote, DetectsWhatWasNotGiven) {
  const struct {
    char delimiter, quote;
    char want_delimiter, want_quote;
    bool auto_delimiter, auto_quote, use_quotes;
  } cases[] = {
      {0, 0, ',', '"', true, true, true},
      {';', '\'', ';', '\'', false, false, true},
      {'\t', 'n', '\t', 0, false, false, false},
      {0, 'N', ',', 'N', true, false, true},
  };
  for (const auto& c : cases) {
    RunSettings s;
    s.DelimiterChar = c.delimiter;
    s.QuoteSymbol = c.quote;
    SettleDelimiterAndQuote(&s);
    EXPECT_EQ(s.DelimiterChar, c.want_delimiter) << int{c.delimiter} << " " << c.quote;
    EXPECT_EQ(s.QuoteSymbol, c.want_quote) << int{c.delimiter} << " " << c.quote;
    EXPECT_EQ(s.AutoDelimiter, c.auto_delimiter) << int{c.delimiter} << " " << c.quote;
    EXPECT_EQ(s.AutoQuote, c.auto_quote) << int{c.delimiter} << " " << c.quote;
    EXPECT_EQ(s.UseQuotes, c.use_quotes) << int{c.delimiter} << " " << c.quote;
  }
}

}  // namespace
