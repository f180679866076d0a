// netvanectl list and show over a seeded registry file and scripted platform services.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/platform.h"
#include "platform/posix/posix_udp.h"
#include "test_support.h"
#include "tools/netvanectl/netvanectl.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

const std::string kSessions = "SOFTWARE\\Orlenta\\SessionInfo\\";
const char kRefusal[] = "Netvane 2.0 is available on Windows 98/ME/NT/2000.\n";

class Netvanectl : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = tools::RunNetvanectl(
        args, platform_, [] { return std::make_unique<platform::PosixUdpEndpoint>(); }, out, err);
    return {code, out.str(), err.str()};
  }
  void Text(const std::string& path, const std::string& name, const std::string& text) {
    ASSERT_EQ(SetRaw(reg_.registry(), kHkeyLocalMachine, path, name, platform::kRegSz,
                     text + std::string(1, '\0')),
              kErrorSuccess);
  }
  void Card(const std::string& key, const std::string& description, const std::string& service) {
    const std::string path =
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\" + key;
    if (!description.empty()) Text(path, "Description", description);
    if (!service.empty()) Text(path, "ServiceName", service);
  }
  void Location(int id, const std::string& name, const std::string& nic_id,
                const std::string& nic_name, const std::string& active, const std::string& kind,
                const std::string& ip = "") {
    const std::string key = kSessions + std::to_string(id);
    Text(key, "SessionName", name);
    Text(key, "NIC_ID", nic_id);
    Text(key, "NIC_NAME", nic_name);
    Text(key, "SessionActive", active);
    Text(key, "ServiceType", kind);
    Text(key, "ExecutePath", "");
    Text(key, "UseProxy", "No");
    Text(key, "UseWinNetwork", "No");
    if (!ip.empty()) Text(key + "\\TCP/IP", "IPAddress", ip);
  }

  FakePlatform fake_;
  TestRegistry& reg_ = fake_.registry;
  FakeWindowsVersion& winver_ = fake_.winver;
  FakeIpHelper& iphelper_ = fake_.iphelper;
  platform::Platform& platform_ = fake_.services();
};

