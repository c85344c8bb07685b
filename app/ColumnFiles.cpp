#include "ColumnFiles.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "ByteSearch.h"
#include "Error.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"

namespace {

// The longest header value that names its column's file.
constexpr size_t kMaxColumnNameBytes = 200;

bool HoldsUnsafeByte(const std::string& name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 32 || std::strchr("/\\:*?\"<>|", c) != nullptr) {
      return true;
    }
  }
  return false;
}

// NameFiles + "_" + digits, ignoring A-Z case: the form of a numbered file's name.
bool LooksNumbered(const std::string& folded_name, const std::string& folded_base) {
  if (folded_name.size() <= folded_base.size() + 1) return false;
  if (folded_name.compare(0, folded_base.size(), folded_base) != 0) return false;
  if (folded_name[folded_base.size()] != '_') return false;
  for (size_t i = folded_base.size() + 1; i < folded_name.size(); ++i) {
    if (folded_name[i] < '0' || folded_name[i] > '9') return false;
  }
  return true;
}

}  // namespace

std::string NumberedFileName(const RunSettings& settings, long long column) {
  return settings.Folder + settings.NameFiles + "_" + std::to_string(column) + ".txt";
}

ColumnFileNamer::ColumnFileNamer(const RunSettings& settings, const TStringListCSVEX& table)
    : settings_(settings), folded_base_(FoldAsciiCase(settings.NameFiles)) {
  if (settings.NamesFromFirstLine && table.LineCount() > 0) {
    TStringListCSVEX::FieldBuffer header;
    table.ReadFields(table.LineView(0), &header);
    header_.assign(header.values.begin(), header.values.end());
  }
}

const std::string& ColumnFileNamer::Name(long long column) {
  while (static_cast<long long>(names_.size()) <= column) {
    const auto c = static_cast<long long>(names_.size());
    std::string name;
    if (c < static_cast<long long>(header_.size())) {
      name = EscapeText(header_[static_cast<size_t>(c)], settings_.FormatEnter, true);
    }
    std::string folded = FoldAsciiCase(name);
    // With ".txt" a longer name would not fit the 255 bytes a file system allows for one.
    const bool safe = !name.empty() && name.size() <= kMaxColumnNameBytes && name != "." &&
                      name != ".." && !HoldsUnsafeByte(name) &&
                      !LooksNumbered(folded, folded_base_) && taken_.count(folded) == 0;
    if (safe) {
      taken_.insert(std::move(folded));
      names_.push_back(settings_.Folder + name + ".txt");
    } else {
      names_.push_back(NumberedFileName(settings_, c));
    }
  }
  return names_[static_cast<size_t>(column)];
}

std::vector<std::string> ColumnFileNames(const RunSettings& settings, const TStringListCSVEX& table,
                                         long long columns) {
  ColumnFileNamer namer(settings, table);
  std::vector<std::string> names;
  for (long long c = 0; c < columns; ++c) names.push_back(namer.Name(c));
  return names;
}

namespace {

// Splitting would stop at a NUL byte and silently drop the rest of the file.
[[noreturn]] void ThrowNulByte(const std::string& name) {
  throw TessarinError("Cannot load file \"" + CutName(name) +
                      "\". It holds a NUL byte: it is not a text file");
}

void RefuseNul(std::string_view bytes, const std::string& name) {
  if (std::memchr(bytes.data(), 0, bytes.size()) != nullptr) ThrowNulByte(name);
}

}  // namespace

TextFileLines::TextFileLines(const std::string& path, size_t piece, bool keep_open)
    : name_(IsStandardStream(path) ? "standard input" : ActualPath(path)),
      path_(IsStandardStream(path) ? std::string() : name_),
      piece_(std::max<size_t>(piece, 4096)),
      keep_open_(keep_open) {
  if (path_.empty()) {
    const std::string all = platform::ReadStandardInput();
    RefuseNul(all, "-");
    bytes_.assign(all.begin(), all.end());
    size_ = read_ = end_ = bytes_.size();
    bytes_.resize(end_ + kReadableAfter);
    ended_ = true;
  } else {
    // The mark needs the first bytes together, however the system hands them over.
    while (end_ < kMarkUtf8.size() && Fill()) {
    }
    // The first piece is looked at whole at once, so that of several files holding a NUL byte
    // early the first one named is refused before anything is written; later pieces are
    // looked at as their lines are found.
    RefuseNul(std::string_view(bytes_.data(), end_), name_);
  }
  // Editors like to put a byte-order mark in front; it is never part of the first value.
  if (std::string_view(bytes_.data(), end_).compare(0, kMarkUtf8.size(), kMarkUtf8) == 0) {
    pos_ = kMarkUtf8.size();
    lister_.StartAt(pos_);
  }
}

