// Locations in the registry: the layout written, what loads back, activation, listing, and
// saves that fail part-way.
#include "store/location_store.h"

#include <gtest/gtest.h>

#include "platform/registry_tree.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;
using store::LocationRecord;
using store::LocationStore;
using store::RegistryAccess;

constexpr platform::RegHandle kRoot = kHkeyLocalMachine;

LocationRecord StaticLocation(int16_t id, const std::string& name, const std::string& nic) {
  LocationRecord r;
  r.LocationId = id;
  r.SessionName = name;
  r.NIC_NAME = "Adapter " + nic;
  r.NIC_ID = nic;
  r.ServiceType = "USE_STATIC_IP";
  r.IPAddress = "192.168.1.10";
  r.SubnetMask = "255.255.255.0";
  r.Gateway = "192.168.1.1,192.168.1.254";
  r.DNS = "192.168.1.2";
  r.Lease = 1193046;
  r.UseProxy = true;
  r.UseIEProxy = true;
  r.UseNCProxy = true;
  r.IEProxy.HTTPAddress = "10.0.0.1";
  r.IEProxy.HTTPPort = "3128";
  r.IEProxy.SocksAddress = "10.0.0.9";
  r.NCProxy.AllProtocolSameProxy = true;
  r.NCProxy.DefaultAddress = "nc.proxy";
  r.NCProxy.DefaultPort = "80";
  r.UseWinNetwork = true;
  r.DefaultPrinter = "Office Laser";
  return r;
}

LocationRecord DhcpLocation(int16_t id, const std::string& name, const std::string& nic) {
  LocationRecord r;
  r.LocationId = id;
  r.SessionName = name;
  r.NIC_NAME = "Adapter " + nic;
  r.NIC_ID = nic;
  r.ServiceType = "USE_DHCP";
  return r;
}

class LocationStoreTest : public ::testing::Test {
 protected:
  platform::Registry& raw() { return test_.registry(); }
  std::string Key(int id, const std::string& sub = "") {
    std::string k = "SOFTWARE\\Orlenta\\SessionInfo\\" + std::to_string(id);
    return sub.empty() ? k : k + "\\" + sub;
  }
  std::string Sz(const std::string& path, const std::string& name) {
    const StoredValue v = QueryRaw(raw(), kRoot, path, name);
    EXPECT_EQ(v.type, platform::kRegSz) << path << " " << name;
    return v.data.empty() ? "<none>" : v.data.substr(0, v.data.size() - 1);
  }

  TestRegistry test_;
  RegistryAccess access_{test_.registry(), test_.codepage()};
  LocationStore store_{access_};
};

TEST_F(LocationStoreTest, WritesTheRegistryLayoutValueByValue) {
  ASSERT_TRUE(store_.SaveLocation(3, StaticLocation(3, "Office", "El90x1")));
  EXPECT_EQ(ValueNames(raw(), kRoot, Key(3)),
            (std::vector<std::string>{"SessionName", "NIC_ID", "NIC_NAME", "SessionActive",
                                      "ServiceType", "ExecutePath", "UseProxy", "UseWinNetwork"}));
  EXPECT_EQ(Sz(Key(3), "SessionActive"), "No");
  EXPECT_EQ(Sz(Key(3), "UseProxy"), "Yes");
  EXPECT_EQ(Sz(Key(3), "ServiceType"), "USE_STATIC_IP");
  EXPECT_EQ(SubkeyNames(raw(), kRoot, Key(3)),
            (std::vector<std::string>{"Proxy", "TCP/IP", "WinNetwork"}));
  EXPECT_EQ(ValueNames(raw(), kRoot, Key(3, "TCP/IP")),
            (std::vector<std::string>{"IPAddress", "SubnetMask", "Gateway", "DNS", "Lease"}));
  EXPECT_EQ(Sz(Key(3, "TCP/IP"), "Lease"), "1193046");
  EXPECT_EQ(Sz(Key(3, "TCP/IP"), "Gateway"), "192.168.1.1,192.168.1.254");
  EXPECT_EQ(ValueNames(raw(), kRoot, Key(3, "Proxy")),
            (std::vector<std::string>{"IE/NC_SameProxy", "UseIEProxy", "UseNCProxy"}));
  EXPECT_EQ(ValueNames(raw(), kRoot, Key(3, "Proxy\\IEProxy")),
            (std::vector<std::string>{"AllProtocolSameProxy", "DefaultAddress", "DefaultPort",
                                      "HTTPAddress", "HTTPPort", "SecureAddress", "SecurePort",
                                      "FTPAddress", "FTPPort", "GopherAddress", "GopherPort",
                                      "SocksAddress", "SocksPort"}));
  EXPECT_EQ(Sz(Key(3, "Proxy\\NCProxy"), "AllProtocolSameProxy"), "Yes");
  EXPECT_EQ(Sz(Key(3, "WinNetwork"), "DefaultPrinter"), "Office Laser");
}

