// Paths and folders: splitting a path, creating folder chains, and finding a file whatever the
// case of its A-Z letters.

#include <vector>

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"

namespace {

size_t NameStart(const std::string& path) { return platform::NameStart(path); }

bool EndsInSeparator(const std::string& path) {
  return !path.empty() && NameStart(path) == path.size();
}

// Creates the folder and its missing parents, outermost first; false when any creation fails.
bool CreateFolderChain(std::string path) {
  if (path.empty()) throw TessarinError("Unable to create directory");
  // Trailing separators name the same folder. A drive prefix ("C:") is not trailing.
  while (EndsInSeparator(path) && path.back() != ':') {
    path.pop_back();
  }
  // The root itself, or a drive name such as "C:", is never created.
  if (path.empty()) return true;
  if (path.size() < 3 && !platform::IsPathSeparator(path[0])) return true;
  if (platform::FolderExists(path)) return true;
  std::string parent = FolderPart(path);
  if (parent == path) return true;
  return CreateFolderChain(parent) && platform::CreateFolder(path);
}

}  // namespace

std::string FolderPart(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string NamePart(const std::string& path) { return path.substr(NameStart(path)); }

std::string WithoutExtension(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameStart(path)) return path;
  return path.substr(0, dot);
}

void EnsureFolder(const std::string& path) { CreateFolderIfMissing(platform::ExpandPath(path)); }

void EnsureFileFolder(const std::string& path) {
  EnsureFolder(FolderPart(platform::ExpandPath(path)));
}

void CreateFolderIfMissing(const std::string& path) {
  // A folder that cannot be created shows up at the first file written into it.
  CreateFolderChain(path);
}

bool EntryExistsNoCase(const std::string& path) { return FindEntryNoCase(path).has_value(); }

std::optional<std::string> FindEntryNoCase(const std::string& path) {
  std::string expanded = platform::ExpandPath(path);
  std::string folder = FolderPart(expanded);
  std::string name = NamePart(expanded);
  std::vector<std::string> entries;
  if (name.empty() || !platform::ListFolder(folder, &entries)) return std::nullopt;

  // Among entries that differ only in case, the smallest in byte order wins, so the choice does
  // not depend on the order in which the system lists them.
  const std::string folded_name = FoldAsciiCase(name);
  const std::string* best = nullptr;
  for (const std::string& entry : entries) {
    if (entry == name) return folder + entry;
    if (entry.size() == name.size() && FoldAsciiCase(entry) == folded_name &&
        (best == nullptr || entry < *best)) {
      best = &entry;
    }
  }
  if (best == nullptr) return std::nullopt;
  return folder + *best;
}

std::string ActualPath(const std::string& path) {
  std::optional<std::string> found = FindEntryNoCase(path);
  return found ? *found : platform::ExpandPath(path);
}
