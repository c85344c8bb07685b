// Writing a table file row by row, so that a table being built never has to be held whole.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "StringListEX.h"

namespace platform {
class AtomicFileWriter;
}

/// Writes rows, each followed by CR LF, to a table file in the encoding that `format` names
/// (TextEncoding and WriteBom: UTF-16 with its byte-order mark, or the bytes as they are). The
/// file's folder is created first, and the entry that exists ignoring A-Z case is the one
/// replaced. Nothing replaces the old file before Commit(); a writer destroyed without a
/// successful Commit() leaves it as it was.
class TableFileWriter {
 public:
  /// Throws "Cannot create file "%s". %s".
  TableFileWriter(const TStringListEX& format, const std::string& path);
  ~TableFileWriter();
  TableFileWriter(const TableFileWriter&) = delete;
  TableFileWriter& operator=(const TableFileWriter&) = delete;

  /// Throws "Stream write error", or, for a UTF-16 table, an error when the row is not UTF-8.
  void WriteRow(std::string_view row);
  /// Throws as AtomicFileWriter::Commit() does.
  void Commit();

 private:
  void Fail(const std::string& reason) const;

  std::string path_;
  uint32_t encoding_;
  bool utf16_;
  bool utf8_mark_;
  bool all_utf8_ = true;
  std::string pending_;  // the rows of a UTF-8 table whose mark depends on all of them
  std::string units_;
  std::unique_ptr<platform::AtomicFileWriter> file_;
};
