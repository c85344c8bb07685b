// The bundled example tables survive unpack and pack: the values come back, and after the first
// pack has settled quoting and line ends, a second round gives the same bytes.
#include <gtest/gtest.h>

#include <filesystem>

#include "Workdir.h"

namespace {

TEST(Examples, UnpackThenPackKeepsValuesAndReachesAFixedPoint) {
  int tables = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TESSARIN_EXAMPLES)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".csv" && entry.path().extension() != ".txt") continue;
    SCOPED_TRACE(name);
    ++tables;
    e2e::Workdir wd;
    std::filesystem::copy_file(entry.path(), wd.PathOf(name));
    const std::string base = entry.path().stem().string();
    ASSERT_EQ(wd.Run({"-u", name, "first"}).exit_code, 0);
    ASSERT_EQ(wd.Run({"-p", name, "first"}).exit_code, 0);
    const std::string packed = wd.Read(name);
    ASSERT_EQ(wd.Run({"-u", name, "second"}).exit_code, 0);
    ASSERT_EQ(wd.Run({"-p", name, "second"}).exit_code, 0);
    EXPECT_EQ(wd.Read(name), packed);
    for (int c = 0; wd.Exists("first/" + base + "_" + std::to_string(c) + ".txt"); ++c) {
      const std::string file = base + "_" + std::to_string(c) + ".txt";
      EXPECT_EQ(wd.Read("second/" + file), wd.Read("first/" + file)) << file;
    }
  }
  EXPECT_GE(tables, 3);
}

}  // namespace
