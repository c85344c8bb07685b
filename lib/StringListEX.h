// The list classes: TStringList (plain lines, the column text files), TStringListEX (adds the
// encoding of a loaded file) and TStringListCSVEX (the table: rows of delimited fields).
// Lines, rows and fields count from 0. Index errors throw "List index out of bounds (%d)".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FieldScanner.h"
#include "LineStore.h"

enum TDuplicates { DuplicatesIgnore, DuplicatesAccept, DuplicatesReject };

/// An ordered list of byte-string lines. Text splits at CR, LF or CR LF and joins with CR LF
/// after every line.
class TStringList {
 public:
  TStringList() = default;
  virtual ~TStringList() = default;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  TDuplicates DuplicateRule = DuplicatesIgnore;
  bool MatchCase = false;
  char Delimiter = ',';
  char QuoteMark = '"';  ///< 0: no quote character

  /// Sorted lists insert at the search position; turning it on sorts the lines first.
  bool KeepSorted() const { return keep_sorted_; }
  void SetKeepSorted(bool on);

  virtual long long LineCount() const { return static_cast<long long>(lines_.size()); }
  /// A copy of the line; throws the index error outside 0..LineCount()-1.
  virtual std::string GetLine(long long index) const;
  /// The line's bytes without a copy, valid until the list changes. Index checked.
  std::string_view LineView(long long index) const;
  void SetLine(long long index, std::string_view text);
  /// Adds a line; returns its index, or -1 when a sorted list refuses a duplicate.
  virtual long long AddLine(std::string_view text);
  void ClearLines() {
    lines_.Clear();
    LinesReplaced();
  }
  void ExchangeLines(long long a, long long b);
  /// Sorted list: LocateLine's index when found, else -1. Otherwise the first equal line or -1.
  long long IndexOfLine(std::string_view text) const;
  /// Binary search: whether an equal line exists, and the index of it or of the insertion point
  /// (the first equal line under DuplicatesAccept).
  virtual bool LocateLine(std::string_view text, long long* index) const;
  /// Byte order (A-Z folded unless MatchCase): negative, 0 or positive.
  virtual int CompareLines(std::string_view a, std::string_view b) const;

  /// Every line followed by CR LF.
  std::string JoinLines() const;
  /// Passes the joined text to `sink` in pieces, without building it whole.
  void WriteJoined(const std::function<void(std::string_view)>& sink) const;
  /// Replaces the lines by those of the text (CR, LF, CR LF end a line; a NUL ends the text).
  void SplitText(std::string text);
  /// Reads a whole file and splits it. Throws "Cannot open file "%s". %s".
  void LoadLines(const std::string& path);
  /// Writes the joined lines to the file (atomically). Throws "Cannot create file "%s". %s" or
  /// "Stream write error"; the old file then stays as it was.
  void SaveLines(const std::string& path) const;

 protected:
  /// Called whenever all lines are removed, so derived lists can drop what they know of them.
  virtual void LinesReplaced() {}
  /// True when AddLine() would just append (lets SplitText skip the per-line dispatch).
  virtual bool AddAppends() const { return !keep_sorted_; }
  void CheckIndex(long long index) const;
  /// The binary search of sorted lists: `compare_at(i)` orders line i against what is sought.
  /// Under DuplicatesAccept the index is the first line not less than it; under the other
  /// rules, the equal line the search met.
  template <typename CompareAt>
  bool SearchSorted(const CompareAt& compare_at, long long* index) const {
    long long low = 0;
    long long high = LineCount() - 1;
    bool found = false;
    while (low <= high) {
      const long long middle = low + (high - low) / 2;
      const int c = compare_at(middle);
      if (c < 0) {
        low = middle + 1;
      } else {
        high = middle - 1;
        if (c == 0) {
          found = true;
          if (DuplicateRule != DuplicatesAccept) low = middle;
        }
      }
    }
    *index = low;
    return found;
  }
  LineStore lines_;

 private:
  bool keep_sorted_ = false;
};

/// A line list that remembers the encoding of the file it was loaded from.
class TStringListEX : public TStringList {
 public:
  TStringListEX();
  static constexpr uint32_t kEncodingNone = 0;
  static constexpr uint32_t kEncodingUtf8 = 0xEFBBBF;
  static constexpr uint32_t kEncodingUtf16Le = 0xFEFF;
  static constexpr uint32_t kEncodingUtf16Be = 0xFFFE;
  uint32_t TextEncoding = kEncodingNone;
  bool WriteBom = false;
  /// Loaded with a UTF-8 byte-order mark: saving writes the mark back before whatever text the
  /// list then holds (a spreadsheet reads the file as UTF-8 only when the mark is there).
  bool KeepsUtf8Mark = false;
};

