// Runs interrupted while they save, and runs on one table at the same time: every file stays
// whole (the old or the new content), nothing is left behind, and no run's edit is lost.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Spawn.h"
#include "Workdir.h"

namespace {

using e2e::Child;
using e2e::RunResult;
using e2e::Workdir;
using Clock = std::chrono::steady_clock;

std::string BigTable(int rows, unsigned seed) {
  std::mt19937 rng(seed);
  std::string text;
  for (int r = 0; r < rows; ++r) {
    text += "k" + std::to_string(rng() % 1000000) + ",v" + std::to_string(r) + "\r\n";
  }
  return text;
}

std::string Column(int rows, const std::string& prefix) {
  std::string text;
  for (int r = 0; r < rows; ++r) text += prefix + std::to_string(r) + "\r\n";
  return text;
}

// True once the run holds a file that has no name yet (an O_TMPFILE shows as "... (deleted)"),
// or a temporary file shows in the folder: it has begun to save.
bool Saving(const Child& child, const Workdir& wd) {
  std::error_code ignored;
  const std::string fds = "/proc/" + std::to_string(child.pid()) + "/fd";
  for (const auto& fd : std::filesystem::directory_iterator(fds, ignored)) {
    const std::string target = std::filesystem::read_symlink(fd.path(), ignored).string();
    if (target.rfind(wd.path(), 0) == 0 && target.find("(deleted)") != std::string::npos) {
      return true;
    }
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(wd.path(), ignored)) {
    if (entry.path().extension() == ".tmp") return true;
  }
  return false;
}

// Entries of the folder that are neither the table nor a column file: what a run left behind.
int Leftovers(const Workdir& wd, const std::set<std::string>& expected) {
  int count = 0;
  for (const auto& entry : wd.Snapshot()) {
    if (expected.count(entry.first) == 0) {
      std::cerr << "left behind: " << entry.first << "\n";
      ++count;
    }
  }
  return count;
}

// Pack rewrites a table of some MB while it reads the column files, so a signal at any moment
// after the first write lands in the middle of saving; unpack replaces two column files.
TEST(Interrupted, SignalWhileSavingLeavesWholeFilesAndNothingBehind) {
  const int kRows = 150000;
  const std::string table = BigTable(kRows, 7);
  const std::string col0 = Column(kRows, "edited"), col1 = Column(kRows, "w");
  struct Mode {
    std::vector<std::string> args;
    std::vector<std::string> files;  // those that must be whole: old or new
  };
  const Mode pack{{"-p", "t.csv"}, {"t.csv"}};
  const Mode unpack{{"-u", "t.csv"}, {"t/t_0.txt", "t/t_1.txt"}};
  auto prepare = [&](const Workdir& wd) {
    wd.Write("t.csv", table);
    wd.Write("t/t_0.txt", col0);
    wd.Write("t/t_1.txt", col1);
  };
  // The old and the new content of every file, and how long an undisturbed run takes.
  struct Model {
    std::map<std::string, std::string> old_files, new_files;
    std::set<std::string> names;
    std::chrono::microseconds run_time;
  };
  auto model_of = [&](const Mode& mode) {
    Model m;
    Workdir wd;
    prepare(wd);
    m.old_files = wd.Snapshot();
    const auto start = Clock::now();
    EXPECT_EQ(wd.Run(mode.args).exit_code, 0);
    m.run_time = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    m.new_files = wd.Snapshot();
    for (const auto& entry : m.new_files) m.names.insert(entry.first);
    return m;
  };
  const Model pack_model = model_of(pack), unpack_model = model_of(unpack);
  const struct {
    const Mode* mode;
    const Model* model;
    int signal_number;
    int runs;
  } cases[] = {
      {&pack, &pack_model, SIGKILL, 3},     {&pack, &pack_model, SIGINT, 2},
      {&pack, &pack_model, SIGTERM, 1},     {&pack, &pack_model, SIGHUP, 1},
      {&unpack, &unpack_model, SIGINT, 1},  {&unpack, &unpack_model, SIGKILL, 1},
  };
  std::mt19937 rng(42);
  int kill_leftovers = 0, other_leftovers = 0, interrupted = 0;
  for (const auto& c : cases) {
    const auto& old_files = c.model->old_files;
    const auto& new_files = c.model->new_files;
    const auto& names = c.model->names;
    const auto run_time = c.model->run_time;
    for (int i = 0; i < c.runs; ++i) {
      Workdir wd;
      prepare(wd);
      Child child(TESSARIN_BINARY, wd.path(), c.mode->args);
      while (child.Running() && !Saving(child, wd)) {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
      std::this_thread::sleep_for(run_time / 4 * (rng() % 100) / 100);
      if (child.Running()) child.Signal(c.signal_number);
      RunResult r = child.Wait();
      EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 128 + c.signal_number) << r.exit_code;
      if (r.exit_code != 0) ++interrupted;
      const auto after = wd.Snapshot();
      for (const std::string& file : c.mode->files) {
        ASSERT_EQ(after.count(file), 1u) << file;
        EXPECT_TRUE(after.at(file) == old_files.at(file) || after.at(file) == new_files.at(file))
            << file << " is neither the old nor the new file (" << after.at(file).size()
            << " bytes)";
      }
      (c.signal_number == SIGKILL ? kill_leftovers : other_leftovers) += Leftovers(wd, names);
    }
  }
  std::cout << "Interrupted runs: " << interrupted << "; files left behind: " << kill_leftovers
            << " after SIGKILL, " << other_leftovers << " after SIGINT, SIGTERM and SIGHUP\n";
  EXPECT_EQ(other_leftovers, 0);
  EXPECT_EQ(kill_leftovers, 0);  // the temporary file has no name while it is written
}

// Holds the table's lock like another run would, for as long as it lives.
class HeldLock {
 public:
  explicit HeldLock(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0 || flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path);
  }
  ~HeldLock() { close(fd_); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

 private:
  int fd_;
};

// Feeds a FIFO that a run reads as its text file; blocks until the run opens it.
void Feed(const std::string& fifo, const std::string& text) {
  const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
}

// A pack column run that reads its text file from a FIFO stops, holding the table, until the
// test feeds it: a second run started meanwhile must wait for it, then work on its result.
TEST(Interrupted, SecondRunWaitsAndWorksOnTheFirstRunsResult) {
  Workdir wd;
  wd.Write("t.csv", "b,1\r\na,2\r\nc,3\r\n");
  ASSERT_EQ(mkfifo(wd.PathOf("lines.txt").c_str(), 0644), 0);
  Child first(TESSARIN_BINARY, wd.path(), {"-pc", "0", "t.csv", "lines.txt"});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Child second(TESSARIN_BINARY, wd.path(), {"-s", "0", "t.csv"});
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_TRUE(second.Running()) << "the sort did not wait for the pack column run";
  Feed(wd.PathOf("lines.txt"), "z\r\ny\r\nx\r\n");
  EXPECT_EQ(first.Wait().exit_code, 0);
  EXPECT_EQ(second.Wait().exit_code, 0);
  EXPECT_EQ(wd.Read("t.csv"), "x,3\r\ny,2\r\nz,1\r\n");
}

// Another program changes the table while a run works on it: the run fails naming the table
// and the other program's change stays.
TEST(Interrupted, TableChangedMeanwhileIsKept) {
  const std::string changed = "changed,by,hand\r\n";
  for (bool by_rename : {false, true}) {
    Workdir wd;
    wd.Write("t.csv", "b,1\r\na,2\r\n");
    ASSERT_EQ(mkfifo(wd.PathOf("lines.txt").c_str(), 0644), 0);
    Child run(TESSARIN_BINARY, wd.path(), {"-pc", "0", "t.csv", "lines.txt"});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (by_rename) {
      wd.Write("new.csv", changed);
      std::filesystem::rename(wd.PathOf("new.csv"), wd.PathOf("t.csv"));
    } else {
      wd.Write("t.csv", changed);  // in place: same file, new size and time
    }
    Feed(wd.PathOf("lines.txt"), "x\r\ny\r\n");
    RunResult r = run.Wait();
    EXPECT_EQ(r.exit_code, 1) << by_rename;
    EXPECT_EQ(r.err, "Cannot write file \"" + wd.PathOf("t.csv") +
                         "\". It was changed by another program during this run; that change "
                         "is kept\n");
    EXPECT_EQ(wd.Read("t.csv"), changed);
    // The table and the FIFO, and nothing else (a FIFO cannot be read into a snapshot).
    const auto entries = std::distance(std::filesystem::directory_iterator(wd.path()),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 2);
  }
}

TEST(Interrupted, TableLockedTooLongFailsNamingIt) {
  Workdir wd;
  wd.Write("t.csv", "b\r\na\r\n");
  HeldLock lock(wd.PathOf("t.csv"));
  const auto start = Clock::now();
  RunResult r = wd.Run({"-s", "0", "t.csv"});
  EXPECT_GE(Clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err,
            "Cannot write file \"" + wd.PathOf("t.csv") + "\". The file is in use by another run\n");
  EXPECT_EQ(wd.Read("t.csv"), "b\r\na\r\n");
}

// Pairs of runs started together on one table: both succeed, and the table is what the two
// give one after the other, in either order.
TEST(Interrupted, RunsStartedTogetherLoseNoEdit) {
  const int kRows = 10000;
  std::string table;
  for (int r = 0; r < kRows; ++r) {
    table += "k" + std::to_string((r * 7919) % kRows) + "," + std::to_string(r) + "\r\n";
  }
  const std::string lines = Column(kRows, "n");
  const std::vector<std::vector<std::string>> runs = {
      {"-s", "0", "t.csv"}, {"-pc", "1", "t.csv", "lines.txt"}, {"-nd", "1", "t.csv"},
      {"-s", "1", "t.csv"}};
  auto prepare = [&](const Workdir& wd) {
    wd.Write("t.csv", table);
    wd.Write("lines.txt", lines);
  };
  // Each rewriting mode meets another one.
  for (size_t a = 0; a < runs.size(); ++a) {
    for (size_t b = a + 1; b < runs.size(); b += 2) {
      std::set<std::string> allowed;
      for (bool a_first : {true, false}) {
        Workdir model;
        prepare(model);
        ASSERT_EQ(model.Run(a_first ? runs[a] : runs[b]).exit_code, 0);
        ASSERT_EQ(model.Run(a_first ? runs[b] : runs[a]).exit_code, 0);
        allowed.insert(model.Read("t.csv"));
      }
      Workdir wd;
      prepare(wd);
      Child one(TESSARIN_BINARY, wd.path(), runs[a]);
      Child two(TESSARIN_BINARY, wd.path(), runs[b]);
      RunResult r1 = one.Wait(), r2 = two.Wait();
      EXPECT_EQ(r1.exit_code, 0) << r1.err;
      EXPECT_EQ(r2.exit_code, 0) << r2.err;
      EXPECT_EQ(allowed.count(wd.Read("t.csv")), 1u) << runs[a][0] << " with " << runs[b][0];
      EXPECT_EQ(wd.Snapshot().size(), 2u);
    }
  }
}

}  // namespace
