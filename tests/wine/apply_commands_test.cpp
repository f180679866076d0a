// The engine's command lines reach the system tools exactly as built: stand-ins of netsh.exe,
// ipconfig.exe and NVEFilter.exe beside this program (found before the system's own, as
// CreateProcess looks in the program's folder first) record what GetCommandLineA gives them.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <wininet.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine_fixture.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_udp.h"
#include "registry_raw.h"
#include "store/location_store.h"
#include "store/registry_access.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using Lines = std::vector<std::string>;

constexpr platform::RegHandle kLm = platform::kHkeyLocalMachine;
constexpr char kHidden[] = "0 ";  // SW_HIDE

// Keys a test makes below HKEY_LOCAL_MACHINE, removed afterwards (the deepest first); keys
// that were there before are left alone.
class MadeKeys {
 public:
  explicit MadeKeys(platform::Registry& registry) : registry_(registry) {}
  ~MadeKeys() {
    for (auto k = made_.rbegin(); k != made_.rend(); ++k) {
      for (const std::string& name : ValueNames(registry_, kLm, *k)) {
        platform::RegHandle key = 0;
        if (registry_.OpenKeyEx(kLm, *k, platform::kKeyAllAccess, &key) == 0) {
          registry_.DeleteValue(key, name);
          registry_.CloseKey(key);
        }
      }
      registry_.DeleteKey(kLm, *k);
    }
  }
  // Makes `path` and its missing parents; the registry's code on failure.
  int32_t Make(const std::string& path) {
    std::vector<std::string> missing;
    for (size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
      const std::string part = path.substr(0, end);
      if (!KeyExists(registry_, kLm, part)) missing.push_back(part);
      if (end == std::string::npos) break;
    }
    platform::RegHandle key = 0;
    const int32_t r = registry_.CreateKey(kLm, path, &key);
    if (r != 0) return r;
    registry_.CloseKey(key);
    made_.insert(made_.end(), missing.begin(), missing.end());
    return 0;
  }

 private:
  platform::Registry& registry_;
  std::vector<std::string> made_;
};

class ApplyCommandsTest : public EngineOverSystemTest {
 protected:
  void SetUp() override {
    EngineOverSystemTest::SetUp();
    state_.OSKind = engine::kOsWin2000;
  }

  store::LocationRecord& Add(int16_t id, const std::string& kind, const std::string& nic) {
    store::LocationRecord r;
    r.LocationId = id;
    r.SessionName = "L" + std::to_string(id);
    r.NIC_ID = nic;
    r.NIC_NAME = "Card";
    r.ServiceType = kind;
    state_.LocationTable.push_back(r);
    return state_.LocationTable.back();
  }

