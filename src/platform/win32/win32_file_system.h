// Files on Windows: the fixed paths are the paths themselves.
#pragma once

#include "platform/file_system.h"
#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

class Win32FileSystem final : public FileSystem {
 public:
  std::string MapPath(const std::string& windows_path) const override { return windows_path; }
  bool ReadAll(const std::string& path, std::string* content) const override;
  bool Copy(const std::string& from, const std::string& to, bool overwrite) override;
  bool Delete(const std::string& path) override;
  void MakeRunnable(const std::string&) override {}
  std::unique_ptr<HeldFile> Hold(const std::string& path) override;

 private:
  Win32CodePage codepage_;
};

}  // namespace netvane::platform
