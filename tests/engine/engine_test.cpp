// Applying locations: the command lines of both roads for every kind, the read-back and its
// messages, CheckBinding on every family, the browser proxy and the default printer.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/address.h"
#include "engine/apply_command.h"
#include "store/location_store.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using engine::Engine;
using platform::kErrorSuccess;
using store::LocationRecord;
using Lines = std::vector<std::string>;

constexpr platform::RegHandle kLm = platform::kHkeyLocalMachine;
constexpr platform::RegHandle kCu = platform::kHkeyCurrentUser;

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    front_.winsock = &endpoint_;
    fake_.process.program_path = "/opt/netvane/Netvane";
    state_.OSKind = engine::kOsWin2000;
  }

  LocationRecord& Add(int16_t id, const std::string& kind,
                      const std::string& nic = "Local Area Connection") {
    LocationRecord r;
    r.LocationId = id;
    r.SessionName = "L" + std::to_string(id);
    r.NIC_ID = nic;
    r.NIC_NAME = "Card";
    r.ServiceType = kind;
    if (store::CarriesTcpIp(kind)) {
      r.IPAddress = "192.168.1.10";
      r.SubnetMask = "255.255.255.0";
      r.Gateway = "192.168.1.1";
      r.DNS = "192.168.1.2";
      r.Lease = 1193046;
    }
    state_.LocationTable.push_back(r);
    return state_.LocationTable.back();
  }
  Lines Started() const {
    Lines out;
    for (const auto& s : fake_.process.started) out.push_back(s.command_line);
    return out;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& s : front_.prompt.shown) out.push_back(s.text);
    return out;
  }
  // The read-back values the system would hold for the adapter.
  void SystemHolds(const std::string& nic, const std::string& ip, const std::string& mask,
                   const std::string& gateways) {
    const std::string key =
        "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\" + nic;
    ASSERT_EQ(
        SetRaw(raw(), kLm, key, "IPAddress", platform::kRegMultiSz, ip + std::string(2, '\0')),
        kErrorSuccess);
    ASSERT_EQ(
        SetRaw(raw(), kLm, key, "SubnetMask", platform::kRegMultiSz, mask + std::string(2, '\0')),
        kErrorSuccess);
    ASSERT_EQ(SetRaw(raw(), kLm, key, "DefaultGateway", platform::kRegMultiSz,
                     gateways + std::string(gateways.empty() ? 1 : 2, '\0')),
              kErrorSuccess);
  }
  platform::Registry& raw() { return fake_.registry.registry(); }

  FakePlatform fake_;
  store::RegistryAccess access_{fake_.registry.registry(), fake_.registry.codepage()};
  engine::AppState state_;
  FakeFrontEnd front_;
  ScriptedEndpoint endpoint_;
  Engine engine_{fake_.services(), access_, state_, front_};
};

TEST_F(EngineTest, DynamicKindsOnWindows2000) {
  struct Case {
    const char* kind;
    const char* set_address;
    bool renews;
  };
  const Case cases[] = {
      {"USE_DHCP", "netsh interface ip set address \"Local Area Connection\" source=dhcp", true},
      {"USE_CABLE_MODEM", "netsh interface ip set address \"Local Area Connection\"  source=dhcp",
       true},
      {"USE_KT_ADSL", "netsh interface ip set address \"Local Area Connection\" dynamic", false},
      {"USE_HANARO_IN_MODEM",
       "netsh interface ip set address \"Local Area Connection\"  source=dhcp", false},
      {"USE_HANARO_USB_MODEM",
       "netsh interface ip set address \"Local Area Connection\"  source=dhcp", false},
      {"USE_HANARO_OUT_RAS_MODEM",
       "netsh interface ip set address \"Local Area Connection\"  source=dhcp", false},
  };
  for (const Case& c : cases) {
    state_.LocationTable.clear();
    fake_.process.started.clear();
    fake_.shell.invoked.clear();
    front_.events.clear();
    LocationRecord& r = Add(1, c.kind);
    r.ExecutePath = "/opt/dialer/dial";
    fake_.shell.existing = {"/opt/dialer/dial"};
    engine_.ApplyNetworkNetsh(1);
    Lines expected = {"netsh interface ip delete dns \"Local Area Connection\" all", c.set_address,
                      "ipconfig.exe /release Local Area Connection"};
    if (c.renews) expected.push_back("ipconfig.exe /renew Local Area Connection");
    EXPECT_EQ(Started(), expected) << c.kind;
    // Every netsh command and the release are waited for; the renew is not.
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(fake_.process.started[i].waited) << c.kind;
    if (c.renews) {
      EXPECT_FALSE(fake_.process.started[3].waited);
    }
    // The program is started only by the kinds that launch one, after the release.
    EXPECT_EQ(fake_.shell.invoked.size(), c.renews ? 0u : 1u) << c.kind;
    EXPECT_TRUE(front_.prompt.shown.empty());
    EXPECT_EQ(std::count(front_.events.begin(), front_.events.end(), "enabled"), 1) << c.kind;
    EXPECT_EQ(front_.events.back(), c.renews ? "idle" : "enabled") << c.kind;
  }
}

