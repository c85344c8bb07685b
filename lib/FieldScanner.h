// The field layer: how a row's bytes split into fields and how a field's bytes become its
// value. Pure functions over byte ranges; every reader of fields (the table list, the key
// reader, the streaming modes) goes through them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ByteSearch.h"

/// What decides how a row reads: the delimiter, the quote mark (0: none), whether the split is
/// quote-aware, and whether values decode the escape tokens of a line-break style.
struct FieldDialect {
  char delimiter = ';';
  char quote = '"';
  bool quote_aware = true;
  bool unescape = true;
  uint8_t style = 2;
  /// The rows are known to hold no NUL byte (they were looked at already), so the quote-aware
  /// split need not look for one.
  bool nul_free = false;
};

/// One field as it stands in the row. `exact`: `bytes` is the value (before unescaping).
/// Otherwise `bytes` is a quoted token from after its opening mark up to and including its
/// closing mark (or the row's end), whose doubled marks are still to be undone.
struct RawField {
  std::string_view bytes;
  bool exact = true;
};

/// A set of byte values, looked up by a byte.
struct ByteSet {
  bool has[256] = {};
  bool Has(char c) const { return has[static_cast<unsigned char>(c)]; }
};

/// The bytes after which a field's bytes may not be its value as they stand, nor its escaped
/// form for a text file: every byte below 32 and the first bytes of escape tokens ("\", "<").
/// A field without any of them reads and escapes as itself (but for a space at either end).
const ByteSet& TokenOrControlBytes();

/// The bytes that stop the scan of a bare field: the delimiter, and those that keep the field
/// from being its own value and its own escaped form (TokenOrControlBytes, and `extra`, such
/// as the quote mark, when given).
byte_search::StopBytes BareFieldStops(char delimiter, char extra = '\\');

/// Walks the fields of one row, left to right. The quote-aware split: a field that begins with
/// the quote mark runs to its closing mark (two marks inside stand for one), bytes after the
/// closing mark start a further field, an unterminated token runs to the row's end, and the row
/// ends at its first NUL byte. The plain split looks for the delimiter only and keeps NUL
/// bytes. A trailing delimiter adds an empty last field; the empty row has no field.
class FieldScanner {
 public:
  FieldScanner(std::string_view row, char delimiter, char quote, bool quote_aware,
               bool nul_free = false);
  FieldScanner(std::string_view row, const FieldDialect& dialect)
      : FieldScanner(row, dialect.delimiter, dialect.quote, dialect.quote_aware,
                     dialect.nul_free) {}

  /// Where a scanner stands in its row.
  struct Position {
    size_t offset = 0;            ///< byte of the row where the next field begins
    bool trailing_empty = false;  ///< the row ended in a delimiter: one empty field is left
  };
  /// Goes on where a scanner of the same row with the same dialect stopped.
  FieldScanner(std::string_view row, const FieldDialect& dialect, Position from)
      : FieldScanner(row, dialect) {
    cursor_ = from.offset;
    trailing_empty_ = from.trailing_empty;
  }
  Position Where() const { return {cursor_, trailing_empty_}; }

  /// True when the row has no more fields.
  bool Done() const { return !trailing_empty_ && cursor_ >= row_.size(); }
  /// Steps over the next field. Call only when !Done().
  RawField Next();
  /// Next(), also telling whether the field is a bare run of bytes (not a quoted token) that
  /// holds none of the bytes `stops` stops at besides the delimiter; *bare is false whenever
  /// that is not known cheaply. One search over the field's bytes does both. `stops`: from
  /// BareFieldStops with this scanner's delimiter.
  RawField NextBare(const byte_search::StopBytes& stops, bool* bare) {
    // Most fields are short, bare and end at a delimiter within the next block of bytes: those
    // are found here, without a call.
    if (!trailing_empty_ && !double_byte_ && cursor_ + byte_search::StopBytes::kWidth <= row_.size() &&
        (quote_ == 0 || row_[cursor_] != quote_)) {
      const unsigned mask = stops.Mask(row_.data() + cursor_);
      if (mask != 0) {
        const size_t end = cursor_ + byte_search::StopBytes::LowestBit(mask);
        if (row_[end] == delimiter_) {
          const size_t start = cursor_;
          *bare = true;
          cursor_ = end + 1;
          trailing_empty_ = cursor_ == row_.size();
          return RawField{std::string_view(row_.data() + start, end - start), true};
        }
      }
    }
    return NextBareAtLength(stops, bare);
  }

 private:
  RawField QuotedToken();
  /// NextBare() for the fields it does not find at once.
  RawField NextBareAtLength(const byte_search::StopBytes& stops, bool* bare);
  /// The next `mark` (the delimiter or the quote mark) at `pos` or later, or the row's end.
  size_t Find(char mark, size_t pos) const;

  std::string_view row_;
  bool double_byte_;  // the code page has lead bytes: marks are searched character-wise
  char delimiter_;
  char quote_;
  size_t cursor_ = 0;
  bool trailing_empty_ = false;
};

/// The field's value before unescaping: its bytes, or the token with its doubled marks undone
/// and its last byte dropped. Views `raw.bytes` when they are the value, else `*scratch`.
std::string_view TokenValue(RawField raw, char quote, std::string* scratch);

/// The field's value as the dialect reads it: TokenValue, then the style's tokens decoded when
/// `unescape` is on. Views `raw.bytes` when nothing changes (no copy), else `*scratch`.
std::string_view FieldValue(RawField raw, const FieldDialect& dialect, std::string* scratch);

/// Field n of the row as FieldValue gives it; the empty value for a missing field. n >= 0.
std::string_view FieldAt(std::string_view row, long long n, const FieldDialect& dialect,
                         std::string* scratch);

/// The number of fields of the row by the dialect's split (0 for the empty row).
long long CountRowFields(std::string_view row, const FieldDialect& dialect);
