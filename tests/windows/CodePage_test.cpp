#include <gtest/gtest.h>
TEST(CodePage1252, Placeholder) {}