TEST_F(Netvanectl, ListGroupsLocationsUnderTheirAdaptersOnTheNtFamily) {
  Card("1", "Card A", "SvcA");
  Card("3", "Broken card", "");  // no service name: not an adapter
  Card("4", "Card B", "SvcB");
  // Listing order is the registry's: 10, 2, 7, 9. Locations 10 and 7 share adapter SvcA
  // (in different letter case) but are not next to each other.
  Location(10, "Home", "SvcA", "Card A", "YES", "USE_STATIC_IP", "10.0.0.5");
  Location(2, "Office", "SvcB", "Card B", "Yes", "use_cable_modem");
  Location(7, "Cafe", "svca", "Card A (renamed)", "yes", "USE_DHCP");
  Location(9, "Old laptop", "SvcGone", "Removed card", "YES", "USE_KT_ADSL");

  const Outcome o = Run({"list"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.err, "");
  // Of two active locations on one adapter the later one wins; a location on an adapter that
  // is not installed is listed but never marked.
  EXPECT_EQ(o.out,
            "Adapters:\n"
            "  [0] Card A (SvcA)\n"
            "  [1] Card B (SvcB)\n"
            "Locations:\n"
            " Adapter\n"
            "  [0] Card A\n"
            "       10   Home (IP address : 10.0.0.5)\n"
            "        7 * Cafe (Use Dynamic IP Address)\n"
            "  [1] Card B\n"
            "        2 * Office (Cable Modem user)\n"
            "  [3] Removed card\n"
            "        9   Old laptop (ADSL user)\n");
}

TEST_F(Netvanectl, ListShowsHardwareAddressesOn98AndReversesThemOnMe) {
  iphelper_.rows = {
      EthernetRow("NE2000 Compatible", {0x00, 0xA0, 0xC9, 0x12, 0x34, 0x56}),
      EthernetRow("Dial-Up Adapter", {0x44, 0x45, 0x53, 0x54, 0x00, 0x00}, 23),
      EthernetRow("  Realtek 8139  ", {0x52, 0x54, 0x00, 0x12, 0xAB, 0xCD}),
  };
  Location(1, "Desk", "52-54-00-12-ab-cd", "Realtek 8139", "YES", "USE_HANARO_USB_MODEM");
  Location(2, "Spare", "00-A0-C9-12-34-56", "NE2000 Compatible", "NO", "SOMETHING_ELSE");
  const std::string locations =
      "Locations:\n"
      " Adapter\n"
      "  [0] Realtek 8139\n"
      "        1 * Desk (ADSL user)\n"
      "  [1] NE2000 Compatible\n"
      "        2   Spare\n";

  winver_.version = {4, 10, 1998, platform::kPlatformWin32Windows};
  Outcome o = Run({"list"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out,
            "Adapters:\n"
            "  [0] NE2000 Compatible (00-A0-C9-12-34-56)\n"
            "  [1] Realtek 8139 (52-54-00-12-AB-CD)\n" +
                locations);

  winver_.version = {4, 90, 3000, platform::kPlatformWin32Windows};
  o = Run({"list"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out,
            "Adapters:\n"
            "  [0] Realtek 8139 (52-54-00-12-AB-CD)\n"
            "  [1] NE2000 Compatible (00-A0-C9-12-34-56)\n" +
                locations);
}

TEST_F(Netvanectl, ListWithoutAdaptersSaysSoAndStillListsLocations) {
  Location(1, "Office", "SvcA", "Card A", "YES", "USE_DHCP");
  const Outcome o = Run({"list"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out,
            "Cannot find the installed network adapter.\n"
            "Adapters:\n"
            "  (none)\n"
            "Locations:\n"
            " Adapter\n"
            "  [0] Card A\n"
            "        1   Office (Use Dynamic IP Address)\n");
}

TEST_F(Netvanectl, ShowPrintsEveryFieldOfTheRecord) {
  const std::string key = kSessions + "3";
  Location(3, "Office", "SvcA", "Card A", "YES", "use_static_ip");
  Text(key, "ExecutePath", "C:\\Tools\\vpn.exe");
  Text(key, "UseProxy", "yes");
  Text(key, "UseWinNetwork", "Yes");
  Text(key + "\\TCP/IP", "SubnetMask", "255.255.255.0");
  Text(key + "\\TCP/IP", "Gateway", "192.168.10.1,192.168.10.254");
  Text(key + "\\TCP/IP", "DNS", "192.168.10.2,192.168.10.3");
  Text(key + "\\TCP/IP", "Lease", "16777214");
  Text(key + "\\TCP/IP", "IPAddress", "192.168.10.25");
  Text(key, "NetworkGateway", "192.168.10.1");
  Text(key, "NetworkGatewayMAC", "02:00:00:00:00:0a");
  Text(key, "NetworkPrefix", "192.168.10.0/24");
  Text(key + "\\Proxy", "IE/NC_SameProxy", "No");
  Text(key + "\\Proxy", "UseIEProxy", "Yes");
  Text(key + "\\Proxy", "UseNCProxy", "YES");
  Text(key + "\\Proxy\\IEProxy", "AllProtocolSameProxy", "No");
  Text(key + "\\Proxy\\IEProxy", "HTTPAddress", "web.example");
  Text(key + "\\Proxy\\IEProxy", "HTTPPort", "8080");
  Text(key + "\\Proxy\\IEProxy", "SocksAddress", "socks.example");
  Text(key + "\\Proxy\\IEProxy", "SocksPort", "1080");
  Text(key + "\\Proxy\\NCProxy", "AllProtocolSameProxy", "Yes");
  Text(key + "\\Proxy\\NCProxy", "DefaultAddress", "nc.example");
  Text(key + "\\Proxy\\NCProxy", "DefaultPort", "3128");
  Text(key + "\\WinNetwork", "DefaultPrinter", "Office LaserJet");
  Location(4, "Other", "SvcA", "Card A", "NO", "USE_DHCP");

  const Outcome o = Run({"show", "3"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out,
            "LocationId: 3\n"
            "SessionName: Office\n"
            "NIC_NAME: Card A\n"
            "NIC_ID: SvcA\n"
            "SessionActive: Yes\n"
            "ServiceType: USE_STATIC_IP\n"
            "ExecutePath: C:\\Tools\\vpn.exe\n"
            "IPAddress: 192.168.10.25\n"
            "SubnetMask: 255.255.255.0\n"
            "Gateway: 192.168.10.1,192.168.10.254\n"
            "DNS: 192.168.10.2,192.168.10.3\n"
            "Lease: 16777214\n"
            "UseProxy: Yes\n"
            "IENC_SameProxy: No\n"
            "UseIEProxy: Yes\n"
            "UseNCProxy: Yes\n"
            "IEProxy.AllProtocolSameProxy: No\n"
            "IEProxy.DefaultAddress: \n"
            "IEProxy.DefaultPort: \n"
            "IEProxy.HTTPAddress: web.example\n"
            "IEProxy.HTTPPort: 8080\n"
            "IEProxy.SecureAddress: \n"
            "IEProxy.SecurePort: \n"
            "IEProxy.FTPAddress: \n"
            "IEProxy.FTPPort: \n"
            "IEProxy.GopherAddress: \n"
            "IEProxy.GopherPort: \n"
            "IEProxy.SocksAddress: socks.example\n"
            "IEProxy.SocksPort: 1080\n"
            "NCProxy.AllProtocolSameProxy: Yes\n"
            "NCProxy.DefaultAddress: nc.example\n"
            "NCProxy.DefaultPort: 3128\n"
            "NCProxy.HTTPAddress: \n"
            "NCProxy.HTTPPort: \n"
            "NCProxy.SecureAddress: \n"
            "NCProxy.SecurePort: \n"
            "NCProxy.FTPAddress: \n"
            "NCProxy.FTPPort: \n"
            "NCProxy.GopherAddress: \n"
            "NCProxy.GopherPort: \n"
            "NCProxy.SocksAddress: \n"
            "NCProxy.SocksPort: \n"
            "UseWinNetwork: Yes\n"
            "DefaultPrinter: Office LaserJet\n"
            "ApplyWhenRecognised: No\n"
            "NetworkGateway: 192.168.10.1\n"
            "NetworkGatewayMAC: 02:00:00:00:00:0a\n"
            "NetworkDhcpServer: \n"
            "NetworkPrefix: 192.168.10.0/24\n");
}

// detect probes every adapter with locations (or the one named by its number) and tells the
// one location whose network answers; --apply applies it as apply does.
TEST_F(Netvanectl, DetectTellsTheLocationWhoseNetworkAnswers) {
  Card("1", "Card A", "SvcA");
  Card("2", "Card B", "SvcB");
  Card("3", "Card C", "SvcC");
  Location(1, "Home", "SvcA", "Card A", "NO", "USE_DHCP");
  Location(2, "Hotel", "SvcA", "Card A", "NO", "USE_DHCP");
  Location(3, "Lab", "SvcB", "Card B", "NO", "USE_DHCP");
  const std::pair<int, const char*> macs[] = {
      {1, "02:00:00:00:00:0a"}, {2, "02:00:00:00:00:0b"}, {3, "02:00:00:00:00:0c"}};
  for (const auto& [id, mac] : macs) {
    Text(kSessions + std::to_string(id), "NetworkGateway", id == 3 ? "10.0.0.1" : "192.168.1.1");
    Text(kSessions + std::to_string(id), "NetworkGatewayMAC", mac);
  }
  fake_.probe.results["SvcA"].answers = {{"192.168.1.1", "02:00:00:00:00:0b"}};
  fake_.probe.results["SvcB"].error = "the helper is not running";

  Outcome o = Run({"detect"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, "LocationId: 2\nSessionName: Hotel\n");
  EXPECT_EQ(o.err,
            "netvanectl: the network on Card B could not be probed: the helper is not running\n");
  ASSERT_EQ(fake_.probe.requests.size(), 2u);  // Card C has no locations
  EXPECT_EQ(fake_.probe.requests[0].gateways, std::vector<std::string>{"192.168.1.1"});
  EXPECT_TRUE(fake_.process.started.empty());

  fake_.probe.results["SvcA"].answers = {{"192.168.1.1", "02:00:00:00:00:0c"}};
  o = Run({"detect", "0"});
  EXPECT_EQ(o.code, 3);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "netvanectl: no location matches the network on Card A.\n");
  o = Run({"detect", "2"});
  EXPECT_EQ(o.code, 3);
  EXPECT_EQ(fake_.probe.requests.size(), 3u);  // nothing remembered there: nothing to ask
  EXPECT_EQ(Run({"detect", "1"}).code, 1);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"detect", "3"},
                                               {"detect", "x"},
                                               {"detect", "--apply", "--apply"},
                                               {"detect", "0", "1"}}) {
    EXPECT_EQ(Run(args).code, 2) << args[1];
  }

  fake_.probe.results["SvcA"].answers = {{"192.168.1.1", "02:00:00:00:00:0a"}};
  o = Run({"detect", "--apply", "0"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out, "LocationId: 1\nSessionName: Home\n");
  EXPECT_EQ(fake_.process.started.back().command_line, "ipconfig.exe /renew SvcA");
  EXPECT_EQ(Run({"show", "1"}).out.find("SessionActive: Yes\n") != std::string::npos, true);
}

TEST_F(Netvanectl, UsageErrorsAndUnknownIdsExitTwoWithAMessage) {
  Location(5, "Five", "SvcA", "Card A", "NO", "USE_DHCP");
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "usage: netvanectl list"},
      {{"frobnicate"}, "netvanectl: unknown command frobnicate\n"},
      {{"list", "extra"}, "netvanectl: wrong number of arguments for list\n"},
      {{"show"}, "netvanectl: wrong number of arguments for show\n"},
      {{"show", "5", "6"}, "netvanectl: wrong number of arguments for show\n"},
      {{"show", "0"}, "netvanectl: not a location id: 0 (expected 1 to 32767)\n"},
      {{"show", "abc"}, "netvanectl: not a location id: abc (expected 1 to 32767)\n"},
      {{"show", "40000"}, "netvanectl: not a location id: 40000 (expected 1 to 32767)\n"},
      {{"show", "-5"}, "netvanectl: not a location id: -5 (expected 1 to 32767)\n"},
      {{"show", "6"}, "netvanectl: no location with id 6\n"},
  };
  for (const auto& c : cases) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.code, 2) << ::testing::PrintToString(c.args);
    EXPECT_EQ(o.out, "") << ::testing::PrintToString(c.args);
    EXPECT_EQ(o.err.rfind(c.message, 0), 0u) << o.err;
  }
  EXPECT_EQ(Run({"show", "5"}).code, 0);
}