TEST_F(EngineTest, StaticKindOnWindows2000SetsAddressGatewaysAndServers) {
  LocationRecord& r = Add(2, "USE_STATIC_IP", "My \"Card\"; rm -rf");
  r.IPAddress = "10.0.0.5";
  r.SubnetMask = "255.255.255.0";
  r.Gateway = "010.000.000.001,bad,10.0.0.2,10.0.0.3";
  r.DNS = "10.0.0.53,,10.0.0.54";
  r.ExecutePath = "/opt/dialer/dial";  // a static location launches nothing
  fake_.shell.existing = {"/opt/dialer/dial"};
  engine_.ApplyNetworkNetsh(2);
  const std::string n = "\"My \"Card\"; rm -rf\"";
  EXPECT_EQ(Started(), (Lines{
                           "netsh interface ip set address " + n + " static 10.0.0.5 255.255.255.0",
                           "netsh interface ip delete address " + n + " gateway=all",
                           "netsh interface ip add address " + n + " gateway=10.0.0.1 gwmetric=1",
                           "netsh interface ip add address " + n + " gateway=10.0.0.2 gwmetric=2",
                           "netsh interface ip add address " + n + " gateway=10.0.0.3 gwmetric=3",
                           "netsh interface ip delete dns " + n + " all",
                           "netsh interface ip add dns " + n + " 10.0.0.53 index=1",
                           "netsh interface ip add dns " + n + " 10.0.0.54 index=2",
                       }));
  for (const auto& s : fake_.process.started) {
    EXPECT_TRUE(s.waited);
    EXPECT_EQ(s.mode, platform::WindowMode::kHidden);
  }
  EXPECT_TRUE(fake_.shell.invoked.empty());
  // Nothing in the registry: the read-back fails.
  EXPECT_EQ(Messages(), Lines{engine::kBindFailed});
  EXPECT_EQ(front_.prompt.shown[0].icon, engine::PromptIcon::kInformation);
  EXPECT_EQ(front_.events, (Lines{"busy", "events", "enabled", "idle"}));
}

// Windows Vista and later: netsh is given the connection's name from the network class key;
// the adapter's identifier stays everywhere else, and is netsh's too where no usable name is.
TEST_F(EngineTest, NetshNamesTheConnectionOnWindowsVistaAndLater) {
  const std::string guid = "{2B1E4A3C-96F0-4D2B-8C1A-5E7F90ABCDEF}";
  const std::string connection =
      "SYSTEM\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}\\" +
      guid + "\\Connection";
  ASSERT_EQ(access_.CreateKey(kLm, connection), kErrorSuccess);
  ASSERT_EQ(access_.WriteValue(kLm, connection, "Name", "Ethernet 2"), kErrorSuccess);
  Add(1, "USE_DHCP", guid);
  Add(2, "USE_STATIC_IP", guid).Gateway = "";
  const auto apply = [&](int16_t id) {
    fake_.process.started.clear();
    engine_.ApplyNetworkNetsh(id);
    return Started();
  };
  fake_.winver.version = {10, 0, 19045, 2};
  EXPECT_EQ(apply(1), (Lines{"netsh interface ip delete dns \"Ethernet 2\" all",
                             "netsh interface ip set address \"Ethernet 2\" source=dhcp",
                             "ipconfig.exe /release " + guid, "ipconfig.exe /renew " + guid}));
  EXPECT_EQ(apply(2), (Lines{"netsh interface ip set address \"Ethernet 2\" static 192.168.1.10 "
                             "255.255.255.0",
                             "netsh interface ip delete address \"Ethernet 2\" gateway=all",
                             "netsh interface ip delete dns \"Ethernet 2\" all",
                             "netsh interface ip add dns \"Ethernet 2\" 192.168.1.2 index=1"}));
  // A name netsh could not be given whole, no name, or Windows 2000: the identifier.
  for (const char* name : {"Say \"hi\"", "Ethernet ?", "", "   "}) {
    ASSERT_EQ(access_.WriteValue(kLm, connection, "Name", name), kErrorSuccess);
    EXPECT_EQ(apply(1)[0], "netsh interface ip delete dns \"" + guid + "\" all") << name;
  }
  ASSERT_EQ(access_.WriteValue(kLm, connection, "Name", "Ethernet 2"), kErrorSuccess);
  fake_.winver.version = {5, 0, 2195, 2};
  EXPECT_EQ(apply(1)[0], "netsh interface ip delete dns \"" + guid + "\" all");
}

TEST_F(EngineTest, ReadBackDecidesTheOutcome) {
  LocationRecord& r = Add(3, "USE_STATIC_IP", "{GUID}");
  r.Gateway = "192.168.1.1,192.168.1.254";
  SystemHolds("{GUID}", "192.168.1.10", "255.255.255.0",
              std::string("192.168.1.1") + std::string(1, '\0') + "192.168.1.254");
  engine_.ApplyNetworkNetsh(3);
  EXPECT_EQ(Messages(), Lines{engine::kBindSucceeded});

  // No gateway at all: no "add address", and success only with no default gateway either.
  front_.prompt.shown.clear();
  fake_.process.started.clear();
  state_.LocationTable[0].Gateway = "";
  SystemHolds("{GUID}", "192.168.1.10", "255.255.255.0", "");
  engine_.ApplyNetworkNetsh(3);
  for (const std::string& line : Started()) EXPECT_EQ(line.find("add address"), std::string::npos);
  EXPECT_EQ(Messages(), Lines{engine::kBindSucceeded});

  // The right address and mask, but another gateway.
  front_.prompt.shown.clear();
  state_.LocationTable[0].Gateway = "192.168.1.1";
  SystemHolds("{GUID}", "192.168.1.10", "255.255.255.0", "192.168.1.254");
  engine_.ApplyNetworkNetsh(3);
  EXPECT_EQ(Messages(), Lines{engine::kBindFailed});

  // Leading zeros are sent without them, so the stored text no longer matches the system.
  front_.prompt.shown.clear();
  state_.LocationTable[0].IPAddress = "192.168.001.010";
  engine_.ApplyNetworkNetsh(3);
  EXPECT_EQ(Messages(), Lines{engine::kBindFailed});
}

