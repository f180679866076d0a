// The desktop shell: files by name, their default verb, and documents opened for viewing.
// Paths are the program's own text (UTF-8).
#pragma once

#include <cstdint>
#include <string>

namespace netvane::platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // The name part of the existing file or folder at `path`, as the file system spells it;
  // empty when nothing exists there.
  virtual std::string ExistingName(const std::string& path) = 0;
  // Invokes the default verb of the item `name` in the folder `folder`, as the shell's
  // NameSpace/ParseName/InvokeVerb sequence does. A missing folder or item, or a verb that
  // fails, raises PlatformError.
  virtual void InvokeDefaultVerb(const std::string& folder, const std::string& name) = 0;
  // The name of the first file matching `pattern` (a path whose last part may hold the
  // wildcards * and ?), as the system's directory search finds it: folders and hidden or
  // system files are not found. Empty when nothing matches.
  virtual std::string FindFile(const std::string& pattern) = 0;
  // Opens a document with the verb "open" in a normal window (ShellExecute); returns a value
  // above 32 on success, else the error code.
  virtual int32_t OpenDocument(const std::string& path) = 0;
};

}  // namespace netvane::platform
