// Files on the host: a drive letter X stands for the folder $NETVANE_DRIVE_X (for C also
// $NETVANE_DRIVE_C), else $XDG_DATA_HOME/netvane/x; backslashes become slashes.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace netvane::platform {

class HostFileSystem final : public FileSystem {
 public:
  // `drive_c` overrides the folder of drive C (tests); empty uses the environment.
  explicit HostFileSystem(std::string drive_c = std::string()) : drive_c_(std::move(drive_c)) {}
  std::string MapPath(const std::string& windows_path) const override;
  bool ReadAll(const std::string& path, std::string* content) const override;
  bool Copy(const std::string& from, const std::string& to, bool overwrite) override;
  bool Delete(const std::string& path) override;
  void MakeRunnable(const std::string& path) override;
  std::unique_ptr<HeldFile> Hold(const std::string& path) override;

 private:
  std::string DriveFolder(char letter) const;
  std::string drive_c_;
};

}  // namespace netvane::platform
