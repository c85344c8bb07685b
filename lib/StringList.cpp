// TStringList and TStringListEX: the line list beneath every table and text file.
#include <algorithm>
#include <cstring>

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"
#include "StringListEX.h"

void TStringList::CheckIndex(long long index) const {
  if (index < 0 || index >= LineCount()) throw IndexError(index);
}

std::string TStringList::GetLine(long long index) const { return std::string(LineView(index)); }

std::string_view TStringList::LineView(long long index) const {
  CheckIndex(index);
  return lines_[static_cast<size_t>(index)];
}

void TStringList::SetLine(long long index, std::string_view text) {
  CheckIndex(index);
  lines_.Set(static_cast<size_t>(index), text);
}

long long TStringList::AddLine(std::string_view text) {
  if (!keep_sorted_) {
    lines_.Append(text);
    return LineCount() - 1;
  }
  long long index = 0;
  if (LocateLine(text, &index) && DuplicateRule != DuplicatesAccept) return -1;
  lines_.Insert(static_cast<size_t>(index), text);
  return index;
}

void TStringList::SetKeepSorted(bool on) {
  if (on && !keep_sorted_) {
    std::vector<size_t> order(lines_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [this](size_t a, size_t b) { return CompareLines(lines_[a], lines_[b]) < 0; });
    lines_.Reorder(order);
  }
  keep_sorted_ = on;
}

void TStringList::ExchangeLines(long long a, long long b) {
  CheckIndex(a);
  CheckIndex(b);
  lines_.Swap(static_cast<size_t>(a), static_cast<size_t>(b));
}

long long TStringList::IndexOfLine(std::string_view text) const {
  if (keep_sorted_) {
    long long index = 0;
    return LocateLine(text, &index) ? index : -1;
  }
  for (long long i = 0, n = LineCount(); i < n; ++i) {
    if (CompareLines(lines_[static_cast<size_t>(i)], text) == 0) return i;
  }
  return -1;
}

bool TStringList::LocateLine(std::string_view text, long long* index) const {
  return SearchSorted([&](long long i) { return CompareLines(GetLine(i), text); }, index);
}

int TStringList::CompareLines(std::string_view a, std::string_view b) const {
  return platform::CompareLocale(a, b, !MatchCase);
}

std::string TStringList::JoinLines() const {
  std::string text;
  text.reserve(lines_.ByteCount() + 2 * lines_.size());
  for (size_t i = 0; i < lines_.size(); ++i) {
    text.append(lines_[i]);
    text.append("\r\n", 2);
  }
  return text;
}

void TStringList::WriteJoined(const std::function<void(std::string_view)>& sink) const {
  constexpr size_t kPiece = size_t{1} << 20;
  std::string piece;
  piece.reserve(kPiece + 2);
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    if (line.size() >= kPiece) {
      if (!piece.empty()) sink(piece);
      piece.clear();
      sink(line);
    } else {
      piece.append(line);
    }
    piece.append("\r\n", 2);
    if (piece.size() >= kPiece) {
      sink(piece);
      piece.clear();
    }
  }
  if (!piece.empty()) sink(piece);
}

void TStringList::SplitText(std::string text) {
  ClearLines();
  if (text.empty()) return;
  // A NUL ends the text: nothing after it becomes a line.
  const void* nul = std::memchr(text.data(), 0, text.size());
  if (nul != nullptr) text.resize(static_cast<const char*>(nul) - text.data());
  const bool append = AddAppends();
  std::string_view all = append ? lines_.Adopt(std::move(text)) : std::string_view(text);
  size_t pos = 0;
  const size_t n = all.size();
  while (pos < n) {
    const size_t end = FindLineEnd(all, pos);
    std::string_view line = all.substr(pos, end - pos);
    if (append) {
      lines_.AppendView(line);
    } else {
      AddLine(line);
    }
    pos = end;
    if (pos < n && all[pos] == '\r') ++pos;
    if (pos < n && all[pos] == '\n') ++pos;
  }
}

void TStringList::LoadLines(const std::string& path) { SplitText(platform::ReadWholeFile(path)); }

void TStringList::SaveLines(const std::string& path) const {
  platform::AtomicFileWriter writer(path);
  WriteJoined([&writer](std::string_view bytes) { writer.Write(bytes); });
  writer.Commit();
}

TStringListEX::TStringListEX() {
  DuplicateRule = DuplicatesAccept;
  MatchCase = true;
}