TEST_F(LocationStoreTest, LoadsBackEveryField) {
  const LocationRecord saved = StaticLocation(4, "Office", "El90x1");
  ASSERT_TRUE(store_.SaveLocation(4, saved));
  EXPECT_EQ(store_.LoadLocation(4), saved);

  LocationRecord adsl = DhcpLocation(5, "Dial", "El90x1");
  adsl.ServiceType = "USE_HANARO_OUT_PPP_MODEM";
  adsl.ExecutePath = "C:\\Dialer\\dial.exe";
  adsl.IPAddress = "10.0.0.5";
  adsl.SubnetMask = "255.0.0.0";
  adsl.Lease = 0;
  adsl.SessionActive = true;
  ASSERT_TRUE(store_.SaveLocation(5, adsl));
  EXPECT_EQ(store_.LoadLocation(5), adsl);
}

// The remembered network sits beside the other values; a save of the print alone touches
// nothing else and never brings a deleted location back.
TEST_F(LocationStoreTest, TheRememberedNetworkIsKeptBesideTheOtherValues) {
  LocationRecord office = DhcpLocation(6, "Office", "El90x1");
  office.Network = {"10.1.0.1", "00:00:5e:00:01:07", "10.1.0.3", "10.1.0.0/16"};
  office.ApplyWhenRecognised = true;
  ASSERT_TRUE(store_.SaveLocation(6, office));
  const std::vector<std::string> names = ValueNames(raw(), kRoot, Key(6));
  EXPECT_EQ(std::vector<std::string>(names.end() - 5, names.end()),
            (std::vector<std::string>{"NetworkGateway", "NetworkGatewayMAC", "NetworkDhcpServer",
                                      "NetworkPrefix", "ApplyWhenRecognised"}));
  EXPECT_EQ(Sz(Key(6), "ApplyWhenRecognised"), "Yes");
  EXPECT_EQ(store_.LoadLocation(6), office);

  const store::NetworkPrint lab{"192.168.7.1", "52:54:00:12:34:56", "", "192.168.7.0/24"};
  ASSERT_TRUE(store_.SaveNetworkPrint(6, lab));
  office.Network = lab;
  EXPECT_EQ(store_.LoadLocation(6), office);
  EXPECT_EQ(QueryRaw(raw(), kRoot, Key(6), "NetworkDhcpServer").code, platform::kErrorFileNotFound);

  EXPECT_FALSE(store_.SaveNetworkPrint(9, lab));
  EXPECT_EQ(QueryRaw(raw(), kRoot, Key(9), "NetworkGateway").code, platform::kErrorFileNotFound);
}

TEST_F(LocationStoreTest, AMissingKeyLoadsAsABlankRecordWithItsId) {
  LocationRecord blank;
  blank.LocationId = 12;
  EXPECT_EQ(store_.LoadLocation(12), blank);
}

