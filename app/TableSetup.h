// Creation of the run's table list and the preparation of a loaded table for the modes that
// read fields from it.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "LargeVector.h"
#include "Platform.h"
#include "Settings.h"
#include "StringListEX.h"
#include "TableFileWriter.h"
#include "TableFormat.h"
#include "TableReader.h"

/// The table list of the run, with the "-qopt" setting applied.
std::unique_ptr<TStringListCSVEX> CreateTableList(const RunSettings& settings);

/// Loads the table (the table "-": standard input) one physical line per row, in the format
/// of a table rewritten row by row (FormatForRewrite).
void LoadForRewrite(const RunSettings& settings, TStringListCSVEX* table);

/// Loads the table (the table "-": standard input) in the format of a table read for its
/// fields (FormatForFields) and joins multi-line records.
/// Returns true when the table's own text holds the token that now stands where a record's
/// lines were joined (see JoinTokenStandsIn()).
bool PrepareTable(const RunSettings& settings, TStringListCSVEX* table);

/// What the command line says about the table's format.
FormatChoice ChoiceOf(const RunSettings& settings);

/// The first pass over the table file at `path` (the entry found): what detection needs, the
/// NUL check (not `whole`: see ProbeTableFile). Throws as ProbeTableFile does.
TableProbe ProbeTable(const RunSettings& settings, const std::string& path, bool whole = true);

/// Where the lines of a multi-line record are joined: on the helper thread, which then hands
/// over whole records (for a caller with much work on each record), or on the caller's thread
/// from the lines the helper hands over (for a caller with little, so that the helper, which
/// also reads the file, is not the one both wait for).
enum class Joining { kAhead, kHere };

/// The records of a table file, read as a stream in the given format (multi-line records
/// joined with the format's token), one at a time. A helper thread reads and splits the text
/// ahead, a batch at a time, while the caller works on the records before.
class TableRecords : private LineBuffers {
 public:
  /// `path`: the entry found. Throws "Cannot open file "%s". %s".
  TableRecords(const std::string& path, const TableFormat& format,
               Joining joining = Joining::kAhead);
  /// The records as the physical lines make them up, each record's lines joined with
  /// `token` (CR LF keeps a record as its lines stand).
  TableRecords(const std::string& path, const TableFormat& format, std::string token,
               Joining joining = Joining::kAhead);
  ~TableRecords() override;
  TableRecords(const TableRecords&) = delete;
  TableRecords& operator=(const TableRecords&) = delete;
  /// The next record, valid until the next call; false after the last one. Throws what reading
  /// the file throws, once the records read before the failure are taken.
  bool Next(std::string_view* record) { return here_ ? here_->Next(record) : NextEntry(record); }
  /// The table is about to be replaced by what this reading writes: its bytes leave the
  /// system's cache as they are read, so the new table's pages can reuse their memory. Call
  /// before the first Next().
  void DropBehind() { text_.DropBehind(); }
  /// Where the record Next() gave last starts in the decoded text.
  uint64_t RecordStart() const { return here_ ? here_->RecordStart() : entry_start_; }
  /// The length of the decoded text, once Next() has returned false.
  uint64_t TextLength() const { return text_length_; }
  /// True when the record Next() gave last holds no NUL byte: the reading found none in its
  /// whole batch (or in it, when joined here). False says nothing.
  bool NulFree() const { return here_ ? !here_->NulSeen() : current_.nul_free; }

 private:
  // Records (or lines, when joined here) read ahead: where each stands and where each started
  // in the text. A record on a line of its own stands where the line was read, in `buffer`;
  // one joined from several lines is copied to `joined`. The last batch also holds the text's
  // length.
  struct Batch {
    LargeVector<char> buffer;
    std::string joined;
    std::vector<std::string_view> records;
    std::vector<uint8_t> line_marks;  // lines only: 1 when it holds the quote mark, 2 a NUL
    std::vector<std::pair<size_t, size_t>> joined_at;  // record, and where in `joined`
    std::vector<uint64_t> starts;
    bool last = false;
    uint64_t text_length = 0;
    bool nul_free = true;  // no record in it holds a NUL byte
  };
  struct Stopped {};  // the reading is no longer wanted
  LargeVector<char> Fresh(size_t size) override;  // on the helper thread, for lines_
  void Retire(LargeVector<char> buffer) override;  // likewise: the batch filled goes out
  void Hand(Batch* batch, std::exception_ptr failure);  // to the caller's thread
  void ReadAhead();  // the helper thread's work
  // The next record or line of the batches.
  bool NextEntry(std::string_view* entry) {
    if (taken_ == current_.records.size()) return NextBatch(entry);
    *entry = current_.records[taken_];
    entry_start_ = current_.starts[taken_];
    ++taken_;
    return true;
  }
  bool NextBatch(std::string_view* entry);  // NextEntry() once the batch is used up
  // The lines of the batches, for records joined on the caller's thread.
  class BatchLines {
   public:
    explicit BatchLines(TableRecords* owner) : owner_(owner) {}
    bool Next(std::string_view* line) { return owner_->NextEntry(line); }
    bool MarkSeen() const { return (Marks() & 1) != 0; }
    bool NulSeen() const { return (Marks() & 2) != 0; }
    uint64_t LineStart() const { return owner_->entry_start_; }
    void WatchFor(char) {}  // the helper's splitter watches for the mark