bool TextFileLines::Fill() {
  if (ended_) return false;
  // Unless kept open, open only for this piece: the next one is read from where this one
  // ended.
  std::unique_ptr<platform::FileReader> opened;
  if (!open_) {
    opened = std::make_unique<platform::FileReader>(path_);
    size_ = std::max(opened->Size(), read_);
    if (read_ > 0) opened->Seek(read_);
  }
  platform::FileReader& file = open_ ? *open_ : *opened;
  // A file with less than a piece left is read whole, into room for just that (and the byte
  // that shows its end): a table of many columns has as many small files open at once.
  const uint64_t left = size_ > read_ ? size_ - read_ : 0;
  const size_t want = file.Size() > 0 && left < piece_ ? static_cast<size_t>(left) + 1 : piece_;
  // Room for a piece and the unfinished line before it: made once, with a quarter of a piece
  // to spare for that line, so that it grows only for a line longer than that. Room of a
  // quarter of a large page or more is made in whole large pages.
  if (bytes_.size() < end_ + want + kReadableAfter) {
    bytes_.resize(want < piece_
                      ? end_ + want + kReadableAfter
                      : LargeRoom(std::max(end_ + piece_, piece_ + piece_ / 4) + kReadableAfter));
  }
  size_t got = 0;
  while (got < want) {
    const size_t n = file.Read(bytes_.data() + end_ + got, want - got);
    if (n == 0) {
      ended_ = true;
      break;
    }
    got += n;
  }
  if (ended_) {
    open_.reset();
  } else if (keep_open_ && opened) {
    open_ = std::move(opened);
  }
  end_ += got;
  read_ += got;
  return got > 0;
}

void TextFileLines::DropTaken() {
  // The lines given so far are done with: only the unfinished one is kept.
  std::memmove(bytes_.data(), bytes_.data() + pos_, end_ - pos_);
  end_ -= pos_;
  base_ += pos_;
  lister_.Shift(pos_);
  pos_ = 0;
}

namespace {

// Four marks from one to four bytes: the last one repeated in the places left.
struct FourMarks {
  char marks[4];
  explicit FourMarks(std::string_view given) {
    for (size_t k = 0; k < 4; ++k) marks[k] = given[std::min(k, given.size() - 1)];
  }
};

}  // namespace

PlainLineTest::PlainLineTest(std::string_view marks) : marks_(byte_search::StopBytes(FourMarks(marks).marks, true)) {}

PlainLineTest PlainTestForRows(const TStringListCSVEX& table, uint8_t style) {
  if (platform::SystemLeadBytes().any) return PlainLineTest();
  std::string marks = "\\";
  if (style == kStyleHlm) marks.push_back('<');
  if (table.QuoteMark != 0) marks.push_back(table.QuoteMark);
  marks.push_back(table.Delimiter);
  return PlainLineTest(marks);
}

void TextFileLines::PassSplitLf() {
  if (!skip_lf_ || pos_ >= end_) return;
  if (bytes_[pos_] == '\n') ++pos_;
  skip_lf_ = false;
  if (lister_.Scanned() < pos_) lister_.StartAt(pos_);
}

