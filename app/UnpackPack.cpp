// Unpack (-u): every column of the table to a text file of its own, one line per row.
// Pack (-p): the table built back from those files, line r of each file a field of row r.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "ByteSearch.h"
#include "ColumnFiles.h"
#include "FieldScanner.h"
#include "Error.h"
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"
#include "TableFileWriter.h"
#include "TableSetup.h"

namespace {

// Each pass over the table feeds this many column files at once; wider tables take more passes
// (the open files and their buffers are what limits it).
constexpr long long kColumnsPerPass = 64;

// Pack reads its column files in pieces that together take this many bytes (each file's piece
// is a share of it), but not fewer than the least. Larger pieces save few reads and cost fresh
// memory to fill.
constexpr size_t kAllFilePieces = size_t{2} << 20;
constexpr size_t kLeastFilePiece = size_t{64} << 10;
// Pack keeps its column files open from one piece to the next when there are no more than
// this (as many as a pass of unpack writes at once).
constexpr size_t kFilesKeptOpen = static_cast<size_t>(kColumnsPerPass);

// Bytes all the columns of a pass gather before they go to their files.
constexpr size_t kPassBuffer = size_t{16} << 20;

// One column file being written: its lines gathered in a buffer of fixed size, then handed to
// the file whole (it is written as it is, without a copy, and room written before comes back).
// Most lines are copied straight into the buffer, without the checks and the calls of growing
// a string.
class ColumnSink {
 public:
  /// `size`: how many bytes go to the file at a time.
  ColumnSink(platform::AtomicFileWriter* file, size_t size) : file_(file), size_(size) {}
  /// The value and a line break, as a line of the file.
  void AddLine(std::string_view value) {
    if (used_ + value.size() + 2 > buffer_.size()) Room(value.size() + 2);
    if (!value.empty()) std::memcpy(&buffer_[used_], value.data(), value.size());
    used_ += value.size();
    buffer_[used_++] = '\r';
    buffer_[used_++] = '\n';
  }
  /// The value escaped for the file, and a line break.
  void AddEscapedLine(std::string_view value, uint8_t style) {
    escaped_.clear();
    AppendEscaped(&escaped_, value, style, true);
    AddLine(escaped_);
  }
  /// Writes what is gathered.
  void Flush() {
    if (used_ == 0) return;
    buffer_.resize(used_);
    file_->Take(&buffer_);  // gives back an earlier piece's room, empty
    used_ = 0;
  }

 private:
  // Room for `n` more bytes. It grows from little to a full piece, so that the files of a table
  // of many columns, each a few lines, never clear a piece's room; a full piece is written,
  // and the room after it is a full piece at once.
  void Room(size_t n) {
    size_t room = std::min(size_, std::max<size_t>(256, 2 * buffer_.size()));
    if (used_ + n > size_ && used_ > 0) {
      Flush();
      room = size_;
    }
    buffer_.resize(std::max(used_ + n, room));
  }

