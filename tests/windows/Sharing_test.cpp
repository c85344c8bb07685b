// Tables that another program holds open: what can be read, and what a save leaves behind.
#include <windows.h>

#include <string>

#include "Error.h"
#include "Platform.h"
#include "ScratchFolder.h"

namespace {

using WindowsSharing = ScratchFolder;

// A handle held as another program would hold the file, closed at the end of the scope.
class Holder {
 public:
  Holder(const std::string& path, DWORD access, DWORD share)
      : handle_(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~Holder() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

std::string ReadError(const std::string& path) {
  try {
    platform::ReadWholeFile(path);
  } catch (const TessarinError& e) {
    return e.what();
  }
  return "";
}

TEST_F(WindowsSharing, ATableOpenElsewhereWithReadSharingCanBeRead) {
  WriteFile("t.csv", "a;b\r\n");
  const struct {
    const char* who;
    DWORD access, share;
  } holders[] = {
      {"a reader", GENERIC_READ, FILE_SHARE_READ},
      {"an editor (a spreadsheet program)", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ},
      {"a writer that lets others write", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
  };
  for (const auto& h : holders) {
    Holder holder(At("t.csv"), h.access, h.share);
    ASSERT_TRUE(holder.ok()) << h.who;
    EXPECT_EQ(platform::ReadWholeFile(At("t.csv")), "a;b\r\n") << h.who;
  }
  // A program that shares nothing keeps it: the error names the file and the reason.
  Holder exclusive(At("t.csv"), GENERIC_READ, 0);
  ASSERT_TRUE(exclusive.ok());
  const std::string error = ReadError(At("t.csv"));
  EXPECT_NE(error.find("Cannot open file \"" + At("t.csv") + "\". "), std::string::npos) << error;
}

TEST_F(WindowsSharing, ASaveOverATableHeldOpenFailsAndLeavesIt) {
  WriteFile("t.csv", "old\r\n");
  {
    Holder holder(At("t.csv"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(holder.ok());
    platform::AtomicFileWriter writer(At("t.csv"));
    writer.Write("new\r\n");
    EXPECT_THROW(writer.Commit(), TessarinError);
  }
  EXPECT_EQ(ReadFile("t.csv"), "old\r\n");
  EXPECT_EQ(Entries(), std::vector<std::string>{"t.csv"});  // no temporary file left

  platform::AtomicFileWriter writer(At("t.csv"));  // once the file is free, the save works
  writer.Write("new\r\n");
  writer.Commit();
  EXPECT_EQ(ReadFile("t.csv"), "new\r\n");
}

}  // namespace