TEST_F(EngineTest, PppModemLaunchesItsProgramAfterTheOutcome) {
  LocationRecord& r = Add(4, "USE_HANARO_OUT_PPP_MODEM");
  r.ExecutePath = "/opt/dialer/missing";
  engine_.ApplyNetworkNetsh(4);
  ASSERT_EQ(front_.prompt.shown.size(), 2u);
  EXPECT_EQ(front_.prompt.shown[0].text, engine::kBindFailed);
  EXPECT_EQ(
      front_.prompt.shown[1].text.rfind("Error in executing the internet connecting program.", 0),
      0u);
}

TEST_F(EngineTest, AnUnknownKindRunsNothingAndGivesTheCommandsBack) {
  Add(5, "USE_SOMETHING");
  engine_.ApplyNetworkNetsh(5);
  engine_.ApplyNetworkLegacy(5);
  EXPECT_TRUE(fake_.process.started.empty());
  EXPECT_EQ(std::count(front_.events.begin(), front_.events.end(), "enabled"), 2);
  EXPECT_EQ(front_.events.back(), "enabled");
}

TEST_F(EngineTest, LegacyRoadOnWindows98ReleasesFiltersRenewsAndPolls) {
  state_.OSKind = engine::kOsWin98;
  state_.AdapterTable = {{"A", "00-00-00-00-00-01"}, {"B", "00-50-BA-01-02-0F"}};
  LocationRecord& r = Add(6, "USE_STATIC_IP", "00-50-ba-01-02-0f");
  r.Gateway = "192.168.1.1,192.168.1.2";
  r.Lease = 0;
  ASSERT_EQ(access_.CreateKey(kLm, "System\\CurrentControlSet\\Services\\Class\\Net\\0000"),
            kErrorSuccess);
  engine_.ApplyNetworkLegacy(6);
  EXPECT_EQ(Started(), (Lines{"ipconfig.exe /release 1", "/opt/netvane/NVEFilter L 0000",
                              "ipconfig.exe /renew 1"}));
  // The endpoint listens on 67 towards the client on 127.0.0.1 port 68.
  EXPECT_TRUE(endpoint_.open);
  EXPECT_EQ(endpoint_.local, 67);
  EXPECT_EQ(endpoint_.remote, 68);
  EXPECT_EQ(endpoint_.host, "127.0.0.1");
  const engine::ResponderConfig& c = state_.Responder;
  EXPECT_EQ(c.address, (std::array<std::string, 4>{"192", "168", "1", "10"}));
  EXPECT_EQ(c.mask, (std::array<std::string, 4>{"255", "255", "255", "0"}));
  EXPECT_EQ(c.gateway_count, 2);
  EXPECT_EQ(c.dns_count, 1);
  EXPECT_EQ(c.lease, (std::array<uint8_t, 4>{255, 0, 0, 0}));
  // The poll re-enables the commands later, not the road.
  EXPECT_EQ(std::count(front_.events.begin(), front_.events.end(), "enabled"), 0);
  EXPECT_EQ(front_.events.back(), "poll");
}

TEST_F(EngineTest, LegacyRoadDynamicKinds) {
  state_.OSKind = engine::kOsWinNt4;
  for (const char* kind : {"USE_DHCP", "USE_CABLE_MODEM", "USE_KT_ADSL", "USE_HANARO_USB_MODEM"}) {
    state_.LocationTable.clear();
    fake_.process.started.clear();
    fake_.shell.invoked.clear();
    LocationRecord& r = Add(7, kind, "El90x1");
    r.ExecutePath = "/opt/dialer/dial";
    fake_.shell.existing = {"/opt/dialer/dial"};
    engine_.ApplyNetworkLegacy(7);
    const bool renews = std::string(kind) == "USE_DHCP" || std::string(kind) == "USE_CABLE_MODEM";
    Lines expected = {"ipconfig.exe /release El90x1"};
    if (renews) expected.push_back("ipconfig.exe /renew El90x1");
    EXPECT_EQ(Started(), expected) << kind;
    EXPECT_EQ(fake_.shell.invoked.size(), renews ? 0u : 1u) << kind;
  }
}

