// The network probes over the IP Helper API of the running system. Wine lists the host's
// interfaces with their addresses and neighbour table, but answers SendARP with "not
// supported" and accepts interface notifications without ever sending one.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/windows_api.h"

#include <iphlpapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/probe_facts.h"
#include "platform/win32/win32_network_probe.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

using platform::ProbeResult;
using platform::Win32NetworkProbe;

constexpr char kNowhere[] = "{00000000-0000-0000-0000-0000000000AB}";

struct Adapter {
  std::string name;
  uint32_t index = 0;
  std::string address;  // "0.0.0.0" when it holds none
};

std::vector<Adapter> Adapters() {
  ULONG size = 0;
  GetAdaptersInfo(nullptr, &size);
  std::vector<IP_ADAPTER_INFO> buffer(size / sizeof(IP_ADAPTER_INFO) + 1);
  size = static_cast<ULONG>(buffer.size() * sizeof(IP_ADAPTER_INFO));
  std::vector<Adapter> adapters;
  if (GetAdaptersInfo(buffer.data(), &size) != NO_ERROR) return adapters;
  for (const IP_ADAPTER_INFO* a = buffer.data(); a != nullptr; a = a->Next) {
    adapters.push_back({a->AdapterName, a->Index, a->IpAddressList.IpAddress.String});
  }
  return adapters;
}

TEST(Win32NetworkProbeTest, ProbesAnAdapterThatExists) {
  const std::vector<Adapter> adapters = Adapters();
  const auto addressed = std::find_if(adapters.begin(), adapters.end(),
                                      [](const Adapter& a) { return a.address != "0.0.0.0"; });
  if (addressed == adapters.end()) GTEST_SKIP() << "no adapter holds an IPv4 address";
  Win32NetworkProbe probe;
  std::string lower = addressed->name;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const ProbeResult lease = probe.Probe({lower, {}, true, 500});
  EXPECT_EQ(lease.error, "");
  // Windows: the lease the adapter holds, if any. Wine has DHCP on for every adapter and no
  // server: no lease.
  if (lease.offer) {
    EXPECT_EQ(lease.offer->address, addressed->address);
  }
  EXPECT_FALSE(RunningUnderWine() && lease.offer);
  // Nobody answers ARP for loopback addresses (Windows says so at once); Wine cannot send it,
  // and says so at once too, though a loaded machine may take longer than 500 ms to start the
  // asking threads: a probe still out then counts as sent.
  const int wait_ms = RunningUnderWine() ? 30000 : 500;
  const ProbeResult arp =
      probe.Probe({addressed->name, {"127.0.0.2", "127.0.0.3"}, false, wait_ms});
  EXPECT_TRUE(arp.answers.empty());
  if (RunningUnderWine()) {
    EXPECT_NE(arp.error.find("ARP probes could not be sent: "), std::string::npos) << arp.error;
  }
}

TEST(Win32NetworkProbeTest, SaysWhyItCannotAsk) {
  Win32NetworkProbe probe;
  ProbeResult r = probe.Probe({kNowhere, {"127.0.0.2"}, true, 500});
  EXPECT_EQ(r.error,
            std::string("There is no network adapter \"") + kNowhere + "\" on this computer.");
  EXPECT_FALSE(r.offer);
  const std::vector<Adapter> adapters = Adapters();
  const std::string name = adapters.empty() ? kNowhere : adapters[0].name;
  r = probe.Probe({name, {"127.0.0.2", "10.0.0.256"}, true, 500});
  EXPECT_EQ(r.error, "\"10.0.0.256\" is not an IPv4 address.");
  EXPECT_FALSE(r.offer);
  for (const Adapter& a : adapters) {
    if (a.address != "0.0.0.0") continue;
    EXPECT_EQ(
        probe.Probe({a.name, {"127.0.0.2"}, false, 500}).error,
        "The network adapter \"" + a.name + "\" holds no IPv4 address to send ARP probes from.");
  }
  EXPECT_EQ(probe.Probe({name, {}, true, -1}).error,
            "A probe cannot wait a negative time (-1 ms).");
}

// Every entry of the neighbour table is found by its adapter and address; those being resolved
// or unanswered, and multicast ones (Windows: 01:00:5e:..., Wine: no address), give nothing.
TEST(Win32NetworkProbeTest, NeighbourTableEntriesAreFound) {
  ULONG size = 0;
  GetIpNetTable(nullptr, &size, FALSE);
  std::vector<MIB_IPNETROW> buffer(size / sizeof(MIB_IPNETROW) + 2);
  size = static_cast<ULONG>(buffer.size() * sizeof(MIB_IPNETROW));
  auto* table = reinterpret_cast<MIB_IPNETTABLE*>(buffer.data());
  ASSERT_EQ(GetIpNetTable(table, &size, FALSE), static_cast<DWORD>(NO_ERROR));
  Win32NetworkProbe probe;
  for (const Adapter& a : Adapters()) {
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      const MIB_IPNETROW& row = table->table[i];
      char address[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &row.dwAddr, address, sizeof address);
      if (row.dwIndex != a.index || row.dwType == MIB_IPNET_TYPE_INVALID) continue;
      EXPECT_EQ(probe.NeighbourMac(a.name, address),
                platform::MacFromBytes(row.bPhysAddr, row.dwPhysAddrLen))
          << a.name << " " << address;
      EXPECT_EQ(probe.NeighbourMac(kNowhere, address), "");
    }
    EXPECT_EQ(probe.NeighbourMac(a.name, "gateway"), "");
  }
}

// Links are reported under the names GetAdaptersInfo gives, and only when they change. An
// adapter never seen counts as down, so the first sight of one that is up is a change.
TEST(Win32NetworkProbeTest, LinksAreReportedByAdapterOnChangeOnly) {
  std::vector<std::pair<std::string, bool>> reports;
  platform::Win32LinkWatch watch(
      [&](const std::string& a, bool up) { reports.emplace_back(a, up); });
  for (const Adapter& a : Adapters()) {
    reports.clear();
    watch.Seen(a.index);
    watch.Seen(a.index);
    // One that holds an address has its link up.
    if (a.address != "0.0.0.0") {
      EXPECT_EQ(reports, (decltype(reports){{a.name, true}}));
    }
    EXPECT_LE(reports.size(), 1u) << a.name;
  }
  reports.clear();
  watch.Seen(0x7FFFFFF0u);
  EXPECT_TRUE(reports.empty());
  // Windows gives a watcher; Wine's notifications never come, so it gives none.
  auto watcher = Win32NetworkProbe().WatchLinks([](const std::string&, bool) {});
  EXPECT_EQ(watcher == nullptr, RunningUnderWine());
  watcher.reset();
}

}  // namespace
}  // namespace netvane::testing