  platform::AtomicFileWriter* file_;
  size_t size_;
  LargeString buffer_;
  size_t used_ = 0;
  std::string escaped_;
};

// Rows built straight into large pieces of memory, each row followed by CR LF, and handed to the
// table's file a piece at a time. Room is made a value at a time, with words to spare, so that
// short values are copied in whole words.
class RowText {
 public:
  /// `first_alone`: the first row goes to the file by itself (the table's first row is checked
  /// on its own).
  RowText(TableFileWriter* writer, bool first_alone) : writer_(writer), first_alone_(first_alone) {
    text_.resize(kPiece + kSpare);
  }
  /// Where `n` more bytes of the row go (with words to spare after them).
  char* Room(size_t n) {
    if (used_ + n + kSpare > text_.size()) text_.resize(2 * (used_ + n + kSpare));
    return &text_[used_];
  }
  /// The row goes on at `end`, inside the last room made.
  void Took(const char* end) { used_ = static_cast<size_t>(end - text_.data()); }
  void Append(std::string_view bytes) {
    std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  bool RowIsEmpty() const { return used_ == row_start_; }
  void EndRow() {
    char* at = Room(2);
    at[0] = '\r';
    at[1] = '\n';
    used_ += 2;
    if (first_alone_) {
      first_alone_ = false;
      writer_->WriteRow(std::string_view(text_).substr(0, used_ - 2));
      used_ = 0;
    } else if (used_ >= kPiece) {
      Hand();
    }
    row_start_ = used_;
  }
  /// Hands over the rows still held.
  void Finish() {
    if (used_ > 0) Hand();
  }

 private:
  // Small enough to stay in the processor's cache between filling and handing over.
  static constexpr size_t kPiece = size_t{256} << 10;
  static constexpr size_t kSpare = 64;

  void Hand() {
    writer_->WriteRows(std::string_view(text_.data(), used_));
    used_ = 0;
  }

  TableFileWriter* writer_;
  bool first_alone_;
  std::string text_;  // the rows in [0, used_); the rest is room
  size_t used_ = 0;
  size_t row_start_ = 0;
};

// What the passes of one unpack share: the column files' names, the folder listing they are
// looked up in, and where each wide record's fields go on in the next pass.
struct UnpackState {
  ColumnFileNamer names;
  // The names are distinct ignoring A-Z case, so files written never hide one still sought.
  FolderIndex folders;
  // Record r's fields from the next pass's first column on; records not named here have none.
  std::vector<TStringListCSVEX::FieldCursor> resume;
};

// Streams the table once and writes columns [first, last) from `first_row` on, splitting each
// record once over all the passes. With `grow`, a record wider than `*last` adds the columns it
// brings (up to the pass's limit; `*widest` tells the passes after it how many there are), each
// file getting the empty lines of the rows before it. The files stay temporary (added to `all`):
// they replace the old column files only when every column is written.
void WriteColumnFiles(const RunSettings& settings, const std::string& path,
                      const TableProbe& probe, const TableFormat& format, long long first,
                      long long* last, bool grow,
                      long long* widest, UnpackState* state, UnreadableValues* unreadable,
                      ProgressMeter* progress,
                      std::vector<std::unique_ptr<platform::AtomicFileWriter>>* all) {
  std::vector<ColumnSink> sinks;
  const size_t chunk_limit = std::max<size_t>(size_t{64} << 10, kPassBuffer / kColumnsPerPass);
  auto open_columns = [&](long long end, long long rows_before) {
    for (long long c = first + static_cast<long long>(sinks.size()); c < end; ++c) {
      all->push_back(std::make_unique<platform::AtomicFileWriter>(
          state->folders.ActualPath(state->names.Name(c))));
      ColumnSink sink(all->back().get(), chunk_limit);
      for (long long r = 0; r < rows_before; ++r) sink.AddLine(std::string_view());
      sinks.push_back(std::move(sink));
    }
  };
  open_columns(*last, 0);
  TableRecords records(path, format);
  FieldDialect dialect = format.Dialect();
  dialect.nul_free = true;  // the first pass over each record below refuses one
  const byte_search::StopBytes marked = BareFieldStops(dialect.delimiter);
  // This pass's fields of the record, as they stand; `bare` ones are their own value.
  struct PassField {
    RawField raw;
    bool bare;
  };
  std::vector<PassField> fields;
  std::string scratch;
  const long long first_row = settings.SkipFirstLine ? 1 : 0;
  std::vector<TStringListCSVEX::FieldCursor> resume;  // for the pass after this one
  const TStringListCSVEX::FieldCursor exhausted{std::string_view::npos, false};
  std::string_view record;
  long long rows = 0;
  for (long long r = 0; records.Next(&record); ++r) {
    progress->Advance(record.size() + 2);
    if (first == 0 && !records.NulFree()) RefuseNulByte(probe, path, record);
    // Every row counts for the width, the header too, also when it is not written.
    if (r < first_row && !grow) continue;
    // This pass's fields, from where the pass before stopped in the record.
    TStringListCSVEX::FieldCursor cursor;
    if (first > 0) {
      const auto at = static_cast<size_t>(r);
      cursor = at < state->resume.size() ? state->resume[at] : exhausted;
    }
    fields.clear();
    FieldScanner scanner(record, dialect, cursor);
    while (!scanner.Done() && static_cast<long long>(fields.size()) < kColumnsPerPass) {
      // Made in its place: a field copied in whole right after it was stored in halves would
      // wait for the halves to reach memory.
      PassField& field = fields.emplace_back();
      field.raw = scanner.NextBare(marked, &field.bare);
    }
    long long count = first + static_cast<long long>(fields.size());
    if (static_cast<long long>(fields.size()) == kColumnsPerPass) {  // maybe more
      resume.resize(static_cast<size_t>(r), exhausted);
      resume.push_back(scanner.Where());
    }
    if (grow) {  // the first pass learns the width from the whole record
      while (!scanner.Done()) {
        scanner.Next();
        ++count;
      }
    }
    if (grow && count > *widest) {
      *widest = count;
      const long long end = std::min(count, first + kColumnsPerPass);
      if (end > *last) {
        open_columns(end, rows);
        *last = end;
      }
    }
    if (r < first_row) continue;
    for (long long c = first; c < *last; ++c) {
      ColumnSink& sink = sinks[c - first];
      if (c - first < static_cast<long long>(fields.size())) {
        const PassField& field = fields[c - first];
        const std::string_view value =
            field.bare ? field.raw.bytes : FieldValue(field.raw, dialect, &scratch);
        const bool edge_space = !value.empty() && (value.front() == ' ' || value.back() == ' ');
        if (field.bare && !edge_space && r != first_row) {
          // Nothing in it to escape, and no token in it to tell about.
          sink.AddLine(value);
        } else {
          unreadable->Check(value, r, c, r == first_row);
          sink.AddEscapedLine(value, settings.FormatEnter);
        }
      } else {
        sink.AddLine(std::string_view());
      }
    }
    ++rows;
  }
  for (ColumnSink& sink : sinks) sink.Flush();
  state->resume = std::move(resume);
}

// The column files pack reads: the named files of the old table's header (every one of them
// must exist), or the numbered files up to the first one missing. Each path is the entry found
// ignoring A-Z case. The old table is read as a stream for its header (row 0 goes into `old`,
// the table's first record) and its widest row; `probe` is its first pass, made here when it
// is not made yet.
std::vector<std::string> PackColumnFiles(const RunSettings& settings,
                                         const std::optional<std::string>& table_found,
                                         std::optional<TableProbe>* probe, TStringListCSVEX* old) {
  FolderIndex folders;
  std::vector<std::string> paths;
  if (settings.NamesFromFirstLine) {
    if (table_found && !*probe) *probe = ProbeTable(settings, *table_found);
    const TableFormat format = FormatForFields(ChoiceOf(settings), *probe ? **probe : TableProbe());
    ApplyFormat(format, old);
    long long widest = 0;
    if (table_found && (*probe)->has_lines) {
      TableRecords records(*table_found, format);
      const FieldDialect dialect = format.Dialect();
      std::string_view record;
      while (records.Next(&record)) {
        if (old->LineCount() == 0) old->AddLine(record);
        widest = std::max(widest, CountRowFields(record, dialect));
      }
    }
    for (const std::string& name : ColumnFileNames(settings, *old, widest)) {
      std::optional<std::string> found = folders.Find(name);
      if (!found) throw NotFoundError(name);
      paths.push_back(std::move(*found));
    }
    return paths;
  }
  for (long long c = 0;; ++c) {
    const std::string name = NumberedFileName(settings, c);
    std::optional<std::string> found = folders.Find(name);
    if (!found) {
      if (c == 0) throw NotFoundError(name);  // no column at all: keep the old table
      return paths;
    }
    paths.push_back(std::move(*found));
  }
}

// The rows of the new table, from the column files, to the table's file; `rest`, when there
// is one, is waited for before the table is replaced.
void PackRows(const RunSettings& settings, const FormatChoice& choice,
              const std::optional<std::string>& found, std::optional<TableProbe>* probe_made,
              RestOfTableCheck* rest, TStringListCSVEX* table) {
  std::optional<TableProbe>& probe = *probe_made;
  ApplyFormat(FormatForPack(choice, probe ? &*probe : nullptr), table);
  // The header of "-ncfl" is read as unpack reads it, with the command line's quote character.
  if (probe && choice.quote != '"') probe.reset();
  PrintLine("PACK: " + settings.TablePath);
  ProgressMeter progress("reading the column files", 0);

  TStringListCSVEX old;
  const std::vector<std::string> names = PackColumnFiles(settings, found, &probe, &old);
  // "-ncfld0" keeps the old header row as it is; the files hold the rows after it.
  const bool keep_header = settings.SkipFirstLine && settings.NamesFromFirstLine;
  const long long header_rows = keep_header && old.LineCount() > 0 ? 1 : 0;
  const std::string header = header_rows > 0 ? old.GetLine(0) : std::string();
  old.ClearLines();

  // Every column file is read in pieces; together they stay within a fixed amount of memory.
  const size_t piece = std::max(kLeastFilePiece, kAllFilePieces / std::max<size_t>(1, names.size()));
  std::vector<std::unique_ptr<TextFileLines>> files;
  uint64_t total_bytes = 0;
  // A few files stay open from piece to piece; many are opened for each piece instead, so
  // that they never run out of the files a process may hold open.
  const bool keep_open = names.size() <= kFilesKeptOpen;
  for (const std::string& name : names) {
    files.push_back(std::make_unique<TextFileLines>(name, piece, keep_open));
    total_bytes += files.back()->Size();
  }
  progress.Count("pack", total_bytes);
  // The old table is not read again: the memory its pages hold in the system's cache can take
  // the new table's (the check of its rest lets them go, once it has read them).
  if (found && (!rest || settings.NamesFromFirstLine)) platform::DropCachedFile(*found);
  // Rows go straight to the file: neither the table nor a column file is ever held whole.
  TableFileWriter writer(*table, settings.TablePath);
  if (header_rows > 0) writer.WriteRow(header);
  // Most lines hold nothing to unescape, quote or double: they go into the row as they stand,
  // found so by the search for their end. Only the others are unescaped and formatted.
  const PlainLineTest plain_test = PlainTestForRows(*table, settings.FormatEnter);
  const bool enclose = table->QuotedFields && table->AlwaysQuote && table->QuoteMark != 0;
  const bool placeholder = files.size() == 1 && !table->AlwaysQuote && table->QuoteMark != 0;
  // Held here, where no byte written into a row can be taken to change them.
  const char delimiter = table->Delimiter;
  const char quote = table->QuoteMark;
  // A plain line as its field, at `at`, with the delimiter before it unless it is the first.
  auto put_plain = [delimiter, quote, enclose](char* at, bool first, std::string_view line) {
    if (!first) *at++ = delimiter;
    if (enclose) *at++ = quote;
    byte_search::CopyInWords(at, line.data(), line.size());
    at += line.size();
    if (enclose) *at++ = quote;
    return at;
  };
  RowText out(&writer, header_rows == 0);
  std::string unescaped;
  std::string formatted;
  // Each row's lines are taken first, then written: most rows are plain throughout, and room is
  // made for all their fields at once.
  struct Cell {
    std::string_view line;
    bool plain = false;
  };
  std::vector<Cell> cells(files.size());
  long long rows = 0;
  // The first file decides the rows; a shorter later file gives empty cells.
  while (!files.empty() && files[0]->Next(&cells[0].line, plain_test, &cells[0].plain)) {
    size_t bytes = cells[0].line.size();
    size_t lines = 1;
    bool all_plain = cells[0].plain;
    for (size_t c = 1; c < files.size(); ++c) {
      Cell& cell = cells[c];
      if (files[c]->Taken() == rows && files[c]->Next(&cell.line, plain_test, &cell.plain)) {
        ++lines;
      } else {
        cell = {std::string_view(), true};
      }
      bytes += cell.line.size();
      all_plain = all_plain && cell.plain;
    }
    if (all_plain) {
      char* at = out.Room(bytes + 3 * cells.size());
      for (size_t c = 0; c < cells.size(); ++c) at = put_plain(at, c == 0, cells[c].line);
      out.Took(at);
    } else {
      for (size_t c = 0; c < cells.size(); ++c) {
        const std::string_view line = cells[c].line;
        if (cells[c].plain) {
          out.Took(put_plain(out.Room(line.size() + 3), c == 0, line));
        } else {
          formatted.clear();
          if (c > 0) formatted.push_back(delimiter);
          table->AppendFormatted(&formatted, UnescapedView(line, settings.FormatEnter, true, &unescaped));
          out.Append(formatted);
        }
      }
    }
    // A row of one empty field is written as the placeholder where there is one.
    if (placeholder && out.RowIsEmpty()) out.Append(std::string(2, table->QuoteMark));
    out.EndRow();
    ++rows;
    progress.Advance(bytes + 2 * lines);
  }
  out.Finish();
  if (rest) rest->Wait();
  // The lines beyond the rows are read too, so that a file holding a NUL byte there is refused
  // before the table is replaced.
  std::vector<long long> used(files.size());
  for (size_t c = 0; c < files.size(); ++c) {
    used[c] = files[c]->Taken();
    files[c]->TakeRest();
  }
  for (size_t c = 1; c < files.size(); ++c) {
    if (used[c] < rows) {
      PrintLine("Warning count lines csv moree txt: csv=" + std::to_string(rows + header_rows) +
                " txt=" + std::to_string(used[c]));
    }
  }
  writer.Commit();
  // Lines beyond the rows are not packed; any text among them is worth a word.
  for (size_t c = 1; c < files.size(); ++c) files[c]->ReportUnusedLines(rows);
}

}  // namespace

void RunUnpack(const RunSettings& settings, TStringListCSVEX* table) {
  ProgressMeter progress("reading the table", 0);
  // A first quick pass settles the format, stopping as soon as it can; then the table streams
  // to the column files, never held whole, each record looked at for a NUL byte the first pass
  // did not reach (the column files replace the old ones only when all is read).
  const std::optional<std::string> found = FindEntryNoCase(settings.TablePath);
  const TableProbe probe = found ? ProbeTable(settings, *found, false) : TableProbe();
  const TableFormat format = FormatForFields(ChoiceOf(settings), probe);
  ApplyFormat(format, table);
  PrintLine("UNPACK: " + settings.TablePath);
  if (!probe.has_lines) return;
  {
    TableRecords records(*found, format);
    std::string_view record;
    records.Next(&record);
    RefuseNulByte(probe, *found, record);
    table->AddLine(record);  // row 0, where the column names come from
  }
  NewFolders folder(settings.Folder);
  std::vector<std::unique_ptr<platform::AtomicFileWriter>> writers;
  // Without "-c" the widest row decides, so no value of a longer row is ever dropped: the first
  // pass finds it, opening the files of the columns it brings as they appear.
  const bool grow = settings.ColumnCount <= 0;
  long long columns = grow ? 0 : settings.ColumnCount;
  long long widest = 0;
  UnreadableValues unreadable(
      settings.FormatEnter,
      format.escape_line_breaks ? std::string() : LineBreakToken(format.style, format.join_kind));
  UnpackState state{ColumnFileNamer(settings, *table), FolderIndex(), {}};
  for (long long first = 0; first == 0 || first < columns; first += kColumnsPerPass) {
    long long last = std::min(columns, first + kColumnsPerPass);
    progress.Count(first == 0 ? "unpack" : "unpack, columns from " + std::to_string(first), 0);
    const size_t before = writers.size();
    WriteColumnFiles(settings, *found, probe, format, first, &last, grow && first == 0, &widest, &state,
                     &unreadable, &progress, &writers);
    if (grow && first == 0) columns = widest;
    // Finished files let go of their descriptors, so a wide table never holds more than one
    // pass of files open.
    if (first + kColumnsPerPass < columns) {
      for (size_t i = before; i < writers.size(); ++i) writers[i]->Finish();
    }
  }
  std::vector<platform::AtomicFileWriter*> all;
  for (const auto& writer : writers) all.push_back(writer.get());
  platform::AtomicFileWriter::CommitAll(all);
  folder.Keep();
  unreadable.Report([&] { return JoinTokenStandsIn(*found, format); });
}

void RunPack(const RunSettings& settings, TStringListCSVEX* table) {
  // The old table hands its format down unless the command line names the delimiter; a first
  // pass over it finds what that takes. Its quote test looks for the double quote whatever
  // character the new table quotes with: it asks how the old file was written, and "-q" only
  // says how the new one is to be.
  const FormatChoice choice = ChoiceOf(settings);
  const std::optional<std::string> found = FindEntryNoCase(settings.TablePath);
  std::optional<TableProbe> probe;
  // The pass stops once the format is settled; the rest of the old table is read beside the
  // packing, only for a NUL byte, which still refuses it before it is replaced.
  std::optional<RestOfTableCheck> rest;
  if (found && settings.AutoDelimiter) {
    probe = ProbeTableFile(
        *found, '"',
        [&choice](std::string_view first_line) { return ChosenDelimiter(choice, first_line); },
        false);
    // Once read, its pages leave the system's cache, unless "-ncfl" reads its header next (it
    // lets them go itself).
    if (!probe->complete) rest.emplace(*found, !settings.NamesFromFirstLine);
  }
  try {
    PackRows(settings, choice, found, &probe, rest ? &*rest : nullptr, table);
  } catch (...) {
    // A NUL byte in the old table refuses the run whatever else went wrong, as when the whole
    // table was read first.
    if (rest) rest->Wait();
    throw;
  }
}
