#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "MyLib.h"

namespace {

using namespace std::string_literals;

TEST(Utf16ToUtf8, Samples) {
  struct Case {
    std::u16string units;
    std::string_view mark;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {u"A\u00e9\u20ac", "", "A\xC3\xA9\xE2\x82\xAC"},
      {u"\0A"s, kMarkUtf16Le, "\0A"s},
      {u"\U0001F600", "", "\xF0\x9F\x98\x80"},
      {u"\U0010FFFF", "", "\xF4\x8F\xBF\xBF"},
      {{0xD800, u'x'}, "", "\xED\xA0\x80x"},
      {{0xDC00, 0xD800}, "", "\xED\xB0\x80\xED\xA0\x80"},
      {{0xD800}, "", "\xED\xA0\x80"},
      {u"\uFEFF\uFEFFa", "",
       "\xEF\xBB\xBF"
       "a"},
      {{0xFFFE, 0x4100}, kMarkUtf16Be, "A"},
      {{0x3DD8, 0x00DE}, kMarkUtf16Be, "\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.units, c.mark), c.expected) << testing::PrintToString(c.expected);
  }
}

TEST(Utf8ToUtf16, Samples) {
  struct Case {
    std::string bytes;
    bool decodes;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      {"", true, u""},
      {"\xEF\xBB\xBF", true, u""},
      {"\xEF\xBB\xBF\xEF\xBB\xBFz", true, u"\uFEFFz"},
      {"A\xC3\xA9\xE2\x82\xAC", true, u"A\u00e9\u20ac"},
      {"\x80\x80\xA0\x80\x80", true, {0, 0}},
      {"\xC0\x80\xED\xA0\x80", true, {0, 0xD800}},
      {"\xF0\x9F\x98\x80", true, u"\U0001F600"},
      {"\xF4\x8F\xBF\xBF", true, u"\U0010FFFF"},
      {"\xF4\x90\x80\x80", false, u""},
      {"\xF7\xBF\xBF\xBF", false, u""},
      // Without three continuation bytes, or below U+10000, F0-F7 is a three-byte lead.
      {"\xF0\x9F\x98"
       "A",
       true,
       {0x07D8, u'A'}},
      {"\xF0\x80\x80\x80\x80", true, {0, 0}},
      {"\xF0\x80\x80\x80", false, u""},
      {"\xC3", false, u""},
      {"\xC3"
       "A",
       false, u""},
      {"\xE2\x82", false, u""},
      {"ok\xFF", false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    std::u16string units;
    ASSERT_EQ(Utf8ToUtf16(c.bytes, kMarkUtf16Le, &units), c.decodes);
    if (c.decodes) {
      EXPECT_EQ(units, c.expected);
    }
    EXPECT_EQ(DecodesAsUtf8(c.bytes), c.decodes && !c.bytes.empty());
  }
}

TEST(Utf16, SwapExchangesBytesOfEveryUnit) {
  EXPECT_EQ(SwapUtf16Bytes(u"\u1234\uFF00"), u"\u3412\u00FF");
  std::u16string units;
  ASSERT_TRUE(Utf8ToUtf16("A\xE2\x82\xAC", kMarkUtf16Be, &units));
  EXPECT_EQ(units, u"\u4100\uAC20");
}

TEST(Utf16, RoundTripKeepsEveryUnitIncludingLoneSurrogates) {
  std::mt19937 random(3);
  const char16_t interesting[] = {0,      0x7F,   0x80,   0x7FF,  0x800,  0xD7FF,
                                  0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFF};
  for (int round = 0; round < 20000; ++round) {
    std::u16string units;
    for (size_t n = random() % 8; n > 0; --n) {
      units += random() % 2 ? interesting[random() % 12] : static_cast<char16_t>(random());
    }
    // A leading byte-order mark (in either byte order) is dropped by design.
    if (!units.empty() && (units[0] == 0xFEFF || units[0] == 0xFFFE)) continue;
    for (const std::string_view mark : {kMarkUtf16Le, kMarkUtf16Be}) {
      const std::string bytes = Utf16ToUtf8(units, mark);
      std::u16string back;
      ASSERT_TRUE(Utf8ToUtf16(bytes, mark, &back));
      ASSERT_EQ(back, units);
    }
  }
}

}  // namespace
