// Text utilities shared by the lists and the driver: the line-break escape styles, substring
// search and replace, UTF-16/UTF-8 transcoding, and the folder and file-existence helpers.
// Positions in strings count from 1; 0 means "not found".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// ---- Line-break escape styles ------------------------------------------------------------
// Styles: 0 none, 1 da, 2 rn (the default), 3 hex, 4 hlm; any other value behaves like 0.
// Join kinds: 0 CR LF, 1 LF, 2 CR.
constexpr uint8_t kStyleNone = 0;
constexpr uint8_t kStyleDa = 1;
constexpr uint8_t kStyleRn = 2;
constexpr uint8_t kStyleHex = 3;
constexpr uint8_t kStyleHlm = 4;

/// Every byte below 32 becomes a printable token of the style; with `edge_spaces` one space at
/// each end of the value becomes "\x20". No other byte changes. Never fails.
std::string EscapeText(std::string_view value, uint8_t style, bool edge_spaces);
/// EscapeText appended to `out` (no temporary string).
void AppendEscaped(std::string* out, std::string_view value, uint8_t style, bool edge_spaces);

/// Turns the tokens of the style (and, with `edge_spaces`, every "\x20") back into bytes.
std::string UnescapeText(std::string_view value, uint8_t style, bool edge_spaces);
/// UnescapeText appended to `out`.
void AppendUnescaped(std::string* out, std::string_view value, uint8_t style, bool edge_spaces);
/// True when UnescapeText would change the value (a fast test that lets callers skip it).
bool HasEscapeTokens(std::string_view value, uint8_t style, bool edge_spaces);
/// UnescapeText of the value: the value itself when no token can start in it, else the
/// unescaped text, kept in `*scratch`.
std::string_view UnescapedView(std::string_view value, uint8_t style, bool edge_spaces,
                               std::string* scratch);

/// The token for CR LF (kind 0), LF (1) or CR (2) in the style; empty for style 0, a style
/// outside 1..4 or a kind outside 0..2.
std::string LineBreakToken(uint8_t style, uint8_t join_kind);
std::string CrLfToken(uint8_t style);
std::string LfToken(uint8_t style);
std::string CrToken(uint8_t style);

// ---- Substring search and replace --------------------------------------------------------
/// Position (from 1) of the first occurrence of `pattern` in `text` at `start` or later; 0 when
/// there is none or the pattern is empty. Byte 0 is an ordinary byte.
size_t FindFrom(std::string_view pattern, std::string_view text, size_t start);
/// Replaces every occurrence; the search goes on one byte after the start of each replacement.
void ReplaceAllInPlace(std::string* text, std::string_view pattern, std::string_view replacement);
/// Index (from 0) where the line that starts at `pos` ends: its first CR or LF, or the end of the
/// text. (A line break is CR, LF or CR LF.)
size_t FindLineEnd(std::string_view text, size_t pos);
/// Index (from 0) of the first occurrence of `pattern` at `pos` or later that begins a
/// character of the system's code page, or npos. `pos` must begin a character. In a
/// double-byte code page the second byte of a character never starts a match, so a "\\" or a
/// delimiter that is part of a character is not taken for one; elsewhere this is a plain find.
size_t FindCharacterAligned(std::string_view text, std::string_view pattern, size_t pos);
/// Index (from 0) of the first `first` byte directly followed by a `second` byte, or npos. Fast
/// when `second` is rare in the text (a quote mark after a delimiter).
size_t FindPair(std::string_view text, char first, char second);
/// The text with the letters A-Z lowered and every other byte kept (the second byte of a
/// double-byte character too), as file names and option names are matched.
std::string FoldAsciiCase(std::string text);
/// A copy with every occurrence replaced, left to right, without overlaps; the replacement is
/// never searched. An empty pattern replaces nothing.
std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement);

// ---- UTF-16 and UTF-8 ---------------------------------------------------------------------
/// The two-byte marks as they stand in a file: FF FE (little-endian), FE FF (big-endian).
extern const std::string_view kMarkUtf16Le;
extern const std::string_view kMarkUtf16Be;
extern const std::string_view kMarkUtf8;

