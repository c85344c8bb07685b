#include <gtest/gtest.h>

#include <optional>

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"
#include "ScratchFolder.h"

namespace {

using PathHelpersTest = ScratchFolder;
using Strings = std::vector<std::string>;

TEST(PathParts, SplitsAtLastSeparator) {
  // "\\" and ":" separate on Windows only.
  const bool windows = platform::kPreferredSeparator == '\\';
  const struct {
    std::string path, folder, name, without_extension;
  } cases[] = {
      {"/d/list.tar.gz", "/d/", "list.tar.gz", "/d/list.tar"},
      {"/d.x/list", "/d.x/", "list", "/d.x/list"},
      {"C:a\\b.c", windows ? "C:a\\" : "", windows ? "b.c" : "C:a\\b.c", "C:a\\b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
    EXPECT_EQ(NamePart(c.path), c.name) << c.path;
    EXPECT_EQ(WithoutExtension(c.path), c.without_extension) << c.path;
  }
}

// Each case starts from a folder "old" and a file "f"; a failed creation is silent.
TEST_F(PathHelpersTest, CreatesEveryMissingLevelOutermostFirst) {
  const struct {
    void (*helper)(const std::string&);
    std::string path;  // "@" stands for the scratch folder
    Strings created;
  } cases[] = {
      {EnsureFolder, "a/b/c/", {"a", "a/b", "a/b/c"}},
      {EnsureFolder, "a/./x/../b", {"a", "a/b"}},
      {EnsureFolder, "old/new", {"old/new"}},
      {EnsureFolder, "f/g/h", {}},
      {EnsureFileFolder, "x/y/t.csv", {"x", "x/y"}},
      {EnsureFileFolder, "t.csv", {}},
      {EnsureFileFolder, "f/t.csv", {}},
      {CreateFolderIfMissing, "@/p//q/", {"p", "p/q"}},
  };
  for (const auto& c : cases) {
    for (const std::string& entry : Entries()) std::filesystem::remove_all(At(entry));
    std::filesystem::create_directory(At("old"));
    WriteFile("f", "data");
    c.helper(c.path[0] == '@' ? root_ + c.path.substr(1) : c.path);
    Strings expected = c.created;
    expected.insert(expected.end(), {"f", "old"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(), expected) << c.path;
    EXPECT_EQ(ReadFile("f"), "data");
  }
}

TEST_F(PathHelpersTest, PathThatCannotNameAFolderThrows) {
  const struct {
    void (*helper)(const std::string&);
    std::string path;
    bool throws;
  } cases[] = {
      {EnsureFolder, "", true},
      {CreateFolderIfMissing, "", true},
      {CreateFolderIfMissing, "abc", true},  // no folder part to start from
      {CreateFolderIfMissing, "ab", false},
      {EnsureFolder, "abc", false},  // expanded, it has one
  };
  for (const auto& c : cases) {
    try {
      c.helper(c.path);
      EXPECT_FALSE(c.throws) << "no error for \"" << c.path << "\"";
    } catch (const TessarinError& e) {
      EXPECT_TRUE(c.throws) << "error for \"" << c.path << "\"";
      EXPECT_STREQ(e.what(), "Unable to create directory");
    }
  }
}

TEST_F(PathHelpersTest, FindsEntryIgnoringAsciiCase) {
  WriteFile("data.csv", "");
  WriteFile("\xc3\xa9.txt", "");  // é
  std::filesystem::create_directory(At("Sub"));
  const struct {
    std::string path;
    std::optional<std::string> found;
  } cases[] = {
      {"Data.CSV", "data.csv"},           {"./sub/../DATA.csv", "data.csv"},
      {"\xc3\xa9.TXT", "\xc3\xa9.txt"},   {"\xc3\x89.txt", std::nullopt},  // É: only A-Z are folded
      {"data.csv/", std::nullopt},        {"Sub/", std::nullopt},
      {"missing/data.csv", std::nullopt}, {"d*.csv", std::nullopt},
  };
  FolderIndex index;  // one listing per folder answers the same
  for (const auto& c : cases) {
    std::optional<std::string> expected;
    if (c.found) expected = At(*c.found);
    EXPECT_EQ(FindEntryNoCase(c.path), expected) << c.path;
    EXPECT_EQ(EntryExistsNoCase(c.path), c.found.has_value()) << c.path;
    EXPECT_EQ(ActualPath(c.path), expected.value_or(At(c.path))) << c.path;
    EXPECT_EQ(index.Find(c.path), expected) << c.path;
    EXPECT_EQ(index.ActualPath(c.path), expected.value_or(At(c.path))) << c.path;
  }
}

// Many pairs, created in both orders: a choice taken from the listing order would show in some
// of them whatever order the file system lists.
TEST_F(PathHelpersTest, PrefersExactCaseThenByteOrder) {
  for (int i = 0; i < 8; ++i) {
    std::string upper = "DATA" + std::to_string(i) + ".csv";
    std::string lower = "data" + std::to_string(i) + ".CSV";
    WriteFile(i % 2 ? upper : lower, "");
    WriteFile(i % 2 ? lower : upper, "");
    if (Entries().size() == 1) GTEST_SKIP() << "the file system keeps one entry per name";
    EXPECT_EQ(FindEntryNoCase(lower), At(lower));
    EXPECT_EQ(FindEntryNoCase("Data" + std::to_string(i) + ".csv"), At(upper));
  }
  FolderIndex index;
  for (int i = 0; i < 8; ++i) {
    const std::string upper = "DATA" + std::to_string(i) + ".csv";
    EXPECT_EQ(index.Find("data" + std::to_string(i) + ".CSV"),
              At("data" + std::to_string(i) + ".CSV"));
    EXPECT_EQ(index.Find("Data" + std::to_string(i) + ".csv"), At(upper));
  }
}

}  // namespace
