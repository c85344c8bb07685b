#include "TableSetup.h"

#include <cstring>

#include "Error.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"

std::unique_ptr<TStringListCSVEX> CreateTableList(const RunSettings& settings) {
  auto table = std::make_unique<TStringListCSVEX>();
  // The two flags always travel together: "-qopt" turns both off.
  table->AlwaysQuote = !settings.QuoteOptimize;
  table->EscapeLineBreaks = !settings.QuoteOptimize;
  return table;
}

namespace {

// Loads the table (the table "-": standard input) into the list and finds in its lines what the
// first pass over a table file finds, so that the format is settled by the same rules.
TableProbe LoadAndProbe(const RunSettings& settings, TStringListCSVEX* table) {
  if (IsStandardStream(settings.TablePath)) {
    table->LoadFromBytesEX(platform::ReadStandardInput(), "-", 0);
  } else {
    table->LoadFromFileEX(settings.TablePath, 0);
  }
  TableProbe probe;
  probe.encoding = table->TextEncoding;
  probe.write_bom = table->WriteBom;
  probe.utf8_mark = table->KeepsUtf8Mark;
  probe.has_lines = table->LineCount() > 0;
  if (!probe.has_lines) return probe;
  probe.first_line = table->GetLine(0);
  const FormatChoice choice = ChoiceOf(settings);
  const char delimiter = ChosenDelimiter(choice, probe.first_line);
  for (long long r = 0; r < table->LineCount(); ++r) {
    const std::string_view line = table->LineView(r);
    probe.text_length += line.size() + 2;
    if (choice.quote == 0 || probe.quote_after_delimiter) continue;
    // A field quoted at the start of a line is a quoted field as much as one after a delimiter.
    probe.quote_after_delimiter = (!line.empty() && line[0] == choice.quote) ||
                                  FindPair(line, delimiter, choice.quote) != std::string_view::npos;
  }
  return probe;
}

}  // namespace

void LoadForRewrite(const RunSettings& settings, TStringListCSVEX* table) {
  ApplyFormat(FormatForRewrite(ChoiceOf(settings), LoadAndProbe(settings, table)), table);
}

bool PrepareTable(const RunSettings& settings, TStringListCSVEX* table) {
  ApplyFormat(FormatForFields(ChoiceOf(settings), LoadAndProbe(settings, table)), table);
  // Only values that keep tokens as text ("-qopt") can mistake one for a joined line break.
  bool join_token_in_text = false;
  const std::string token = LineBreakToken(table->LineBreakStyle, table->RecordJoinKind);
  if (!table->EscapeLineBreaks && !token.empty()) {
    for (long long r = 0; r < table->LineCount() && !join_token_in_text; ++r) {
      join_token_in_text = table->LineView(r).find(token) != std::string_view::npos;
    }
  }
  table->AssembleRecords();
  return join_token_in_text;
}

FormatChoice ChoiceOf(const RunSettings& settings) {
  FormatChoice choice;
  choice.delimiter = settings.DelimiterChar;
  choice.quote = settings.QuoteSymbol;
  choice.use_quotes = settings.UseQuotes;
  choice.auto_delimiter = settings.AutoDelimiter;
  choice.auto_quote = settings.AutoQuote;
  choice.quote_optimize = settings.QuoteOptimize;
  choice.style = settings.FormatEnter;
  return choice;
}

TableProbe ProbeTable(const RunSettings& settings, const std::string& path, bool whole) {
  const FormatChoice choice = ChoiceOf(settings);
  return ProbeTableFile(
      path, choice.quote,
      [&choice](std::string_view first_line) { return ChosenDelimiter(choice, first_line); },
      whole);
}

TableRecords::TableRecords(const std::string& path, const TableFormat& format, Joining joining)
    : TableRecords(path, format, LineBreakToken(format.style, format.join_kind), joining) {}

namespace {

// This many batches of records, each of the lines read in at once (a megabyte), at most wait
// to be taken.
constexpr size_t kBatchesAhead = 3;
// And hold this many bytes at most, unless one batch alone holds more (long records).
constexpr size_t kBytesAhead = size_t{4} << 20;
// Room that a batch done with keeps for its next use (its buffer, its joined records); more,
// grown for long records, is let go.
constexpr size_t kKeptRoom = size_t{2} << 20;

}  // namespace

