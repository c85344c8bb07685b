#include "Error.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Head and tail of a long name are kept, 200 bytes in all, and no UTF-8 character is split.
TEST(ErrorText, LongNamesAreCutAroundDots) {
  const std::string e_acute = "\xC3\xA9";
  const struct {
    std::string name, expected;
  } cases[] = {
      {"", ""},
      {std::string(200, 'a'), std::string(200, 'a')},
      {std::string(100, 'a') + std::string(101, 'b'),
       std::string(98, 'a') + "..." + std::string(99, 'b')},
      // The cut points fall inside a 2-byte character on both sides: the characters go whole.
      {std::string(97, 'a') + e_acute + std::string(500, 'x') + e_acute + std::string(98, 'z'),
       std::string(97, 'a') + "..." + std::string(98, 'z')},
      {std::string(98, 'a') + e_acute + std::string(500, 'x'),
       std::string(98, 'a') + "..." + std::string(99, 'x')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CutName(c.name), c.expected) << c.name.size();
    EXPECT_LE(CutName(c.name).size(), 200u);
  }
  EXPECT_STREQ(CreateError(std::string(300, 'p'), "Permission denied").what(),
               ("Cannot create file \"" + std::string(98, 'p') + "..." + std::string(99, 'p') +
                "\". Permission denied")
                   .c_str());
}

}  // namespace