/// The same units with the two bytes of each exchanged.
std::u16string SwapUtf16Bytes(std::u16string_view units);
/// UTF-8 of the units (swapped first when `mark` is FE FF; a leading U+FEFF unit dropped).
/// A surrogate pair becomes one 4-byte sequence; a lone surrogate keeps its 3-byte form.
std::string Utf16ToUtf8(std::u16string_view units, std::string_view mark);
/// Decodes UTF-8 into UTF-16 units (a leading EF BB BF dropped; swapped when `mark` is FE FF).
/// Returns false, and leaves `out` unspecified, when the text does not decode.
bool Utf8ToUtf16(std::string_view bytes, std::string_view mark, std::u16string* out);
/// True when the bytes decode as UTF-8 by the rules of Utf8ToUtf16 (the empty text does not).
bool DecodesAsUtf8(std::string_view bytes);

// Streaming forms for whole files: they neither drop nor expect a byte-order mark, so a file
// can be converted piece by piece (pieces must not split a surrogate pair or a UTF-8 sequence).
/// Appends the UTF-8 form of `count` code units stored as byte pairs at `bytes` (low byte
/// first unless `big_endian`).
void AppendUtf16BytesAsUtf8(const char* bytes, size_t count, bool big_endian, std::string* out);
/// Decodes the UTF-8 bytes and appends the code units as byte pairs in the given order. False
/// when they do not decode (what was appended is then unspecified); empty input is true.
bool AppendUtf8AsUtf16Bytes(std::string_view utf8, bool big_endian, std::string* out);

// ---- Paths and folders --------------------------------------------------------------------
/// Everything up to and including the last path separator (empty when there is none).
std::string FolderPart(const std::string& path);
/// Everything after the last path separator.
std::string NamePart(const std::string& path);
/// The path without its extension (from the last "." of the name part on).
std::string WithoutExtension(const std::string& path);

/// Expands the path and creates the folder with its missing parents. Failures are silent;
/// throws only "Unable to create directory" for a path that cannot name a folder at all.
void EnsureFolder(const std::string& path);
/// EnsureFolder of the folder part of the expanded file path.
void EnsureFileFolder(const std::string& path);
/// EnsureFolder without expanding the path first.
void CreateFolderIfMissing(const std::string& path);
/// CreateFolderIfMissing for a folder that files are about to be written into: a level that
/// cannot be created throws "Cannot create folder "%s". %s", naming that level and the cause.
/// The folders it made are added to `made`, outermost first, when that is given.
void RequireFolder(const std::string& path, std::vector<std::string>* made = nullptr);

/// RequireFolder for a run that may yet fail: the folders it made are removed again (those
/// still empty) when this object ends without Keep(), so a failed run leaves no new folder.
class NewFolders {
 public:
  explicit NewFolders(const std::string& path) { RequireFolder(path, &made_); }
  ~NewFolders();
  NewFolders(const NewFolders&) = delete;
  NewFolders& operator=(const NewFolders&) = delete;
  void Keep() { made_.clear(); }

 private:
  std::vector<std::string> made_;
};
/// True when the folder of the expanded path holds an entry (file or folder) whose name equals
/// the path's name part, ignoring the case of A-Z. Never fails.
bool EntryExistsNoCase(const std::string& path);
/// The full path of that entry (an exact-case match preferred), or nothing.
std::optional<std::string> FindEntryNoCase(const std::string& path);
/// FindEntryNoCase, or the expanded path itself when there is no such entry: the file a
/// read or a write of `path` should go to.
std::string ActualPath(const std::string& path);

/// FindEntryNoCase and ActualPath for many names: each folder is listed once, the first time a
/// name in it is sought, so looking up every file of a folder costs one listing. Entries made or
/// removed after that listing are not seen; use one index for names that cannot collide with
/// files the caller creates meanwhile (no two of them equal ignoring A-Z case).
class FolderIndex {
 public:
  std::optional<std::string> Find(const std::string& path);
  std::string ActualPath(const std::string& path);

 private:
  struct Listing {
    std::unordered_set<std::string> names;
    std::unordered_map<std::string, std::string> by_folded_name;  // folded -> chosen entry
  };
  std::unordered_map<std::string, Listing> folders_;
};
