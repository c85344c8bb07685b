// A test fixture that runs each test in a fresh folder under /tmp, made the current directory,
// and removes it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tessarin_test_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(name);
    root_ = std::filesystem::current_path().string();
  }

  void TearDown() override {
    std::filesystem::current_path(old_cwd_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  /// The absolute path of `relative` inside the scratch folder.
  std::string At(const std::string& relative) const { return root_ + "/" + relative; }

  void WriteFile(const std::string& relative, const std::string& content) const {
    std::ofstream(At(relative), std::ios::binary) << content;
  }

  std::string ReadFile(const std::string& relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  /// Every entry below a folder of the scratch folder, as sorted relative paths.
  std::vector<std::string> Entries(const std::string& relative = ".") const {
    std::vector<std::string> names;
    std::filesystem::path base = std::filesystem::weakly_canonical(At(relative));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base)) {
      names.push_back(entry.path().lexically_relative(base).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string root_;

 private:
  std::filesystem::path old_cwd_;
};
