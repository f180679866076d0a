// Program settings under HKEY_LOCAL_MACHINE\Software\Orlenta\Netvane 2.0, the auto-start
// entry "Netvane 2.0" of SOFTWARE\Microsoft\Windows\CurrentVersion\Run, and the logon task of
// the same name beside it.
#pragma once

#include <string>
#include <string_view>

#include "platform/logon_task.h"
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

// The program the auto-start entry starts: the program's folder, a separator (unless the folder
// ends with one), its file name without extension and ".exe".
std::string AutoStartProgram(std::string_view program_path);
// The auto-start entry for the program at `program_path`: AutoStartProgram in double quotes.
std::string AutoStartEntryText(std::string_view program_path);

class SettingsStore {
 public:
  // `tasks` keeps the logon task (the Run value alone starts nothing elevated under user
  // account control); null: the Run value only.
  SettingsStore(RegistryAccess& registry, std::string program_path,
                platform::LogonTask* tasks = nullptr)
      : reg_(registry), program_path_(std::move(program_path)), tasks_(tasks) {}

  // Reads the settings at start-up, creating the program key with its defaults on the first
  // run and repairing an auto-start entry that points elsewhere (and its logon task). Returns
  // what the user must be told of a logon task that could not be kept, or nothing.
  std::string LoadSettings(Settings& settings);

  // The auto-start check box was clicked; `enabled` is the check box's enabled state, so that
  // setting its state while it is disabled is not taken as the user's click. Writes the setting
  // and the Run value, registers or removes the logon task, and returns what the user must be
  // told of a task that could not be kept, or nothing.
  std::string StartProgramClicked(bool enabled, Settings& settings);

  // After a location was saved with Lease = NextLease: count down, wrapping below 0 to
  // 16777215, and write the new value.
  void CountDownNextLease(Settings& settings);

  // The notice dialog's setting.
  void WriteNoticeView(bool show, Settings& settings);

  // The update-check counter, kept on every activation of the main window. Returns whether
  // the update is due (the count had reached its limit).
  bool CountActivation();

 private:
  std::string KeepLogonTask(bool starts);

  RegistryAccess& reg_;
  std::string program_path_;
  platform::LogonTask* tasks_;
};

}  // namespace netvane::store
