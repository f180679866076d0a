#include "platform/win32/win32_file_system.h"

#include <fstream>
#include <sstream>

#include "platform/win32/windows_api.h"

namespace netvane::platform {

bool Win32FileSystem::ReadAll(const std::string& path, std::string* content) const {
  std::ifstream in(codepage_.ToAnsi(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *content = s.str();
  return true;
}

bool Win32FileSystem::Copy(const std::string& from, const std::string& to, bool overwrite) {
  return CopyFileA(codepage_.ToAnsi(from).c_str(), codepage_.ToAnsi(to).c_str(),
                   overwrite ? FALSE : TRUE) != 0;
}

bool Win32FileSystem::Delete(const std::string& path) {
  return DeleteFileA(codepage_.ToAnsi(path).c_str()) != 0;
}

}  // namespace netvane::platform