TEST_F(LocationStoreTest, SavingAsDhcpDropsTheTcpIpValues) {
  ASSERT_TRUE(store_.SaveLocation(1, StaticLocation(1, "Office", "El90x1")));
  LocationRecord changed = StaticLocation(1, "Office", "El90x1");
  changed.ServiceType = "USE_DHCP";
  changed.UseProxy = false;
  changed.UseWinNetwork = false;
  ASSERT_TRUE(store_.SaveLocation(1, changed));
  EXPECT_EQ(SubkeyNames(raw(), kRoot, Key(1)), std::vector<std::string>{});
  const LocationRecord loaded = store_.LoadLocation(1);
  EXPECT_EQ(loaded.IPAddress, "");
  EXPECT_EQ(loaded.Gateway, "");
  EXPECT_EQ(loaded.Lease, 0);
  EXPECT_FALSE(loaded.UseProxy);
  EXPECT_EQ(loaded.IEProxy, store::ProxySettings{});
}

TEST_F(LocationStoreTest, FlagsAreTrueOnlyForYesInAnyCase) {
  ASSERT_TRUE(store_.SaveLocation(1, DhcpLocation(1, "A", "x")));
  for (const auto& [text, active] : std::vector<std::pair<std::string, bool>>{{"yes", true},
                                                                              {"YeS", true},
                                                                              {"YES", true},
                                                                              {"True", false},
                                                                              {"1", false},
                                                                              {"", false},
                                                                              {" YES", false}}) {
    ASSERT_EQ(access_.WriteValue(kRoot, Key(1), "SessionActive", text), kErrorSuccess);
    EXPECT_EQ(store_.LoadLocation(1).SessionActive, active) << '"' << text << '"';
  }
  // A number-typed flag reads as hexadecimal digits, which is not "YES".
  ASSERT_EQ(access_.WriteNumber(kRoot, Key(1), "SessionActive", 1), kErrorSuccess);
  EXPECT_FALSE(store_.LoadLocation(1).SessionActive);
  // Value names compare without case; the kind is held in upper case.
  ASSERT_EQ(SetRaw(raw(), kRoot, Key(1), "servicetype", platform::kRegSz,
                   std::string("use_cable_modem\0", 16)),
            kErrorSuccess);
  EXPECT_EQ(store_.LoadLocation(1).ServiceType, "USE_CABLE_MODEM");
}

TEST_F(LocationStoreTest, ASharedProxySetNeverTouchesTheCommunicatorKey) {
  LocationRecord r = StaticLocation(2, "Shared", "El90x1");
  r.IENC_SameProxy = true;
  ASSERT_TRUE(store_.SaveLocation(2, r));
  EXPECT_EQ(SubkeyNames(raw(), kRoot, Key(2, "Proxy")), std::vector<std::string>{"IEProxy"});

  // Even when such a key is present, it is not read.
  ASSERT_EQ(SetRaw(raw(), kRoot, Key(2, "Proxy\\NCProxy"), "DefaultAddress", platform::kRegSz,
                   std::string("stray\0", 6)),
            kErrorSuccess);
  const LocationRecord loaded = store_.LoadLocation(2);
  EXPECT_TRUE(loaded.IENC_SameProxy);
  EXPECT_TRUE(loaded.UseNCProxy);
  EXPECT_EQ(loaded.NCProxy, store::ProxySettings{});
  EXPECT_EQ(loaded.IEProxy, r.IEProxy);
}

TEST_F(LocationStoreTest, ProxyAndPrinterAreReadOnlyWhenSwitchedOn) {
  LocationRecord r = StaticLocation(6, "Off", "El90x1");
  ASSERT_TRUE(store_.SaveLocation(6, r));
  ASSERT_EQ(access_.WriteValue(kRoot, Key(6), "UseProxy", "No"), kErrorSuccess);
  ASSERT_EQ(access_.WriteValue(kRoot, Key(6), "UseWinNetwork", "no"), kErrorSuccess);
  const LocationRecord loaded = store_.LoadLocation(6);
  EXPECT_FALSE(loaded.UseIEProxy);
  EXPECT_EQ(loaded.IEProxy, store::ProxySettings{});
  EXPECT_EQ(loaded.DefaultPrinter, "");
}

