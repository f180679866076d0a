#include "engine/external_programs.h"

#include "engine/adapters.h"
#include "engine/windows_family.h"
#include "platform/platform_error.h"
#include "platform/text.h"

namespace netvane::engine {

std::string ExternalPrograms::ProgramDirectory() const {
  return platform::ProgramDirectory(platform_.process);
}

void ExternalPrograms::RunHiddenAndWait(const std::string& command_line) {
  WaitLettingEventsRun(platform_.process.Start(command_line, platform::WindowMode::kHidden));
}

void ExternalPrograms::WaitLettingEventsRun(uint32_t pid) {
  // The window keeps answering while the program runs; its commands stay disabled for the
  // whole apply.
  while (!platform_.process.WaitFor(pid, kWaitSliceMs)) front_end_.LetEventsRunWhileWaiting();
}

void ExternalPrograms::ReleaseRenew(const std::string& adapter_id, bool release_only,
                                    bool start_poll) {
  front_end_.LetPendingEventsRun();
  const int32_t os = state_.OSKind;
  if (os == kOsWin95) return;
  if (os == kOsWin98 || os == kOsWinMe) {
    const int n = FindAdapterIndex(state_.AdapterTable, adapter_id);
    RunHiddenAndWait("ipconfig.exe /release " + std::to_string(n));
    if (release_only) return;
    if (start_poll) LoadDHCPFilter();
    const int again = FindAdapterIndex(state_.AdapterTable, adapter_id);
    renew_ = platform_.process.Start("ipconfig.exe /renew " + std::to_string(again),
                                     platform::WindowMode::kHidden);
    if (start_poll) front_end_.StartBindPoll();
    return;
  }
  RunHiddenAndWait("ipconfig.exe /release " + adapter_id);
  if (release_only) return;
  renew_ =
      platform_.process.Start("ipconfig.exe /renew " + adapter_id, platform::WindowMode::kHidden);
  if (start_poll) front_end_.StartBindPoll();
}

void ExternalPrograms::SwitchFilter(char letter) {
  const store::KeyList instances = registry_.EnumKeys(platform::kHkeyLocalMachine, kNetClassPath);
  if (instances.code != platform::kErrorSuccess) return;
  const std::string tool = ProgramDirectory() + "NVEFilter " + letter + " ";
  filter_switches_.clear();
  for (const std::string& name : instances.names) {
    filter_switches_.push_back(platform_.process.Start(
        tool + std::string(platform::TrimSpaces(name)), platform::WindowMode::kHidden));
  }
}

void ExternalPrograms::WaitForFilterSwitch() {
  for (const uint32_t pid : filter_switches_) WaitLettingEventsRun(pid);
  filter_switches_.clear();
}

void ExternalPrograms::LoadDHCPFilter() { SwitchFilter('L'); }

void ExternalPrograms::UnloadDHCPFilter() { SwitchFilter('U'); }

bool ExternalPrograms::LaunchProgram(const std::string& path) {
  if (platform::TrimSpaces(path).empty()) return false;
  const std::string name = platform_.shell.ExistingName(path);
  const std::string folder = path.substr(0, path.size() - name.size());
  platform_.shell.InvokeDefaultVerb(folder, name);
  return true;
}

void ExternalPrograms::LaunchProgramReportingFailure(const std::string& path) {
  bool launched = false;
  int32_t number = 0;
  std::string description;
  std::string source;
  try {
    launched = LaunchProgram(path);
  } catch (const platform::PlatformError& e) {
    number = e.number();
    description = e.description();
    source = e.source();
  }
  if (launched) return;
  front_end_.Prompt().Show("Error in executing the internet connecting program.\r\nError Code : " +
                               std::to_string(number) + "\r\nError Description : " + description +
                               "[" + source + "]",
                           PromptIcon::kNone, PromptButtons::kOk);
}

}  // namespace netvane::engine
