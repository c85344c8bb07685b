// Paths with "\" and drive letters, and runs of the program on tables named that way.
#include <windows.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "Error.h"
#include "MyLib.h"
#include "Platform.h"
#include "ScratchFolder.h"
#include "Settings.h"

namespace {

using WindowsPaths = ScratchFolder;

// Runs the program as the command line would, in the scratch folder.
int RunProgram(std::vector<std::string> args) {
  args.insert(args.begin(), "tessarin.exe");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  return RunTessarin(static_cast<int>(args.size()), argv.data());
}

TEST_F(WindowsPaths, DrivePathsSplitAndDeriveWithBackslashes) {
  const struct {
    std::string path, folder, name;
  } parts[] = {{"C:\\d\\list.csv", "C:\\d\\", "list.csv"},
               {"C:list.csv", "C:", "list.csv"},
               {"C:/d/x.y\\list", "C:/d/x.y\\", "list"},
               {"\\\\server\\share\\t.csv", "\\\\server\\share\\", "t.csv"}};
  for (const auto& p : parts) {
    EXPECT_EQ(FolderPart(p.path), p.folder) << p.path;
    EXPECT_EQ(NamePart(p.path), p.name) << p.path;
  }

  const struct {
    std::string table, folder, want_table, want_folder, want_text;
  } cases[] = {
      {"C:\\d\\list.csv", "", "C:\\d\\list.csv", "C:\\d\\list\\", "C:\\d\\list_0.txt"},
      {"C:/d/x/../list.csv", "D:\\out", "C:\\d\\list.csv", "D:\\out\\", "D:\\out"},
      {"C:\\d\\list.csv", "D:/out/", "C:\\d\\list.csv", "D:\\out\\", "D:\\out\\"},
  };
  for (const auto& c : cases) {
    RunSettings s;
    s.TablePath = c.table;
    s.Folder = c.folder;
    DerivePaths(&s);
    EXPECT_EQ(s.TablePath, c.want_table) << c.table;
    EXPECT_EQ(s.Folder, c.want_folder) << c.table;
    EXPECT_EQ(s.TextPath, c.want_text) << c.table;
  }
}

TEST_F(WindowsPaths, FoldersAndEntriesThroughBackslashPaths) {
  EnsureFolder(root_ + "\\a\\b\\c\\");
  EnsureFileFolder(root_ + "/x/y\\t.csv");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a", "a/b", "a/b/c", "x", "x/y"}));
  EnsureFolder(root_.substr(0, 3));  // the drive's root: nothing to do, nothing reported

  WriteFile("a/Data.csv", "1\r\n");
  EXPECT_EQ(FindEntryNoCase("a\\b\\..\\DATA.CSV"), At("a/Data.csv"));
  EXPECT_EQ(FindEntryNoCase(root_ + "/a/data.csv"), At("a/Data.csv"));
  EXPECT_FALSE(EntryExistsNoCase("a\\"));
}

TEST_F(WindowsPaths, UnpackAndPackThroughABackslashPath) {
  std::filesystem::create_directory(At("sub"));
  WriteFile("sub/t.csv", "a;b\r\n1;2\r\n");
  ASSERT_EQ(RunProgram({"-u", "sub\\T.CSV"}), 0);
  EXPECT_EQ(ReadFile("sub/t/t_0.txt"), "a\r\n1\r\n");
  EXPECT_EQ(ReadFile("sub/t/t_1.txt"), "b\r\n2\r\n");

  WriteFile("sub/t/t_1.txt", "B\r\n\xE9\r\n");
  ASSERT_EQ(RunProgram({"-p", root_ + "\\sub\\t.csv"}), 0);
  EXPECT_EQ(ReadFile("sub/t.csv"), "a;B\r\n1;\xE9\r\n");
  EXPECT_EQ(Entries("sub"), (std::vector<std::string>{"t", "t.csv", "t/t_0.txt", "t/t_1.txt"}));
}

// Under Shift-JIS the second byte of "\x95\x5C" is "\\": the table's folder and column files
// must be named after the whole character.
class CodePage932Paths : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932, runs under " << GetACP();
  }
};

TEST_F(CodePage932Paths, UnpackOfATableNamedWithABackslashByte) {
  const std::string name = "\x95\x5C";
  // Written and read through the ANSI functions, which take names in the code page. (Wine
  // stores such a name only when the Unix locale it runs under exists: .ci/windows.sh makes
  // ja_JP.UTF-8 and points LOCPATH at it.)
  try {
    platform::AtomicFileWriter table(At(name + ".csv"));
    table.Write("\x83\x7C|x\r\n");
    table.Commit();
  } catch (const TessarinError& e) {
    FAIL() << e.what() << " (under Wine: is the ja_JP.UTF-8 locale there?)";
  }
  ASSERT_EQ(RunProgram({"-u", name + ".csv"}), 0);
  EXPECT_TRUE(platform::FolderExists(At(name)));
  EXPECT_EQ(platform::ReadWholeFile(At(name + "/" + name + "_0.txt")), "\x83\x7C\r\n");
  EXPECT_EQ(platform::ReadWholeFile(At(name + "/" + name + "_1.txt")), "x\r\n");
}

}  // namespace
