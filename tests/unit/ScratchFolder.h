// A test fixture that runs each test in a fresh folder under the system's temporary folder,
// made the current directory, and removes it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "Platform.h"

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    // A name nobody else holds: create_directory refuses one that exists.
    std::random_device seed;
    std::mt19937_64 random(seed());
    std::filesystem::path name;
    for (int attempt = 0;; ++attempt) {
      ASSERT_LT(attempt, 100) << "no fresh scratch folder";
      name = std::filesystem::temp_directory_path() /
             ("tessarin_test_" + std::to_string(random() % 1000000000000ULL));
      std::error_code error;
      if (std::filesystem::create_directory(name, error)) break;
    }
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(name);
    root_ = std::filesystem::current_path().string();
  }

  void TearDown() override {
    std::filesystem::current_path(old_cwd_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  /// The absolute path of `relative` (written with "/") inside the scratch folder, spelled
  /// with the system's separator as the program spells the paths it makes.
  std::string At(const std::string& relative) const {
    return root_ + platform::kPreferredSeparator + Native(relative);
  }

  /// An absolute path written with "/" as the system spells it: "\\" between the parts, and on
  /// Windows a drive in front. Which drive a rooted path lands on is the system's choice (Wine
  /// picks by the path), so it is taken from the system.
  static std::string Absolute(const std::string& path) {
    const bool drives = platform::kPreferredSeparator == '\\';
    const bool rooted = !path.empty() && path[0] == '/';
    return (drives && rooted ? platform::ExpandPath(path).substr(0, 2) : "") + Native(path);
  }

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
      names.push_back(entry.path().lexically_relative(base).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string root_;

 private:
  static std::string Native(std::string path) {
    for (char& c : path) {
      if (c == '/') c = platform::kPreferredSeparator;
    }
    return path;
  }

  std::filesystem::path old_cwd_;
};
