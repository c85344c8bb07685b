// The front of the program seen from outside: usage, help, argument faults, the table check.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Workdir.h"

namespace {

using e2e::RunResult;
using e2e::Workdir;

const char kTable[] = "b;2\r\na;1\r\n";

// The usage text, built line by line from its indentation and words.
std::string ExpectedUsage() {
  const std::string hyphens(57, '-');
  const std::vector<std::pair<int, std::string>> lines = {
      {0, "Tessarin by Quorrel v" TESSARIN_VERSION},
      {0, "Usage: Tessarin [Mode] [Options] [csv] [folder/file]"},
      {5, "Mode:"},
      {13, "[-u] unpack"},
      {13, "[-p] pack"},
      {13, "folder = [folder]"},
      {13, R"(optionally [folder] = default .\[namecsv]\)"},
      {0, hyphens},
      {13, "[-s [colom]] sorted numer colom"},
      {13, "[-ce] clear empty (work with one export colom)"},
      {13, "[-nd[l] [colom]] not dublicates numer colom [l]=last duble (default first duble)"},
      {0, hyphens},
      {13, "[-uc [value]] unpack colom value "},
      {13, "[-pc [value]] pack colom value namefile = [file].txt"},
      {13, "[-ucn [name]] unpack colom name"},
      {13, "[-pcn [name]] pack colom name namefile = [file].txt"},
      {13, "namefile text = [file]"},
      {13, "[-namefiles [name]] set namefiles = [name]_[colomn].txt"},
      {13, R"(optionally = .\[namecsv]\[namecsv]_[value].txt)"},
      {5, "Options:"},
      {13, "[-d [char]] Delimiter"},
      {13, R"([-q [char]] Quote, -q [q]=" -q [n]= not use quote)"},
      {13, "[-qopt] quote optimize if -q true"},
      {13, "[-c [value]] count colom"},
      {0, "optionally -d -q -c = auto detect"},
      {13, "[-fe[none,da,rn,hex,hml]] format enter"},
      {13,
       "[-ncfl[d0]] name colom first line (warning need original file!) [d0] = delete text 0 "
       "line"},
  };
  std::string text;
  for (const auto& [indent, words] : lines) text += std::string(indent, ' ') + words + "\n";
  return text;
}

std::string Join(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += "[" + arg + "] ";
  return text;
}

TEST(CommandLine, NoArgumentsPrintsUsageAndReadsALine) {
  Workdir wd;
  const RunResult r = wd.Run({}, "\n");
  EXPECT_EQ(r.out, ExpectedUsage());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(r.timed_out);
}

TEST(CommandLine, HelpAndVersionAnswerAndExit) {
  const std::string usage = ExpectedUsage();
  const struct {
    std::vector<std::string> args;
    std::string out;
    int exit_code;
  } cases[] = {
      {{"--help"}, usage, 0},
      {{"-h"}, usage, 0},
      {{"-?"}, usage, 0},
      {{"-H", "t.csv"}, usage, 0},
      {{"--version"}, "Tessarin " TESSARIN_VERSION "\n", 0},
      {{"--VERSION", "-s", "x"}, "Tessarin " TESSARIN_VERSION "\n", 0},  // met before the fault
      {{"-s", "x", "--version"}, "Error value -s\n", 2},                 // the earlier fault wins
      {{"-d", "--help", "missing.csv"}, "Not find file: ", 1},  // "--help" was the delimiter
  };
  for (const auto& c : cases) {
    Workdir wd;
    const RunResult r = wd.Run(c.args);
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << Join(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << Join(c.args);
  }
}

TEST(CommandLine, FaultyOptionPrintsItsMessageAndTouchesNothing) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"t.csv", "-s"}, "Error value -s"},
      {{"-s", "x", "t.csv"}, "Error value -s"},
      {{"-S", "x", "t.csv"}, "Error value -s"},
      {{"-s", "1.5", "t.csv"}, "Error value -s"},
      {{"-nd", "", "t.csv"}, "Error value -nd"},
      {{"t.csv", "-nD"}, "Error value -nd"},
      {{"-ndl", "0x", "t.csv"}, "Error value -ndl"},
      {{"t.csv", "-ndl"}, "Error value -ndl"},
      {{"-uc", "3 ", "t.csv"}, "Error value -uc"},
      {{"t.csv", "-uc"}, "Error value -uc"},
      {{"-pc", "2147483648", "t.csv"}, "Error value -pc"},
      {{"t.csv", "-pc"}, "Error value -pc"},
      {{"t.csv", "-ucn"}, "Error value -ucn"},
      {{"t.csv", "-PCN"}, "Error value -pcn"},
      {{"t.csv", "-NameFiles"}, "Error value -namefiles"},
      {{"t.csv", "-d"}, "Error delimited input..."},
      {{"t.csv", "-q"}, "Error quote input..."},
      {{"t.csv", "-c"}, "Error colom input..."},
      {{"-c", "two", "t.csv"}, "Error CountColomn not value..."},
      {{"-c", "-2147483649", "t.csv"}, "Error CountColomn not value..."},
      {{"-u", "-s", "x", "-c"}, "Error value -s"},  // the first fault is reported
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", kTable);
    const auto before = wd.Snapshot();
    const RunResult r = wd.Run(c.args);
    EXPECT_EQ(r.out, c.message + "\n") << Join(c.args);
    EXPECT_EQ(r.err, "") << Join(c.args);
    EXPECT_EQ(r.exit_code, 2) << Join(c.args);
    EXPECT_EQ(wd.Snapshot(), before) << Join(c.args);
  }
}

