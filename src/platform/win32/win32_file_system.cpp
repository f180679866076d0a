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

namespace {

// The file itself, open for reading and shared for reading only: nobody can write, rename or
// delete it while this handle lives, and what was read through it is what is run or copied.
class Win32HeldFile final : public HeldFile {
 public:
  Win32HeldFile(HANDLE handle, std::string content, std::string path)
      : handle_(handle), content_(std::move(content)), path_(std::move(path)) {}
  ~Win32HeldFile() override { CloseHandle(handle_); }
  const std::string& content() const override { return content_; }
  const std::string& path() const override { return path_; }

 private:
  HANDLE handle_;
  std::string content_;
  std::string path_;
};

}  // namespace

std::unique_ptr<HeldFile> Win32FileSystem::Hold(const std::string& path) {
  HANDLE file = CreateFileA(codepage_.ToAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  std::string content;
  char block[65536];
  DWORD got = 0;
  BOOL ok = TRUE;
  while ((ok = ReadFile(file, block, sizeof block, &got, nullptr)) && got > 0) {
    content.append(block, got);
  }
  if (!ok) {
    CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<Win32HeldFile>(file, std::move(content), path);
}

}  // namespace netvane::platform
