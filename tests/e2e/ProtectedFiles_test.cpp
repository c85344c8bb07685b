// Files a run must not replace: read-only tables and text files, devices and FIFOs; a failing
// unpack that leaves every column file as it was; messages that name long paths briefly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Spawn.h"
#include "Workdir.h"

namespace {

using e2e::Child;
using e2e::RunResult;
using e2e::Workdir;

const char kTable[] = "a,b,c\r\n1,2,3\r\n";

// The permission bits decide, also for the superuser: a file without any write bit is not
// replaced, and the run fails before it changes anything.
TEST(ProtectedFiles, ReadOnlyFilesAreNotReplaced) {
  const struct {
    std::vector<std::string> args;
    std::string read_only;
  } cases[] = {
      {{"-s", "0", "t.csv"}, "t.csv"},
      {{"-nd", "0", "t.csv"}, "t.csv"},
      {{"-p", "t.csv"}, "t.csv"},
      {{"-pc", "1", "t.csv"}, "t.csv"},
      {{"-uc", "1", "t.csv"}, "t_1.txt"},
      {{"-u", "t.csv"}, "t/t_1.txt"},  // a later column: the earlier files stay too
      {{"-u", "-ncfl", "t.csv"}, "t/c.txt"},
  };
  for (const auto& c : cases) {
    Workdir wd;
    wd.Write("t.csv", kTable);
    for (const char* name : {"t/t_0.txt", "t/t_1.txt", "t/t_2.txt", "t/a.txt", "t/b.txt",
                             "t/c.txt", "t_1.txt"}) {
      wd.Write(name, "old\r\n");
    }
    chmod(wd.PathOf(c.read_only).c_str(), 0444);
    const auto before = wd.Snapshot();
    RunResult r = wd.Run(c.args);
    EXPECT_EQ(r.exit_code, 1) << c.args[0];
    EXPECT_EQ(r.err, "Cannot create file \"" + wd.PathOf(c.read_only) + "\". Permission denied\n")
        << c.args[0];
    EXPECT_EQ(wd.Snapshot(), before) << c.args[0];
  }
}

// A later column that cannot be written (here a folder stands where its file would go) fails
// the unpack before any column file is replaced.
TEST(ProtectedFiles, FailingUnpackLeavesEveryColumnFile) {
  Workdir wd;
  wd.Write("t.csv", kTable);
  wd.Write("t/a.txt", "edited a\r\n");
  wd.Write("t/b.txt", "edited b\r\n");
  std::filesystem::create_directories(wd.PathOf("t/c.txt"));
  const auto before = wd.Snapshot();
  RunResult r = wd.Run({"-u", "-ncfl", "t.csv"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Cannot create file \"" + wd.PathOf("t/c.txt") + "\". Is a directory\n");
  EXPECT_EQ(wd.Snapshot(), before);
}

// A table that is no regular file is refused by every mode that rewrites it, before it is read
// (a FIFO nobody writes to would block the run otherwise).
TEST(ProtectedFiles, SpecialFileAsRewrittenTableIsRefused) {
  const std::vector<std::vector<std::string>> runs = {
      {"-s", "0", "f.csv"}, {"-nd", "0", "f.csv"}, {"-p", "f.csv"}, {"-pc", "0", "f.csv", "x.txt"}};
  for (const auto& args : runs) {
    Workdir wd;
    ASSERT_EQ(mkfifo(wd.PathOf("f.csv").c_str(), 0644), 0);
    wd.Write("x.txt", "v\r\n");
    wd.Write("f/f_0.txt", "v\r\n");
    RunResult r = wd.Run(args);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1) << args[0];
    EXPECT_EQ(r.err, "Cannot write file \"" + wd.PathOf("f.csv") + "\". Not a regular file\n");
    EXPECT_TRUE(std::filesystem::is_fifo(wd.PathOf("f.csv"))) << args[0];
  }
}

// A device or FIFO named as the text file is written to as it is, never replaced; the modes that
// only read the table read a FIFO as it comes.
TEST(ProtectedFiles, SpecialFilesAreWrittenAndReadDirectly) {
  Workdir wd;
  wd.Write("t.csv", kTable);
  RunResult to_null = wd.Run({"-uc", "1", "t.csv", "/dev/null"});
  EXPECT_EQ(to_null.exit_code, 0) << to_null.err;
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

  ASSERT_EQ(mkfifo(wd.PathOf("out.fifo").c_str(), 0644), 0);
  // Opened for reading and writing, the FIFO takes the small output without blocking the run.
  const int fifo = open(wd.PathOf("out.fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(fifo, 0);
  RunResult to_fifo = wd.Run({"-uc", "1", "t.csv", "out.fifo"});
  char buffer[64] = {};
  const ssize_t n = read(fifo, buffer, sizeof buffer);
  close(fifo);
  EXPECT_EQ(to_fifo.exit_code, 0) << to_fifo.err;
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "b\r\n2\r\n");
  EXPECT_TRUE(std::filesystem::is_fifo(wd.PathOf("out.fifo")));

  ASSERT_EQ(mkfifo(wd.PathOf("in.csv").c_str(), 0644), 0);
  Child reader(TESSARIN_BINARY, wd.path(), {"-uc", "2", "in.csv", "col.txt"});
  const int in = open(wd.PathOf("in.csv").c_str(), O_WRONLY);
  ASSERT_GE(in, 0);
  ASSERT_EQ(write(in, kTable, sizeof kTable - 1), static_cast<ssize_t>(sizeof kTable - 1));
  close(in);
  EXPECT_EQ(reader.Wait().exit_code, 0);
  EXPECT_EQ(wd.Read("col.txt"), "c\r\n3\r\n");
}

// A name of thousands of bytes stands in a message cut to 200 bytes around "...".
TEST(ProtectedFiles, LongNamesInMessagesAreCut) {
  Workdir wd;
  wd.Write("t.csv", kTable);
  const std::string long_name = std::string(5000, 'n') + ".txt";
  RunResult missing = wd.Run({"-pc", "0", "t.csv", long_name});
  EXPECT_EQ(missing.exit_code, 1);
  const std::string shown = missing.out.substr(missing.out.find("Not find file: "));
  EXPECT_LE(shown.size(), 220u);
  EXPECT_NE(shown.find("nnn...nnn"), std::string::npos) << shown;
  EXPECT_NE(shown.find(".txt\n"), std::string::npos) << shown;

  RunResult too_long = wd.Run({"-uc", "0", "t.csv", long_name});
  EXPECT_EQ(too_long.exit_code, 1);
  EXPECT_LE(too_long.err.size(), 260u) << too_long.err;
  EXPECT_NE(too_long.err.find("...nnn"), std::string::npos) << too_long.err;
  EXPECT_NE(too_long.err.find("File name too long"), std::string::npos) << too_long.err;
  EXPECT_EQ(wd.Snapshot().size(), 1u);
}

}  // namespace
