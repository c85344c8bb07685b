#include "TableFileWriter.h"

#include <algorithm>
#include <stdexcept>

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"

namespace {

constexpr size_t kPieceSize = size_t{1} << 20;

// The file a table saved to `path` goes to (its folder exists by now).
std::string PreparedTarget(const std::string& path) { return ActualPath(path); }

bool BeginsLikeMark(std::string_view text) {
  for (std::string_view mark : {kMarkUtf8, kMarkUtf16Le, kMarkUtf16Be}) {
    if (text.substr(0, mark.size()) == mark) return true;
  }
  return false;
}

// The row with its first field enclosed in quote marks (those inside it doubled), which reads
// back as the same value in a quoted and in a plain table.
std::string QuoteFirstField(std::string_view row, char delimiter, char quote) {
  std::string quoted;
  if (quote != 0) {
    const size_t end = std::min(row.find(delimiter), row.size());
    quoted.push_back(quote);
    for (char c : row.substr(0, end)) {
      quoted.push_back(c);
      if (c == quote) quoted.push_back(c);
    }
    quoted.push_back(quote);
    quoted.append(row.substr(end));
  }
  if (quote == 0 || BeginsLikeMark(quoted)) {
    throw TessarinError(
        "Its first row begins with the bytes of a byte-order mark, and no quote character can "
        "keep the next load from dropping them");
  }
  return quoted;
}

}  // namespace

TableEncoder::TableEncoder(const TStringListEX& format, std::function<void(std::string_view)> sink)
    : TableEncoder(format, std::move(sink), nullptr) {}

TableEncoder::TableEncoder(const TStringListEX& format, std::function<void(std::string_view)> sink,
                           std::function<void(LargeString*)> take)
    : sink_(std::move(sink)),
      take_(std::move(take)),
      utf16_(format.WriteBom && (format.TextEncoding == TStringListEX::kEncodingUtf16Le ||
                                 format.TextEncoding == TStringListEX::kEncodingUtf16Be)),
      big_endian_(format.TextEncoding == TStringListEX::kEncodingUtf16Be),
      utf8_mark_(format.WriteBom && format.TextEncoding == TStringListEX::kEncodingUtf8 &&
                 !format.KeepsUtf8Mark),
      kept_mark_(format.WriteBom && format.TextEncoding == TStringListEX::kEncodingUtf8 &&
                 format.KeepsUtf8Mark),
      delimiter_(format.Delimiter),
      quote_(format.QuoteMark) {
  piece_.reserve(kPieceSize + kPieceSize / 8);  // as Flush() leaves it
  if (utf16_) piece_.append(big_endian_ ? kMarkUtf16Be : kMarkUtf16Le);
  // A mark the table came with goes back whatever the text: the file keeps what it had.
  if (kept_mark_) piece_.append(kMarkUtf8);
}

void TableEncoder::WriteRow(std::string_view row) {
  std::string quoted;
  if (first_row_) {
    first_row_ = false;
    first_row_end_ = row.size();
    // Behind a UTF-8 mark the load takes the mark and leaves the text whole. Whether a UTF-8
    // table gets its mark is known only at the end; Finish() looks then.
    if (!utf8_mark_ && !kept_mark_ && BeginsLikeMark(row)) {
      quoted = QuoteFirstField(row, delimiter_, quote_);
      row = quoted;
    }
  }
  Encode(row, "\r\n");
}

void TableEncoder::WriteRows(std::string_view rows) {
  if (rows.empty()) return;
  if (first_row_) {  // only a caller's slip: the first row has its own checks
    throw std::logic_error("TableEncoder::WriteRows before the first row");
  }
  Encode(rows, std::string_view());
}

void TableEncoder::Encode(std::string_view text, std::string_view line_end) {
  if (utf16_) {
    // A UTF-8 sequence never spans a line break, so rows convert one or many at a time alike.
    scratch_.clear();
    if (!AppendUtf8AsUtf16Bytes(text, big_endian_, &scratch_)) {
      throw TessarinError("The table's text is not valid UTF-8, so it cannot be written as UTF-16");
    }
    AppendUtf8AsUtf16Bytes(line_end, big_endian_, &scratch_);
    piece_.append(scratch_);
  } else {
    if (utf8_mark_) {  // the mark goes first only when the whole text turns out to be UTF-8
      scratch_.clear();
      all_utf8_ = all_utf8_ && AppendUtf8AsUtf16Bytes(text, false, &scratch_);
    }
    piece_.append(text);
    piece_.append(line_end);
  }
  if (!utf8_mark_ && piece_.size() >= kPieceSize) Flush();
}

void TableEncoder::Finish() {
  if (utf8_mark_ && all_utf8_ && !piece_.empty()) {
    sink_(kMarkUtf8);  // the load takes this mark away, and the text after it stays whole
  } else if (utf8_mark_ && BeginsLikeMark(std::string_view(piece_.data(), piece_.size()))) {
    const std::string quoted =
        QuoteFirstField(std::string_view(piece_.data(), first_row_end_), delimiter_, quote_);
    piece_.replace(0, first_row_end_, quoted.data(), quoted.size());
  }
  Flush();
}

void TableEncoder::Flush() {
  if (piece_.empty()) return;
  if (take_) {
    take_(&piece_);
  } else {
    sink_(std::string_view(piece_.data(), piece_.size()));
  }
  piece_.clear();
  // Room for a full piece and the row that fills it, so that the piece is never moved as it
  // fills (fresh memory costs a page fault for every page touched).
  piece_.reserve(kPieceSize + kPieceSize / 8);
}

TableFileWriter::TableFileWriter(const TStringListEX& format, const std::string& path)
    : folder_(FolderPart(platform::ExpandPath(path))),
      path_(PreparedTarget(path)),
      file_(std::make_unique<platform::AtomicFileWriter>(path_)),
      encoder_(
          format, [this](std::string_view bytes) { file_->Write(bytes); },
          [this](LargeString* piece) { file_->Take(piece); }) {}

TableFileWriter::~TableFileWriter() = default;

template <typename Step>
void TableFileWriter::NamingTheFile(const Step& step) {
  try {
    step();
  } catch (const FileError&) {
    throw;  // from the file itself, already naming it
  } catch (const TessarinError& e) {
    throw TessarinError("Cannot write file \"" + path_ + "\". " + e.what());
  }
}

void TableFileWriter::WriteRow(std::string_view row) {
  NamingTheFile([&] { encoder_.WriteRow(row); });
}

void TableFileWriter::WriteRows(std::string_view rows) {
  NamingTheFile([&] { encoder_.WriteRows(rows); });
}

void TableFileWriter::Commit() {
  NamingTheFile([&] { encoder_.Finish(); });
  file_->Commit();
  folder_.Keep();
}
