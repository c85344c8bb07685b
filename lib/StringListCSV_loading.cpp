// Loading and saving table files: byte-order marks, UTF-16 held as UTF-8 in memory, and
// atomic saving.
#include <algorithm>
#include <cstring>
#include <optional>

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"
#include "StringListEX.h"
#include "TableFileWriter.h"

namespace {

constexpr size_t kPieceUnits = size_t{1} << 20;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The UTF-8 text of the code units after a UTF-16 mark, converted a piece at a time so the file's
// bytes and the text are the only copies. A unit U+FEFF right after the mark is dropped too.
std::string Utf16FileToUtf8(const std::string& bytes, bool big_endian) {
  const char* units = bytes.data() + 2;
  const size_t count = (bytes.size() - 2) / 2;  // an odd last byte is dropped
  auto unit = [&](size_t i) {
    const auto* b = reinterpret_cast<const unsigned char*>(units) + 2 * i;
    return big_endian ? unsigned(b[0] << 8 | b[1]) : unsigned(b[1] << 8 | b[0]);
  };
  size_t i = (count > 0 && unit(0) == 0xFEFF) ? 1 : 0;
  std::string text;
  text.reserve(count + count / 8);
  while (i < count) {
    size_t end = std::min(count, i + kPieceUnits);
    // Never split a surrogate pair between two pieces.
    while (end < count && unit(end) >= 0xDC00 && unit(end) <= 0xDFFF) ++end;
    AppendUtf16BytesAsUtf8(units + 2 * i, end - i, big_endian, &text);
    i = end;
  }
  return text;
}

std::string DecodeFileText(std::string bytes, uint32_t expected_encoding, uint32_t* encoding,
                           bool* write_bom, bool* keeps_utf8_mark) {
  if (StartsWith(bytes, kMarkUtf16Le) || StartsWith(bytes, kMarkUtf16Be)) {
    const bool big_endian = StartsWith(bytes, kMarkUtf16Be);
    *write_bom = true;
    *encoding = big_endian ? TStringListEX::kEncodingUtf16Be : TStringListEX::kEncodingUtf16Le;
    bytes = Utf16FileToUtf8(bytes, big_endian);  // the file's bytes go as the text comes
    // A UTF-8 mark that a further U+FEFF became is not text either, and is not kept.
    if (StartsWith(bytes, kMarkUtf8)) bytes.erase(0, kMarkUtf8.size());
    return bytes;
  }
  if (expected_encoding == TStringListEX::kEncodingUtf8 && !DecodesAsUtf8(bytes)) {
    bytes = Utf16ToUtf8(platform::AnsiToUtf16(bytes), std::string_view());
  }
  if (StartsWith(bytes, kMarkUtf8)) {
    // Kept apart from the text and written back, so the file still opens as UTF-8.
    *encoding = TStringListEX::kEncodingUtf8;
    *write_bom = true;
    *keeps_utf8_mark = true;
    bytes.erase(0, kMarkUtf8.size());
  }
  return bytes;
}

}  // namespace

void TStringListCSVEX::LoadFromFileEX(const std::string& path, uint32_t expected_encoding) {
  std::optional<std::string> found = FindEntryNoCase(path);
  if (!found) return;
  LoadFromBytesEX(platform::ReadWholeFile(*found), *found, expected_encoding);
}

void TStringListCSVEX::LoadFromBytesEX(std::string bytes, const std::string& name,
                                       uint32_t expected_encoding) {
  uint32_t encoding = TextEncoding;
  bool write_bom = WriteBom;
  bool keeps_utf8_mark = KeepsUtf8Mark;
  std::string text =
      DecodeFileText(std::move(bytes), expected_encoding, &encoding, &write_bom, &keeps_utf8_mark);
  // Splitting stops at a NUL byte, so everything after it would be lost on the next save.
  if (std::memchr(text.data(), 0, text.size()) != nullptr) {
    throw TessarinError("Cannot load file \"" + CutName(name) +
                        "\". It holds a NUL byte: it is not a text table");
  }
  TextEncoding = encoding;
  WriteBom = write_bom;
  KeepsUtf8Mark = keeps_utf8_mark;
  SplitText(std::move(text));
  DetectFormat();
}

void TStringListCSVEX::LoadFromStreamEX(std::string bytes, uint32_t expected_encoding) {
  uint32_t encoding = TextEncoding;
  bool write_bom = WriteBom;
  bool keeps_utf8_mark = KeepsUtf8Mark;
  std::string text =
      DecodeFileText(std::move(bytes), expected_encoding, &encoding, &write_bom, &keeps_utf8_mark);
  TextEncoding = encoding;
  WriteBom = write_bom;
  KeepsUtf8Mark = keeps_utf8_mark;
  SplitText(std::move(text));
}

void TStringListCSVEX::SaveToStreamEX(const std::function<void(std::string_view)>& sink,
                                      bool force_bom) {
  if (force_bom) WriteBom = true;
  TableEncoder encoder(*this, sink);
  for (long long r = 0; r < LineCount(); ++r) encoder.WriteRow(LineView(r));
  encoder.Finish();
}

void TStringListCSVEX::SaveToFileEX(const std::string& path, bool force_bom) {
  if (force_bom) WriteBom = true;
  TableFileWriter writer(*this, path);
  for (long long r = 0; r < LineCount(); ++r) writer.WriteRow(LineView(r));
  writer.Commit();
}