TEST_F(Netvanectl, RefusesWindows95AndUnknownSystems) {
  Location(1, "Office", "SvcA", "Card A", "YES", "USE_DHCP");
  for (const platform::OsVersion v :
       {platform::OsVersion{4, 0, 950, platform::kPlatformWin32Windows},
        platform::OsVersion{3, 10, 0, 0}}) {
    winver_.version = v;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list"}, std::vector<std::string>{"show", "1"}}) {
      const Outcome o = Run(args);
      EXPECT_EQ(o.code, 1);
      EXPECT_EQ(o.out, "");
      EXPECT_EQ(o.err, kRefusal);
    }
  }
}

// Without an elevated prompt on today's Windows, an apply starts nothing and says why.
TEST_F(Netvanectl, ApplyWithoutAdministratorRightsStartsNothing) {
  Card("1", "Card A", "SvcA");
  Location(1, "Office", "SvcA", "Card A", "NO", "USE_DHCP");
  winver_.version = {10, 0, 19045, platform::kPlatformWin32Nt};
  fake_.process.elevated = false;
  const Outcome o = Run({"apply", "Office"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("needs administrator rights: run it from an elevated command prompt"),
            std::string::npos)
      << o.err;
  EXPECT_TRUE(fake_.process.started.empty());
  EXPECT_EQ(QueryRaw(reg_.registry(), kHkeyLocalMachine, kSessions + "1", "SessionActive").data,
            std::string("NO", 3));
}

}  // namespace
}  // namespace netvane::testing
