// Everything the engine has other programs do: system tools run hidden and waited for,
// DHCP leases released and renewed, the DHCP filter switched through NVEFilter, and a
// location's connection program started through the shell.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/app_state.h"
#include "engine/front_end.h"
#include "platform/platform.h"
#include "store/registry_access.h"

namespace netvane::engine {

inline constexpr std::string_view kNetClassPath = "System\\CurrentControlSet\\Services\\Class\\Net";

inline constexpr uint32_t kWaitSliceMs = 10;

class ExternalPrograms {
 public:
  ExternalPrograms(platform::Platform& platform, store::RegistryAccess& registry,
                   const AppState& state, FrontEnd& front_end)
      : platform_(platform), registry_(registry), state_(state), front_end_(front_end) {}

  // The program's folder, ending in exactly one separator.
  std::string ProgramDirectory() const;

  // Starts the command line hidden and waits for it without a time limit, letting the front
  // end's pending events run at least every kWaitSliceMs meanwhile. A program that cannot be
  // started raises PlatformError.
  void RunHiddenAndWait(const std::string& command_line);

  // Releases the adapter's lease (waited for) and, unless `release_only`, starts the renew
  // without waiting. `start_poll` switches the DHCP filter on first (Windows 98, ME) and
  // starts the bind poll after the renew. Windows 98 and ME address the adapter by its
  // number in the adapter table, NT 4 and 2000 by its identifier.
  void ReleaseRenew(const std::string& adapter_id, bool release_only, bool start_poll);
  // The renew started last (its process), or 0; taken by whoever waits for its lease.
  uint32_t TakeRenew() { return std::exchange(renew_, 0); }

  // Starts NVEFilter for every network class instance, hidden and not waited for.
  void LoadDHCPFilter();
  void UnloadDHCPFilter();
  // Waits, letting the front end's events run, until the filter switches started last have
  // ended, so that what follows finds the filter in its new state.
  void WaitForFilterSwitch();

  // Invokes the default verb of the program at `path`; false, without an error, for a path
  // of blanks only. Shell errors are raised as PlatformError.
  bool LaunchProgram(const std::string& path);
  // LaunchProgram with its failure shown: "Error in executing the internet connecting
  // program." with the error's number, description and source.
  void LaunchProgramReportingFailure(const std::string& path);

 private:
  void SwitchFilter(char letter);
  void WaitLettingEventsRun(uint32_t pid);

  platform::Platform& platform_;
  store::RegistryAccess& registry_;
  const AppState& state_;
  FrontEnd& front_end_;
  std::vector<uint32_t> filter_switches_;
  uint32_t renew_ = 0;
};

}  // namespace netvane::engine
