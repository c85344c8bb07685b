#include "FieldScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Values = std::vector<std::string>;

Values AllValues(std::string_view row, const FieldDialect& dialect) {
  Values values;
  std::string scratch;
  for (FieldScanner scanner(row, dialect); !scanner.Done();) {
    values.emplace_back(FieldValue(scanner.Next(), dialect, &scratch));
  }
  return values;
}

// The value layer on top of the split: undoubling, the token's last byte, and the style's
// tokens, each applied once and only where the dialect asks for it.
TEST(FieldScanner, ValuesFollowTheDialect) {
  const FieldDialect quoted_rn{',', '"', true, true, 2};
  const FieldDialect quoted_raw{',', '"', true, false, 2};
  const FieldDialect plain_rn{',', '"', false, true, 2};
  const FieldDialect quoted_hex{',', '"', true, true, 3};
  const struct {
    const char* row;
    FieldDialect dialect;
    Values values;
  } cases[] = {
      {"a,\"b\\r\\nc\",d", quoted_rn, {"a", "b\r\nc", "d"}},
      {"a,\"b\\r\\nc\",d", quoted_raw, {"a", "b\\r\\nc", "d"}},
      {"\"x\"\"\\n\",y", quoted_rn, {"x\"\n", "y"}},
      {"\"x\"\"\\n\",y", plain_rn, {"\"x\"\"\n\"", "y"}},
      {"\\x0D,\\r", quoted_hex, {"\r", "\\r"}},
      {"\"a,b\",", quoted_rn, {"a,b", ""}},
      {"", quoted_rn, {}},
      {"", plain_rn, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    const Values values = AllValues(c.row, c.dialect);
    EXPECT_EQ(values, c.values);
    EXPECT_EQ(CountRowFields(c.row, c.dialect), static_cast<long long>(c.values.size()));
    std::string scratch;
    for (size_t n = 0; n < c.values.size() + 1; ++n) {
      EXPECT_EQ(FieldAt(c.row, static_cast<long long>(n), c.dialect, &scratch),
                n < c.values.size() ? c.values[n] : "");
    }
  }
}

// A value that needs no change is a view of the row itself: the fast paths rely on it.
TEST(FieldScanner, UnchangedValuesViewTheRow) {
  const std::string row = "plain,\"quoted\",\"dou\"\"bled\"";
  const FieldDialect dialect{',', '"', true, true, 2};
  std::string scratch;
  for (long long n = 0; n < 3; ++n) {
    const std::string_view value = FieldAt(row, n, dialect, &scratch);
    const bool in_row = value.data() >= row.data() && value.data() < row.data() + row.size();
    EXPECT_EQ(in_row, n < 2) << n;
  }
}

// The classifying step splits exactly as the plain one, and calls a field bare only when its
// bytes hold no marked byte and are not a quoted token.
TEST(FieldScanner, BareFieldsSplitAsEveryField) {
  std::mt19937 rng(5);
  const char alphabet[] = {'a', ',', '"', '\\', '<', '\t', ' ', '\0'};
  const ByteSet& marked = TokenOrControlBytes();
  const byte_search::StopBytes stops = BareFieldStops(',');
  for (int round = 0; round < 4000; ++round) {
    // Long runs of plain bytes too, so that the wide search meets marks at every place.
    std::string row;
    const int plain_share = round % 4 == 0 ? 16 : 1;
    for (size_t n = rng() % (round % 4 == 0 ? 60 : 12); n > 0; --n) {
      const size_t pick = rng() % (std::size(alphabet) + plain_share - 1);
      row += pick < std::size(alphabet) ? alphabet[pick] : 'a';
    }
    const FieldDialect dialect{',', round % 3 == 0 ? '\0' : '"', round % 2 == 0, true, 2};
    SCOPED_TRACE(testing::PrintToString(row) + " round " + std::to_string(round));
    FieldScanner plain(row, dialect);
    FieldScanner classifying(row, dialect);
    while (!plain.Done()) {
      ASSERT_FALSE(classifying.Done());
      const bool token = dialect.quote != 0 && row.compare(plain.Where().offset, 1, "\"") == 0;
      const RawField expected = plain.Next();
      bool bare = false;
      const RawField field = classifying.NextBare(stops, &bare);
      EXPECT_EQ(field.bytes, expected.bytes);
      EXPECT_EQ(field.exact, expected.exact);
      EXPECT_EQ(classifying.Where().offset, plain.Where().offset);
      const bool any_marked = std::any_of(field.bytes.begin(), field.bytes.end(),
                                          [&](char c) { return marked.Has(c); });
      if (!token && !any_marked && !field.bytes.empty()) {
        EXPECT_TRUE(bare);
      }
      if (bare) {
        EXPECT_FALSE(any_marked);
        EXPECT_TRUE(field.exact);
        EXPECT_TRUE(field.bytes.data() + field.bytes.size() <= row.data() + row.size());
      }
    }
    EXPECT_TRUE(classifying.Done());
  }
}

}  // namespace
