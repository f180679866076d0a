#include "platform/posix/host_file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace netvane::platform {
namespace fs = std::filesystem;

std::string HostFileSystem::DriveFolder(char letter) const {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  if (lower == 'c' && !drive_c_.empty()) return drive_c_;
  const std::string variable = std::string("NETVANE_DRIVE_") +
                               static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (const char* v = std::getenv(variable.c_str()); v != nullptr && *v != '\0') return v;
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "/tmp") + "/.local/share";
  }
  return base + "/netvane/" + lower;
}

std::string HostFileSystem::MapPath(const std::string& windows_path) const {
  std::string path = windows_path;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    const std::string folder = DriveFolder(path[0]);
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::string rest = path.substr(2);
    if (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    return folder + "/" + rest;
  }
  return path;
}

bool HostFileSystem::ReadAll(const std::string& path, std::string* content) const {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *content = s.str();
  return true;
}

bool HostFileSystem::Copy(const std::string& from, const std::string& to, bool overwrite) {
  std::error_code ec;
  fs::copy_file(from, to, overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none,
                ec);
  return !ec;
}

bool HostFileSystem::Delete(const std::string& path) {
  std::error_code ec;
  return fs::remove(path, ec) && !ec;
}

void HostFileSystem::MakeRunnable(const std::string& path) {
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
}

namespace {

// The host has no file that nobody else may write: the content goes into a new folder that only
// this user can enter, and the copy there is what is used.
class HostHeldFile final : public HeldFile {
 public:
  HostHeldFile(std::string content, std::string folder, std::string path)
      : content_(std::move(content)), folder_(std::move(folder)), path_(std::move(path)) {}
  ~HostHeldFile() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  const std::string& content() const override { return content_; }
  const std::string& path() const override { return path_; }

 private:
  std::string content_;
  std::string folder_;
  std::string path_;
};

}  // namespace

std::unique_ptr<HeldFile> HostFileSystem::Hold(const std::string& path) {
  std::string content;
  if (!ReadAll(path, &content)) return nullptr;
  const fs::path original(path);
  std::string folder = (original.parent_path() / ".netvane-held-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return nullptr;  // mode 0700
  const std::string copy = folder + "/" + original.filename().string();
  const int fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0700);
  bool written = fd >= 0;
  for (size_t done = 0; written && done < content.size();) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  if (fd >= 0 && close(fd) != 0) written = false;
  auto held = std::make_unique<HostHeldFile>(std::move(content), folder, copy);
  return written ? std::move(held) : nullptr;
}

}  // namespace netvane::platform
