// Local files by the fixed Windows paths the updater uses ("c:\eng.txt" ...): on Windows the
// paths themselves, on the host mapped into a folder of ours.
#pragma once

#include <memory>
#include <string>

namespace netvane::platform {

// A file's content, read once and held: while the object lives, path() names a file with exactly
// that content, which nobody else can change, replace or remove.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
  virtual const std::string& content() const = 0;
  virtual const std::string& path() const = 0;
};

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
  // Holds the file at `path` (Windows: the file itself, open without sharing write or delete;
  // the host: a runnable copy in a folder of this user's alone); null when it cannot be read.
  virtual std::unique_ptr<HeldFile> Hold(const std::string& path) = 0;
};

}  // namespace netvane::platform
