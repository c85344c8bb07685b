// Joining the physical lines of multi-line quoted records into one row each.
#include "MyLib.h"
#include "StringListEX.h"
#include "TableReader.h"

namespace {

// Whether a record goes on past the end of a line: the same quote scan as a streamed table's
// records, so the list and the stream always group lines alike.
class RecordScanner {
 public:
  RecordScanner(char delimiter, char quote) : delimiter_(delimiter), quote_(quote) {}

  /// Scans one line; returns true when a quoted field is still open at its end.
  bool ScanLine(std::string_view line) {
    return RecordAssembler::ScanLine(line, delimiter_, quote_, &open_);
  }

 private:
  char delimiter_;
  char quote_;
  bool open_ = false;
};

}  // namespace

void TStringListCSVEX::AssembleRecords() {
  if (QuoteMark == 0) return;  // no quoted field can hold a line break
  const std::string token = LineBreakToken(LineBreakStyle, RecordJoinKind);
  RecordScanner scanner(Delimiter, QuoteMark);
  const size_t count = lines_.size();
  std::vector<size_t> kept;
  kept.reserve(count);
  std::string gathered;
  size_t first = 0;
  bool pending = false;
  bool changed = false;
  for (size_t i = 0; i < count; ++i) {
    const bool open = scanner.ScanLine(lines_[i]);
    if (!pending && !open) {  // a record on its own line stays as it is
      kept.push_back(i);
      continue;
    }
    if (pending) {
      gathered.append(token);
    } else {
      gathered.clear();
      first = i;
    }
    gathered.append(lines_[i]);
    pending = open;
    if (!open) {
      lines_.Set(first, gathered);
      kept.push_back(first);
      changed = true;
    }
  }
  if (pending) {  // a record still open after the last line keeps everything gathered
    lines_.Set(first, gathered);
    kept.push_back(first);
    changed = true;
  }
  if (!changed) return;
  if (AddAppends()) {
    lines_.Reorder(kept);
  } else {
    // A list that inserts in order takes the records through AddLine, as any new text.
    std::string text;
    for (size_t i : kept) {
      text.append(lines_[i]);
      text.append("\r\n");
    }
    SplitText(std::move(text));
  }
}

std::vector<size_t> TStringListCSVEX::RecordStarts() const {
  RecordScanner scanner(Delimiter, QuoteMark);
  std::vector<size_t> starts;
  bool pending = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (!pending) starts.push_back(i);
    pending = scanner.ScanLine(lines_[i]);
  }
  return starts;
}