TEST_F(LocationStoreTest, ListsInRegistryOrderAndSkipsKeysThatAreNoLocation) {
  for (int id : {9, 10, 2}) {
    ASSERT_TRUE(
        store_.SaveLocation(static_cast<int16_t>(id),
                            DhcpLocation(static_cast<int16_t>(id), "L" + std::to_string(id), "x")));
  }
  for (const char* junk : {"abc", "0", "007", "40000", "-3", "5 ", "32768"}) {
    ASSERT_EQ(access_.CreateKey(kRoot, std::string("SOFTWARE\\Orlenta\\SessionInfo\\") + junk),
              kErrorSuccess);
  }
  store::LocationTable table;
  EXPECT_EQ(store_.LoadLocations(table), 3);
  ASSERT_EQ(table.size(), 3u);
  // The registry's own order, by name: "10" before "2" before "9".
  EXPECT_EQ(table[0].LocationId, 10);
  EXPECT_EQ(table[1].LocationId, 2);
  EXPECT_EQ(table[2].LocationId, 9);
  EXPECT_EQ(store::FindLocationIndex(table, 9), 2);
  EXPECT_EQ(store::FindLocationIndex(table, 3), -1);
}

TEST_F(LocationStoreTest, EmptyOrMissingSessionInfoLoadsNothing) {
  store::LocationTable table(2);
  EXPECT_EQ(store_.LoadLocations(table), 0);
  EXPECT_TRUE(table.empty());
  ASSERT_EQ(access_.CreateKey(kRoot, "SOFTWARE\\Orlenta\\SessionInfo"), kErrorSuccess);
  EXPECT_EQ(store_.LoadLocations(table), 0);
}

TEST_F(LocationStoreTest, NewIdsFollowTheHighestAndComeBackAfterDeletingIt) {
  for (int16_t id : {1, 2, 7}) ASSERT_TRUE(store_.SaveLocation(id, DhcpLocation(id, "n", "x")));
  store::LocationTable table;
  store_.LoadLocations(table);
  const int16_t next = store::HighestLocationIdOf(table) + 1;
  EXPECT_EQ(next, 8);
  ASSERT_TRUE(store_.SaveLocation(next, DhcpLocation(next, "new", "x")));
  store_.LoadLocations(table);
  EXPECT_EQ(store::HighestLocationIdOf(table), 8);
  EXPECT_TRUE(store_.DeleteLocation(8));
  EXPECT_FALSE(KeyExists(raw(), kRoot, Key(8)));
  EXPECT_FALSE(store_.DeleteLocation(8));
  store_.LoadLocations(table);
  EXPECT_EQ(store::HighestLocationIdOf(table) + 1, 8);
  EXPECT_EQ(store::HighestLocationIdOf({}), 0);
}

TEST_F(LocationStoreTest, ActivatingMarksOneLocationPerAdapter) {
  std::vector<LocationRecord> rows = {
      DhcpLocation(1, "a", "EL90X1"), DhcpLocation(2, "b", "El90x1"),
      DhcpLocation(5, "c", "el90x1"), DhcpLocation(6, "d", "Other")};
  rows[0].SessionActive = true;
  rows[3].SessionActive = true;
  for (const LocationRecord& r : rows) ASSERT_TRUE(store_.SaveLocation(r.LocationId, r));
  store::LocationTable table;
  store_.LoadLocations(table);
  const store::AdapterTable adapters = {{"first", " el90X1 "}, {"second", "other"}};
  store::ActiveLocationTable active;
  store::BuildActiveLocationTable(adapters, table, active);
  ASSERT_EQ(active.size(), 2u);
  EXPECT_EQ(active[1].ActiveLocationId, 6);

  ASSERT_TRUE(store_.SetActiveLocation(5, table, active));
  EXPECT_EQ(Sz(Key(5), "SessionActive"), "YES");
  EXPECT_EQ(Sz(Key(1), "SessionActive"), "NO");
  EXPECT_EQ(Sz(Key(2), "SessionActive"), "No");   // was not active: untouched
  EXPECT_EQ(Sz(Key(6), "SessionActive"), "Yes");  // other adapter: untouched
  EXPECT_TRUE(table[store::FindLocationIndex(table, 5)].SessionActive);
  EXPECT_FALSE(table[store::FindLocationIndex(table, 1)].SessionActive);
  EXPECT_EQ(active[0].ActiveLocationId, 5);
  EXPECT_EQ(active[0].ActiveLocationIndex, store::FindLocationIndex(table, 5));
  EXPECT_EQ(active[1].ActiveLocationId, 6);

  // An id that is not loaded, or whose key has gone, changes nothing.
  EXPECT_FALSE(store_.SetActiveLocation(42, table, active));
  ASSERT_TRUE(store_.DeleteLocation(2));
  EXPECT_FALSE(store_.SetActiveLocation(2, table, active));
  EXPECT_EQ(active[0].ActiveLocationId, 5);
  EXPECT_TRUE(table[store::FindLocationIndex(table, 5)].SessionActive);
}

