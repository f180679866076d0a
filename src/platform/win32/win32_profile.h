// The system's profile through the profile functions, the settings-change broadcast, and WinINet
// told of changed internet settings.
#pragma once

#include "platform/profile.h"
#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

class Win32Profile final : public Profile {
 public:
  std::string ReadEntry(const std::string& section, const std::string& key,
                        const std::string& fallback) override;
  bool WriteEntry(const std::string& section, const std::string& key,
                  const std::string& value) override;
  // SendMessageTimeoutA with SMTO_ABORTIFHUNG, so one hung window cannot stall the apply.
  void BroadcastChange(const std::string& section) override;
  void InternetSettingsChanged() override;

 private:
  Win32CodePage codepage_;
};

}  // namespace netvane::platform
