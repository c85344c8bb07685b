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

// Creates the folder and its missing parents, outermost first; false when any creation fails,
// with the level that failed and the system's reason in `failed` and `reason`.
bool CreateFolderChain(std::string path, std::string* failed, std::string* reason,
                       std::vector<std::string>* made) {
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
  if (!CreateFolderChain(parent, failed, reason, made)) return false;
  if (platform::CreateFolder(path)) {
    if (made != nullptr) made->push_back(path);
    return true;
  }
  *reason = platform::LastErrorText();
  if (platform::FolderExists(path)) return true;  // another run made it meanwhile
  *failed = path;
  return false;
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
  std::string failed, reason;
  CreateFolderChain(path, &failed, &reason, nullptr);
}

void RequireFolder(const std::string& path, std::vector<std::string>* made) {
  std::string failed, reason;
  std::vector<std::string> new_folders;
  if (!CreateFolderChain(path, &failed, &reason, &new_folders)) {
    // The outer levels made before an inner one failed are of no use to anyone.
    for (auto it = new_folders.rbegin(); it != new_folders.rend(); ++it) {
      platform::RemoveEmptyFolder(*it);
    }
    throw FolderError(failed, reason);
  }
  if (made != nullptr) made->insert(made->end(), new_folders.begin(), new_folders.end());
}

NewFolders::~NewFolders() {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
    if (!platform::RemoveEmptyFolder(*it)) break;  // something was put in it meanwhile
  }
}

bool EntryExistsNoCase(const std::string& path) { return FindEntryNoCase(path).has_value(); }

std::optional<std::string> FindEntryNoCase(const std::string& path) {
  std::string expanded = platform::ExpandPath(path);
  std::string folder = FolderPart(expanded);
  std::string name = NamePart(expanded);
  if (name.empty()) return std::nullopt;
  // The entry spelled exactly as asked wins anyway, and finding it needs no listing: a folder
  // of many files is listed only when a name is missing or spelled differently.
  if (platform::EntryExists(expanded)) return expanded;
  std::vector<std::string> entries;
  if (!platform::ListFolder(folder, &entries)) return std::nullopt;

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

std::optional<std::string> FolderIndex::Find(const std::string& path) {
  const std::string expanded = platform::ExpandPath(path);
  const std::string folder = FolderPart(expanded);
  const std::string name = NamePart(expanded);
  if (name.empty()) return std::nullopt;
  auto listed = folders_.find(folder);
  if (listed == folders_.end()) {
    Listing listing;
    std::vector<std::string> entries;
    platform::ListFolder(folder, &entries);  // a folder that cannot be listed holds nothing
    for (std::string& entry : entries) {
      // The same choice as FindEntryNoCase: the smallest in byte order among case variants.
      std::string& best = listing.by_folded_name[FoldAsciiCase(entry)];
      if (best.empty() || entry < best) best = entry;
      listing.names.insert(std::move(entry));
    }
    listed = folders_.emplace(folder, std::move(listing)).first;
  }
  const Listing& listing = listed->second;
  if (listing.names.count(name) != 0) return expanded;
  const auto variant = listing.by_folded_name.find(FoldAsciiCase(name));
  if (variant == listing.by_folded_name.end()) return std::nullopt;
  return folder + variant->second;
}

std::string FolderIndex::ActualPath(const std::string& path) {
  std::optional<std::string> found = Find(path);
  return found ? *found : platform::ExpandPath(path);
}

std::string ActualPath(const std::string& path) {
  std::optional<std::string> found = FindEntryNoCase(path);
  return found ? *found : platform::ExpandPath(path);
}