/// The table: each line is a row of fields separated by Delimiter and optionally enclosed in
/// QuoteMark. Knows how to read and write fields, join multi-line records, sort and
/// de-duplicate by a column, detect its format and load and save itself with its encoding.
class TStringListCSVEX : public TStringListEX {
 public:
  TStringListCSVEX();

  bool SortedByColumn = false;
  bool QuotedFields = true;      ///< fields may be enclosed in QuoteMark
  bool AlwaysQuote = true;       ///< writing encloses every field
  bool EscapeLineBreaks = true;  ///< values are unescaped on reading, escaped on writing
  uint8_t LineBreakStyle = 2;
  uint8_t RecordJoinKind = 0;  ///< 0 CR LF, 1 LF, 2 CR

  // ---- Reading fields (StringListCSV_fields.cpp) ----
  /// How this list's rows read as it stands: Delimiter, QuoteMark, QuotedFields,
  /// EscapeLineBreaks and LineBreakStyle.
  FieldDialect Dialect() const;
  /// Field n by the plain split (delimiter only). Negative n throws the index error.
  std::string GetFieldPlain(std::string_view row, long long n) const;
  /// Replaces this list's lines by the row's fields (quote-aware split).
  void SplitRow(std::string_view row);
  /// Field n by the quote-aware split; missing fields read empty; negative n throws.
  std::string GetFieldQuoted(std::string_view row, long long n) const;
  /// Field n by the list's settings (quote-aware or plain; unescaped when EscapeLineBreaks).
  std::string GetField(std::string_view row, long long n) const;
  /// GetField without a copy where the value is a stretch of the row's bytes (no doubled quote
  /// marks to undo, no escape token to decode): true, and `field` views it. False otherwise.
  bool FieldView(std::string_view row, long long n, std::string_view* field) const;
  /// GetField of line r.
  std::string GetCell(long long r, long long n) const;
  /// Every field of the row as GetField reads them, splitting the row once and copying only
  /// the values that differ from their bytes in the row.
  struct FieldBuffer {
    std::vector<std::string_view> values;  ///< view the row or `owned`; valid until the next use
    std::vector<std::string> owned;
    std::vector<bool> exact;
  };
  void ReadFields(std::string_view row, FieldBuffer* buffer) const;
  /// Where reading a row's fields goes on.
  using FieldCursor = FieldScanner::Position;
  /// ReadFields of at most `count` fields (all when negative) from the cursor on, moving the
  /// cursor past them, so a wide row read a piece at a time is still split only once. Start
  /// each row with a fresh cursor.
  void ReadSomeFields(std::string_view row, long long count, FieldCursor* cursor,
                      FieldBuffer* buffer) const;
  /// Number of fields the row has, split the way fields are read; 0 for the empty row.
  long long CountFields(std::string_view row) const;
  /// The row's fields by the quote-aware split as they stand (quote marks undone, nothing
  /// unescaped), whatever QuotedFields says. `fields` is reused.
  void SplitRowFields(std::string_view row, std::vector<std::string>* fields) const;

  // ---- Writing fields (StringListCSV_quoting.cpp) ----
  /// Appends the value as the row's next field (escaped and quoted as the settings say).
  void AppendField(std::string* row, std::string_view value) const;
  /// AppendField on line r. Keeps an empty first field even where the row text cannot show
  /// it (plain rows, no quote character), so later values never shift left.
  void AppendCell(long long r, std::string_view value);
  /// Replaces field n of the row, writing the whole row anew. The empty row stays empty unless
  /// `pad`. n outside the row's fields throws the index error, unless `pad`: then a non-empty
  /// value is placed after empty fields that pad the row, and an empty one changes nothing.
  void ReplaceField(std::string* row, std::string_view value, long long n, bool pad = false) const;
  /// ReplaceField on a copy of `row` appended to `out` (what it holds stays in front). The row
  /// must not lie in `out`. `plain`: the caller knows that the value holds no byte below 32, no
  /// quote mark and no delimiter, so that where fields are always quoted it is written without
  /// a look at its bytes.
  void AppendReplaced(std::string_view row, std::string_view value, long long n, bool pad,
                      std::string* out, bool plain = false) const;
  /// ReplaceField on line r.
  void SetCell(long long r, std::string_view value, long long n, bool pad = false);
  /// The row made of these values, as appending them one by one to the empty row gives it,
  /// except that no value is ever lost: a leading empty field always keeps its place.
  std::string JoinFields(const std::vector<std::string>& values) const;
  /// JoinFields into `row` (its bytes replaced), reusing its storage.
  void JoinFieldsTo(std::string* row, const std::vector<std::string>& values) const;
  void JoinFieldsTo(std::string* row, const std::vector<std::string_view>& values) const;
  /// Appends one value in its written form (escaped, quoted) to `out`, without delimiter.
  void AppendFormatted(std::string* out, std::string_view value) const;
  /// AppendFormatted for a value known to hold no byte below 32, no quote mark and no
  /// delimiter: it needs no escaping and no doubling, only the enclosing of AlwaysQuote.
  void AppendPlain(std::string* out, std::string_view value) const {
    const bool enclose = QuotedFields && AlwaysQuote && QuoteMark != 0;
    if (enclose) out->push_back(QuoteMark);
    out->append(value);
    if (enclose) out->push_back(QuoteMark);
  }

