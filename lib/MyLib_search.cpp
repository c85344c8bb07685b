// Substring search and the two replace-all operations. FindFrom and ReplaceAllInPlace compare
// plain bytes; ReplaceAll and FindCharacterAligned keep double-byte characters whole.
#include <cstring>

#include "MyLib.h"
#include "Platform.h"

namespace {

// Offset of the first occurrence of `pattern` in the concatenation `open` + `rest`, where
// `open` holds no whole occurrence, so a match starting in `open` must run on into `rest`.
size_t FindAcross(std::string_view open, std::string_view rest, std::string_view pattern) {
  for (size_t j = 0; j < open.size(); ++j) {
    const size_t head = open.size() - j;
    if (head >= pattern.size() || rest.size() < pattern.size() - head) continue;
    if (open.substr(j) == pattern.substr(0, head) &&
        rest.substr(0, pattern.size() - head) == pattern.substr(head)) {
      return j;
    }
  }
  const size_t hit = rest.find(pattern);
  return hit == std::string_view::npos ? hit : open.size() + hit;
}

}  // namespace

size_t FindCharacterAligned(std::string_view text, std::string_view pattern, size_t pos) {
  const platform::LeadBytes& lead = platform::SystemLeadBytes();
  if (!lead.any) {
    // A one-byte pattern is a plain byte search: the general one compares every hit again.
    return pattern.size() == 1 ? text.find(pattern[0], pos) : text.find(pattern, pos);
  }
  // Candidates come from the plain search; the walk over character starts between them is
  // linear over the whole text, and a candidate it steps over was a second byte.
  for (;;) {
    const size_t hit = text.find(pattern, pos);
    if (hit == std::string_view::npos) return hit;
    while (pos < hit) pos += lead.IsLead(text[pos]) ? 2 : 1;
    if (pos == hit) return hit;
  }
}

size_t FindFrom(std::string_view pattern, std::string_view text, size_t start) {
  if (pattern.empty()) return 0;
  const size_t from = start == 0 ? 0 : start - 1;
  const size_t hit = text.find(pattern, from);
  return hit == std::string_view::npos ? 0 : hit + 1;
}

void ReplaceAllInPlace(std::string* text, std::string_view pattern, std::string_view replacement) {
  if (pattern.empty() || text->find(pattern) == std::string::npos) return;
  // The search resumes one byte after the start of each replacement, so a replacement that
  // holds the pattern from its second byte on would be matched again forever. Such a pair has
  // no in-place result; it gets the left-to-right one instead.
  if (replacement.size() > 1 && replacement.find(pattern, 1) != std::string_view::npos) {
    *text = ReplaceAll(*text, pattern, replacement);
    return;
  }
  // Rather than editing the string at every match, the result is built alongside. The bytes
  // still open to the search are `open` (the tail of the last replacement after its first
  // byte) followed by the unread rest of the text from `pos`.
  const std::string_view source(*text);
  std::string result;
  result.reserve(source.size());
  std::string_view open;
  size_t pos = 0;
  for (;;) {
    const size_t hit = FindAcross(open, source.substr(pos), pattern);
    if (hit == std::string_view::npos) break;
    if (hit < open.size()) {
      result.append(open.substr(0, hit));
      pos += pattern.size() - (open.size() - hit);
    } else {
      result.append(open);
      result.append(source.substr(pos, hit - open.size()));
      pos += hit - open.size() + pattern.size();
    }
    // The first byte after the match point is never searched again: it is the replacement's
    // first byte, or, for an empty replacement, the byte that followed the match.
    open = replacement;
    if (!open.empty()) {
      result.push_back(open.front());
      open.remove_prefix(1);
    } else if (pos < source.size()) {
      result.push_back(source[pos++]);
    }
  }
  result.append(open);
  result.append(source.substr(pos));
  *text = std::move(result);
}

std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement) {
  if (pattern.empty()) return std::string(text);
  std::string result;
  result.reserve(text.size());
  size_t pos = 0;
  // A match never begins on the second byte of a double-byte character.
  for (size_t hit; (hit = FindCharacterAligned(text, pattern, pos)) != std::string_view::npos;) {
    result.append(text.substr(pos, hit - pos));
    result.append(replacement);
    pos = hit + pattern.size();
  }
  result.append(text.substr(pos));
  return result;
}

std::string FoldAsciiCase(std::string text) {
  // The second byte of a double-byte character may lie in A-Z; lowering it would turn the
  // character into another one.
  const platform::LeadBytes& lead = platform::SystemLeadBytes();
  for (size_t i = 0; i < text.size(); ++i) {
    char& c = text[i];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    } else if (lead.IsLead(c)) {
      ++i;
    }
  }
  return text;
}

size_t FindPair(std::string_view text, char first, char second) {
  for (size_t at = text.find(second, 1); at != std::string_view::npos;
       at = text.find(second, at + 1)) {
    if (text[at - 1] == first) return at - 1;
  }
  return std::string_view::npos;
}

size_t FindLineEnd(std::string_view text, size_t pos) {
  const size_t lf = text.find('\n', pos);
  const size_t limit = lf == std::string_view::npos ? text.size() : lf;
  if (pos >= limit) return limit;  // also keeps an empty view's null pointer away from memchr
  const void* cr = std::memchr(text.data() + pos, '\r', limit - pos);
  return cr == nullptr ? limit : static_cast<size_t>(static_cast<const char*>(cr) - text.data());
}