TableRecords::TableRecords(const std::string& path, const TableFormat& format, std::string token,
                           Joining joining)
    : text_(path), lines_(&text_), records_(&bulk_lines_, format.delimiter, format.quote, token) {
  lines_.KeepLines(this);  // the records stay where they were read, not copied
  if (joining == Joining::kHere) {
    here_ = std::make_unique<BasicRecordAssembler<BatchLines>>(&batch_lines_, format.delimiter,
                                                                format.quote, std::move(token));
  }
}

TableRecords::~TableRecords() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  helper_.reset();  // waits for the helper to see it
}

LargeVector<char> TableRecords::Fresh(size_t size) {
  LargeVector<char> buffer;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!spare_buffers_.empty()) {
      buffer = std::move(spare_buffers_.back());
      spare_buffers_.pop_back();
    }
  }
  // Buffers grown for a long line are not kept (NextBatch()), so a spare one is never far
  // larger than asked.
  if (buffer.size() < size) buffer = LargeVector<char>(size);
  return buffer;
}

void TableRecords::Retire(LargeVector<char> buffer) {
  // No record stands in a buffer that held only lines joined into a longer record (copied) or
  // the start of a line longer than itself: it is read into again at once.
  if (filling_.records.empty()) {
    std::lock_guard<std::mutex> hold(mutex_);
    spare_buffers_.push_back(std::move(buffer));
    return;
  }
  filling_.buffer = std::move(buffer);
  Hand(&filling_, nullptr);
  std::unique_lock<std::mutex> hold(mutex_);
  changed_.wait(hold, [this] {
    return stopping_ || ready_.empty() ||
           (ready_.size() < kBatchesAhead && ready_bytes_ < kBytesAhead);
  });
  if (stopping_) throw Stopped();
  if (!spare_.empty()) {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
  }
}

void TableRecords::Hand(Batch* batch, std::exception_ptr failure) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    ready_bytes_ += batch->buffer.size() + batch->joined.size();
    ready_.push_back(std::move(*batch));
    if (failure) failure_ = failure;
  }
  changed_.notify_all();
  *batch = Batch();
}

void TableRecords::ReadAhead() {
  std::exception_ptr failure;
  try {
    if (here_) {
      // Lines only: `records_` just made the splitter watch for the quote mark. They come many
      // at a time, each call's from one buffer, which Retire() hands over once they are in.
      LineSplitter::LineView lines[256];
      while (const size_t got = lines_.NextLines(lines, std::size(lines))) {
        const size_t at = filling_.records.size();
        filling_.records.resize(at + got);
        filling_.starts.resize(at + got);
        filling_.line_marks.resize(at + got);
        for (size_t k = 0; k < got; ++k) {
          filling_.records[at + k] = std::string_view(lines[k].data, lines[k].size);
          filling_.starts[at + k] = lines[k].start;
          filling_.line_marks[at + k] = static_cast<uint8_t>(lines[k].mark | lines[k].nul << 1);
        }
      }
    } else {
      std::string_view record;
      while (records_.Next(&record)) {
        filling_.starts.push_back(records_.RecordStart());
        filling_.nul_free = filling_.nul_free && !records_.NulSeen();
        if (!lines_.InBuffer(record.data())) {  // joined: its bytes are the assembler's
          filling_.joined_at.emplace_back(filling_.records.size(), filling_.joined.size());
          filling_.joined.append(record);
        }
        // Built from its two halves: copying the view whole right after the assembler stored
        // them would make the processor wait for both stores to reach memory.
        filling_.records.emplace_back(record.data(), record.size());
      }
    }
    filling_.last = true;
    filling_.text_length = lines_.Offset();
    filling_.buffer = lines_.ReleaseBuffer();
  } catch (const Stopped&) {
    return;
  } catch (...) {
    failure = std::current_exception();
  }
  Hand(&filling_, failure);
}

bool TableRecords::NextBatch(std::string_view* entry) {
  while (taken_ == current_.records.size()) {
    if (ended_) return false;
    if (!helper_) helper_ = std::make_unique<platform::HelperThread>([this] { ReadAhead(); });
    std::unique_lock<std::mutex> hold(mutex_);
    if (current_.buffer.size() > 0 && current_.buffer.size() <= kKeptRoom) {
      spare_buffers_.push_back(std::move(current_.buffer));
    }
    current_.buffer = LargeVector<char>();  // one grown for a long line is let go
    current_.records.clear();
    current_.joined.clear();
    if (current_.joined.capacity() > kKeptRoom) std::string().swap(current_.joined);
    current_.joined_at.clear();
    current_.starts.clear();
    current_.line_marks.clear();
    current_.nul_free = true;
    spare_.push_back(std::move(current_));
    changed_.notify_all();
    changed_.wait(hold, [this] { return !ready_.empty() || failure_; });
    // The records read before a failure come first; then the failure.
    if (ready_.empty()) std::rethrow_exception(failure_);
    current_ = std::move(ready_.front());
    ready_.pop_front();
    ready_bytes_ -= current_.buffer.size() + current_.joined.size();
    taken_ = 0;
    // Joined records are found in `joined` where it stands now (a short one moves with it).
    for (const auto& [k, at] : current_.joined_at) {
      current_.records[k] = std::string_view(current_.joined.data() + at, current_.records[k].size());
    }
    if (current_.last) {
      ended_ = true;
      text_length_ = current_.text_length;
    }
  }
  *entry = current_.records[taken_];
  entry_start_ = current_.starts[taken_];
  ++taken_;
  return true;
}

