#include "platform/win32/win32_network_probe.h"

// Winsock 2 before windows.h, so the old winsock.h never comes in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/windows_api.h"
// After windows.h, which they rely on.
#include <iphlpapi.h>
#include <netioapi.h>
#include <objbase.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/probe_facts.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_error.h"

namespace netvane::platform {
namespace {

struct AdapterFacts {
  std::string name;  // "{GUID}", as locations name it
  DWORD index = 0;
  bool dhcp = false;
  std::string dhcp_server;
  std::string address;
  std::string mask;
};

std::string FieldText(const char* field, size_t capacity) {
  return std::string(field, strnlen(field, capacity));
}

// The IP Helper's sizing protocol: `fill` writes into `*buffer` (of `*size` bytes) or asks for
// more with `more`. The table may grow between the call that sizes it and the one that fills
// it, so it is tried a few times.
template <typename Row, typename Fill>
DWORD FillTable(std::vector<Row>* buffer, ULONG* size, DWORD more, Fill fill) {
  DWORD r = more;
  for (int attempt = 0; attempt < 4 && r == more; ++attempt) {
    buffer->resize(*size / sizeof(Row) + 1);
    *size = static_cast<ULONG>(buffer->size() * sizeof(Row));
    r = fill();
  }
  return r;
}

// The system's result; no adapters at all is an empty list, not a failure.
DWORD ReadAdapters(std::vector<AdapterFacts>* adapters) {
  std::vector<IP_ADAPTER_INFO> buffer;
  ULONG size = 16 * sizeof(IP_ADAPTER_INFO);
  const DWORD r = FillTable(&buffer, &size, ERROR_BUFFER_OVERFLOW,
                            [&] { return GetAdaptersInfo(buffer.data(), &size); });
  if (r == ERROR_NO_DATA) return NO_ERROR;
  if (r != NO_ERROR) return r;
  for (const IP_ADAPTER_INFO* a = buffer.data(); a != nullptr; a = a->Next) {
    const IP_ADDR_STRING& own = a->IpAddressList;
    adapters->push_back(
        {FieldText(a->AdapterName, sizeof a->AdapterName), a->Index, a->DhcpEnabled != 0,
         FieldText(a->DhcpServer.IpAddress.String, sizeof a->DhcpServer.IpAddress.String),
         FieldText(own.IpAddress.String, sizeof own.IpAddress.String),
         FieldText(own.IpMask.String, sizeof own.IpMask.String)});
  }
  return NO_ERROR;
}

// Adapter GUIDs are the same in any case.
const AdapterFacts* FindAdapter(const std::vector<AdapterFacts>& adapters,
                                const std::string& name) {
  const auto same = [](unsigned char a, unsigned char b) {
    return std::tolower(a) == std::tolower(b);
  };
  for (const AdapterFacts& a : adapters) {
    if (std::equal(a.name.begin(), a.name.end(), name.begin(), name.end(), same)) return &a;
  }
  return nullptr;
}

std::optional<IPAddr> ParseIpv4(const std::string& text) {
  IN_ADDR address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  return address.S_un.S_addr;
}

std::string Why(uint32_t code) {
  const std::string message = SystemMessage(code);
  return message.empty() ? "error " + std::to_string(code) + "." : message;
}

// SendARP's ways of saying that nobody answered, as against that it could not ask.
bool NobodyAnswered(uint32_t code) {
  return code == ERROR_BAD_NET_NAME || code == ERROR_GEN_FAILURE;
}

// The interface notifications came with Windows Vista: looked up, so that the programs still
// start where they are missing.
struct LinkApi {
  decltype(&::NotifyIpInterfaceChange) notify = nullptr;
  decltype(&::CancelMibChangeNotify2) cancel = nullptr;
  decltype(&::GetIfEntry2) entry = nullptr;
};

template <typename F>
void Look(HMODULE module, const char* name, F* f) {
  // Through void(*)(), the one function type every other may be cast from without a warning.
  *f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const LinkApi* Links() {
  static const LinkApi api = [] {
    LinkApi found;
    HMODULE iphlpapi = GetModuleHandleW(L"iphlpapi.dll");
    if (iphlpapi == nullptr) return found;
    Look(iphlpapi, "NotifyIpInterfaceChange", &found.notify);
    Look(iphlpapi, "CancelMibChangeNotify2", &found.cancel);
    Look(iphlpapi, "GetIfEntry2", &found.entry);
    return found;
  }();
  return api.notify != nullptr && api.cancel != nullptr && api.entry != nullptr ? &api : nullptr;
}

// The spelling GetAdaptersInfo gives adapter names in.
std::string GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  if (StringFromGUID2(guid, text, 40) == 0) return std::string();
  return Utf8FromWide(text);
}

void NETIOAPI_API_ InterfaceChanged(void* watch, MIB_IPINTERFACE_ROW* row, MIB_NOTIFICATION_TYPE) {
  if (row != nullptr) static_cast<Win32LinkWatch*>(watch)->Seen(row->InterfaceIndex);
}

}  // namespace

ProbeResult Win32NetworkProbe::Probe(const ProbeRequest& request) {
  ProbeResult result;
  if (request.timeout_ms < 0) {
    result.error =
        "A probe cannot wait a negative time (" + std::to_string(request.timeout_ms) + " ms).";
    return result;
  }
  std::vector<std::pair<std::string, IPAddr>> gateways;
  for (const std::string& text : request.gateways) {
    const std::optional<IPAddr> gateway = ParseIpv4(text);
    if (!gateway) {
      result.error = "\"" + text + "\" is not an IPv4 address.";
      return result;
    }
    // One probe per address, however often it is named.
    if (std::none_of(gateways.begin(), gateways.end(),
                     [&](const auto& g) { return g.second == *gateway; })) {
      gateways.emplace_back(text, *gateway);
    }
  }
  std::vector<AdapterFacts> adapters;
  if (const DWORD r = ReadAdapters(&adapters); r != NO_ERROR) {
    result.error = "The network adapters could not be read: " + Why(r);
    return result;
  }
  const AdapterFacts* adapter = FindAdapter(adapters, request.adapter);
  if (adapter == nullptr) {
    result.error = "There is no network adapter \"" + request.adapter + "\" on this computer.";
    return result;
  }
  // Windows' own DHCP client holds port 68: what it was offered is the lease it holds.
  if (request.dhcp) {
    result.offer = LeaseOffer(adapter->dhcp, adapter->dhcp_server, adapter->address, adapter->mask);
  }
  if (gateways.empty()) return result;

  // From the adapter's own address, so that the probes go out on this adapter and not on the
  // one the routes pick; without an address they would.
  const std::optional<IPAddr> source = ParseIpv4(adapter->address);
  if (!source || *source == 0) {
    result.error = "The network adapter \"" + adapter->name +
                   "\" holds no IPv4 address to send ARP probes from.";
    return result;
  }
  std::vector<std::function<Reply()>> questions;
  for (const auto& [text, gateway] : gateways) {
    questions.emplace_back([gateway = gateway, source = *source] {
      ULONG mac[2] = {};
      ULONG length = 6;
      const DWORD code = SendARP(gateway, source, mac, &length);
      if (code != NO_ERROR) return Reply{code, {}};
      return Reply{code, MacFromBytes(reinterpret_cast<const uint8_t*>(mac),
                                      std::min<size_t>(length, sizeof mac))};
    });
  }
  const std::vector<std::optional<Reply>> replies =
      AskAtOnce(std::move(questions), request.timeout_ms);
  bool asked = false;
  uint32_t refused = 0;
  for (size_t i = 0; i < gateways.size(); ++i) {
    // Still waiting: the probe went out and nobody has answered yet.
    if (!replies[i] || replies[i]->code == NO_ERROR || NobodyAnswered(replies[i]->code)) {
      asked = true;
      if (replies[i] && !replies[i]->text.empty()) {
        result.answers.push_back({gateways[i].first, replies[i]->text});
      }
    } else if (refused == 0) {
      refused = replies[i]->code;
    }
  }
  if (!asked) result.error = "ARP probes could not be sent: " + Why(refused);
  return result;
}

MacText Win32NetworkProbe::NeighbourMac(const std::string& adapter, const std::string& address) {
  const std::optional<IPAddr> wanted = ParseIpv4(address);
  std::vector<AdapterFacts> adapters;
  if (!wanted || ReadAdapters(&adapters) != NO_ERROR) return MacText();
  const AdapterFacts* found = FindAdapter(adapters, adapter);
  if (found == nullptr) return MacText();
  std::vector<MIB_IPNETROW> buffer;
  ULONG size = 64 * sizeof(MIB_IPNETROW);
  const DWORD r = FillTable(&buffer, &size, ERROR_INSUFFICIENT_BUFFER, [&] {
    return GetIpNetTable(reinterpret_cast<MIB_IPNETTABLE*>(buffer.data()), &size, FALSE);
  });
  if (r != NO_ERROR) return MacText();
  const auto* table = reinterpret_cast<const MIB_IPNETTABLE*>(buffer.data());
  const size_t rows = std::min<size_t>(
      table->dwNumEntries, (size - offsetof(MIB_IPNETTABLE, table)) / sizeof(MIB_IPNETROW));
  for (size_t i = 0; i < rows; ++i) {
    const MIB_IPNETROW& row = table->table[i];
    // Invalid covers the entries being resolved and those nobody answered for.
    if (row.dwIndex != found->index || row.dwAddr != *wanted ||
        (row.dwType != MIB_IPNET_TYPE_DYNAMIC && row.dwType != MIB_IPNET_TYPE_STATIC)) {
      continue;
    }
    return MacFromBytes(row.bPhysAddr, std::min<size_t>(row.dwPhysAddrLen, MAXLEN_PHYSADDR));
  }
  return MacText();
}

std::unique_ptr<LinkWatch> Win32NetworkProbe::WatchLinks(LinkChanged changed) {
  auto watch = std::make_unique<Win32LinkWatch>(std::move(changed));
  if (!watch->Start()) return nullptr;
  return watch;
}

Win32LinkWatch::~Win32LinkWatch() {
  // Waits for a notification still running, so none reaches the watcher after this.
  if (handle_ != nullptr) Links()->cancel(handle_);
}

bool Win32LinkWatch::Start() {
  const LinkApi* api = Links();
  std::vector<AdapterFacts> adapters;
  if (api == nullptr || ReadAdapters(&adapters) != NO_ERROR) return false;
  // Notifications wait until the links as they are now have been taken, so that none is
  // reported against a state older than itself.
  const std::lock_guard lock(mutex_);
  HANDLE handle = nullptr;
  // A notification handle of null is Wine's: it accepts the request and never notifies.
  if (api->notify(AF_INET, InterfaceChanged, this, FALSE, &handle) != NO_ERROR ||
      handle == nullptr) {
    return false;
  }
  handle_ = handle;
  for (const AdapterFacts& a : adapters) Record(a.index, false);
  return true;
}

void Win32LinkWatch::Seen(uint32_t interface_index) {
  const std::lock_guard lock(mutex_);
  Record(interface_index, true);
}

void Win32LinkWatch::Record(uint32_t interface_index, bool report) {
  const LinkApi* api = Links();
  if (api == nullptr) return;
  MIB_IF_ROW2 row{};
  row.InterfaceIndex = interface_index;
  std::string adapter;
  bool up = false;
  if (api->entry(&row) == NO_ERROR) {
    adapter = GuidText(row.InterfaceGuid);
    up = row.OperStatus == IfOperStatusUp && row.MediaConnectState != MediaConnectStateDisconnected;
    adapters_[interface_index] = adapter;
  } else if (const auto known = adapters_.find(interface_index); known != adapters_.end()) {
    adapter = known->second;  // gone with its interface
  }
  if (adapter.empty()) return;
  bool& was_up = up_[adapter];
  if (was_up == up) return;
  was_up = up;
  // Under the lock, so that the reports for one adapter come in the order of its changes.
  if (report && changed_) changed_(adapter, up);
}

}  // namespace netvane::platform
