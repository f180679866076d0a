#include "engine/engine.h"

#include "engine/address.h"
#include "engine/windows_family.h"
#include "platform/text.h"
#include "store/location_store.h"

namespace netvane::engine {
namespace {

using platform::kErrorSuccess;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string DeleteDnsCommand(const std::string& name) {
  return "netsh interface ip delete dns " + name + " all";
}

// Back to DHCP, as each kind has always spelled it. The cable and Hanaro modems send two blanks
// before source=dhcp: netsh reads them as one, and the command lines stay exactly as every
// build has sent them.
std::string DynamicAddressCommand(const std::string& name, std::string_view kind) {
  const std::string set_address = "netsh interface ip set address " + name;
  if (kind == store::kUseDhcp) return set_address + " source=dhcp";
  if (kind == store::kUseKtAdsl) return set_address + " dynamic";
  return set_address + "  source=dhcp";
}

// The last six characters of a text (all of it when shorter).
std::string LastSix(const std::string& text) {
  return text.size() > 6 ? text.substr(text.size() - 6) : text;
}

bool IsHex(const std::string& text) {
  return text.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

}  // namespace

ApplyKind ClassifyKind(std::string_view kind) {
  if (kind == store::kUseDhcp || kind == store::kUseCableModem) return ApplyKind::kDynamic;
  if (kind == store::kUseKtAdsl || kind == store::kUseHanaroInModem ||
      kind == store::kUseHanaroUsbModem || kind == store::kUseHanaroOutRasModem) {
    return ApplyKind::kDynamicThenLaunch;
  }
  return store::CarriesTcpIp(kind) ? ApplyKind::kStatic : ApplyKind::kUnknown;
}

const store::LocationRecord* Engine::Find(int16_t location_id) const {
  const int i = store::FindLocationIndex(state_.LocationTable, location_id);
  return i < 0 ? nullptr : &state_.LocationTable[static_cast<size_t>(i)];
}

void Engine::Finish() {
  front_end_.SetBusyPointer(false);
  front_end_.SetCommandsEnabled(true);
}

void Engine::ApplyLocation(int16_t location_id) {
  read_back_failed_ = false;
  front_end_.SetBusyPointer(true);
  front_end_.LetPendingEventsRun();
  const store::LocationRecord* found = Find(location_id);
  // A location that is not loaded has nothing to apply; the commands must come back.
  if (found == nullptr) {
    Finish();
    return;
  }
  const store::LocationRecord location = *found;
  switch (state_.OSKind) {
    case kOsWin98:
    case kOsWinMe:
    case kOsWinNt4:
      ApplyNetworkLegacy(location_id);
      break;
    case kOsWin2000:
      ApplyNetworkNetsh(location_id);
      break;
    default:
      Finish();
      break;
  }
  ApplyBrowserProxy(location);
  if (location.UseWinNetwork) SetDefaultPrinter(location.DefaultPrinter);
}

std::string Engine::ReadNormalised(const std::string& key, const char* name) {
  const store::ReadResult r = registry_.ReadValue(kHkeyLocalMachine, key, name);
  std::string text = r.code == kErrorSuccess ? r.text : std::string();
  for (char& c : text) {
    if (c == '\0') c = ',';
  }
  text = std::string(platform::TrimSpaces(text));
  if (!text.empty() && text.back() == ',') text.pop_back();
  return text;
}

std::string Engine::NetshName(const std::string& nic_id) {
  const platform::OsVersion v = platform_.winver.Reported();
  if (v.platform_id == platform::kPlatformWin32Nt && v.major >= 6 &&
      nic_id.find('\\') == std::string::npos) {
    const store::ReadResult r = registry_.ReadValue(
        kHkeyLocalMachine, std::string(kNetworkConnectionsPath) + nic_id + "\\Connection", "Name");
    // A quote would end the argument early; '?' stands for what the ANSI code page lacks.
    if (r.code == kErrorSuccess && !platform::TrimSpaces(r.text).empty() &&
        r.text.find_first_of("\"?") == std::string::npos) {
      return Quoted(r.text);
    }
  }
  return Quoted(nic_id);
}

std::optional<store::LocationRecord> Engine::BeginApply(int16_t location_id) {
  front_end_.SetBusyPointer(true);
  front_end_.LetPendingEventsRun();
  const store::LocationRecord* found = Find(location_id);
  if (found == nullptr) {
    Finish();
    return std::nullopt;
  }
  // A copy: the programs an apply starts let events run, and those may reload the table.
  std::optional<store::LocationRecord> location = *found;
  CloseUdpEndpoint(front_end_.MyWinsock());
  return location;
}

void Engine::FinishCommandsFirst() {
  front_end_.SetCommandsEnabled(true);
  front_end_.SetBusyPointer(false);
}

void Engine::ReleaseAndLaunch(const store::LocationRecord& r) {
  programs_.ReleaseRenew(r.NIC_ID, true, false);
  if (!r.ExecutePath.empty()) programs_.LaunchProgramReportingFailure(r.ExecutePath);
  Finish();
}

void Engine::LaunchAfterStatic(const store::LocationRecord& r) {
  if (r.ServiceType == store::kUseHanaroOutPppModem && !r.ExecutePath.empty()) {
    programs_.LaunchProgramReportingFailure(r.ExecutePath);
  }
}

void Engine::ApplyNetworkNetsh(int16_t location_id) {
  const std::optional<store::LocationRecord> r = BeginApply(location_id);
  if (!r) return;
  const std::string name = NetshName(r->NIC_ID);
  switch (ClassifyKind(r->ServiceType)) {
    case ApplyKind::kDynamic:
      programs_.RunHiddenAndWait(DeleteDnsCommand(name));
      programs_.RunHiddenAndWait(DynamicAddressCommand(name, r->ServiceType));
      programs_.ReleaseRenew(r->NIC_ID, false, false);
      FinishCommandsFirst();
      break;
    case ApplyKind::kDynamicThenLaunch:
      programs_.RunHiddenAndWait(DeleteDnsCommand(name));
      programs_.RunHiddenAndWait(DynamicAddressCommand(name, r->ServiceType));
      ReleaseAndLaunch(*r);
      break;
    case ApplyKind::kStatic:
      ApplyStaticNetsh(*r);
      break;
    case ApplyKind::kUnknown:
      // Nothing changes, but the commands must not stay disabled.
      Finish();
      break;
  }
}

void Engine::ApplyStaticNetsh(const store::LocationRecord& r) {
  const std::string name = NetshName(r.NIC_ID);
  programs_.RunHiddenAndWait("netsh interface ip set address " + name + " static " + r.IPAddress +
                             " " + r.SubnetMask);
  programs_.RunHiddenAndWait("netsh interface ip delete address " + name + " gateway=all");
  std::vector<Octets> rows;
  if (ParseAddressList(r.Gateway, &rows) > 0) {
    for (size_t i = 0; i < rows.size(); ++i) {
      programs_.RunHiddenAndWait("netsh interface ip add address " + name + " gateway=" +
                                 DottedQuad(rows[i]) + " gwmetric=" + std::to_string(i + 1));
    }
  }
  programs_.RunHiddenAndWait(DeleteDnsCommand(name));
  if (ParseAddressList(r.DNS, &rows) > 0) {
    for (size_t i = 0; i < rows.size(); ++i) {
      programs_.RunHiddenAndWait("netsh interface ip add dns " + name + " " + DottedQuad(rows[i]) +
                                 " index=" + std::to_string(i + 1));
    }
  }

  const std::string key = std::string(kTcpipInterfacesPath) + r.NIC_ID;
  const bool taken = ReadNormalised(key, "IPAddress") == r.IPAddress &&
                     ReadNormalised(key, "SubnetMask") == r.SubnetMask &&
                     ReadNormalised(key, "DefaultGateway") == r.Gateway;
  read_back_failed_ = !taken;
  front_end_.Prompt().Show(taken ? kBindSucceeded : kBindFailed, PromptIcon::kInformation,
                           PromptButtons::kOk);
  LaunchAfterStatic(r);
  FinishCommandsFirst();
}

void Engine::PrepareResponder(const store::LocationRecord& r) {
  ResponderConfig config;
  Octets octets;
  if (ParseAddress(r.IPAddress, &octets)) {
    for (size_t i = 0; i < 4; ++i) config.address[i] = std::to_string(octets[i]);
  }
  if (ParseAddress(r.SubnetMask, &octets)) {
    for (size_t i = 0; i < 4; ++i) config.mask[i] = std::to_string(octets[i]);
  }
  config.gateway_count = ParseAddressList(r.Gateway, &config.gateways);
  config.dns_count = ParseAddressList(r.DNS, &config.dns);
  const std::string hex = LastSix("000000" + NumberToHex(r.Lease));
  config.lease[0] = 255;
  for (size_t i = 0; i < 3; ++i) {
    config.lease[i + 1] = static_cast<uint8_t>(HexToNumber(hex.substr(2 * i, 2)));
  }
  state_.Responder = config;
}

void Engine::ApplyNetworkLegacy(int16_t location_id) {
  const std::optional<store::LocationRecord> r = BeginApply(location_id);
  if (!r) return;
  switch (ClassifyKind(r->ServiceType)) {
    case ApplyKind::kDynamic:
      programs_.ReleaseRenew(r->NIC_ID, false, false);
      FinishCommandsFirst();
      break;
    case ApplyKind::kDynamicThenLaunch:
      ReleaseAndLaunch(*r);
      break;
    case ApplyKind::kStatic:
      // The poll that the renew starts re-enables the commands when it ends.
      PrepareResponder(*r);
      OpenUdpEndpoint(front_end_, front_end_.MyWinsock(), responder_.client_host,
                      responder_.client_port, responder_.server_port);
      programs_.ReleaseRenew(r->NIC_ID, false, true);
      LaunchAfterStatic(*r);
      break;
    case ApplyKind::kUnknown:
      Finish();
      break;
  }
}

bool Engine::CheckBinding(int16_t location_id) {
  const store::LocationRecord* found = Find(location_id);
  if (found == nullptr) return false;
  const store::LocationRecord& r = *found;
  const int32_t os = state_.OSKind;

  if (os == kOsWin98 || os == kOsWinMe) {
    const store::KeyList bindings = registry_.EnumKeys(kHkeyLocalMachine, kVxdDhcpPath);
    for (const std::string& name : bindings.names) {
      const std::string key = store::JoinKeyPath(kVxdDhcpPath, name);
      const store::ReadResult lease = registry_.ReadValue(kHkeyLocalMachine, key, "Lease");
      const store::ReadResult ip = registry_.ReadValue(kHkeyLocalMachine, key, "DHCPIPAddress");
      const std::string d = ip.code == kErrorSuccess ? ip.text : std::string();
      const std::string l = lease.code == kErrorSuccess ? lease.text : std::string();
      // Four bytes in network order, shown last byte first.
      if (d.size() != 8 || !IsHex(d)) continue;
      Octets octets;
      for (size_t i = 0; i < 4; ++i) {
        octets[i] = static_cast<int16_t>(HexToNumber(d.substr(6 - 2 * i, 2)));
      }
      if (DottedQuad(octets) == r.IPAddress && HexToNumber(LastSix(l)) == r.Lease) return true;
    }
    return false;
  }
  if (os != kOsWinNt4 && os != kOsWin2000) return false;
  const std::string key =
      os == kOsWinNt4 ? "SYSTEM\\CurrentControlSet\\Services\\" + r.NIC_ID + "\\Parameters\\Tcpip"
                      : std::string(kTcpipInterfacesPath) + r.NIC_ID;
  const store::ReadResult lease = registry_.ReadValue(kHkeyLocalMachine, key, "Lease");
  const store::ReadResult ip = registry_.ReadValue(kHkeyLocalMachine, key, "DHCPIPAddress");
  if (lease.code != kErrorSuccess || ip.code != kErrorSuccess) return false;
  return ip.text == r.IPAddress && HexToNumber(LastSix(lease.text)) == r.Lease;
}

std::string ProxyServerList(const store::ProxySettings& p) {
  if (p.AllProtocolSameProxy) {
    return p.DefaultAddress + (p.DefaultPort.empty() ? "" : ":" + p.DefaultPort);
  }
  const std::pair<const char*, std::pair<const std::string*, const std::string*>> protocols[] = {
      {"ftp=", {&p.FTPAddress, &p.FTPPort}},       {"gopher=", {&p.GopherAddress, &p.GopherPort}},
      {"http=", {&p.HTTPAddress, &p.HTTPPort}},    {"https=", {&p.SecureAddress, &p.SecurePort}},
      {"socks=", {&p.SocksAddress, &p.SocksPort}},
  };
  std::string list;
  for (const auto& [prefix, server] : protocols) {
    const std::string& address = *server.first;
    const std::string& port = *server.second;
    if (address.empty()) continue;
    list += prefix + address + (port.empty() ? ";" : ":" + port + ";");
  }
  if (!list.empty() && list.back() == ';') list.pop_back();
  return list;
}

void Engine::ApplyBrowserProxy(const store::LocationRecord& r) {
  // Windows always has this key; a fresh registry elsewhere may not.
  registry_.CreateKey(kHkeyCurrentUser, kInternetSettingsPath);
  if (registry_.WriteNumber(kHkeyCurrentUser, kInternetSettingsPath, "ProxyEnable",
                            r.UseProxy ? 1 : 0) != kErrorSuccess) {
    return;
  }
  registry_.WriteValue(kHkeyCurrentUser, kInternetSettingsPath, "ProxyServer",
                       r.UseProxy ? ProxyServerList(r.IEProxy) : std::string());
  // Programs already running keep the proxy they read until they are told.
  platform_.profile.InternetSettingsChanged();
}

void SplitPrinterPorts(const std::string& entry, std::string* driver, std::string* port) {
  driver->clear();
  port->clear();
  const size_t first = entry.find(',');
  if (first == std::string::npos) return;
  *driver = entry.substr(0, first);
  const size_t second = entry.find(',', first + 1);
  if (second != std::string::npos) *port = entry.substr(first + 1, second - first - 1);
}

void Engine::SetDefaultPrinter(const std::string& name) {
  if (name.empty()) return;
  const std::string entry = platform_.profile.ReadEntry("PrinterPorts", name, "");
  std::string driver;
  std::string port;
  SplitPrinterPorts(entry, &driver, &port);
  if (!driver.empty() && !port.empty()) WriteDefaultPrinter(name, driver, port);
}

void Engine::WriteDefaultPrinter(const std::string& name, const std::string& driver,
                                 const std::string& port) {
  platform_.profile.WriteEntry("windows", "Device", name + "," + driver + "," + port);
  platform_.profile.BroadcastChange("windows");
}

}  // namespace netvane::engine
