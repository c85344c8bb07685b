#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "MyLib.h"

namespace {

using namespace std::string_literals;

TEST(Utf16ToUtf8, Samples) {
  const std::vector<std::pair<std::u16string, std::string>> cases = {
      {u"A\u00e9\u20ac\0"s, "A\xC3\xA9\xE2\x82\xAC\0"s},
      {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      {{0xD800, u'x', 0xDC00, 0xD800}, "\xED\xA0\x80x\xED\xB0\x80\xED\xA0\x80"},
      {u"\uFEFF\uFEFFa", "\xEF\xBB\xBF\x61"},
  };
  for (const auto& [units, bytes] : cases) {
    EXPECT_EQ(Utf16ToUtf8(units, ""), bytes);
    EXPECT_EQ(Utf16ToUtf8(SwapUtf16Bytes(units), kMarkUtf16Be), bytes);
  }
}

TEST(Utf8ToUtf16, Samples) {
  const std::vector<std::pair<std::string, std::optional<std::u16string>>> cases = {
      {"", u""},
      {"\xEF\xBB\xBF\xEF\xBB\xBFz", u"\uFEFFz"},
      {"\x80\x80\xA0\x80\x80\xC0\x80\xED\xA0\x80", u"\0\0\0\xD800"s},
      {"\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", u"\U0001F600\U0010FFFF"},
      {"\xF4\x90\x80\x80", std::nullopt},
      // Without three continuation bytes, or below U+10000, F0-F7 is a three-byte lead.
      {"\xF0\x9F\x98\x41\xF0\x80\x80\x80\x80", u"\u07D8A\0\0"s},
      {"\xF0\x80\x80\x80", std::nullopt},
      {"\xC3\x41", std::nullopt},
      {"ok\xE2\x82", std::nullopt},
  };
  for (const auto& [bytes, units] : cases) {
    std::u16string out;
    ASSERT_EQ(Utf8ToUtf16(bytes, kMarkUtf16Le, &out), units.has_value()) << bytes;
    EXPECT_EQ(DecodesAsUtf8(bytes), units.has_value() && !bytes.empty()) << bytes;
    if (!units) continue;
    EXPECT_EQ(out, *units);
    ASSERT_TRUE(Utf8ToUtf16(bytes, kMarkUtf16Be, &out));
    EXPECT_EQ(out, SwapUtf16Bytes(*units));
  }
}

TEST(Utf16, RoundTripKeepsEveryUnitIncludingLoneSurrogates) {
  std::mt19937 random(3);
  const char16_t edges[] = {0, 0x7F, 0x80, 0x7FF, 0x800, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFF};
  for (int round = 0; round < 20000; ++round) {
    std::u16string units;
    for (size_t n = random() % 8; n > 0; --n) {
      units += random() % 2 ? edges[random() % 10] : static_cast<char16_t>(random());
    }
    // A leading byte-order mark (in either byte order) is dropped by design.
    if (!units.empty() && (units[0] == 0xFEFF || units[0] == 0xFFFE)) continue;
    for (const std::string_view mark : {kMarkUtf16Le, kMarkUtf16Be}) {
      std::u16string back;
      ASSERT_TRUE(Utf8ToUtf16(Utf16ToUtf8(units, mark), mark, &back));
      ASSERT_EQ(back, units);
    }
  }
}

}  // namespace
