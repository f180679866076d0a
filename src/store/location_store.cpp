#include "store/location_store.h"

#include <cmath>

#include "platform/registry_tree.h"
#include "platform/text.h"
#include "store/numbers.h"

namespace netvane::store {
namespace {

using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;

constexpr RegHandle kRoot = kHkeyLocalMachine;

const char* YesNo(bool flag) { return flag ? "Yes" : "No"; }

}  // namespace

std::string LocationKeyPath(int16_t id) {
  return JoinKeyPath(kSessionInfoPath, std::to_string(id));
}

bool ParseLocationKeyName(std::string_view name, int16_t* id) {
  if (name.empty() || name.size() > 5 || name[0] == '0') return false;
  int value = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 32767) return false;
  *id = static_cast<int16_t>(value);
  return true;
}

void LocationStore::ReadProxy(const std::string& key, ProxySettings& p) {
  const ValueList list = reg_.EnumValues(kRoot, key);
  for (int i = 0; i < list.count(); ++i) {
    const std::string name = AsciiUpper(list.names[i]);
    const std::string& text = list.values[i];
    if (name == "ALLPROTOCOLSAMEPROXY")
      p.AllProtocolSameProxy = FlagFromText(text);
    else if (name == "DEFAULTADDRESS")
      p.DefaultAddress = text;
    else if (name == "DEFAULTPORT")
      p.DefaultPort = text;
    else if (name == "HTTPADDRESS")
      p.HTTPAddress = text;
    else if (name == "HTTPPORT")
      p.HTTPPort = text;
    else if (name == "SECUREADDRESS")
      p.SecureAddress = text;
    else if (name == "SECUREPORT")
      p.SecurePort = text;
    else if (name == "FTPADDRESS")
      p.FTPAddress = text;
    else if (name == "FTPPORT")
      p.FTPPort = text;
    else if (name == "GOPHERADDRESS")
      p.GopherAddress = text;
    else if (name == "GOPHERPORT")
      p.GopherPort = text;
    else if (name == "SOCKSADDRESS")
      p.SocksAddress = text;
    else if (name == "SOCKSPORT")
      p.SocksPort = text;
  }
}

void LocationStore::ReadMain(const std::string& key, LocationRecord& r) {
  const ValueList main = reg_.EnumValues(kRoot, key);
  for (int i = 0; i < main.count(); ++i) {
    const std::string name = AsciiUpper(main.names[i]);
    const std::string& text = main.values[i];
    if (name == "SESSIONNAME")
      r.SessionName = text;
    else if (name == "NIC_ID")
      r.NIC_ID = text;
    else if (name == "NIC_NAME")
      r.NIC_NAME = text;
    else if (name == "SESSIONACTIVE")
      r.SessionActive = FlagFromText(text);
    else if (name == "SERVICETYPE")
      r.ServiceType = AsciiUpper(text);
    else if (name == "EXECUTEPATH")
      r.ExecutePath = text;
    else if (name == "USEPROXY")
      r.UseProxy = FlagFromText(text);
    else if (name == "USEWINNETWORK")
      r.UseWinNetwork = FlagFromText(text);
    else if (name == "NETWORKGATEWAY")
      r.Network.Gateway = text;
    else if (name == "NETWORKGATEWAYMAC")
      r.Network.GatewayMAC = text;
    else if (name == "NETWORKDHCPSERVER")
      r.Network.DhcpServer = text;
    else if (name == "NETWORKPREFIX")
      r.Network.Prefix = text;
    else if (name == "APPLYWHENRECOGNISED")
      r.ApplyWhenRecognised = FlagFromText(text);
  }
}

void LocationStore::ReadTcpIp(const std::string& key, LocationRecord& r) {
  const ValueList tcp = reg_.EnumValues(kRoot, JoinKeyPath(key, "TCP/IP"));
  for (int i = 0; i < tcp.count(); ++i) {
    const std::string name = AsciiUpper(tcp.names[i]);
    const std::string& text = tcp.values[i];
    if (name == "IPADDRESS")
      r.IPAddress = text;
    else if (name == "SUBNETMASK")
      r.SubnetMask = text;
    else if (name == "GATEWAY")
      r.Gateway = text;
    else if (name == "DNS")
      r.DNS = text;
    else if (name == "LEASE") {
      // Only the stamps the program writes make sense; anything else reads as 0.
      int64_t lease = 0;
      r.Lease = ParseWholeNumber(text, 0, static_cast<int64_t>(kMaxLease), &lease)
                    ? static_cast<double>(lease)
                    : 0;
    }
  }
}

void LocationStore::ReadProxies(const std::string& key, LocationRecord& r) {
  const std::string proxy_key = JoinKeyPath(key, "Proxy");
  const ValueList proxy = reg_.EnumValues(kRoot, proxy_key);
  if (proxy.code != kErrorSuccess) return;
  for (int i = 0; i < proxy.count(); ++i) {
    const std::string name = AsciiUpper(proxy.names[i]);
    if (name == "IE/NC_SAMEPROXY")
      r.IENC_SameProxy = FlagFromText(proxy.values[i]);
    else if (name == "USEIEPROXY")
      r.UseIEProxy = FlagFromText(proxy.values[i]);
    else if (name == "USENCPROXY")
      r.UseNCProxy = FlagFromText(proxy.values[i]);
  }
  if (r.IENC_SameProxy || r.UseIEProxy) ReadProxy(JoinKeyPath(proxy_key, "IEProxy"), r.IEProxy);
  if (!r.IENC_SameProxy && r.UseNCProxy) ReadProxy(JoinKeyPath(proxy_key, "NCProxy"), r.NCProxy);
}