  // ---- Records (StringListCSV_assembly.cpp) ----
  /// Joins the physical lines of multi-line quoted records into one line each, with the line
  /// break token of LineBreakStyle/RecordJoinKind where the breaks were. A record still open
  /// after the last line is kept as the final line.
  void AssembleRecords();
  /// Groups lines into records by the same quote scan: result[i] is the first line of record
  /// i; records end where the next begins (the last at LineCount()).
  std::vector<size_t> RecordStarts() const;

  // ---- Sort and de-duplication (StringListCSV_sort.cpp, StringListCSV_dedupe.cpp) ----
  int CompareValues(std::string_view a, std::string_view b) const;
  bool FindInColumn(std::string_view value, long long column, long long* index) const;
  long long ScanColumn(std::string_view value, long long column, long long first) const;
  long long IndexOfValue(std::string_view value, long long column) const;
  long long AddLine(std::string_view text) override;
  /// Sorts the rows by the column (natural order, the partition order for equal keys) once;
  /// multi-line quoted records move as one unit. With `keep_header` the first record stays
  /// first and only the records after it are sorted.
  void SortByColumn(long long column, bool keep_header = false);
  void QuickSortRows(long long left, long long right, long long column);
  /// Keeps the first row of each key (or puts the last one's content in its place). With
  /// `keep_header` the first record always stays as it is and its key counts for nothing.
  void RemoveDuplicates(long long column, bool keep_last, bool keep_header = false);

  // ---- Detection (StringListCSV_detection.cpp) ----
  long long CountColumns() const;
  void DetectDelimiter();
  void DetectQuotedFields();
  void DetectFormat();
  void CopyFormatFromFile(const std::string& path);

  // ---- Loading and saving (StringListCSV_loading.cpp) ----
  /// Loads the file if it exists (the entry found ignoring A-Z case), then detects the format.
  /// Throws "Cannot open file "%s". %s"; refuses a text holding a NUL byte.
  void LoadFromFileEX(const std::string& path, uint32_t expected_encoding = 0);
  /// Takes the bytes of a file: handles the byte-order mark and UTF-16, splits into lines.
  void LoadFromStreamEX(std::string bytes, uint32_t expected_encoding = 0);
  /// Loads a table that comes as bytes rather than a file (standard input) exactly as
  /// LoadFromFileEX loads a file, detection included; `name` stands for it in messages.
  void LoadFromBytesEX(std::string bytes, const std::string& name, uint32_t expected_encoding = 0);
  /// Writes the joined lines with the mark and encoding of TextEncoding/WriteBom to `sink`.
  /// Throws when a UTF-16 table's text does not decode as UTF-8.
  void SaveToStreamEX(const std::function<void(std::string_view)>& sink, bool force_bom = false);
  /// Saves atomically to the file (its folder created first); the old file survives failures.
  void SaveToFileEX(const std::string& path, bool force_bom = false);

 protected:
  bool AddAppends() const override { return !SortedByColumn && !KeepSorted(); }
  void LinesReplaced() override { empty_first_field_rows_.clear(); }

 private:
  /// Whether writing the value of the quoted token `raw` anew (unescaped unless always quoted) gives the
  /// bytes it stands in `row` as: its opening mark and `raw.bytes`.
  bool WrittenAsItStands(RawField raw, std::string_view row) const;
  /// Rearranges the rows (new row i is old row order[i]; rows not named are dropped).
  void ApplyRowOrder(const std::vector<size_t>& order);
  std::vector<size_t> empty_first_field_rows_;  // rows holding only an unwritten empty field
};