bool JoinTokenStandsIn(const std::string& path, const TableFormat& format) {
  const std::string token = LineBreakToken(format.style, format.join_kind);
  if (token.empty()) return false;
  TableText text(path);
  LineSplitter lines(&text);
  std::string_view line;
  while (lines.Next(&line)) {
    if (line.find(token) != std::string_view::npos) return true;
  }
  return false;
}

FieldRecords::FieldRecords(const RunSettings& settings, TStringListCSVEX* table, bool drop_behind,
                           Joining joining)
    : table_(table) {
  if (IsStandardStream(settings.TablePath)) {
    join_token_in_text_ = PrepareTable(settings, table);
    format_ = FormatOf(*table);
    has_lines_ = table->LineCount() > 0;
    for (long long r = 0; r < table->LineCount(); ++r)
      text_length_ += table->LineView(r).size() + 2;
    loaded_ = true;
    return;
  }
  // A first quick pass settles the format, stopping as soon as it can; then the records
  // stream, each looked at for a NUL byte that the first pass did not reach.
  found_ = FindEntryNoCase(settings.TablePath);
  probe_ = found_ ? ProbeTable(settings, *found_, false) : TableProbe();
  format_ = FormatForFields(ChoiceOf(settings), probe_);
  ApplyFormat(format_, table);
  has_lines_ = probe_.has_lines;
  text_length_ = probe_.text_length;
  if (!has_lines_) return;
  stream_ = std::make_unique<TableRecords>(*found_, format_, joining);
  if (drop_behind) stream_->DropBehind();
  std::string_view first;
  if (stream_->Next(&first)) {
    if (!stream_->NulFree()) RefuseNulByte(probe_, *found_, first);
    table->AddLine(first);  // row 0, where column names come from
  }
}

void RefuseNulByte(const TableProbe& probe, const std::string& path, std::string_view record) {
  if (!probe.complete && !record.empty() && std::memchr(record.data(), 0, record.size())) {
    throw TessarinError("Cannot load file \"" + path +
                        "\". It holds a NUL byte: it is not a text table");
  }
}

RestOfTableCheck::RestOfTableCheck(std::string path, bool drop_after) : path_(std::move(path)) {
  helper_ = std::make_unique<platform::HelperThread>([this, drop_after] {
    try {
      // The quote test is off: only the NUL byte is asked for.
      ProbeTableFile(path_, 0, [](std::string_view) { return ','; });
    } catch (...) {
      failure_ = std::current_exception();
    }
    if (drop_after) platform::DropCachedFile(path_);
  });
}

RestOfTableCheck::~RestOfTableCheck() = default;

void RestOfTableCheck::Wait() {
  if (!done_) {
    helper_.reset();
    done_ = true;
  }
  if (failure_) std::rethrow_exception(failure_);
}

bool FieldRecords::JoinTokenInText() const {
  return found_ ? JoinTokenStandsIn(*found_, format_) : join_token_in_text_;
}

TableOutput::TableOutput(const TStringListEX& format, const std::string& path) {
  if (IsStandardStream(path)) {
    stream_ = std::make_unique<TableEncoder>(format, WriteData);
  } else {
    file_ = std::make_unique<TableFileWriter>(format, path);
  }
}

void TableOutput::WriteRow(std::string_view row) {
  if (file_) {
    file_->WriteRow(row);
  } else {
    stream_->WriteRow(row);
  }
}

void TableOutput::WriteRows(std::string_view rows) {
  if (file_) {
    file_->WriteRows(rows);
  } else {
    stream_->WriteRows(rows);
  }
}

void TableOutput::Commit() {
  if (file_) {
    file_->Commit();
  } else {
    stream_->Finish();
  }
}
