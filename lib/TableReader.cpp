#include "TableReader.h"

#include <algorithm>
#include <cstring>

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"

namespace {

// Large reads keep the system calls few; the buffer is reused for the whole file. Reads start
// small and double, so a small table does not clear a whole large piece on every read.
constexpr size_t kFirstPieceSize = size_t{1} << 14;
constexpr size_t kPieceSize = size_t{1} << 20;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The number of bits `n` takes (its highest set bit, plus one).
int BitWidth(size_t n) {
  int bits = 0;
  for (; n != 0; n >>= 1) ++bits;
  return bits;
}

}  // namespace

TableText::TableText(const std::string& path)
    : file_(std::make_unique<platform::FileReader>(path)), piece_(kFirstPieceSize) {
  // The mark needs the first bytes together, however the system hands them over.
  while (raw_.size() < 3 && Fill() > 0) {
  }
  if (StartsWith(raw_, kMarkUtf16Le) || StartsWith(raw_, kMarkUtf16Be)) {
    big_endian_ = StartsWith(raw_, kMarkUtf16Be);
    encoding_ = big_endian_ ? 0xFFFE : 0xFEFF;
    raw_.erase(0, 2);
  }
}

TableText::~TableText() = default;

uint64_t TableText::FileSize() const { return file_->Size(); }

void TableText::DropBehind() { file_->DropBehind(); }

size_t TableText::ReadPiece() {
  if (ended_) return 0;
  // One buffer for the reads, grown (and cleared) only as the pieces grow, not once per piece.
  if (buffer_.size() < piece_) buffer_.resize(piece_);
  const size_t got = file_->Read(buffer_.data(), piece_);
  piece_ = std::min(kPieceSize, 2 * piece_);
  if (got == 0) ended_ = true;
  return got;
}

size_t TableText::Fill() {
  const size_t got = ReadPiece();
  raw_.append(buffer_.data(), got);
  return got;
}

void TableText::Seek(uint64_t offset) {
  if (offset == 0) return;
  if (encoding_ == 0) {
    // The text is the file's bytes after a UTF-8 mark, which the text never shows.
    const bool marked = StartsWith(raw_, kMarkUtf8);
    file_->Seek(offset + (marked ? kMarkUtf8.size() : 0));
    raw_.clear();
    ended_ = false;
    at_start_ = false;
    return;
  }
  std::string piece;
  uint64_t at = 0;
  while (piece.clear(), Next(&piece)) {
    if (at + piece.size() > offset) {
      carry_.assign(piece, static_cast<size_t>(offset - at), std::string::npos);
      return;
    }
    at += piece.size();
  }
}

bool TableText::Next(std::string* out) {
  if (!carry_.empty()) {
    out->append(carry_);
    carry_.clear();
    return true;
  }
  if (encoding_ == 0 && !at_start_ && raw_.empty()) {  // the bytes go straight to the text
    const size_t got = ReadPiece();
    out->append(buffer_.data(), got);
    return got > 0;
  }
  Fill();
  const size_t before = out->size();
  if (encoding_ == 0) {
    if (raw_.empty()) return false;
    out->append(raw_);
    raw_.clear();
  } else {
    auto unit = [this](size_t i) {
      const auto* b = reinterpret_cast<const unsigned char*>(raw_.data()) + 2 * i;
      return big_endian_ ? unsigned(b[0] << 8 | b[1]) : unsigned(b[1] << 8 | b[0]);
    };
    size_t count = raw_.size() / 2;  // an odd last byte waits for its pair, or is dropped
    size_t first = 0;
    if (at_start_ && count > 0 && unit(0) == 0xFEFF) first = 1;
    // A lead surrogate waits for the unit after it, so a pair is never split.
    if (!ended_ && count > first && unit(count - 1) >= 0xD800 && unit(count - 1) <= 0xDBFF) {
      --count;
    }
    if (count <= first && ended_) return false;
    AppendUtf16BytesAsUtf8(raw_.data() + 2 * first, count - first, big_endian_, out);
    raw_.erase(0, 2 * count);
    if (ended_ && raw_.size() < 2) raw_.clear();
  }
  if (at_start_) {
    at_start_ = false;
    if (std::string_view(*out).substr(before).compare(0, kMarkUtf8.size(), kMarkUtf8) == 0) {
      out->erase(before, kMarkUtf8.size());
      utf8_mark_ = encoding_ == 0;
    }
  }
  return true;
}

