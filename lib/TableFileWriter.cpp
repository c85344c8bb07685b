#include "TableFileWriter.h"

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"

TableFileWriter::TableFileWriter(const TStringListEX& format, const std::string& path)
    : encoding_(format.WriteBom ? format.TextEncoding : TStringListEX::kEncodingNone),
      utf16_(encoding_ == TStringListEX::kEncodingUtf16Le ||
             encoding_ == TStringListEX::kEncodingUtf16Be),
      utf8_mark_(encoding_ == TStringListEX::kEncodingUtf8) {
  EnsureFileFolder(path);
  path_ = ActualPath(path);
  file_ = std::make_unique<platform::AtomicFileWriter>(path_);
  if (utf16_) {
    file_->Write(encoding_ == TStringListEX::kEncodingUtf16Be ? kMarkUtf16Be : kMarkUtf16Le);
  }
}

TableFileWriter::~TableFileWriter() = default;

void TableFileWriter::Fail(const std::string& reason) const {
  throw TessarinError("Cannot write file \"" + path_ + "\". " + reason);
}

void TableFileWriter::WriteRow(std::string_view row) {
  if (utf16_) {
    units_.clear();
    // A UTF-8 sequence never spans a line break, so rows convert one at a time.
    if (!AppendUtf8AsUtf16Bytes(row, encoding_ == TStringListEX::kEncodingUtf16Be, &units_)) {
      Fail("The table's text is not valid UTF-8, so it cannot be written as UTF-16");
    }
    AppendUtf8AsUtf16Bytes("\r\n", encoding_ == TStringListEX::kEncodingUtf16Be, &units_);
    file_->Write(units_);
    return;
  }
  if (utf8_mark_) {  // the mark is written only when the whole text turns out to be UTF-8
    units_.clear();
    all_utf8_ = all_utf8_ && AppendUtf8AsUtf16Bytes(row, false, &units_);
    pending_.append(row);
    pending_.append("\r\n");
    return;
  }
  file_->Write(row);
  file_->Write("\r\n");
}

void TableFileWriter::Commit() {
  if (utf8_mark_) {
    if (all_utf8_ && !pending_.empty()) file_->Write(kMarkUtf8);
    file_->Write(pending_);
  }
  file_->Commit();
}