LocationRecord LocationStore::LoadLocation(int16_t id) {
  platform::RegistryGroup group(reg_.registry(), false);
  LocationRecord r;
  ClearLocationRecord(r);
  r.LocationId = id;
  const std::string key = LocationKeyPath(id);
  ReadMain(key, r);
  if (CarriesTcpIp(r.ServiceType)) ReadTcpIp(key, r);
  if (r.UseProxy) ReadProxies(key, r);
  if (r.UseWinNetwork) {
    const ReadResult printer =
        reg_.ReadValue(kRoot, JoinKeyPath(key, "WinNetwork"), "DefaultPrinter");
    if (printer.code == kErrorSuccess) r.DefaultPrinter = printer.text;
  }
  return r;
}

bool LocationStore::WriteProxy(const std::string& key, const ProxySettings& p) {
  const std::pair<const char*, const std::string*> texts[] = {
      {"DefaultAddress", &p.DefaultAddress}, {"DefaultPort", &p.DefaultPort},
      {"HTTPAddress", &p.HTTPAddress},       {"HTTPPort", &p.HTTPPort},
      {"SecureAddress", &p.SecureAddress},   {"SecurePort", &p.SecurePort},
      {"FTPAddress", &p.FTPAddress},         {"FTPPort", &p.FTPPort},
      {"GopherAddress", &p.GopherAddress},   {"GopherPort", &p.GopherPort},
      {"SocksAddress", &p.SocksAddress},     {"SocksPort", &p.SocksPort},
  };
  if (reg_.CreateKey(kRoot, key) != kErrorSuccess) return false;
  if (reg_.WriteValue(kRoot, key, "AllProtocolSameProxy", YesNo(p.AllProtocolSameProxy)) !=
      kErrorSuccess) {
    return false;
  }
  for (const auto& [name, text] : texts) {
    if (reg_.WriteValue(kRoot, key, name, *text) != kErrorSuccess) return false;
  }
  return true;
}

bool LocationStore::WriteLocation(const std::string& key, const LocationRecord& r) {
  auto write = [&](const std::string& k, const char* name, std::string_view text) {
    return reg_.WriteValue(kRoot, k, name, text) == kErrorSuccess;
  };
  if (reg_.CreateKey(kRoot, key) != kErrorSuccess) return false;
  if (!write(key, "SessionName", r.SessionName) || !write(key, "NIC_ID", r.NIC_ID) ||
      !write(key, "NIC_NAME", r.NIC_NAME) || !write(key, "SessionActive", YesNo(r.SessionActive)) ||
      !write(key, "ServiceType", r.ServiceType) || !write(key, "ExecutePath", r.ExecutePath)) {
    return false;
  }
  if (CarriesTcpIp(r.ServiceType)) {
    const std::string tcp = JoinKeyPath(key, "TCP/IP");
    if (reg_.CreateKey(kRoot, tcp) != kErrorSuccess || !write(tcp, "IPAddress", r.IPAddress) ||
        !write(tcp, "SubnetMask", r.SubnetMask) || !write(tcp, "Gateway", r.Gateway) ||
        !write(tcp, "DNS", r.DNS) || !write(tcp, "Lease", std::to_string(std::llround(r.Lease)))) {
      return false;
    }
  }
  if (!write(key, "UseProxy", YesNo(r.UseProxy))) return false;
  if (r.UseProxy) {
    const std::string proxy = JoinKeyPath(key, "Proxy");
    if (reg_.CreateKey(kRoot, proxy) != kErrorSuccess ||
        !write(proxy, "IE/NC_SameProxy", YesNo(r.IENC_SameProxy)) ||
        !write(proxy, "UseIEProxy", YesNo(r.UseIEProxy)) ||
        !write(proxy, "UseNCProxy", YesNo(r.UseNCProxy))) {
      return false;
    }
    if ((r.IENC_SameProxy || r.UseIEProxy) &&
        !WriteProxy(JoinKeyPath(proxy, "IEProxy"), r.IEProxy)) {
      return false;
    }
    if (!r.IENC_SameProxy && r.UseNCProxy &&
        !WriteProxy(JoinKeyPath(proxy, "NCProxy"), r.NCProxy)) {
      return false;
    }
  }
  if (!write(key, "UseWinNetwork", YesNo(r.UseWinNetwork))) return false;
  // Written only when set, so that a location without them reads back as it always has.
  if (!WriteNetworkPrint(key, r.Network, false)) return false;
  if (r.ApplyWhenRecognised && !write(key, "ApplyWhenRecognised", YesNo(true))) return false;
  if (r.UseWinNetwork) {
    const std::string printer = JoinKeyPath(key, "WinNetwork");
    if (reg_.CreateKey(kRoot, printer) != kErrorSuccess ||
        !write(printer, "DefaultPrinter", r.DefaultPrinter)) {
      return false;
    }
  }
  return true;
}

