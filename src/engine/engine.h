// The configuration engine: applies a stored location to the system on every Windows family
// (the network part, the browser proxy and the default printer) and recognises whether the
// system took it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/app_state.h"
#include "engine/dhcp_responder.h"
#include "engine/external_programs.h"
#include "engine/front_end.h"
#include "platform/platform.h"
#include "store/location.h"
#include "store/registry_access.h"

namespace netvane::engine {

inline constexpr char kBindSucceeded[] = "Network environment is successfully established.";
inline constexpr char kBindFailed[] =
    "Troubles occurred in binding selected location data to your system.";
inline constexpr std::string_view kInternetSettingsPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr std::string_view kTcpipInterfacesPath =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
inline constexpr std::string_view kVxdDhcpPath = "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP";
// Where Windows keeps each network adapter's connection, under the adapter's identifier.
inline constexpr std::string_view kNetworkConnectionsPath =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\";

// What both apply roads do with a connection kind.
enum class ApplyKind {
  kDynamic,            // DHCP or cable modem: the adapter goes back to DHCP and renews
  kDynamicThenLaunch,  // the modem attachments: back to DHCP, released, the program started
  kStatic,             // the location's own address, mask, gateways and DNS servers
  kUnknown,            // changes nothing
};
ApplyKind ClassifyKind(std::string_view kind);

class Engine {
 public:
  Engine(platform::Platform& platform, store::RegistryAccess& registry, AppState& state,
         FrontEnd& front_end)
      : platform_(platform),
        registry_(registry),
        state_(state),
        front_end_(front_end),
        programs_(platform, registry, state, front_end),
        responder_(state, front_end) {}

  // The single entry: the network part by Windows family, then proxy and printer.
  void ApplyLocation(int16_t location_id);

  // Windows 2000: netsh and ipconfig, and for a static location the read-back.
  void ApplyNetworkNetsh(int16_t location_id);
  // Windows 98, ME and NT 4: the adapter stays on DHCP; a static location is served by the
  // local responder and recognised later by the bind poll.
  void ApplyNetworkLegacy(int16_t location_id);
  // Whether the system's DHCP binding now carries the location (address and Lease stamp).
  bool CheckBinding(int16_t location_id);

  // The current user's Internet Explorer proxy from the location.
  void ApplyBrowserProxy(const store::LocationRecord& location);
  // Makes the named printer the Windows default, when the profile knows its driver and port.
  void SetDefaultPrinter(const std::string& name);
  void WriteDefaultPrinter(const std::string& name, const std::string& driver,
                           const std::string& port);

  // ResponderConfig for a static location.
  void PrepareResponder(const store::LocationRecord& location);

  ExternalPrograms& programs() { return programs_; }
  DhcpResponder& responder() { return responder_; }
  // Whether the last apply's read-back found the system without the location's values.
  bool ReadBackFailed() const { return read_back_failed_; }

 private:
  const store::LocationRecord* Find(int16_t location_id) const;
  // What both roads open with: busy pointer, pending events, the location and the responder's
  // endpoint closed. Nothing (and the commands back) for a location that is not loaded.
  std::optional<store::LocationRecord> BeginApply(int16_t location_id);
  // The end of an apply that has nothing more to do: normal pointer, commands back.
  void Finish();
  // The same the other way round, as the renewing and static applies have always ended.
  void FinishCommandsFirst();
  // A modem attachment's end: release, its connection program, the end.
  void ReleaseAndLaunch(const store::LocationRecord& r);
  // The PPP modem attachment's connection program after its static values.
  void LaunchAfterStatic(const store::LocationRecord& r);
  // netsh sets the static values, and the read-back says whether they were taken.
  void ApplyStaticNetsh(const store::LocationRecord& r);
  std::string ReadNormalised(const std::string& key, const char* name);
  // How netsh is told the adapter, quoted: the identifier; on Windows Vista and later the
  // connection's name, which is what netsh documents there.
  std::string NetshName(const std::string& nic_id);

  platform::Platform& platform_;
  store::RegistryAccess& registry_;
  AppState& state_;
  FrontEnd& front_end_;
  ExternalPrograms programs_;
  DhcpResponder responder_;
  bool read_back_failed_ = false;
};

// The PrinterPorts entry DRIVER,PORT,...: the driver before the first comma and the port
// between the first and the second; what is missing stays empty.
void SplitPrinterPorts(const std::string& entry, std::string* driver, std::string* port);

// The proxy server list Internet Explorer reads, for a location that uses a proxy.
std::string ProxyServerList(const store::ProxySettings& proxy);

}  // namespace netvane::engine
