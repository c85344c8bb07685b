#include "TableFileWriter.h"

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"

namespace {

constexpr size_t kPieceSize = size_t{1} << 20;

// The file a table saved to `path` goes to, its folder created first.
std::string PreparedTarget(const std::string& path) {
  EnsureFileFolder(path);
  return ActualPath(path);
}

}  // namespace

TableEncoder::TableEncoder(const TStringListEX& format, std::function<void(std::string_view)> sink)
    : sink_(std::move(sink)),
      utf16_(format.WriteBom && (format.TextEncoding == TStringListEX::kEncodingUtf16Le ||
                                 format.TextEncoding == TStringListEX::kEncodingUtf16Be)),
      big_endian_(format.TextEncoding == TStringListEX::kEncodingUtf16Be),
      utf8_mark_(format.WriteBom && format.TextEncoding == TStringListEX::kEncodingUtf8 &&
                 !format.KeepsUtf8Mark) {
  if (utf16_) piece_.append(big_endian_ ? kMarkUtf16Be : kMarkUtf16Le);
  // A mark the table came with goes back whatever the text: the file keeps what it had.
  if (format.WriteBom && format.TextEncoding == TStringListEX::kEncodingUtf8 &&
      format.KeepsUtf8Mark) {
    piece_.append(kMarkUtf8);
  }
}

void TableEncoder::WriteRow(std::string_view row) {
  if (utf16_) {
    // A UTF-8 sequence never spans a line break, so rows convert one at a time.
    if (!AppendUtf8AsUtf16Bytes(row, big_endian_, &piece_)) {
      throw TessarinError("The table's text is not valid UTF-8, so it cannot be written as UTF-16");
    }
    AppendUtf8AsUtf16Bytes("\r\n", big_endian_, &piece_);
  } else {
    if (utf8_mark_) {  // the mark goes first only when the whole text turns out to be UTF-8
      scratch_.clear();
      all_utf8_ = all_utf8_ && AppendUtf8AsUtf16Bytes(row, false, &scratch_);
    }
    piece_.append(row);
    piece_.append("\r\n");
  }
  if (!utf8_mark_ && piece_.size() >= kPieceSize) Flush();
}

void TableEncoder::Finish() {
  if (utf8_mark_ && all_utf8_ && !piece_.empty()) sink_(kMarkUtf8);
  Flush();
}

void TableEncoder::Flush() {
  if (!piece_.empty()) sink_(piece_);
  piece_.clear();
}

TableFileWriter::TableFileWriter(const TStringListEX& format, const std::string& path)
    : path_(PreparedTarget(path)),
      file_(std::make_unique<platform::AtomicFileWriter>(path_)),
      encoder_(format, [this](std::string_view bytes) { file_->Write(bytes); }) {}

TableFileWriter::~TableFileWriter() = default;

void TableFileWriter::WriteRow(std::string_view row) {
  try {
    encoder_.WriteRow(row);
  } catch (const TessarinError& e) {
    throw TessarinError("Cannot write file \"" + path_ + "\". " + e.what());
  }
}

void TableFileWriter::Commit() {
  try {
    encoder_.Finish();
  } catch (const TessarinError& e) {
    throw TessarinError("Cannot write file \"" + path_ + "\". " + e.what());
  }
  file_->Commit();
}