bool LocationStore::WriteNetworkPrint(const std::string& key, const NetworkPrint& print,
                                      bool replacing) {
  const std::pair<const char*, const std::string*> values[] = {
      {"NetworkGateway", &print.Gateway},
      {"NetworkGatewayMAC", &print.GatewayMAC},
      {"NetworkDhcpServer", &print.DhcpServer},
      {"NetworkPrefix", &print.Prefix},
  };
  for (const auto& [name, text] : values) {
    // A fresh key has nothing to remove.
    if (text->empty() && !replacing) continue;
    const int32_t code = text->empty() ? reg_.DeleteValue(kRoot, key, name)
                                       : reg_.WriteValue(kRoot, key, name, *text);
    if (code != kErrorSuccess && !(text->empty() && code == platform::kErrorFileNotFound)) {
      return false;
    }
  }
  return true;
}

bool LocationStore::SaveNetworkPrint(int16_t id, const NetworkPrint& print) {
  const std::string key = LocationKeyPath(id);
  platform::RegistryGroup group(reg_.registry(), true);
  // A location deleted meanwhile is not brought back by its print.
  if (reg_.OpenKeyCheck(kRoot, key) != kErrorSuccess) return false;
  const bool written = WriteNetworkPrint(key, print, true);
  return group.End() == kErrorSuccess && written;
}

bool LocationStore::SaveLocation(int16_t id, const LocationRecord& record) {
  const std::string key = LocationKeyPath(id);
  const std::string ansi_key = reg_.codepage().ToAnsi(key);
  platform::Registry& raw = reg_.registry();
  // Other processes see the old location or the new one, never a mixture.
  platform::RegistryGroup group(raw, true);

  // Keep the present content, so that a save that fails part-way can put it back. When it
  // cannot be read, nothing is touched.
  platform::KeyTree previous;
  const int32_t read = platform::ReadKeyTree(raw, kRoot, ansi_key, &previous);
  if (read != kErrorSuccess && read != platform::kErrorFileNotFound) return false;
  const bool had_previous = read == kErrorSuccess;

  reg_.DeleteKeyTree(kRoot, key);
  // A tree that could not be removed completely would mix old subkeys into the new record.
  const bool saved =
      reg_.OpenKeyCheck(kRoot, key) == platform::kErrorFileNotFound && WriteLocation(key, record);
  if (!saved) {
    reg_.DeleteKeyTree(kRoot, key);
    if (had_previous) platform::WriteKeyTree(raw, kRoot, ansi_key, previous);
  }
  // When the group cannot be stored, none of it happened and the old content stays.
  return group.End() == kErrorSuccess && saved;
}

int LocationStore::LoadLocations(LocationTable& table) {
  platform::RegistryGroup group(reg_.registry(), false);
  table.clear();
  const KeyList keys = reg_.EnumKeys(kRoot, kSessionInfoPath);
  if (keys.code != kErrorSuccess) return 0;
  table.reserve(keys.names.size());
  for (const std::string& name : keys.names) {
    int16_t id = 0;
    if (ParseLocationKeyName(name, &id)) table.push_back(LoadLocation(id));
  }
  return static_cast<int>(table.size());
}

bool LocationStore::DeleteLocation(int16_t id) {
  platform::RegistryGroup group(reg_.registry(), true);
  const bool deleted = reg_.DeleteKeyTree(kRoot, LocationKeyPath(id)) == kErrorSuccess;
  return group.End() == kErrorSuccess && deleted;
}

bool LocationStore::SetActiveLocation(int16_t id, LocationTable& table,
                                      ActiveLocationTable& active) {
  const int i = FindLocationIndex(table, id);
  if (i < 0) return false;
  const std::string adapter = table[i].NIC_ID;
  platform::RegistryGroup group(reg_.registry(), true);
  if (reg_.WriteValue(kRoot, LocationKeyPath(id), "SessionActive", "YES") != kErrorSuccess) {
    return false;
  }
  std::vector<LocationRecord*> others;
  for (LocationRecord& other : table) {
    if (other.LocationId != id && EqualsIgnoreCase(other.NIC_ID, adapter) && other.SessionActive) {
      // Failing to clear another mark does not stop the activation.
      reg_.WriteValue(kRoot, LocationKeyPath(other.LocationId), "SessionActive", "NO");
      others.push_back(&other);
    }
  }
  if (group.End() != kErrorSuccess) return false;

  table[i].SessionActive = true;
  const std::string wanted = AsciiUpper(adapter);
  for (ActiveLocationEntry& entry : active) {
    if (AsciiUpper(platform::TrimSpaces(entry.AdapterId)) == wanted) {
      entry.ActiveLocationId = id;
      entry.ActiveLocationIndex = static_cast<int16_t>(i);
    }
  }
  for (LocationRecord* other : others) other->SessionActive = false;
  return true;
}

}  // namespace netvane::store
