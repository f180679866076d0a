// The desktop shell: file names from the file system, the shell automation object's default
// verb, and ShellExecute for documents.
#pragma once

#include "platform/shell.h"
#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

class Win32Shell final : public Shell {
 public:
  std::string ExistingName(const std::string& path) override;
  std::string FindFile(const std::string& pattern) override;
  // Through "Shell.Application": NameSpace(folder), ParseName(name), InvokeVerb(). Errors
  // carry the source "Shell.Application".
  void InvokeDefaultVerb(const std::string& folder, const std::string& name) override;
  int32_t OpenDocument(const std::string& path) override;

 private:
  Win32CodePage codepage_;
};

}  // namespace netvane::platform
