// Writing a table row by row in its file encoding, so that a table being built never has to be
// held whole: TableEncoder turns rows into bytes, TableFileWriter puts them in a file safely.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "MyLib.h"
#include "LargeVector.h"
#include "StringListEX.h"

namespace platform {
class AtomicFileWriter;
}

/// Turns rows, each followed by CR LF, into the bytes of a table file in the encoding that
/// `format` names (TextEncoding and WriteBom: UTF-16 with its byte-order mark, a UTF-8 mark when
/// the table was loaded with one or else when the whole text is UTF-8, or the bytes as they are)
/// and hands them to `sink` in large pieces.
/// Where the text would begin with bytes that a load takes for a byte-order mark the table is
/// not saved with (EF BB BF, FF FE, FE FF), the first field is enclosed in `format`'s quote
/// character, so the next load reads the row as it was.
class TableEncoder {
 public:
  TableEncoder(const TStringListEX& format, std::function<void(std::string_view)> sink);
  /// With `take`, full pieces are handed over whole: `take` takes the bytes of the string and
  /// leaves it empty, so they need not be copied.
  TableEncoder(const TStringListEX& format, std::function<void(std::string_view)> sink,
               std::function<void(LargeString*)> take);

  /// Throws TessarinError when a UTF-16 table's row is not UTF-8 (it cannot be converted), or
  /// when the first row begins like a byte-order mark and there is no quote character.
  void WriteRow(std::string_view row);
  /// Rows after the first, each followed by CR LF, as WriteRow() one by one would write them.
  void WriteRows(std::string_view rows);
  /// Hands over what is still buffered. Throws as WriteRow does.
  void Finish();

 private:
  void Flush();
  /// `text` and then `line_end` in the table's encoding, into the piece.
  void Encode(std::string_view text, std::string_view line_end);

  std::function<void(std::string_view)> sink_;
  std::function<void(LargeString*)> take_;
  bool utf16_;
  bool big_endian_;
  bool utf8_mark_;  // a UTF-8 mark when the whole text turns out to be UTF-8
  bool kept_mark_;  // the UTF-8 mark the table was loaded with, written whatever the text
  bool all_utf8_ = true;
  char delimiter_;
  char quote_;
  bool first_row_ = true;
  size_t first_row_end_ = 0;  // where the first row ends in `piece_` (a UTF-8 table with a mark)
  LargeString piece_;  // bytes not yet handed over; all of them for a UTF-8 table with a mark
  std::string scratch_;
};

/// Writes a table file through a TableEncoder. The file's folder is created first (and removed
/// again when the table is never committed), and the entry that exists ignoring A-Z case is the
/// one replaced. Nothing replaces the old file before Commit(); a writer destroyed without a
/// successful Commit() leaves it as it was.
class TableFileWriter {
 public:
  /// Throws "Cannot create folder "%s". %s" or "Cannot create file "%s". %s".
  TableFileWriter(const TStringListEX& format, const std::string& path);
  ~TableFileWriter();
  TableFileWriter(const TableFileWriter&) = delete;
  TableFileWriter& operator=(const TableFileWriter&) = delete;

  /// Throws "Cannot write file "%s". " with the reason (a write error, or text that the
  /// table's encoding cannot take).
  void WriteRow(std::string_view row);
  /// TableEncoder::WriteRows, with errors as WriteRow() gives them.
  void WriteRows(std::string_view rows);
  /// Throws as AtomicFileWriter::Commit() does.
  void Commit();

 private:
  /// Runs a step of the encoder; its failures name the file.
  template <typename Step>
  void NamingTheFile(const Step& step);

  NewFolders folder_;
  std::string path_;
  std::unique_ptr<platform::AtomicFileWriter> file_;
  TableEncoder encoder_;
};
