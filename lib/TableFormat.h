// One table format, settled once: everything that decides how a table is read and written,
// produced by pure functions from what the command line says and what the first pass over the
// table found, and applied to the table list in one place.
#pragma once

#include <cstdint>
#include <string_view>

#include "FieldScanner.h"
#include "TableReader.h"

class TStringListCSVEX;

/// What the command line says about the format.
struct FormatChoice {
  char delimiter = ',';
  char quote = '"';             ///< 0: no quote character
  bool use_quotes = true;       ///< quoted fields unless detection turns them off
  bool auto_delimiter = true;   ///< the delimiter is detected from the first line
  bool auto_quote = true;       ///< quoted fields are detected
  bool quote_optimize = false;  ///< "-qopt": neither always quote nor escape line breaks
  uint8_t style = 2;            ///< the line-break style of values and record joins
};

/// Everything that decides how a table is read and written.
struct TableFormat {
  char delimiter = ';';
  char quote = '"';
  bool quoted_fields = true;
  bool always_quote = true;
  bool escape_line_breaks = true;
  uint8_t style = 2;
  uint8_t join_kind = 0;
  uint32_t encoding = 0;
  bool write_bom = false;
  bool keeps_utf8_mark = false;  ///< the table came with a UTF-8 mark and is saved with it

  /// How rows of this format split into values.
  FieldDialect Dialect() const {
    return FieldDialect{delimiter, quote, quoted_fields, escape_line_breaks, style};
  }
};

/// The first delimiter candidate (TAB , ; |) of the first line, stepping over a quoted stretch
/// that starts at a double quote; `fallback` when there is none.
char DetectDelimiterIn(std::string_view first_line, char fallback);

/// The delimiter the choice settles on for a table whose first line is given.
char ChosenDelimiter(const FormatChoice& choice, std::string_view first_line);

/// The format of a table read for its fields (unpack, unpack column, pack column): the
/// command line's delimiter and quote, detection for what it leaves open, its style.
TableFormat FormatForFields(const FormatChoice& choice, const TableProbe& probe);

/// The format of a table rewritten row by row (sort, dedupe): as FormatForFields, but quoted
/// fields are always detected and values decode the default style.
TableFormat FormatForRewrite(const FormatChoice& choice, const TableProbe& probe);

/// The format of a table that pack builds from column files: the command line's, or, when it
/// names no delimiter and there is an old table (`old`: its first pass, whose quote test looked
/// for the double quote; none when it does not exist), the old table's encoding and byte-order
/// mark, its delimiter (the command line's when its first line shows none) and whether its
/// fields are quoted, so the new table keeps the format of the one it replaces. The quote
/// character stays the command line's.
TableFormat FormatForPack(const FormatChoice& choice, const TableProbe* old);

/// Sets the table list's format fields (Delimiter, QuoteMark, QuotedFields, AlwaysQuote,
/// EscapeLineBreaks, LineBreakStyle, RecordJoinKind, TextEncoding, WriteBom, KeepsUtf8Mark).
void ApplyFormat(const TableFormat& format, TStringListCSVEX* table);

/// The table list's format fields as a value.
TableFormat FormatOf(const TStringListCSVEX& table);
