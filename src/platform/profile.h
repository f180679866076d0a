// The Windows profile (the "windows" and "PrinterPorts" sections of the system's settings)
// and the broadcasts that tell running programs a setting changed. Text is the program's own
// (UTF-8).
#pragma once

#include <string>

namespace netvane::platform {

class Profile {
 public:
  virtual ~Profile() = default;
  // GetProfileStringA into a buffer of 1024 characters: the entry, or `fallback` when the
  // section has no such entry.
  virtual std::string ReadEntry(const std::string& section, const std::string& key,
                                const std::string& fallback) = 0;
  // WriteProfileStringA.
  virtual bool WriteEntry(const std::string& section, const std::string& key,
                          const std::string& value) = 0;
  // WM_WININICHANGE to all top-level windows, lParam naming the section.
  virtual void BroadcastChange(const std::string& section) = 0;
  // Tells the running programs that the user's Internet Settings (the proxy) changed, as the
  // system's own settings pages do: InternetSetOption with INTERNET_OPTION_SETTINGS_CHANGED,
  // then INTERNET_OPTION_REFRESH.
  virtual void InternetSettingsChanged() = 0;
};

}  // namespace netvane::platform