   private:
    uint8_t Marks() const { return owner_->current_.line_marks[owner_->taken_ - 1]; }
    TableRecords* owner_;
  };

  TableText text_;
  LineSplitter lines_;
  BulkLines bulk_lines_{&lines_};
  BasicRecordAssembler<BulkLines> records_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;    // read, not yet taken
  size_t ready_bytes_ = 0;     // what they hold
  std::vector<Batch> spare_;   // taken and done with: filled again
  std::vector<LargeVector<char>> spare_buffers_;  // read into again
  std::exception_ptr failure_;  // what stopped the reading
  bool stopping_ = false;
  Batch filling_;  // the helper's batch
  Batch current_;  // the batch Next() gives records from
  size_t taken_ = 0;
  bool ended_ = false;
  uint64_t entry_start_ = 0;
  uint64_t text_length_ = 0;
  BatchLines batch_lines_{this};
  std::unique_ptr<BasicRecordAssembler<BatchLines>> here_;  // with Joining::kHere
  std::unique_ptr<platform::HelperThread> helper_;  // started by the first Next()
};

/// True when a physical line of the table file at `path` holds the text that joins the lines of
/// a record in `format` (so that text in a value does not tell a joined line break apart).
bool JoinTokenStandsIn(const std::string& path, const TableFormat& format);

/// Refuses a table whose first pass stopped early (`probe.complete` false) when the record
/// holds a NUL byte, with the message the first pass gives when it reads it all. Nothing is
/// replaced before a mode commits, so refusing late still leaves every file as it was.
void RefuseNulByte(const TableProbe& probe, const std::string& path, std::string_view record);

/// A table whose first pass stopped early, read again whole on a helper thread only to refuse
/// it for a NUL byte (as the first pass does when it reads it all) while the caller goes on;
/// then, when `drop_after`, its pages leave the system's cache (nothing reads it again).
class RestOfTableCheck {
 public:
  RestOfTableCheck(std::string path, bool drop_after);
  ~RestOfTableCheck();  // waits for the helper
  RestOfTableCheck(const RestOfTableCheck&) = delete;
  RestOfTableCheck& operator=(const RestOfTableCheck&) = delete;
  /// Waits for the pass; throws what refused the table, at every call.
  void Wait();

 private:
  std::string path_;
  std::exception_ptr failure_;
  std::unique_ptr<platform::HelperThread> helper_;
  bool done_ = false;
};

/// The records of a table read for its fields, one at a time, in the format the command line
/// and detection settle on (also applied to `table`): streamed from the table file, so that it
/// is never held whole, or for the table "-" (standard input, which can be read only once)
/// loaded whole into `table`.
class FieldRecords {
 public:
  /// Throws as ProbeTable and TableRecords do. `table` holds at least row 0 afterwards (for
  /// the column names), and the records still start with it.
  /// `drop_behind`: the table is about to be replaced, its file is read with
  /// TableRecords::DropBehind(). `joining`: as for TableRecords.
  FieldRecords(const RunSettings& settings, TStringListCSVEX* table, bool drop_behind = false,
               Joining joining = Joining::kAhead);
  const TableFormat& Format() const { return format_; }
  /// False for a table without lines.
  bool HasLines() const { return has_lines_; }
  /// The bytes of the table's text, for progress.
  uint64_t TextLength() const { return text_length_; }
  /// The next record, valid until the next call; false after the last one.
  bool Next(std::string_view* record) {
    if ((loaded_ || next_ == 0) && next_ < table_->LineCount()) {
      *record = table_->LineView(next_++);
      return true;
    }
    if (!stream_ || !stream_->Next(record)) return false;
    if (!stream_->NulFree()) RefuseNulByte(probe_, *found_, *record);
    return true;
  }
  /// JoinTokenStandsIn() for this table (the file is read once more for it).
  bool JoinTokenInText() const;

 private:
  TableFormat format_;
  bool has_lines_ = false;
  uint64_t text_length_ = 0;
  std::optional<std::string> found_;      // the table file; none for standard input
  TableProbe probe_;
  std::unique_ptr<TableRecords> stream_;  // the file's records
  const TStringListCSVEX* table_;
  bool loaded_ = false;              // standard input's records are the table's lines
  long long next_ = 0;               // the table's line Next() gives next, while it has one
  bool join_token_in_text_ = false;  // known at once for standard input
};

/// Where a rewritten table goes, row by row: its file (replaced only by Commit(), so a failed
/// run leaves it as it was) or, for the table "-", standard output. Encoded as `format` says.
class TableOutput {
 public:
  /// Throws as TableFileWriter does.
  TableOutput(const TStringListEX& format, const std::string& path);
  void WriteRow(std::string_view row);
  /// Rows after the first, each followed by CR LF (TableEncoder::WriteRows).
  void WriteRows(std::string_view rows);
  void Commit();

 private:
  std::unique_ptr<TableFileWriter> file_;
  std::unique_ptr<TableEncoder> stream_;
};
