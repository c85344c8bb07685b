#include "TableFormat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "MyLib.h"
#include "ScratchFolder.h"
#include "StringListEX.h"

namespace {

using namespace std::string_literals;

class TableFormatTest : public ScratchFolder {};

// What pack takes over from the old table, settled from the old table's first pass, is what the
// table list's CopyFormatFromFile takes over from the loaded file: for every kind of table and
// quote option, also a missing table, an empty one and one whose first line has no delimiter.
TEST_F(TableFormatTest, PackTakesOverWhatTheListCopies) {
  std::string tab_le(kMarkUtf16Le);
  ASSERT_TRUE(AppendUtf8AsUtf16Bytes("a\tb\r\n\"x\"\ty\r\n", false, &tab_le));
  const std::optional<std::string> tables[] = {
      std::nullopt,
      ""s,
      std::string(kMarkUtf8),
      "a;b\r\nc;\"d\"\r\n"s,
      "a;b\r\nc;d\r\n"s,
      "\"a,b\";c\r\n"s,
      "\"Smith, John\",42\r\n"s,
      "abc\r\nx|'y'\r\n"s,
      std::string(kMarkUtf8) + "a,b\r\n1,'2'\r\n",
      tab_le,
  };
  for (const char quote : {'"', '\'', '\0'}) {
    for (const bool use_quotes : {true, false}) {
      for (const auto& bytes : tables) {
        SCOPED_TRACE(testing::PrintToString(bytes) + " quote " + std::to_string(quote) +
                     (use_quotes ? " quoted" : ""));
        const std::string path = At("t.csv");
        std::remove(path.c_str());
        if (bytes) WriteFile("t.csv", *bytes);
        FormatChoice choice;
        choice.delimiter = ',';
        choice.quote = quote;
        choice.use_quotes = use_quotes && quote != 0;
        std::optional<TableProbe> probe;
        if (bytes) {
          probe = ProbeTableFile(path, '"', [&choice](std::string_view line) {
            return ChosenDelimiter(choice, line);
          });
        }
        const TableFormat format = FormatForPack(choice, probe ? &*probe : nullptr);

        TStringListCSVEX list;
        list.Delimiter = choice.delimiter;
        list.QuoteMark = quote;
        list.QuotedFields = choice.use_quotes;
        list.CopyFormatFromFile(path);
        EXPECT_EQ(format.delimiter, list.Delimiter);
        EXPECT_EQ(format.quote, list.QuoteMark);
        EXPECT_EQ(format.quoted_fields, list.QuotedFields);
        EXPECT_EQ(format.encoding, list.TextEncoding);
        EXPECT_EQ(format.write_bom, list.WriteBom);
        EXPECT_EQ(format.keeps_utf8_mark, list.KeepsUtf8Mark);
      }
    }
  }
}

// A delimiter named on the command line takes nothing over: no delimiter, no quoting, no mark.
TEST_F(TableFormatTest, NamedDelimiterTakesNothingOver) {
  WriteFile("t.csv", std::string(kMarkUtf8) + "a;b\r\n");
  FormatChoice choice;
  choice.delimiter = '|';
  choice.auto_delimiter = false;
  const TableProbe probe = ProbeTableFile(At("t.csv"), '"', [](std::string_view) { return '|'; });
  const TableFormat format = FormatForPack(choice, &probe);
  EXPECT_EQ(format.delimiter, '|');
  EXPECT_TRUE(format.quoted_fields);
  EXPECT_EQ(format.encoding, 0u);
  EXPECT_FALSE(format.write_bom);
}

}  // namespace
