#include "platform/posix/host_file_system.h"

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

}  // namespace netvane::platform