  // Every record the stand-ins wrote, once all the programs started have ended.
  Lines Received() {
    process_.WaitForAll();
    Lines lines;
    std::istringstream in(ReadBytes(log_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static Lines Hidden(const Lines& command_lines) {
    Lines out;
    for (const std::string& line : command_lines) out.push_back(kHidden + line);
    return out;
  }
};

TEST_F(ApplyCommandsTest, DynamicKindsKeepEveryBlankOfTheirCommandLines) {
  struct Case {
    const char* kind;
    const char* set_address;
    bool renews;
  };
  const std::string nic = "Local Area Connection";
  const Case cases[] = {
      {"USE_DHCP", "netsh interface ip set address \"Local Area Connection\" source=dhcp", true},
      // The two blanks before "source=dhcp" are the engine's own text and reach netsh as such.
      {"USE_CABLE_MODEM", "netsh interface ip set address \"Local Area Connection\"  source=dhcp",
       true},
      {"USE_KT_ADSL", "netsh interface ip set address \"Local Area Connection\" dynamic", false},
  };
  int16_t id = 0;
  for (const Case& c : cases) {
    DeleteFileA(log_.c_str());
    Add(++id, c.kind, nic);
    engine_.ApplyNetworkNetsh(id);
    Lines expected = {"netsh interface ip delete dns \"Local Area Connection\" all", c.set_address,
                      "ipconfig.exe /release Local Area Connection"};
    if (c.renews) expected.push_back("ipconfig.exe /renew Local Area Connection");
    EXPECT_EQ(Received(), Hidden(expected)) << c.kind;
  }
  EXPECT_TRUE(front_.messages.empty());
}

// Today's Windows: netsh is given the connection's name, read through advapi32 from the network
// class key; ipconfig keeps the adapter's identifier.
TEST_F(ApplyCommandsTest, NetshIsGivenTheConnectionsName) {
  ASSERT_GE(real_.winver.Reported().major, 6u);
  const std::string guid = "{6A3C1E52-0F4B-4C1D-9E2A-7B8C9D0E1F23}";
  const std::string connection =
      std::string(engine::kNetworkConnectionsPath) + guid + "\\Connection";
  MadeKeys keys(real_.registry);
  const int32_t made = keys.Make(connection);
  if (made == platform::kErrorAccessDenied)
    GTEST_SKIP() << "writing below HKEY_LOCAL_MACHINE needs an administrator";
  ASSERT_EQ(made, kErrorSuccess);
  ASSERT_EQ(SetRaw(real_.registry, kLm, connection, "Name", platform::kRegSz,
                   std::string("Local Area Connection 2", 24)),
            kErrorSuccess);
  Add(1, "USE_DHCP", guid);
  engine_.ApplyNetworkNetsh(1);
  EXPECT_EQ(Received(), Hidden({"netsh interface ip delete dns \"Local Area Connection 2\" all",
                                "netsh interface ip set address \"Local Area Connection 2\" "
                                "source=dhcp",
                                "ipconfig.exe /release " + guid, "ipconfig.exe /renew " + guid}));
  // A connection with no key of its own keeps the identifier.
  const std::string bare = "{0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0}";
  Add(2, "USE_DHCP", bare);
  engine_.ApplyNetworkNetsh(2);
  const Lines all = Received();
  ASSERT_EQ(all.size(), 8u);
  EXPECT_EQ(Lines(all.begin() + 4, all.end()),
            Hidden({"netsh interface ip delete dns \"" + bare + "\" all",
                    "netsh interface ip set address \"" + bare + "\" source=dhcp",
                    "ipconfig.exe /release " + bare, "ipconfig.exe /renew " + bare}));
}

TEST_F(ApplyCommandsTest, StaticSequenceArrivesInOrderAndTheReadBackSeesTheSystemValues) {
  // No shell stands between the engine and the tools: "&" and "%PATH%" arrive as written.
  const std::string nic = "Ethernet & %PATH%";
  store::LocationRecord& r = Add(7, "USE_STATIC_IP", nic);
  r.IPAddress = "10.0.0.5";
  r.SubnetMask = "255.255.255.0";
  r.Gateway = "10.0.0.1,10.0.0.254";
  r.DNS = "10.0.0.53,10.0.0.54";

  // What Windows would hold once netsh had done its work, read back through advapi32.
  MadeKeys keys(real_.registry);
  const std::string interface_key = std::string(engine::kTcpipInterfacesPath) + nic;
  const int32_t made = keys.Make(interface_key);
  if (made == platform::kErrorAccessDenied)
    GTEST_SKIP() << "writing below HKEY_LOCAL_MACHINE needs an administrator";
  ASSERT_EQ(made, kErrorSuccess);
  const std::string nul(1, '\0');
  ASSERT_EQ(SetRaw(real_.registry, kLm, interface_key, "IPAddress", platform::kRegMultiSz,
                   "10.0.0.5" + nul + nul),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(real_.registry, kLm, interface_key, "SubnetMask", platform::kRegMultiSz,
                   "255.255.255.0" + nul + nul),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(real_.registry, kLm, interface_key, "DefaultGateway", platform::kRegMultiSz,
                   "10.0.0.1" + nul + "10.0.0.254" + nul + nul),
            kErrorSuccess);

  engine_.ApplyNetworkNetsh(7);
  const std::string n = "\"Ethernet & %PATH%\"";
  EXPECT_EQ(Received(),
            Hidden({
                "netsh interface ip set address " + n + " static 10.0.0.5 255.255.255.0",
                "netsh interface ip delete address " + n + " gateway=all",
                "netsh interface ip add address " + n + " gateway=10.0.0.1 gwmetric=1",
                "netsh interface ip add address " + n + " gateway=10.0.0.254 gwmetric=2",
                "netsh interface ip delete dns " + n + " all",
                "netsh interface ip add dns " + n + " 10.0.0.53 index=1",
                "netsh interface ip add dns " + n + " 10.0.0.54 index=2",
            }));
  EXPECT_EQ(front_.messages, Lines{engine::kBindSucceeded});
  EXPECT_EQ(front_.events.back(), "idle");
}

TEST_F(ApplyCommandsTest, Windows98ReleasesSwitchesTheFilterBesideTheProgramAndRenews) {
  MadeKeys keys(real_.registry);
  for (const char* instance : {"0001", "0000"}) {
    const int32_t made = keys.Make(std::string(engine::kNetClassPath) + "\\" + instance);
    if (made == platform::kErrorAccessDenied)
      GTEST_SKIP() << "writing below HKEY_LOCAL_MACHINE needs an administrator";
    ASSERT_EQ(made, kErrorSuccess);
  }
  state_.OSKind = engine::kOsWin98;
  state_.AdapterTable = {{"Card A", "00-50-BA-01-02-0F"}, {"Card B", "00-50-BA-01-02-10"}};
  engine::ExternalPrograms& programs = engine_.programs();
  programs.ReleaseRenew("00-50-ba-01-02-10", false, true);

  const Lines received = Received();
  ASSERT_EQ(received.size(), 4u) << ::testing::PrintToString(received);
  // The release is waited for; the filter switches and the renew run side by side.
  EXPECT_EQ(received[0], std::string(kHidden) + "ipconfig.exe /release 1");
  Lines rest(received.begin() + 1, received.end());
  std::sort(rest.begin(), rest.end());
  const std::string folder = ProgramFolder();
  EXPECT_EQ(rest, Hidden({folder + "NVEFilter L 0000", folder + "NVEFilter L 0001",
                          "ipconfig.exe /renew 1"}));
  EXPECT_EQ(front_.events, (Lines{"events", "poll"}));
}

// A profile entry and an Internet Settings value as they were, put back afterwards.
class KeptSetting {
 public:
  KeptSetting(const char* section, const char* entry) : section_(section), entry_(entry) {
    char text[512] = {};
    GetProfileStringA(section, entry, "\x01", text, sizeof text);
    had_ = std::string(text) != "\x01";
    value_ = text;
  }
  ~KeptSetting() { WriteProfileStringA(section_, entry_, had_ ? value_.c_str() : nullptr); }

 private:
  const char* section_;
  const char* entry_;
  bool had_ = false;
  std::string value_;
};

constexpr char kSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// The user's proxy values as they were, put back afterwards.
class KeptProxy {
 public:
  explicit KeptProxy(platform::Registry& registry) : registry_(registry) {
    for (const char* name : kNames) {
      kept_.push_back(QueryRaw(registry_, platform::kHkeyCurrentUser, kSettings, name));
    }
  }
  ~KeptProxy() {
    for (size_t i = 0; i < kept_.size(); ++i) {
      if (kept_[i].code != 0) continue;
      SetRaw(registry_, platform::kHkeyCurrentUser, kSettings, kNames[i], kept_[i].type,
             kept_[i].data);
    }
  }

 private:
  static constexpr const char* kNames[] = {"ProxyEnable", "ProxyServer"};
  platform::Registry& registry_;
  std::vector<StoredValue> kept_;
};

// What WinINet itself reports as the proxy of the LAN connection: its flags and server list.
std::pair<DWORD, std::string> ProxyWinInetReports() {
  INTERNET_PER_CONN_OPTIONA options[2] = {};
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  INTERNET_PER_CONN_OPTION_LISTA list{};
  list.dwSize = sizeof list;
  list.dwOptionCount = 2;
  list.pOptions = options;
  DWORD size = sizeof list;
  if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
    return {0, "error " + std::to_string(GetLastError())};
  }
  std::pair<DWORD, std::string> proxy{options[0].Value.dwValue, ""};
  if (options[1].Value.pszValue != nullptr) {
    proxy.second = options[1].Value.pszValue;
    GlobalFree(options[1].Value.pszValue);
  }
  return proxy;
}

std::string ProfileText(const char* section, const char* entry) {
  char text[512] = {};
  GetProfileStringA(section, entry, "", text, sizeof text);
  return text;
}

// The rest of an apply through the system's own services: the connection program through the
// shell (Wine's Shell.Application has no InvokeVerb: the shell's fallback runs it), the browser
// proxy in the user's real Internet Settings, the default printer through the profile API.
TEST_F(ApplyCommandsTest, ConnectionProgramProxyAndPrinterGoThroughTheSystem) {
  KeptProxy proxy(real_.registry);
  KeptSetting device("windows", "Device");
  KeptSetting port("PrinterPorts", "Netvane Test Printer");
  ASSERT_TRUE(WriteProfileStringA("PrinterPorts", "Netvane Test Printer", "winspool,FILE:,15,45"));

  store::LocationRecord& r = Add(5, "USE_KT_ADSL", "{Card}");
  r.ExecutePath = ProgramFolder() + "NVEFilter.exe";
  r.UseProxy = true;
  r.IEProxy.HTTPAddress = "proxy.example";
  r.IEProxy.HTTPPort = "3128";
  r.UseWinNetwork = true;
  r.DefaultPrinter = "Netvane Test Printer";
  engine_.ApplyLocation(5);
  process_.WaitForAll();
  // The shell's program is not one the engine waits for.
  bool launched = false;
  for (int i = 0; i < 500 && !launched; ++i) {
    launched = ReadBytes(log_).find("NVEFilter.exe") != std::string::npos;
    if (!launched) Sleep(20);
  }
  EXPECT_TRUE(launched) << ReadBytes(log_);
  EXPECT_TRUE(front_.messages.empty()) << front_.messages[0];
  EXPECT_EQ(QueryRaw(real_.registry, platform::kHkeyCurrentUser, kSettings, "ProxyEnable").data,
            std::string("\x01\0\0\0", 4));
  EXPECT_EQ(QueryRaw(real_.registry, platform::kHkeyCurrentUser, kSettings, "ProxyServer").data,
            std::string("http=proxy.example:3128\0", 24));
  EXPECT_EQ(ProfileText("windows", "Device"), "Netvane Test Printer,winspool,FILE:");
}

// Once a location's proxy is written, WinINet itself reports it (and no proxy for a location
// without one). Wine's WinINet reads the values at every query, so this shows what a program
// asking WinINet gets, not that an already running one was told.
TEST_F(ApplyCommandsTest, WinInetReportsTheProxyOfTheLocationApplied) {
  KeptProxy kept(real_.registry);
  store::LocationRecord& with = Add(1, "USE_SOMETHING", "{Card}");
  with.UseProxy = true;
  with.IEProxy.AllProtocolSameProxy = true;
  with.IEProxy.DefaultAddress = "10.9.8.7";
  with.IEProxy.DefaultPort = "3128";
  Add(2, "USE_SOMETHING", "{Card}");
  engine_.ApplyLocation(1);
  const std::pair<DWORD, std::string> on = ProxyWinInetReports();
  EXPECT_NE(on.first & PROXY_TYPE_PROXY, 0u) << on.first;
  EXPECT_EQ(on.second, "10.9.8.7:3128");
  engine_.ApplyLocation(2);
  EXPECT_EQ(ProxyWinInetReports().first, static_cast<DWORD>(PROXY_TYPE_DIRECT));
}

}  // namespace
}  // namespace netvane::testing