bool TextFileLines::NextListed(std::string_view* line, const PlainLineTest* test, bool* plain) {
  for (;;) {
    if (next_ < listed_) {
      TakeListed(line, plain);
      return true;
    }
    PassSplitLf();
    if (!skip_lf_ && lister_.Scanned() < end_) {
      // Without a test every line is marked, also one that a later call with a test takes.
      next_ = 0;
      listed_ = test != nullptr && test->Enabled()
                    ? lister_.List(bytes_.data(), end_, bytes_.size(), test->Marks())
                    : lister_.List(bytes_.data(), end_, bytes_.size(), byte_search::OneByte('\n'), true);
      if (lister_.NulSeen()) ThrowNulByte(name_);
      continue;
    }
    if (ended_) {
      skip_lf_ = false;
      if (pos_ >= end_) return false;
      *line = std::string_view(bytes_.data() + pos_, end_ - pos_);  // a last line without a break
      *plain = false;
      pos_ = end_;
      lister_.StartAt(end_);
      ++taken_;
      return true;
    }
    DropTaken();
    Fill();
  }
}

bool TextFileLines::Next(std::string_view* line) {
  bool plain = false;
  return NextListed(line, nullptr, &plain);
}

bool TextFileLines::AtEnd() {
  for (;;) {
    if (next_ < listed_) return false;  // lines found ahead are left
    PassSplitLf();
    if (pos_ < end_) return false;
    if (ended_) return true;
    DropTaken();
    Fill();
  }
}

void TextFileLines::RefuseNulAhead() const {
  if (ended_) return;  // everything is read already
  platform::FileReader file(path_);
  std::string piece(piece_, '\0');
  for (size_t n; (n = file.Read(&piece[0], piece.size())) > 0;) {
    RefuseNul(std::string_view(piece).substr(0, n), name_);
  }
}

void TextFileLines::TakeRest() {
  if (rest_taken_) return;
  std::string_view line;
  while (Next(&line)) unused_text_ = unused_text_ || !line.empty();
  rest_taken_ = true;
}

void TextFileLines::ReportUnusedLines(long long used) {
  TakeRest();
  if (!unused_text_) return;
  PrintNote(name_ + " has " + std::to_string(taken_) + " lines for " + std::to_string(used) +
            " rows; the last " + std::to_string(taken_ - used) + " are not used");
}

void UnreadableValues::Tally::Add(long long r, long long c) {
  // Columns may be written in several passes over the rows, so the first in reading order is
  // the lowest row, then the lowest column, whatever order the values came in.
  if (count == 0 || r < row || (r == row && c < column)) {
    row = r;
    column = c;
  }
  ++count;
}

void UnreadableValues::Tally::Add(const Tally& other) {
  if (other.count == 0) return;
  const long long n = count;
  Add(other.row, other.column);
  count = n + other.count;
}

void UnreadableValues::Count(std::string_view value, long long r, long long c) {
  if (UnescapeText(EscapeText(value, style_, true), style_, true) == value) return;
  if (!join_token_.empty() && value.find(join_token_) != std::string_view::npos) {
    const std::string joined = ReplaceAll(value, join_token_, "\r\n");
    if (UnescapeText(EscapeText(joined, style_, true), style_, true) == joined) {
      joined_.Add(r, c);
      return;
    }
  }
  sure_.Add(r, c);
}

void UnreadableValues::Report(const std::function<bool()>& join_token_in_text) const {
  Tally all = sure_;
  if (joined_.count > 0 && join_token_in_text()) all.Add(joined_);
  if (all.count == 0) return;
  PrintNote(std::to_string(all.count) + " values will not read back as they are (first: row " +
            std::to_string(all.row) + ", column " + std::to_string(all.column) + ")");
}

long long WidestRow(const TStringListCSVEX& table) {
  long long widest = 0;
  for (long long r = 0; r < table.LineCount(); ++r) {
    widest = std::max(widest, table.CountFields(table.LineView(r)));
  }
  return widest;
}

int32_t FindColumnByName(const TStringListCSVEX& table, const std::string& name) {
  // A table without lines has no first row, so no name is found there.
  if (table.LineCount() > 0) {
    TStringListCSVEX::FieldBuffer header;
    table.ReadFields(table.LineView(0), &header);
    for (size_t c = 0; c < header.values.size(); ++c) {
      if (header.values[c] == name) return static_cast<int32_t>(c);
    }
  }
  throw TessarinError("Not find colom: " + CutName(name), true);
}