TEST_F(LocationStoreTest, ActiveTableTakesTheLastMarkedLocationAndKeepsItselfWithoutAdapters) {
  store::LocationTable table = {DhcpLocation(1, "a", "nic"), DhcpLocation(2, "b", "NIC"),
                                DhcpLocation(3, "c", "gone")};
  table[0].SessionActive = table[1].SessionActive = table[2].SessionActive = true;
  store::ActiveLocationTable active;
  store::BuildActiveLocationTable({{"card", "nic"}}, table, active);
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0].AdapterIndex, 0);
  EXPECT_EQ(active[0].ActiveLocationId, 2);
  EXPECT_EQ(active[0].ActiveLocationIndex, 1);
  store::BuildActiveLocationTable({}, table, active);
  EXPECT_EQ(active.size(), 1u);
}

TEST_F(LocationStoreTest, AnyRegistryContentLoadsWithoutHarm) {
  ASSERT_EQ(SetRaw(raw(), kRoot, Key(1), "ServiceType", platform::kRegSz,
                   std::string("USE_STATIC_IP\0", 14)),
            kErrorSuccess);
  ASSERT_EQ(
      SetRaw(raw(), kRoot, Key(1), "SessionName", platform::kRegDword, std::string("\1\2\3\4", 4)),
      kErrorSuccess);
  ASSERT_EQ(SetRaw(raw(), kRoot, Key(1), "NIC_ID", platform::kRegSz, std::string(5000, 'n')),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(raw(), kRoot, Key(1), "UseProxy", platform::kRegBinary, ""), kErrorSuccess);
  ASSERT_EQ(
      SetRaw(raw(), kRoot, Key(1), "UseWinNetwork", platform::kRegSz, std::string("YES\0", 4)),
      kErrorSuccess);
  for (const char* lease : {"abc", "-5", "16777216", "1.5", ""}) {
    ASSERT_EQ(SetRaw(raw(), kRoot, Key(1, "TCP/IP"), "Lease", platform::kRegSz,
                     std::string(lease) + '\0'),
              kErrorSuccess);
    const LocationRecord r = store_.LoadLocation(1);
    EXPECT_EQ(r.Lease, kErrorSuccess) << lease;
    EXPECT_EQ(r.SessionName, "04030201");
    // Text read as stored, less its last byte (here not a terminator).
    EXPECT_EQ(r.NIC_ID, std::string(4999, 'n'));
    EXPECT_FALSE(r.UseProxy);
    EXPECT_TRUE(r.UseWinNetwork);
    EXPECT_EQ(r.DefaultPrinter, "");  // no WinNetwork key
  }
}

