// Joining the physical lines of multi-line quoted records into one row each.
#include "MyLib.h"
#include "Platform.h"
#include "StringListEX.h"

namespace {

// The quote scan that decides whether a record goes on past the end of a line. A line is
// scanned while a quoted field is open, or when it begins with the quote mark or holds the
// delimiter followed by the quote mark; scanning starts after that opening mark, and from
// then on every mark counts (two marks in a row neither open nor close). The second byte of a
// double-byte character is never a mark.
class RecordScanner {
 public:
  RecordScanner(char delimiter, char quote) : delimiter_(delimiter), quote_(quote) {}

  /// Scans one line; returns true when a quoted field is still open at its end.
  bool ScanLine(std::string_view line) {
    size_t p;
    if (open_) {
      p = 0;
    } else {
      if (quote_ == 0 || line.empty()) return false;
      if (line[0] == quote_) {
        p = 1;
      } else {
        const size_t at = FindPair(line, delimiter_, quote_);
        if (at == std::string_view::npos) return false;
        p = at + 2;
      }
      open_ = true;
    }
    const size_t n = line.size();
    for (; p < n; ++p) {
      if (line[p] != quote_) {
        if (lead_.IsLead(line[p])) ++p;
        continue;
      }
      if (!open_) {
        open_ = true;
      } else if (p + 1 < n && line[p + 1] == quote_) {
        ++p;
      } else {
        open_ = false;
      }
    }
    return open_;
  }

 private:
  char delimiter_;
  char quote_;
  bool open_ = false;
  const platform::LeadBytes& lead_ = platform::SystemLeadBytes();
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
