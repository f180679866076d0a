#include "store/settings.h"

#include <cmath>
#include <cstdio>

#include "platform/platform_error.h"
#include "platform/text.h"
#include "store/location.h"
#include "store/numbers.h"

namespace netvane::store {
namespace {

using platform::kErrorSuccess;
constexpr RegHandle kRoot = platform::kHkeyLocalMachine;

std::string LeaseText(double lease) { return std::to_string(std::llround(lease)); }

}  // namespace

std::string AutoStartProgram(std::string_view program_path) {
  // The folder always ends in exactly one separator: the program's folder plus one, or a
  // root folder (C:\ or /) that has it already.
  const size_t sep = program_path.find_last_of("\\/");
  const std::string_view folder =
      sep == std::string_view::npos ? std::string_view() : program_path.substr(0, sep + 1);
  std::string_view file =
      sep == std::string_view::npos ? program_path : program_path.substr(sep + 1);
  const size_t dot = file.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) file = file.substr(0, dot);
  return std::string(folder) + std::string(file) + ".exe";
}

std::string AutoStartEntryText(std::string_view program_path) {
  return "\"" + AutoStartProgram(program_path) + "\"";
}

std::string SettingsStore::KeepLogonTask(bool starts) {
  if (tasks_ == nullptr) return std::string();
  const std::string name(kAutoStartValue);
  try {
    if (starts) {
      // The same program and arguments (none) as the Run value.
      tasks_->Register(name, AutoStartProgram(program_path_), std::string());
    } else {
      tasks_->Remove(name);
    }
  } catch (const platform::PlatformError& e) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<uint32_t>(e.number()));
    return std::string(starts ? "Netvane 2.0 could not be registered with the Task Scheduler to "
                                "start when you log on."
                              : "Netvane 2.0 could not be removed from the Task Scheduler: it may "
                                "still start when you log on.") +
           "\r\nError Number : " + number + "\r\nError Description : " + e.description();
  }
  return std::string();
}

std::string SettingsStore::LoadSettings(Settings& s) {
  std::string problem;
  if (reg_.OpenKeyCheck(kRoot, kProgramKeyPath) != kErrorSuccess) {
    reg_.CreateKey(kRoot, kProgramKeyPath);
    reg_.WriteValue(kRoot, kProgramKeyPath, "IsNoticeView", "YES");
    reg_.WriteValue(kRoot, kProgramKeyPath, "IsStartProgram", "NO");
    reg_.WriteValue(kRoot, kProgramKeyPath, "NextLease", LeaseText(kMaxLease));
    s.IsNoticeView = true;
    s.IsStartProgram = false;
    s.NextLease = kMaxLease;
    return problem;
  }

  const ReadResult notice = reg_.ReadValue(kRoot, kProgramKeyPath, "IsNoticeView");
  if (notice.code != kErrorSuccess) {
    reg_.WriteValue(kRoot, kProgramKeyPath, "IsNoticeView", "YES");
    s.IsNoticeView = true;
  } else {
    s.IsNoticeView = FlagFromText(notice.text);
  }

  const ReadResult start = reg_.ReadValue(kRoot, kProgramKeyPath, "IsStartProgram");
  if (start.code != kErrorSuccess) {
    reg_.WriteValue(kRoot, kProgramKeyPath, "IsStartProgram", "NO");
    s.IsStartProgram = false;
  } else {
    s.IsStartProgram = FlagFromText(start.text);
    if (s.IsStartProgram) {
      const ReadResult entry = reg_.ReadValue(kRoot, kRunKeyPath, kAutoStartValue);
      if (entry.code != kErrorSuccess) {
        // The stored setting stays; only this run starts with the box clear, and so nothing
        // starts the program at logon.
        s.IsStartProgram = false;
        problem = KeepLogonTask(false);
      } else {
        const std::string wanted = AutoStartEntryText(program_path_);
        if (platform::TrimSpaces(entry.text) != wanted) {
          reg_.WriteValue(kRoot, kRunKeyPath, kAutoStartValue, wanted);
        }
        // Also where an older build wrote only the Run value, or the program has moved.
        problem = KeepLogonTask(true);
      }
    }
  }

  const ReadResult lease = reg_.ReadValue(kRoot, kProgramKeyPath, "NextLease");
  int64_t next = 0;
  if (lease.code == kErrorSuccess &&
      ParseWholeNumber(lease.text, 0, static_cast<int64_t>(kMaxLease), &next)) {
    s.NextLease = static_cast<double>(next);
  } else {
    s.NextLease = kMaxLease;
    reg_.WriteValue(kRoot, kProgramKeyPath, "NextLease", LeaseText(kMaxLease));
  }
  return problem;
}

std::string SettingsStore::StartProgramClicked(bool enabled, Settings& s) {
  if (!enabled) return std::string();
  if (s.IsStartProgram) {
    s.IsStartProgram = false;
    reg_.WriteValue(kRoot, kProgramKeyPath, "IsStartProgram", "NO");
    reg_.DeleteValue(kRoot, kRunKeyPath, kAutoStartValue);
  } else {
    s.IsStartProgram = true;
    reg_.WriteValue(kRoot, kProgramKeyPath, "IsStartProgram", "YES");
    // Windows always has the Run key; a fresh registry elsewhere may not.
    reg_.CreateKey(kRoot, kRunKeyPath);
    reg_.WriteValue(kRoot, kRunKeyPath, kAutoStartValue, AutoStartEntryText(program_path_));
  }
  return KeepLogonTask(s.IsStartProgram);
}

void SettingsStore::CountDownNextLease(Settings& s) {
  s.NextLease -= 1;
  if (s.NextLease < 0) s.NextLease = kMaxLease;
  reg_.WriteValue(kRoot, kProgramKeyPath, "NextLease", LeaseText(s.NextLease));
}

void SettingsStore::WriteNoticeView(bool show, Settings& s) {
  reg_.WriteValue(kRoot, kProgramKeyPath, "IsNoticeView", show ? "YES" : "NO");
  s.IsNoticeView = show;
}

bool SettingsStore::CountActivation() {
  const ReadResult count = reg_.ReadValue(kRoot, kProgramKeyPath, "UpdateCheck");
  int64_t n = 0;
  // Text that is not a count is taken as missing.
  if (count.code != kErrorSuccess || !ParseWholeNumber(count.text, 0, INT32_MAX, &n)) {
    reg_.WriteValue(kRoot, kProgramKeyPath, "UpdateCheck", "0");
    return false;
  }
  if (n < kUpdateCheckLimit) {
    reg_.WriteValue(kRoot, kProgramKeyPath, "UpdateCheck", std::to_string(n + 1));
    return false;
  }
  reg_.WriteValue(kRoot, kProgramKeyPath, "UpdateCheck", "0");
  return true;
}

}  // namespace netvane::store