TEST_F(EngineTest, LeaseStampTravelsInTheLeaseBytes) {
  state_.OSKind = engine::kOsWinMe;
  LocationRecord r;
  r.IPAddress = "1.2.3.4";
  r.SubnetMask = "255.0.0.0";
  r.Lease = 1193046;
  engine_.PrepareResponder(r);
  EXPECT_EQ(state_.Responder.lease, (std::array<uint8_t, 4>{0xFF, 0x12, 0x34, 0x56}));
  r.Lease = 16777215;
  engine_.PrepareResponder(r);
  EXPECT_EQ(state_.Responder.lease, (std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(EngineTest, CheckBindingOnWindows98AndMe) {
  for (int32_t os : {engine::kOsWin98, engine::kOsWinMe}) {
    state_.OSKind = os;
    state_.LocationTable.clear();
    LocationRecord& r = Add(8, "USE_STATIC_IP");
    r.IPAddress = "192.168.10.25";
    r.Lease = 1193046;
    const std::string vxd = "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\";
    // Another binding first, then the adapter's: address bytes in network order.
    ASSERT_EQ(SetRaw(raw(), kLm, vxd + "0000", "DHCPIPAddress", platform::kRegBinary,
                     std::string("\x0A\x00\x00\x01", 4)),
              kErrorSuccess);
    ASSERT_EQ(SetRaw(raw(), kLm, vxd + "0001", "DHCPIPAddress", platform::kRegBinary,
                     std::string("\xC0\xA8\x0A\x19", 4)),
              kErrorSuccess);
    ASSERT_EQ(SetRaw(raw(), kLm, vxd + "0001", "Lease", platform::kRegBinary,
                     std::string("\x56\x34\x12\xAB", 4)),
              kErrorSuccess);
    EXPECT_TRUE(engine_.CheckBinding(8)) << os;  // FF or AB: only the last six digits count
    ASSERT_EQ(SetRaw(raw(), kLm, vxd + "0001", "Lease", platform::kRegBinary,
                     std::string("\x57\x34\x12\xFF", 4)),
              kErrorSuccess);
    EXPECT_FALSE(engine_.CheckBinding(8)) << os;
    ASSERT_EQ(access_.DeleteKeyTree(kLm, "SYSTEM\\CurrentControlSet\\Services\\VxD"),
              kErrorSuccess);
  }
  EXPECT_FALSE(engine_.CheckBinding(8));
}

TEST_F(EngineTest, CheckBindingOnNt4And2000) {
  LocationRecord& r = Add(9, "USE_STATIC_IP", "El90x1");
  r.IPAddress = "10.0.0.5";
  r.Lease = 42;
  const std::string w2k =
      "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\El90x1";
  const std::string nt4 = "SYSTEM\\CurrentControlSet\\Services\\El90x1\\Parameters\\Tcpip";
  for (const auto& [os, key] :
       {std::pair{engine::kOsWin2000, w2k}, std::pair{engine::kOsWinNt4, nt4}}) {
    state_.OSKind = os;
    ASSERT_EQ(
        SetRaw(raw(), kLm, key, "DhcpIPAddress", platform::kRegSz, std::string("10.0.0.5\0", 9)),
        kErrorSuccess);
    EXPECT_FALSE(engine_.CheckBinding(9));  // no lease yet
    ASSERT_EQ(access_.WriteNumber(kLm, key, "Lease", static_cast<int32_t>(0xFF00002A)),
              kErrorSuccess);
    EXPECT_TRUE(engine_.CheckBinding(9));
    ASSERT_EQ(access_.WriteNumber(kLm, key, "Lease", 43), kErrorSuccess);
    EXPECT_FALSE(engine_.CheckBinding(9));
  }
  state_.OSKind = engine::kOsWin95;
  EXPECT_FALSE(engine_.CheckBinding(9));
}

TEST_F(EngineTest, BrowserProxyLists) {
  auto proxy_of = [&](const LocationRecord& r) {
    auto value = [&](const char* name) {
      return QueryRaw(raw(), kCu, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                      name);
    };
    // Running programs are told, once both values are written.
    fake_.profile.broadcasts.clear();
    std::string told;
    fake_.profile.on_internet_settings = [&] {
      told = value("ProxyEnable").data + "|" + value("ProxyServer").data;
    };
    engine_.ApplyBrowserProxy(r);
    EXPECT_EQ(fake_.profile.broadcasts, Lines{"Internet Settings"});
    const StoredValue enable = value("ProxyEnable");
    const StoredValue server = value("ProxyServer");
    EXPECT_EQ(told, enable.data + "|" + server.data);
    EXPECT_EQ(enable.type, platform::kRegDword);
    EXPECT_EQ(server.type, platform::kRegSz);
    return std::pair<int, std::string>(enable.data.empty() ? -1 : enable.data[0],
                                       server.data.substr(0, server.data.size() - 1));
  };
  LocationRecord r;
  r.UseProxy = true;
  r.IEProxy.AllProtocolSameProxy = true;
  r.IEProxy.DefaultAddress = "10.0.0.2";
  r.IEProxy.DefaultPort = "8080";
  EXPECT_EQ(proxy_of(r), (std::pair<int, std::string>{1, "10.0.0.2:8080"}));
  r.IEProxy.DefaultPort = "";
  EXPECT_EQ(proxy_of(r), (std::pair<int, std::string>{1, "10.0.0.2"}));

  r.IEProxy = {};
  r.IEProxy.SocksAddress = "s";
  r.IEProxy.SocksPort = "1080";
  r.IEProxy.HTTPAddress = "10.0.0.1";
  r.IEProxy.HTTPPort = "3128";
  r.IEProxy.SecureAddress = "10.0.0.1";
  r.IEProxy.FTPAddress = "f";
  r.IEProxy.FTPPort = "21";
  r.IEProxy.GopherPort = "70";  // a port without an address adds nothing
  EXPECT_EQ(proxy_of(r), (std::pair<int, std::string>{
                             1, "ftp=f:21;http=10.0.0.1:3128;https=10.0.0.1;socks=s:1080"}));

  r.IEProxy = {};
  EXPECT_EQ(proxy_of(r), (std::pair<int, std::string>{1, ""}));
  // Meant for the other browser only: still turns this one on, from the blank set.
  r.UseNCProxy = true;
  r.NCProxy.DefaultAddress = "nc";
  EXPECT_EQ(proxy_of(r), (std::pair<int, std::string>{1, ""}));
  r.UseProxy = false;
  EXPECT_EQ(proxy_of(r), (std::pair<int, std::string>{0, ""}));
}

TEST_F(EngineTest, DefaultPrinterFromThePrinterPortsEntry) {
  fake_.profile.sections["PrinterPorts"] = {
      {"P", "winspool,LPT1:,15,45"}, {"Q", "winspool,LPT1:"}, {"R", ",LPT2:,1"}};
  engine_.SetDefaultPrinter("P");
  EXPECT_EQ(fake_.profile.sections["windows"]["Device"], "P,winspool,LPT1:");
  EXPECT_EQ(fake_.profile.broadcasts, Lines{"windows"});
  for (const char* unchanged : {"Q", "R", "Unknown", ""}) {
    engine_.SetDefaultPrinter(unchanged);
    EXPECT_EQ(fake_.profile.sections["windows"]["Device"], "P,winspool,LPT1:") << unchanged;
  }
  EXPECT_EQ(fake_.profile.broadcasts.size(), 1u);
  std::string driver, port;
  engine::SplitPrinterPorts("drv,port", &driver, &port);
  EXPECT_EQ(driver, "drv");
  EXPECT_EQ(port, "");
}

TEST_F(EngineTest, ApplyLocationSetsProxyAndPrinterOnEveryFamily) {
  fake_.profile.sections["PrinterPorts"] = {{"Office", "winspool,Ne00:,15,45"}};
  LocationRecord& r = Add(10, "USE_DHCP");
  r.UseWinNetwork = true;
  r.DefaultPrinter = "Office";
  r.UseProxy = true;
  r.IEProxy.AllProtocolSameProxy = true;
  r.IEProxy.DefaultAddress = "proxy";
  for (int32_t os : {engine::kOsUnknown, engine::kOsWin2000, engine::kOsWin98}) {
    state_.OSKind = os;
    fake_.process.started.clear();
    fake_.profile.sections["windows"].clear();
    front_.events.clear();
    engine_.ApplyLocation(10);
    EXPECT_EQ(fake_.profile.sections["windows"]["Device"], "Office,winspool,Ne00:") << os;
    EXPECT_EQ(
        QueryRaw(raw(), kCu, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                 "ProxyServer")
            .data,
        std::string("proxy\0", 6));
    EXPECT_EQ(fake_.process.started.empty(), os == engine::kOsUnknown) << os;
    EXPECT_EQ(front_.events.back(), os == engine::kOsUnknown ? "enabled" : "idle") << os;
  }
  // A static location with a program does not start it.
  LocationRecord& s = Add(11, "USE_STATIC_IP");
  s.ExecutePath = "/opt/x";
  fake_.shell.existing = {"/opt/x"};
  state_.OSKind = engine::kOsWin2000;
  engine_.ApplyLocation(11);
  EXPECT_TRUE(fake_.shell.invoked.empty());
}

// The apply command and its poll, with ticks given by the test.
class ApplyCommandTest : public EngineTest {
 protected:
  void SetUp() override {
    state_.OSKind = engine::kOsWin98;
    state_.AdapterTable = {{"Card", "AA"}};
    LocationRecord r;
    r.SessionName = "Static";
    r.NIC_ID = "AA";
    r.ServiceType = "USE_STATIC_IP";
    r.IPAddress = "192.168.10.25";
    r.SubnetMask = "255.255.255.0";
    r.Lease = 5;
    ASSERT_TRUE(locations_.SaveLocation(1, r));
    locations_.LoadLocations(state_.LocationTable);
    store::BuildActiveLocationTable(state_.AdapterTable, state_.LocationTable,
                                    state_.ActiveLocationTable);
  }
  void Bind() {
    ASSERT_EQ(SetRaw(raw(), kLm, "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\0000",
                     "DHCPIPAddress", platform::kRegBinary, std::string("\xC0\xA8\x0A\x19", 4)),
              kErrorSuccess);
    ASSERT_EQ(SetRaw(raw(), kLm, "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\0000", "Lease",
                     platform::kRegBinary, std::string("\x05\x00\x00\xFF", 4)),
              kErrorSuccess);
  }

  store::LocationStore locations_{access_};
  engine::ApplyCommand command_{engine_, locations_, state_, front_};
};

TEST_F(ApplyCommandTest, ThePollEndsWithSuccessOnceTheSystemIsBound) {
  command_.Apply(1);
  EXPECT_EQ(command_.ApplyingLocationId, 1);
  EXPECT_TRUE(state_.LocationTable[0].SessionActive);
  EXPECT_EQ(QueryRaw(raw(), kLm, "SOFTWARE\\Orlenta\\SessionInfo\\1", "SessionActive").data,
            std::string("YES\0", 4));
  EXPECT_EQ(front_.events.front(), "disabled");
  command_.ResetPoll();
  EXPECT_FALSE(command_.Tick());
  EXPECT_FALSE(command_.Tick());
  Bind();
  front_.events.clear();
  EXPECT_TRUE(command_.Tick());
  EXPECT_TRUE(command_.PollDone);
  EXPECT_EQ(Messages(), Lines{engine::kBindSucceeded});
  EXPECT_FALSE(endpoint_.open);
  EXPECT_EQ(front_.events, (Lines{"stop", "idle", "enabled", "focus"}));
  // The filter goes off for every instance (none here) and the id stays.
  EXPECT_EQ(command_.ApplyingLocationId, 1);
}

TEST_F(ApplyCommandTest, ThePollGivesUpAtTheFifteenthFailedTick) {
  ASSERT_EQ(access_.CreateKey(kLm, "System\\CurrentControlSet\\Services\\Class\\Net\\0000"),
            kErrorSuccess);
  command_.Apply(1);
  command_.ResetPoll();
  fake_.process.started.clear();
  for (int i = 1; i < 15; ++i) ASSERT_FALSE(command_.Tick()) << i;
  EXPECT_TRUE(front_.prompt.shown.empty());
  front_.events.clear();
  EXPECT_TRUE(command_.Tick());
  EXPECT_EQ(command_.PollTicks, 15);
  EXPECT_EQ(Messages(), Lines{engine::kBindFailed});
  EXPECT_EQ(command_.ApplyingLocationId, -1);
  EXPECT_EQ(front_.events, (Lines{"stop", "idle", "refresh", "enabled", "focus"}));
  EXPECT_EQ(Started(), Lines{"/opt/netvane/NVEFilter U 0000"});
  // The location stays marked active.
  EXPECT_TRUE(state_.LocationTable[0].SessionActive);
}

TEST_F(ApplyCommandTest, AnAddressInUseAndOtherErrorsEndTheApplyWithTheirReport) {
  fake_.process.missing = {"ipconfig.exe"};
  command_.Apply(1);
  ASSERT_EQ(front_.prompt.shown.size(), 1u);
  EXPECT_EQ(front_.prompt.shown[0].text,
            "Please, check if gateway or DNS Configuration is valid.\r\nError Number : 2\r\n"
            "Error Description : The system cannot find the file specified.\r\n");
  EXPECT_EQ(front_.prompt.shown[0].icon, engine::PromptIcon::kNone);
  EXPECT_EQ(front_.events.back(), "focus");
  EXPECT_EQ(front_.events[front_.events.size() - 2], "enabled");
  // The responder's port does not stay taken after the error.
  EXPECT_FALSE(endpoint_.open);
  EXPECT_EQ(engine::ApplyErrorText(
                platform::PlatformError(platform::kWsaAddressInUse, "Address in use", "Winsock")),
            "DHCP Server is running.\r\nPlease, refer to Help[Tip].");
}

// A failed apply offers back the location that was active on the adapter before it.
class RestoreTest : public ApplyCommandTest {
 protected:
  void SetUp() override {
    ApplyCommandTest::SetUp();
    LocationRecord home;
    home.SessionName = "Home";
    home.NIC_ID = "aa";  // the same adapter in another letter case
    home.ServiceType = "USE_DHCP";
    ASSERT_TRUE(locations_.SaveLocation(2, home));
    Reload();
    ASSERT_TRUE(locations_.SetActiveLocation(2, state_.LocationTable, state_.ActiveLocationTable));
  }
  void Reload() {
    locations_.LoadLocations(state_.LocationTable);
    store::BuildActiveLocationTable(state_.AdapterTable, state_.LocationTable,
                                    state_.ActiveLocationTable);
  }
  bool Active(int16_t id) {
    Reload();
    return state_
        .LocationTable[static_cast<size_t>(store::FindLocationIndex(state_.LocationTable, id))]
        .SessionActive;
  }
  const Lines kDhcpApply{"netsh interface ip delete dns \"aa\" all",
                         "netsh interface ip set address \"aa\" source=dhcp",
                         "ipconfig.exe /release aa", "ipconfig.exe /renew aa"};
};

TEST_F(RestoreTest, AFailedReadBackOffersThePreviousLocationAndYesAppliesIt) {
  state_.OSKind = engine::kOsWin2000;
  command_.Apply(1);
  ASSERT_EQ(Messages(), (Lines{engine::kBindFailed, "Restore the previous location \"Home\"?"}));
  EXPECT_EQ(front_.prompt.shown[1].icon, engine::PromptIcon::kQuestion);
  EXPECT_EQ(front_.prompt.shown[1].buttons, engine::PromptButtons::kYesNo);
  const Lines started = Started();
  ASSERT_GE(started.size(), kDhcpApply.size());
  EXPECT_EQ(Lines(started.end() - 4, started.end()), kDhcpApply);
  EXPECT_EQ(command_.RestoredLocationId, 2);
  EXPECT_TRUE(Active(2));
  EXPECT_FALSE(Active(1));
  EXPECT_EQ(Lines(front_.events.end() - 2, front_.events.end()), (Lines{"enabled", "idle"}));

  // No leaves the failed location in place and starts nothing more.
  fake_.process.started.clear();
  front_.prompt.shown.clear();
  front_.prompt.answers = {engine::PromptAnswer::kOk, engine::PromptAnswer::kNo};
  command_.Apply(1);
  EXPECT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Started().size(), 3u);  // the static apply's own netsh runs
  EXPECT_EQ(command_.RestoredLocationId, -1);
  EXPECT_TRUE(Active(1));
}

TEST_F(RestoreTest, AnErrorReportOffersItOnceEvenWhenTheRestoreFailsToo) {
  state_.OSKind = engine::kOsWin2000;
  fake_.process.missing = {"netsh"};
  command_.Apply(1);
  const std::string error =
      "Please, check if gateway or DNS Configuration is valid.\r\nError Number : 2\r\n"
      "Error Description : The system cannot find the file specified.\r\n";
  EXPECT_EQ(Messages(), (Lines{error, "Restore the previous location \"Home\"?", error}));
  EXPECT_EQ(front_.events.back(), "focus");
  EXPECT_TRUE(Active(2));  // marked before the restore's own apply failed
}

TEST_F(RestoreTest, APollThatRunsOutOffersItAfterItsMessageAndASuccessDoesNot) {
  command_.Apply(1);  // Windows 98: the answer comes from the poll
  command_.ResetPoll();
  Bind();
  EXPECT_TRUE(command_.Tick());
  EXPECT_EQ(Messages(), Lines{engine::kBindSucceeded});

  front_.prompt.shown.clear();
  front_.prompt.answers = {engine::PromptAnswer::kOk, engine::PromptAnswer::kYes};
  ASSERT_TRUE(locations_.SetActiveLocation(2, state_.LocationTable, state_.ActiveLocationTable));
  Reload();
  ASSERT_EQ(access_.CreateKey(kLm, "System\\CurrentControlSet\\Services\\Class\\Net\\0000"), 0);
  ASSERT_EQ(SetRaw(raw(), kLm, "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\0000",
                   "DHCPIPAddress", platform::kRegBinary, std::string(4, '\0')),
            0);
  command_.Apply(1);
  command_.ResetPoll();
  fake_.process.started.clear();
  for (int i = 1; i < engine::kBindPollTicks; ++i) ASSERT_FALSE(command_.Tick()) << i;
  EXPECT_TRUE(command_.Tick());
  EXPECT_EQ(Messages(), (Lines{engine::kBindFailed, "Restore the previous location \"Home\"?"}));
  // The filter is off before the restore's release.
  EXPECT_EQ(Started(), (Lines{"/opt/netvane/NVEFilter U 0000", "ipconfig.exe /release 0",
                              "ipconfig.exe /renew 0"}));
  EXPECT_TRUE(fake_.process.started[0].waited);
  EXPECT_TRUE(Active(2));
}

// From the failure until the restore's own apply has ended the commands stay disabled; No gives
// them back at once, and nothing of a restore starts once the program is shutting down.
TEST_F(RestoreTest, TheCommandsStayDisabledUntilTheRestoreHasEnded) {
  ASSERT_EQ(access_.CreateKey(kLm, "System\\CurrentControlSet\\Services\\Class\\Net\\0000"), 0);
  const auto commands_enabled = [&] {
    const auto last = std::find_if(front_.events.rbegin(), front_.events.rend(),
                                   [](auto& e) { return e == "enabled" || e == "disabled"; });
    return last != front_.events.rend() && *last == "enabled";
  };
  std::vector<bool> enabled_at;  // at each message, and at each wait for a program
  front_.prompt.on_show = [&](const std::string&) { enabled_at.push_back(commands_enabled()); };
  fake_.process.running_waits = 1;
  fake_.process.on_wait = [&](const std::string&) { enabled_at.push_back(commands_enabled()); };
  const auto run_out = [&] {
    command_.Apply(1);
    command_.ResetPoll();
    while (!command_.Tick()) {
    }
  };
  run_out();
  EXPECT_EQ(Messages(), (Lines{engine::kBindFailed, "Restore the previous location \"Home\"?"}));
  EXPECT_EQ(std::count(enabled_at.begin(), enabled_at.end(), true), 0);
  EXPECT_TRUE(Active(2));
  EXPECT_EQ(front_.events.back(), "idle");
  EXPECT_TRUE(commands_enabled());

  front_.prompt.answers = {engine::PromptAnswer::kOk, engine::PromptAnswer::kNo};
  ASSERT_TRUE(locations_.SetActiveLocation(2, state_.LocationTable, state_.ActiveLocationTable));
  front_.events.clear();
  run_out();
  EXPECT_EQ(Lines(front_.events.end() - 2, front_.events.end()), (Lines{"enabled", "focus"}));
  EXPECT_TRUE(Active(1));

  // Shutting down while the failed apply's filter is switched off: no restore starts.
  ASSERT_TRUE(locations_.SetActiveLocation(2, state_.LocationTable, state_.ActiveLocationTable));
  fake_.process.on_wait = [&](const std::string& line) {
    if (line.find("NVEFilter U") != std::string::npos) front_.shutting_down = true;
  };
  run_out();
  const Lines started = Started();
  EXPECT_EQ(started.back(), "/opt/netvane/NVEFilter U 0000");
  EXPECT_FALSE(endpoint_.open);
  EXPECT_EQ(Lines(front_.events.end() - 2, front_.events.end()), (Lines{"enabled", "focus"}));
  EXPECT_EQ(command_.RestoredLocationId, -1);
}

// The poll's ticks run inside the failed apply's own message box (its connection program could
// not start): the restore waits for that apply's last step, so the restored location's proxy
// and printer are the ones that stay.
TEST_F(RestoreTest, APollThatRunsOutInsideTheFailedApplyRestoresAfterItsLastStep) {
  LocationRecord dial =
      state_.LocationTable[static_cast<size_t>(store::FindLocationIndex(state_.LocationTable, 1))];
  dial.ServiceType = std::string(store::kUseHanaroOutPppModem);
  dial.ExecutePath = "/opt/dialer/missing";
  dial.UseProxy = true;
  dial.IEProxy.AllProtocolSameProxy = true;
  dial.IEProxy.DefaultAddress = "office-proxy";
  dial.UseWinNetwork = true;
  dial.DefaultPrinter = "Office";
  ASSERT_TRUE(locations_.SaveLocation(1, dial));
  LocationRecord home =
      state_.LocationTable[static_cast<size_t>(store::FindLocationIndex(state_.LocationTable, 2))];
  home.UseWinNetwork = true;
  home.DefaultPrinter = "Home";
  ASSERT_TRUE(locations_.SaveLocation(2, home));
  Reload();
  fake_.profile.sections["PrinterPorts"] = {{"Office", "drv,LPT1:,15,45"},
                                            {"Home", "drv,LPT2:,15,45"}};
  front_.prompt.on_show = [&](const std::string& text) {
    if (text.rfind("Error in executing", 0) != 0) return;
    command_.ResetPoll();
    while (!command_.Tick()) {
    }
  };
  command_.Apply(1);
  const Lines messages = Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(Lines(messages.begin() + 1, messages.end()),
            (Lines{engine::kBindFailed, "Restore the previous location \"Home\"?"}));
  EXPECT_EQ(fake_.profile.sections["windows"]["Device"], "Home,drv,LPT2:");
  EXPECT_EQ(QueryRaw(raw(), kCu, std::string(engine::kInternetSettingsPath), "ProxyEnable").data,
            std::string(4, '\0'));
  EXPECT_TRUE(Active(2));
  EXPECT_EQ(front_.events.back(), "idle");
}

TEST_F(RestoreTest, NothingIsOfferedWithoutAnotherActiveLocationOrWhenNeverAsked) {
  state_.OSKind = engine::kOsWin2000;
  command_.restore_policy = engine::RestorePolicy::kNever;
  command_.Apply(1);
  EXPECT_EQ(Messages(), Lines{engine::kBindFailed});
  command_.restore_policy = engine::RestorePolicy::kAsk;
  front_.prompt.shown.clear();
  command_.Apply(1);  // location 1 is the active one now
  EXPECT_EQ(Messages(), Lines{engine::kBindFailed});
}

// A location applied well remembers its network: a static one at once, from the values the
// read-back found, a DHCP one once its renew has ended with a lease. A failure, or a gateway
// nobody (or more than one) answers for, leaves what it remembered before.
class NetworkMemoryTest : public ApplyCommandTest {
 protected:
  void SetUp() override {
    ApplyCommandTest::SetUp();
    state_.OSKind = engine::kOsWin2000;
    LocationRecord office;
    office.SessionName = "Office";
    office.NIC_ID = "AA";
    office.ServiceType = "USE_STATIC_IP";
    office.IPAddress = "172.16.5.20";
    office.SubnetMask = "255.255.255.0";
    office.Gateway = "172.16.5.1";
    ASSERT_TRUE(locations_.SaveLocation(3, office));
    LocationRecord home;
    home.SessionName = "Home";
    home.NIC_ID = "AA";
    home.ServiceType = "USE_DHCP";
    ASSERT_TRUE(locations_.SaveLocation(4, home));
    locations_.LoadLocations(state_.LocationTable);
    command_.memory = &memory_;
  }
  store::NetworkPrint Stored(int16_t id) { return locations_.LoadLocation(id).Network; }
  void Leased() {
    const std::string key = std::string(engine::kTcpipInterfacesPath) + "AA";
    ASSERT_EQ(access_.CreateKey(kLm, key), kErrorSuccess);
    ASSERT_EQ(access_.WriteValue(kLm, key, "DhcpIPAddress", "192.168.1.23"), kErrorSuccess);
    ASSERT_EQ(access_.WriteValue(kLm, key, "DhcpSubnetMask", "255.255.255.0"), kErrorSuccess);
    ASSERT_EQ(SetRaw(raw(), kLm, key, "DhcpDefaultGateway", platform::kRegMultiSz,
                     std::string("192.168.1.1") + '\0' + "192.168.1.254" + std::string(2, '\0')),
              kErrorSuccess);
    ASSERT_EQ(access_.WriteValue(kLm, key, "DhcpServer", "192.168.1.5"), kErrorSuccess);
  }

  engine::NetworkMemory memory_{fake_.services(), access_, locations_, state_};
};

TEST_F(NetworkMemoryTest, AStaticLocationRemembersItsGatewayOnceTheReadBackTookIt) {
  command_.Apply(3);  // the read-back finds nothing: not remembered
  EXPECT_TRUE(Stored(3).empty());
  EXPECT_TRUE(fake_.probe.requests.empty());

  SystemHolds("AA", "172.16.5.20", "255.255.255.0", "172.16.5.1");
  fake_.probe.results["AA"].answers = {{"172.16.5.1", "02:00:00:00:00:1A"}};
  command_.Apply(3);
  const store::NetworkPrint lab{"172.16.5.1", "02:00:00:00:00:1a", "", "172.16.5.0/24"};
  EXPECT_EQ(Stored(3), lab);
  EXPECT_EQ(
      state_.LocationTable[static_cast<size_t>(store::FindLocationIndex(state_.LocationTable, 3))]
          .Network,
      lab);
  ASSERT_EQ(fake_.probe.requests.size(), 1u);
  EXPECT_EQ(fake_.probe.requests[0].gateways, std::vector<std::string>{"172.16.5.1"});
  EXPECT_FALSE(fake_.probe.requests[0].dhcp);

  // The neighbour table's entry (from another network, say) counts only where no probe can
  // be sent; two answers for the gateway are no answer.
  fake_.probe.neighbours["AA 172.16.5.1"] = "02:00:00:00:00:2b";
  command_.Apply(3);
  EXPECT_EQ(Stored(3).GatewayMAC, "02:00:00:00:00:1a");
  fake_.probe.results["AA"].error = "no rights";
  command_.Apply(3);
  EXPECT_EQ(Stored(3).GatewayMAC, "02:00:00:00:00:2b");
  fake_.probe.results["AA"].error.clear();
  fake_.probe.results["AA"].answers.push_back({"172.16.5.1", "02:00:00:00:00:3c"});
  command_.Apply(3);
  EXPECT_EQ(Stored(3).GatewayMAC, "02:00:00:00:00:2b");
}

TEST_F(NetworkMemoryTest, ADhcpLocationRemembersTheLeaseOnceItsRenewHasEnded) {
  Leased();
  fake_.probe.results["AA"].answers = {{"192.168.1.1", "02:00:00:00:00:0a"}};
  fake_.process.still_active = {"ipconfig.exe /renew AA"};
  command_.Apply(4);
  EXPECT_TRUE(memory_.Waiting());
  EXPECT_TRUE(memory_.Tick());
  EXPECT_TRUE(Stored(4).empty());
  fake_.process.still_active.clear();
  EXPECT_FALSE(memory_.Tick());
  EXPECT_EQ(Stored(4), (store::NetworkPrint{"192.168.1.1", "02:00:00:00:00:0a", "192.168.1.5",
                                            "192.168.1.0/24"}));

  // A renew that ends without a lease (the release's 0.0.0.0) leaves the print as it was; one
  // that never ends is given up.
  ASSERT_EQ(access_.WriteValue(kLm, std::string(engine::kTcpipInterfacesPath) + "AA",
                               "DhcpIPAddress", "0.0.0.0"),
            kErrorSuccess);
  command_.Apply(4);
  EXPECT_FALSE(memory_.Tick());
  EXPECT_EQ(Stored(4).DhcpServer, "192.168.1.5");
  fake_.process.still_active = {"ipconfig.exe /renew AA"};
  command_.Apply(4);
  int ticks = 0;
  while (memory_.Tick()) ++ticks;
  EXPECT_EQ(ticks, engine::kRenewTicks - 1);
}

}  // namespace
}  // namespace netvane::testing