size_t TableText::Read(char* data, size_t size) {
  if (size == 0) return 0;
  if (pending_at_ == pending_.size() && carry_.empty() && encoding_ == 0 && !at_start_ &&
      raw_.empty()) {
    if (ended_) return 0;
    const size_t got = file_->Read(data, size);
    if (got == 0) ended_ = true;
    return got;
  }
  if (pending_at_ == pending_.size()) {
    pending_.clear();
    pending_at_ = 0;
    // A piece may decode to nothing (a mark alone, half a unit): only the end returns 0.
    do {
      if (!Next(&pending_)) return 0;
    } while (pending_.empty());
  }
  const size_t n = std::min(size, pending_.size() - pending_at_);
  std::memcpy(data, pending_.data() + pending_at_, n);
  pending_at_ += n;
  return n;
}

LineSplitter::Line LineSplitter::NextLine() {
  LineView line;
  if (NextLines(&line, 1) == 0) return Line{nullptr, 0};
  return Line{line.data, line.size};
}

size_t LineSplitter::NextLines(LineView* out, size_t room) {
  size_t given = 0;
  while (given < room) {
    if (next_end_ < listed_) {
      // The lines listed, with the state in registers.
      const uint64_t* const ends = lister_.Entries();
      const size_t listed = listed_;
      const char* const text = buffer_.data();
      const size_t text_end = end_;
      size_t k = next_end_;
      size_t pos = pos_;
      bool skip_lf = skip_lf_;
      while (k < listed && given < room) {
        const uint64_t entry = ends[k++];
        const size_t end = LineLister::EndOf(entry);
        if (skip_lf) {
          skip_lf = false;
          if (end == pos && text[end] == '\n') {  // the LF of a CR LF split by a read
            pos = end + 1;
            continue;
          }
        }
        out[given++] = {text + pos, end - pos, base_ + pos, !watching_ || LineLister::Marked(entry),
                        LineLister::HoldsNul(entry)};
        pos = end + (LineLister::IsPair(entry) ? 2 : 1);
        skip_lf = LineLister::OpensSplitPair(entry, text, text_end);
      }
      next_end_ = k;
      pos_ = pos;
      skip_lf_ = skip_lf;
      continue;
    }
    if (lister_.Scanned() < end_) {
      listed_ = lister_.List(buffer_.data(), end_, buffer_.size(), mark_test_);
      next_end_ = 0;
      continue;
    }
    // Reading on would move or retire the buffer the lines given so far stand in.
    if (given > 0) break;
    if (ended_) {
      skip_lf_ = false;
      if (pos_ < end_) {  // a last line without a break
        out[given++] = {buffer_.data() + pos_, end_ - pos_, base_ + pos_, true, lister_.NulAhead()};
        lister_.StartAt(end_);
        pos_ = end_;
      }
      break;
    }
    Refill();
  }
  if (given > 0) {
    line_start_ = out[given - 1].start;
    mark_seen_ = out[given - 1].mark;
    nul_seen_ = out[given - 1].nul;
  }
  return given;
}

void LineSplitter::Refill() {
  // The unfinished line moves to the front, and the text after it is read in behind it. The
  // buffer grows as the text goes on (small tables stay cheap) and for a line longer than
  // half of it; it is never cleared again.
  size_t size = buffer_.empty() ? kFirstPieceSize
                : end_ - pos_ > buffer_.size() / 2 ||
                        (read_ >= buffer_.size() && buffer_.size() < kPieceSize)
                    ? 2 * buffer_.size()
                    : buffer_.size();
  if (buffers_ != nullptr && pos_ > 0) {
    // Lines were handed out of this buffer: it is retired whole, and the unfinished line goes
    // to the front of a fresh one, no larger than that line needs (after a long line, the
    // buffers kept for reading again stay of the usual size).
    size = std::min(size, std::max(kPieceSize, size_t{1} << BitWidth(2 * (end_ - pos_))));
    LargeVector<char> fresh = buffers_->Fresh(size);
    std::memcpy(fresh.data(), buffer_.data() + pos_, end_ - pos_);
    buffer_.swap(fresh);
    buffers_->Retire(std::move(fresh));
  } else if (pos_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
  }
  if (pos_ > 0) {
    end_ -= pos_;
    base_ += pos_;
    lister_.Shift(pos_);  // every line end listed was handed out
    pos_ = 0;
  }
  if (buffer_.size() < size) buffer_.resize(size);
  const size_t got = text_->Read(buffer_.data() + end_, buffer_.size() - end_);
  if (got == 0) {
    ended_ = true;
  } else {
    end_ += got;
    read_ += got;
  }
}

