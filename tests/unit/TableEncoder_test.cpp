#include "TableFileWriter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Error.h"
#include "StringListEX.h"

namespace {

struct Encoding {
  const char* name;
  uint32_t encoding;
  bool bom;
  bool keeps_mark;
};

// The bytes of the rows written one by one, or the first alone and the rest in pieces of
// `per_piece` rows; the message of a failure instead.
std::string Encoded(const Encoding& e, const std::vector<std::string>& rows, size_t per_piece) {
  TStringListCSVEX format;
  format.TextEncoding = e.encoding;
  format.WriteBom = e.bom;
  format.KeepsUtf8Mark = e.keeps_mark;
  std::string bytes;
  try {
    TableEncoder encoder(format, [&bytes](std::string_view piece) { bytes.append(piece); });
    std::string pending;
    for (size_t r = 0; r < rows.size(); ++r) {
      if (per_piece == 0 || r == 0) {
        encoder.WriteRow(rows[r]);
        continue;
      }
      pending += rows[r] + "\r\n";
      if (r % per_piece == 0) {
        encoder.WriteRows(pending);
        pending.clear();
      }
    }
    encoder.WriteRows(pending);
    encoder.Finish();
  } catch (const TessarinError& error) {
    return std::string("failed: ") + error.what();
  }
  return bytes;
}

// Rows handed over many at a time become the same bytes as rows written one by one, in every
// encoding a table is saved in, failures included; before the first row it is a caller's slip.
TEST(TableEncoder, RowsInPiecesAsRowsOneByOne) {
  const Encoding encodings[] = {{"bytes", TStringListEX::kEncodingNone, false, false},
                                {"UTF-16 LE", TStringListEX::kEncodingUtf16Le, true, false},
                                {"UTF-16 BE", TStringListEX::kEncodingUtf16Be, true, false},
                                {"UTF-8 mark when all UTF-8", TStringListEX::kEncodingUtf8, true, false},
                                {"UTF-8 mark kept", TStringListEX::kEncodingUtf8, true, true}};
  const std::vector<std::vector<std::string>> tables = {
      {"id,name", "1,\xc3\xa9t\xc3\xa9", "2,\"a\r\nb\"", "", "3,\xf0\x9f\x98\x80"},
      {"a", "b\xff", "c"},  // not UTF-8: no mark, and no UTF-16 at all
      {std::string(300000, 'x'), "y"}};
  for (const Encoding& e : encodings) {
    for (const std::vector<std::string>& rows : tables) {
      const std::string expected = Encoded(e, rows, 0);
      for (size_t per_piece : {1, 2, 100}) {
        EXPECT_EQ(Encoded(e, rows, per_piece), expected) << e.name << " " << per_piece;
      }
    }
  }
  TStringListCSVEX format;
  TableEncoder encoder(format, [](std::string_view) {});
  EXPECT_THROW(encoder.WriteRows("a\r\n"), std::logic_error);
}

}  // namespace