TEST(CommandLine, ArgumentsWithoutTablePathPrintUsageAndFail) {
  const std::vector<std::vector<std::string>> cases = {
      {"-u"}, {"-s", "1"}, {"-zzz"}, {"-d", "t.csv"}, {""}, {"", "t.csv"},
  };
  for (const auto& args : cases) {
    Workdir wd;
    wd.Write("t.csv", kTable);
    const auto before = wd.Snapshot();
    const RunResult r = wd.Run(args);
    EXPECT_EQ(r.out, ExpectedUsage()) << Join(args);
    EXPECT_EQ(r.exit_code, 2) << Join(args);
    EXPECT_EQ(wd.Snapshot(), before) << Join(args);
  }
}

TEST(CommandLine, MissingTableIsReportedWithItsAbsolutePath) {
  const struct {
    std::vector<std::string> args;
    std::string reported;  // relative to the work folder
  } cases[] = {
      {{"-u", "missing.csv"}, "missing.csv"},
      {{"sub/../missing.csv"}, "missing.csv"},
      {{"-s", "0", "./missing.csv"}, "missing.csv"},
      {{"-nd", "1", "missing.csv"}, "missing.csv"},
      {{"-uc", "0", "missing.csv", "out.txt"}, "missing.csv"},
      {{"-pcn", "name", "missing.csv"}, "missing.csv"},
      {{"-p", "-ncfl", "missing.csv"}, "missing.csv"},  // pack reads names from the old table
      {{"-p", "-u", "missing.csv"}, "missing.csv"},     // the last mode wins
      {{"-d", "-p", "missing.csv"}, "missing.csv"},     // "-p" is the delimiter, not a mode
  };
  for (const auto& c : cases) {
    Workdir wd;
    const RunResult r = wd.Run(c.args);
    EXPECT_EQ(r.out, "Not find file: " + wd.PathOf(c.reported) + "\n") << Join(c.args);
    EXPECT_EQ(r.exit_code, 1) << Join(c.args);
    EXPECT_EQ(wd.Snapshot(), (std::map<std::string, std::string>{})) << Join(c.args);
  }
}

TEST(CommandLine, PackMayCreateTheTable) {
  Workdir wd;
  const RunResult r = wd.Run({"-u", "-p", "new.csv"});
  EXPECT_EQ(r.out.find("Not find file: " + wd.PathOf("new.csv") + "\n"), std::string::npos);
}

TEST(CommandLine, TableWithoutModeIsOnlyChecked) {
  const struct {
    std::vector<std::string> args;
    std::string err;  // unknown options are still ignored, but not without a word
  } cases[] = {
      {{"t.csv"}, ""},
      {{"T.CSV"}, ""},
      {{"-zzz", "t.csv", "-Unknown"},
       "tessarin: unknown option \"-zzz\" ignored\n"
       "tessarin: unknown option \"-Unknown\" ignored\n"},
      {{"t.csv", "folder", "third", "fourth"}, ""},
      {{"-d", ";", "-q", "q", "-c", "$10", "-fehex", "-ncfld0", "-ce", "-qopt", "t.csv"}, ""},
      {{"-d", "-zzz", "-namefiles", "-yyy", "t.csv"}, ""},  // values, not options
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", kTable);
    const auto before = wd.Snapshot();
    const RunResult r = wd.Run(c.args);
    EXPECT_EQ(r.out, "") << Join(c.args);
    EXPECT_EQ(r.err, c.err) << Join(c.args);
    EXPECT_EQ(r.exit_code, 0) << Join(c.args);
    EXPECT_EQ(wd.Snapshot(), before) << Join(c.args);
  }
}

TEST(CommandLine, MistypedOptionIsNamedWhateverElseHappens) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    int exit_code;
  } cases[] = {
      {{"-fehml", "-s", "x", "t.csv"}, "Error value -s\n", 2},
      {{"-fehml"}, "", 2},  // the usage text follows on standard output
      {{"-fehml", "-u", "t.csv"}, "UNPACK: ", 0},
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", kTable);
    const RunResult r = wd.Run(c.args);
    EXPECT_EQ(r.err, "tessarin: unknown option \"-fehml\" ignored\n") << Join(c.args);
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << Join(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << Join(c.args);
  }
}

TEST(CommandLine, TableIsFoundIgnoringCase) {
  Workdir wd;
  wd.Write("data.csv", kTable);
  const RunResult r = wd.Run({"-u", "Data.CSV"});
  EXPECT_EQ(r.out.find("Not find file"), std::string::npos) << r.out;
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

// Output names the work folder, which differs between the two runs compared.
std::string WithoutFolder(std::string text, const std::string& folder) {
  for (size_t at; (at = text.find(folder)) != std::string::npos;)
    text.replace(at, folder.size(), "<wd>");
  return text;
}

TEST(CommandLine, OptionInCapitalsWorksLikeLowerCase) {
  const std::vector<std::string> lower = {"-s", "1", "t.csv"};
  const std::vector<std::string> upper = {"-S", "1", "t.csv"};
  Workdir a, b;
  a.Write("t.csv", kTable);
  b.Write("t.csv", kTable);
  const RunResult ra = a.Run(lower);
  const RunResult rb = b.Run(upper);
  EXPECT_EQ(ra.exit_code, 0);
  EXPECT_EQ(rb.exit_code, ra.exit_code);
  EXPECT_EQ(WithoutFolder(rb.out, b.path()), WithoutFolder(ra.out, a.path()));
  EXPECT_EQ(b.Snapshot(), a.Snapshot());
}

}  // namespace
