// The location record, the adapter and active-location tables, and the connection kinds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace netvane::store {

struct ProxySettings {
  bool AllProtocolSameProxy = false;
  std::string DefaultAddress;
  std::string DefaultPort;
  std::string HTTPAddress;
  std::string HTTPPort;
  std::string SecureAddress;
  std::string SecurePort;
  std::string FTPAddress;
  std::string FTPPort;
  std::string GopherAddress;
  std::string GopherPort;
  std::string SocksAddress;
  std::string SocksPort;

  bool operator==(const ProxySettings&) const = default;
};

// What identifies the network a location was last applied on, as the location remembers it;
// every field empty when nothing was recorded.
struct NetworkPrint {
  std::string Gateway;     // the default gateway, dotted
  std::string GatewayMAC;  // its hardware address, "aa:bb:cc:dd:ee:ff"
  std::string DhcpServer;  // the lease's server identifier; empty for a static address
  std::string Prefix;      // the network, "10.1.0.0/16"
  bool empty() const {
    return Gateway.empty() && GatewayMAC.empty() && DhcpServer.empty() && Prefix.empty();
  }
  bool operator==(const NetworkPrint&) const = default;
};

struct LocationRecord {
  int16_t LocationId = -1;
  std::string SessionName;
  std::string NIC_NAME;
  std::string NIC_ID;
  bool SessionActive = false;
  std::string ServiceType;
  std::string ExecutePath;
  std::string IPAddress;
  std::string SubnetMask;
  std::string Gateway;
  std::string DNS;
  double Lease = 0;
  bool UseProxy = false;
  bool IENC_SameProxy = false;
  bool UseIEProxy = false;
  bool UseNCProxy = false;
  ProxySettings IEProxy;
  ProxySettings NCProxy;
  bool UseWinNetwork = false;
  std::string DefaultPrinter;
  // Values of our own beside the others (older builds pass them by).
  NetworkPrint Network;
  bool ApplyWhenRecognised = false;

  bool operator==(const LocationRecord&) const = default;
};

// One installed adapter: its description and the identifier locations store in NIC_ID.
struct AdapterEntry {
  std::string Description;
  std::string AdapterId;

  bool operator==(const AdapterEntry&) const = default;
};

// Which location is active on the adapter of the same index in the adapter table.
struct ActiveLocationEntry {
  int16_t AdapterIndex = 0;
  std::string AdapterId;
  int16_t ActiveLocationIndex = -1;
  int16_t ActiveLocationId = -1;
};

using LocationTable = std::vector<LocationRecord>;
using AdapterTable = std::vector<AdapterEntry>;
using ActiveLocationTable = std::vector<ActiveLocationEntry>;

// Connection kinds (ServiceType keys).
inline constexpr std::string_view kUseDhcp = "USE_DHCP";
inline constexpr std::string_view kUseStaticIp = "USE_STATIC_IP";
inline constexpr std::string_view kUseCableModem = "USE_CABLE_MODEM";
inline constexpr std::string_view kUseKtAdsl = "USE_KT_ADSL";
inline constexpr std::string_view kUseHanaroInModem = "USE_HANARO_IN_MODEM";
inline constexpr std::string_view kUseHanaroUsbModem = "USE_HANARO_USB_MODEM";
inline constexpr std::string_view kUseHanaroOutPppModem = "USE_HANARO_OUT_PPP_MODEM";
inline constexpr std::string_view kUseHanaroOutRasModem = "USE_HANARO_OUT_RAS_MODEM";

// The kinds that store TCP/IP values (and a Lease stamp).
bool CarriesTcpIp(std::string_view service_type);

// The highest Lease stamp; the NextLease counter wraps to it.
inline constexpr double kMaxLease = 16777215;

// Flags are stored as text and read as true exactly when their upper-case text is "YES".
bool FlagFromText(std::string_view text);

// Upper case of the ASCII letters (identifiers, keys and flags are compared this way).
std::string AsciiUpper(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

void ClearLocationRecord(LocationRecord& record);
// Index of the first entry with this id, or -1.
int FindLocationIndex(const LocationTable& table, int16_t id);
// Rebuilds the active table from the adapters and the locations' active marks; with no
// adapter the table is left as it is.
void BuildActiveLocationTable(const AdapterTable& adapters, const LocationTable& locations,
                              ActiveLocationTable& active);
// The largest LocationId of the table, or 0.
int16_t HighestLocationIdOf(const LocationTable& table);

}  // namespace netvane::store
