// Tests whose outcome depends on the ANSI code page the process runs under. Each suite names
// the code page it needs; under another one its tests skip themselves (ctest pins the code
// page per suite, see cmake/WindowsTests.cmake).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

template <UINT kCodePage>
class CodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != kCodePage) {
      GTEST_SKIP() << "needs code page " << kCodePage << ", the process runs under " << GetACP();
    }
  }
};
