#include "platform/posix/posix_shell.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/command_line.h"
#include "platform/platform_error.h"
#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

constexpr char kSource[] = "Shell.Application";
// Any result above kShellExecuteLastError is success.
constexpr int32_t kShellOk = 42;

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// "scheme:..." as in a web address; one letter before the colon is a drive, not a scheme.
bool HasScheme(const std::string& target) {
  const size_t colon = target.find(':');
  if (colon == std::string::npos || colon < 2 ||
      !std::isalpha(static_cast<unsigned char>(target[0])))
    return false;
  return std::all_of(target.begin(), target.begin() + static_cast<long>(colon), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

}  // namespace

std::string PosixShell::ExistingName(const std::string& path) {
  // A path ending in a separator names no file or folder entry.
  if (path.empty() || path.back() == '/') return std::string();
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return std::string();
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void PosixShell::InvokeDefaultVerb(const std::string& folder, const std::string& name) {
  struct stat st {};
  if (folder.empty() || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    throw PlatformError(kErrorPathNotFound, "The system cannot find the path specified.", kSource);
  }
  const std::string item = JoinPath(folder, name);
  if (name.empty() || stat(item.c_str(), &st) != 0) {
    throw PlatformError(kErrorFileNotFound, "The system cannot find the file specified.", kSource);
  }
  if (S_ISREG(st.st_mode) && access(item.c_str(), X_OK) == 0) {
    process_.Start(QuoteArgument(item), WindowMode::kMinimizedFocus);
  } else {
    process_.Start("xdg-open " + QuoteArgument(item), WindowMode::kHidden);
  }
}

std::string PosixShell::FindFile(const std::string& pattern) {
  if (pattern.empty() || pattern.back() == '/') return std::string();
  const size_t slash = pattern.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  auto is_file = [&](const std::string& entry) {
    // Hidden files are the dot files here.
    if (entry.empty() || entry[0] == '.') return false;
    struct stat st {};
    return stat((folder + "/" + entry).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  };
  if (name.find_first_of("*?") == std::string::npos) return is_file(name) ? name : std::string();
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return std::string();
  std::vector<std::string> matches;
  while (const dirent* e = readdir(dir)) {
    // Windows matches names without regard to case, and lists them in name order.
    if (fnmatch(name.c_str(), e->d_name, FNM_CASEFOLD) == 0 && is_file(e->d_name)) {
      matches.emplace_back(e->d_name);
    }
  }
  closedir(dir);
  if (matches.empty()) return std::string();
  return *std::min_element(matches.begin(), matches.end());
}

int32_t PosixShell::OpenDocument(const std::string& path) {
  struct stat st {};
  // Only a file is looked for; an address goes to the opener as it is.
  if (!HasScheme(path) && stat(path.c_str(), &st) != 0) return kShellErrorFileNotFound;
  try {
    process_.Start("xdg-open " + QuoteArgument(path), WindowMode::kHidden);
  } catch (const PlatformError&) {
    return kShellErrorNoAssociation;
  }
  return kShellOk;
}

}  // namespace netvane::platform
