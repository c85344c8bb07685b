// The text files of the modes: their names, and reading them back.
#pragma once

#include <string>
#include <vector>

#include "Settings.h"
#include "StringListEX.h"

/// Folder + NameFiles + "_" + column + ".txt".
std::string NumberedFileName(const RunSettings& settings, long long column);

/// The file of each of `columns` columns. Numbered names, or with NamesFromFirstLine the
/// column's value in row 0 (escaped as its lines are) + ".txt" inside Folder. A name that is
/// empty, "." or "..", holds a byte that no file name may hold, repeats an earlier column's name
/// or looks like a numbered name falls back to the numbered name, so no two columns share a
/// file and nothing is written outside Folder.
std::vector<std::string> ColumnFileNames(const RunSettings& settings, const TStringListCSVEX& table,
                                         long long columns);

/// The lines of a text file, read one after the other without an index of them (a column file
/// of a large table costs no more than its bytes). Lines end at CR, LF or CR LF; a UTF-8
/// byte-order mark at the start is dropped, and a file holding a NUL byte is refused.
class TextFileLines {
 public:
  explicit TextFileLines(const std::string& path);
  /// The next line, valid while this object lives; false after the last one.
  bool Next(std::string_view* line);
  /// True when Next() has no line left to give.
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  /// How many lines Next() has given so far.
  long long Taken() const { return taken_; }

 private:
  std::string bytes_;
  size_t pos_ = 0;
  long long taken_ = 0;
};

/// The widest row of the table: the largest field count of any row.
long long WidestRow(const TStringListCSVEX& table);

/// Looks the column name up in row 0 (exact bytes). Throws "Not find colom: " + name (on
/// standard output, exit code 1) when no field matches.
int32_t FindColumnByName(const TStringListCSVEX& table, const std::string& name);
