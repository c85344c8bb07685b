#include "Platform.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "Error.h"
#include "ScratchFolder.h"

namespace {

using PlatformTest = ScratchFolder;
using Strings = std::vector<std::string>;

std::string ErrorOf(void (*action)(const std::string&), const std::string& path) {
  try {
    action(path);
  } catch (const TessarinError& e) {
    return e.what();
  }
  return "(no error)";
}

void Read(const std::string& path) { platform::ReadWholeFile(path); }
void Create(const std::string& path) { platform::AtomicFileWriter writer(path); }

TEST_F(PlatformTest, ExpandPathResolvesAgainstCurrentFolder) {
  const std::string here = root_;
  const struct {
    std::string path, expected;
  } cases[] = {
      {"", ""},
      {"./d/../a.csv", here + "/a.csv"},
      {"a/./b/../c/", here + "/a/c/"},
      {".", here},
      {"..", here.substr(0, here.rfind('/'))},
      {"//", "/"},
      {"/x//y///z", "/x/y/z"},
      {"/x/y/../", "/x/"},
      {"/../../a", "/a"},
      {"a\\b:c", here + "/a\\b:c"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::ExpandPath(c.path), c.expected) << c.path;
}

TEST_F(PlatformTest, OpenFailuresNameThePath) {
  std::filesystem::create_directory(At("dir"));
  const struct {
    void (*action)(const std::string&);
    std::string path, expected;
  } cases[] = {
      {Read, At("missing.csv"),
       "Cannot open file \"" + At("missing.csv") + "\". No such file or directory"},
      {Read, At("dir"), "Cannot open file \"" + At("dir") + "\". Is a directory"},
      {Create, At("no/t.csv"),
       "Cannot create file \"" + At("no/t.csv") + "\". No such file or directory"},
      {Create, At("dir"), "Cannot create file \"" + At("dir") + "\". Is a directory"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.action, c.path), c.expected);
  EXPECT_EQ(Entries(), Strings{"dir"});
}

// Read back with ReadWholeFile, which has to return every byte. Chunks go in by Write(), by
// Take() (which hands a piece over whole when nothing waits before it), or by both in turn.
TEST_F(PlatformTest, WriterKeepsEveryChunkInOrder) {
  const size_t mib = 1024 * 1024;
  const std::vector<std::vector<size_t>> cases = {
      {}, {mib}, {mib - 1, 2}, {10, mib + 5, 7}, std::vector<size_t>(3000, 1000),
  };
  for (int way = 0; way < 3; ++way) {
    for (const auto& sizes : cases) {
      std::string expected;
      platform::AtomicFileWriter writer(At("out.txt"));
      for (size_t k = 0; k < sizes.size(); ++k) {
        std::string chunk(sizes[k], static_cast<char>(expected.size() * 7 + k));
        if (way == 0 || (way == 2 && k % 2 == 1)) {
          writer.Write(chunk);
        } else {
          LargeString piece(chunk.begin(), chunk.end());
          writer.Take(&piece);
          ASSERT_TRUE(piece.empty());
        }
        expected += chunk;
      }
      writer.Commit();
      EXPECT_EQ(platform::ReadWholeFile(At("out.txt")), expected)
          << sizes.size() << " chunks, way " << way;
      EXPECT_EQ(Entries(), Strings{"out.txt"});
    }
  }
}

// A reader that drops the cache behind it hands over every byte, also after a seek back into
// what it dropped; and the pages it passed leave the cache (where the file system has pages
// apart from the cache at all: not tmpfs).
TEST_F(PlatformTest, ReaderDroppingBehindReadsEveryByteAndLetsPagesGo) {
  const size_t size = (size_t{13} << 20) + 123;
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 131 + i / 4096) % 26);
  {
    platform::AtomicFileWriter writer(At("t.csv"));
    writer.Write(bytes);
    writer.Commit();
  }
  {
    const int fd = open(At("t.csv").c_str(), O_RDONLY);  // written out: every page can go
    ASSERT_TRUE(fd >= 0 && fsync(fd) == 0);
    close(fd);
  }
  platform::FileReader reader(At("t.csv"));
  reader.DropBehind();
  std::string read;
  std::vector<char> chunk((1 << 20) - 7);
  for (size_t n; (n = reader.Read(chunk.data(), chunk.size())) > 0;) read.append(chunk.data(), n);
  EXPECT_TRUE(read == bytes) << read.size() << " bytes read of " << size;
  struct statfs fs;
  ASSERT_EQ(statfs(root_.c_str(), &fs), 0);
  if (fs.f_type != 0x01021994) {  // tmpfs: its pages are the file
    const int fd = open(At("t.csv").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    ASSERT_NE(map, MAP_FAILED);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((size + page - 1) / page);
    ASSERT_EQ(mincore(map, size, resident.data()), 0);
    munmap(map, size);
    size_t cached = 0;
    for (unsigned char r : resident) cached += r & 1;
    EXPECT_EQ(cached, 0u) << "pages of the passed bytes still cached";
  }
  reader.Seek(100);
  const size_t n = reader.Read(chunk.data(), chunk.size());
  EXPECT_TRUE(std::string_view(chunk.data(), n) == std::string_view(bytes).substr(100, n));
}

TEST_F(PlatformTest, CommitKeepsOrSetsPermissionBits) {
  const struct {
    std::optional<mode_t> existing;
    mode_t mask, expected;
  } cases[] = {
      {0640, 022, 0640},
      {0604, 077, 0604},
      {std::nullopt, 022, 0644},
      {std::nullopt, 077, 0600},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(At("t.csv"));
    if (c.existing) {
      WriteFile("t.csv", "old");
      chmod(At("t.csv").c_str(), *c.existing);
    }
    mode_t old_mask = umask(c.mask);
    platform::AtomicFileWriter writer(At("t.csv"));
    writer.Write("new");
    writer.Commit();
    umask(old_mask);
    struct stat st;
    ASSERT_EQ(stat(At("t.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.expected) << std::oct << "umask " << c.mask;
    EXPECT_EQ(ReadFile("t.csv"), "new");
  }
}

TEST_F(PlatformTest, CommitWritesThroughSymbolicLink) {
  WriteFile("real.csv", "old");
  std::filesystem::create_symlink("real.csv", At("link.csv"));
  platform::AtomicFileWriter writer(At("link.csv"));
  writer.Write("new");
  writer.Commit();
  EXPECT_TRUE(std::filesystem::is_symlink(At("link.csv")));
  EXPECT_EQ(ReadFile("real.csv"), "new");
  EXPECT_EQ(Entries(), (Strings{"link.csv", "real.csv"}));
}

TEST_F(PlatformTest, WriterWithoutCommitLeavesNoTrace) {
  WriteFile("t.csv", "old");
  {
    platform::AtomicFileWriter writer(At("t.csv"));
    writer.Write(std::string(3 * 1024 * 1024, 'x'));
  }
  EXPECT_EQ(Entries(), Strings{"t.csv"});
  EXPECT_EQ(ReadFile("t.csv"), "old");
}

TEST_F(PlatformTest, ReadOnlyFolderRefusesWriter) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  std::filesystem::create_directory(At("ro"));
  WriteFile("ro/t.csv", "old");
  chmod(At("ro").c_str(), 0555);
  std::string error = ErrorOf(Create, At("ro/t.csv"));
  chmod(At("ro").c_str(), 0755);
  EXPECT_EQ(error, "Cannot create file \"" + At("ro/t.csv") + "\". Permission denied");
  EXPECT_EQ(ReadFile("ro/t.csv"), "old");
  EXPECT_EQ(Entries("ro"), Strings{"t.csv"});
}

// Under a file-size limit a write fails; the writer must report it rather than die of
// SIGXFSZ, and leave the old file as it was. The soft limit binds root too and can be lifted
// again, so the test runs in this process (a forked child would lack the thread that writes
// behind, which earlier tests in the process started, and wait for it forever). The small size
// fails in Commit (buffered), the large one in Write.
TEST_F(PlatformTest, FileSizeLimitGivesWriteError) {
  struct LimitFileSize {
    rlimit old;
    LimitFileSize() {
      getrlimit(RLIMIT_FSIZE, &old);
      rlimit limit = {4096, old.rlim_max};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~LimitFileSize() { setrlimit(RLIMIT_FSIZE, &old); }
  };
  for (size_t size : {size_t{64 * 1024}, size_t{4 * 1024 * 1024}}) {
    WriteFile("t.csv", "old");
    const std::string path = At("t.csv");
    std::string error = "(no error)";
    {
      const LimitFileSize limit;
      try {
        platform::AtomicFileWriter writer(path);
        writer.Write(std::string(size, 'x'));
        writer.Commit();
      } catch (const TessarinError& e) {
        error = e.what();
      }
    }
    EXPECT_EQ(error, "Cannot write file \"" + path + "\". File too large") << "size " << size;
    EXPECT_EQ(ReadFile("t.csv"), "old");
    EXPECT_EQ(Entries(), Strings{"t.csv"});
  }
}

TEST(PlatformText, CompareLocaleIsByteOrderFoldingOnlyAsciiLetters) {
  const struct {
    std::string a, b;
    bool ignore_case;
    int expected;
  } cases[] = {
      {"a", "ab", false, -1},
      {"ABC", "abc", true, 0},
      {"\xe9", "z", false, 1},  // bytes compare unsigned
      {"_", "A", true, -1},     // folded to lower case: '_' < 'a'
      {std::string("a\0b", 3), std::string("a\0c", 3), false, -1},
  };
  for (const auto& c : cases) {
    int result = platform::CompareLocale(c.a, c.b, c.ignore_case);
    int reverse = platform::CompareLocale(c.b, c.a, c.ignore_case);
    EXPECT_EQ((result > 0) - (result < 0), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.expected) << c.b << " vs " << c.a;
  }
}

}  // namespace
