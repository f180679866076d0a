// Program settings under HKEY_LOCAL_MACHINE\Software\Orlenta\Netvane 2.0 and the auto-start
// entry "Netvane 2.0" of SOFTWARE\Microsoft\Windows\CurrentVersion\Run.
#pragma once

#include <string>
#include <string_view>

#include "store/registry_access.h"

namespace netvane::store {

inline constexpr std::string_view kProgramKeyPath = "Software\\Orlenta\\Netvane 2.0";
inline constexpr std::string_view kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kAutoStartValue = "Netvane 2.0";
// The activation count at which the exit offers the updater.
inline constexpr int64_t kUpdateCheckLimit = 100;

struct Settings {
  bool IsNoticeView = true;
  bool IsStartProgram = false;
  double NextLease = 16777215;
};

// The auto-start entry for the program at `program_path`: the program's folder, a separator
// (unless the folder ends with one), its file name without extension and ".exe", all in
// double quotes.
std::string AutoStartEntryText(std::string_view program_path);

class SettingsStore {
 public:
  SettingsStore(RegistryAccess& registry, std::string program_path)
      : reg_(registry), program_path_(std::move(program_path)) {}

  // Reads the settings at start-up, creating the program key with its defaults on the first
  // run and repairing an auto-start entry that points elsewhere.
  void LoadSettings(Settings& settings);

  // The auto-start check box was clicked; `enabled` is the check box's enabled state, so that
  // setting its state while it is disabled is not taken as the user's click.
  void StartProgramClicked(bool enabled, Settings& settings);

  // After a location was saved with Lease = NextLease: count down, wrapping below 0 to
  // 16777215, and write the new value.
  void CountDownNextLease(Settings& settings);

  // The notice dialog's setting.
  void WriteNoticeView(bool show, Settings& settings);

  // The update-check counter, kept on every activation of the main window. Returns whether
  // the update is due (the count had reached its limit).
  bool CountActivation();

 private:
  RegistryAccess& reg_;
  std::string program_path_;
};

}  // namespace netvane::store
