// The profile on the host, kept in the registry where Windows NT maps it: section S is the key
// HKEY_CURRENT_USER\Software\Microsoft\Windows NT\CurrentVersion\S ("Windows",
// "PrinterPorts"), each entry a text value.
#pragma once

#include "platform/codepage.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace netvane::platform {

class RegistryProfile final : public Profile {
 public:
  RegistryProfile(Registry& registry, const CodePage& codepage)
      : registry_(registry), codepage_(codepage) {}
  std::string ReadEntry(const std::string& section, const std::string& key,
                        const std::string& fallback) override;
  bool WriteEntry(const std::string& section, const std::string& key,
                  const std::string& value) override;
  // No window on the host listens for it.
  void BroadcastChange(const std::string& /*section*/) override {}
  void InternetSettingsChanged() override {}

  static std::string SectionKey(const std::string& section);

 private:
  Registry& registry_;
  const CodePage& codepage_;
};

}  // namespace netvane::platform