void LineSplitter::WatchFor(char mark) {
  mark_test_ = byte_search::OneByte(mark);
  watching_ = true;
}

bool RecordScan::ScanLine(std::string_view line, char delimiter, char quote, bool* open) {
  size_t p;
  if (*open) {
    p = 0;
  } else {
    if (quote == 0 || line.empty()) return false;
    if (line[0] == quote) {
      p = 1;
    } else {
      const size_t at = FindPair(line, delimiter, quote);
      if (at == std::string_view::npos) return false;
      p = at + 2;
    }
    *open = true;
  }
  // From where scanning starts every mark counts; two marks in a row neither open nor close.
  // The second byte of a double-byte character is never a mark.
  const size_t n = line.size();
  for (;;) {
    p = FindCharacterAligned(line, std::string_view(&quote, 1), p);
    if (p == std::string_view::npos) break;
    if (!*open) {
      *open = true;
    } else if (p + 1 < n && line[p + 1] == quote) {
      ++p;
    } else {
      *open = false;
    }
    ++p;
  }
  return *open;
}

namespace {

// Whether a quote mark in `text` stands at a line's start or right after the delimiter;
// `before` is the byte before the text ('\n' at the start of the whole text).
bool QuoteAfter(std::string_view text, char before, char quote, char delimiter) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while ((p = static_cast<const char*>(std::memchr(p, quote, end - p))) != nullptr) {
    const char b = p == text.data() ? before : p[-1];
    if (b == delimiter || b == '\r' || b == '\n') return true;
    ++p;
  }
  return false;
}

}  // namespace

TableProbe ProbeTableFile(const std::string& path, char quote,
                          const std::function<char(std::string_view)>& delimiter_for, bool whole) {
  TableText text(path);
  TableProbe probe;
  probe.encoding = text.Encoding();
  probe.write_bom = text.WriteBom();
  // The text is read straight into one buffer (most of it is only looked at for a NUL), which
  // grows from small, as a pass that stops early reads little.
  std::string buffer(kFirstPieceSize, '\0');
  std::string unscanned;  // text before the first line's end, kept until the delimiter is known
  bool first_done = false;
  bool quote_done = quote == 0;
  char delimiter = 0;
  char before = '\n';
  for (size_t got; (got = text.Read(&buffer[0], buffer.size())) > 0;
       buffer.resize(std::min(kPieceSize, 2 * buffer.size()))) {
    const std::string_view piece(buffer.data(), got);
    // Splitting the text would stop at a NUL byte, and a later save would lose the rest.
    if (std::memchr(piece.data(), 0, piece.size()) != nullptr) {
      throw TessarinError("Cannot load file \"" + path +
                          "\". It holds a NUL byte: it is not a text table");
    }
    probe.utf8_mark = probe.utf8_mark || text.HadUtf8Mark();
    probe.text_length += piece.size();
    if (piece.empty()) continue;
    probe.has_lines = true;
    std::string_view scan = piece;
    if (!first_done) {
      const size_t end = FindLineEnd(piece, 0);
      probe.first_line.append(piece, 0, end);
      if (end == piece.size()) {
        if (!quote_done) unscanned.append(piece);
        continue;
      }
      first_done = true;
      delimiter = delimiter_for(probe.first_line);
      if (!quote_done && !unscanned.empty()) {
        quote_done = QuoteAfter(unscanned, before, quote, delimiter);
        before = unscanned.back();
        unscanned = std::string();
      }
    }
    if (!quote_done) {
      quote_done = QuoteAfter(scan, before, quote, delimiter);
      before = scan.back();
    }
    if (!whole && quote_done) {  // settled: the caller reads the rest itself
      probe.quote_after_delimiter = quote != 0;
      probe.complete = false;
      probe.text_length = std::max(probe.text_length, text.FileSize());
      return probe;
    }
  }
  probe.utf8_mark = probe.utf8_mark || text.HadUtf8Mark();  // also for a text of the mark alone
  if (!first_done && probe.has_lines) {  // one line without a break
    delimiter = delimiter_for(probe.first_line);
    if (!quote_done) quote_done = QuoteAfter(unscanned, before, quote, delimiter);
  }
  probe.quote_after_delimiter = quote != 0 && quote_done;
  return probe;
}