// The registry after a save is exactly the new location, or exactly what was there before.
TEST_F(LocationStoreTest, ASaveThatFailsAtAnyWriteLeavesThePreviousContent) {
  const LocationRecord before = StaticLocation(7, "Before", "El90x1");
  LocationRecord after = StaticLocation(7, "After", "E1000");
  after.IENC_SameProxy = true;
  after.NCProxy = store::ProxySettings{};  // a shared set leaves it blank
  after.Gateway = "";
  after.Lease = 17;
  ASSERT_TRUE(store_.SaveLocation(7, before));
  // An extra value no location field holds survives a failed save as well.
  ASSERT_EQ(SetRaw(raw(), kRoot, Key(7), "Extra", platform::kRegBinary, std::string("\0\1", 2)),
            kErrorSuccess);
  platform::KeyTree original;
  ASSERT_EQ(platform::ReadKeyTree(raw(), kRoot, Key(7), &original), kErrorSuccess);

  int writes_of_a_full_save = 0;
  {
    CountingRegistry counting(raw());
    RegistryAccess access(counting, test_.codepage());
    LocationStore store(access);
    ASSERT_TRUE(store.SaveLocation(7, after));
    writes_of_a_full_save = counting.writes();
    ASSERT_TRUE(store.SaveLocation(7, StaticLocation(7, "Before", "El90x1")));
    ASSERT_EQ(SetRaw(raw(), kRoot, Key(7), "Extra", platform::kRegBinary, std::string("\0\1", 2)),
              kErrorSuccess);
  }
  ASSERT_GT(writes_of_a_full_save, 40);

  for (int k = 1; k <= writes_of_a_full_save + 1; ++k) {
    FailingRegistry failing(raw(), k);
    RegistryAccess access(failing, test_.codepage());
    LocationStore store(access);
    const bool ok = store.SaveLocation(7, after);
    platform::KeyTree now;
    ASSERT_EQ(platform::ReadKeyTree(raw(), kRoot, Key(7), &now), kErrorSuccess) << "k=" << k;
    if (k <= writes_of_a_full_save) {
      EXPECT_FALSE(ok) << "k=" << k;
      EXPECT_EQ(now, original) << "k=" << k;
    } else {
      EXPECT_TRUE(ok);
      EXPECT_EQ(store_.LoadLocation(7), after);
    }
    EXPECT_EQ(failing.open_handles(), 0) << "k=" << k;
  }
}

TEST_F(LocationStoreTest, AFailedFirstSaveLeavesNoKey) {
  // A DHCP location: its key and eight values.
  constexpr int kWrites = 9;
  for (int k = 1; k <= kWrites + 1; ++k) {
    FailingRegistry failing(raw(), k);
    RegistryAccess access(failing, test_.codepage());
    LocationStore store(access);
    EXPECT_EQ(store.SaveLocation(9, DhcpLocation(9, "new", "x")), k > kWrites) << "k=" << k;
    EXPECT_EQ(KeyExists(raw(), kRoot, Key(9)), k > kWrites) << "k=" << k;
  }
}

TEST(LocationStoreProcesses, TwoProcessesSavingAtOnceLoseNothing) {
  TestRegistry shared;
  const std::string file = shared.file();
  constexpr int kSaves = 500;
  EXPECT_TRUE(RunInProcesses(2, [&](int p) {
    const auto id = static_cast<int16_t>(p + 1);
    platform::IconvCodePage utf8("");
    platform::SqliteRegistry reg(file, utf8);
    RegistryAccess access(reg, utf8);
    LocationStore store(access);
    int failures = 0;
    for (int i = 1; i <= kSaves; ++i) {
      LocationRecord r = StaticLocation(id, "P" + std::to_string(id), "nic");
      r.Lease = i;
      r.DefaultPrinter = "printer " + std::to_string(i);
      failures += store.SaveLocation(id, r) ? 0 : 1;
      failures += store.LoadLocation(id) == r ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
  }));
  RegistryAccess access(shared.registry(), shared.codepage());
  LocationStore store(access);
  store::LocationTable table;
  ASSERT_EQ(store.LoadLocations(table), 2);
  for (const LocationRecord& r : table) {
    LocationRecord expected =
        StaticLocation(r.LocationId, "P" + std::to_string(r.LocationId), "nic");
    expected.Lease = kSaves;
    expected.DefaultPrinter = "printer " + std::to_string(kSaves);
    EXPECT_EQ(r, expected);
  }
}

}  // namespace
}  // namespace netvane::testing
