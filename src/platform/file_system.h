// Local files by the fixed Windows paths the updater uses ("c:\eng.txt" ...): on Windows the
// paths themselves, on the host mapped into a folder of ours.
#pragma once

#include <string>

namespace netvane::platform {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The path on this system for a Windows path.
  virtual std::string MapPath(const std::string& windows_path) const = 0;
  // The whole content of a file; false when it cannot be read.
  virtual bool ReadAll(const std::string& path, std::string* content) const = 0;
  // CopyFile; an existing target is replaced when `overwrite`.
  virtual bool Copy(const std::string& from, const std::string& to, bool overwrite) = 0;
  virtual bool Delete(const std::string& path) = 0;
  // Lets a downloaded program be started (the host needs the execute permission).
  virtual void MakeRunnable(const std::string& path) = 0;
};

}  // namespace netvane::platform
