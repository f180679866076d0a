// Windows family, adapter discovery on both families, the interface table, and LoadAll.
#include "engine/adapters.h"

#include <gtest/gtest.h>

#include "engine/load_all.h"
#include "engine/windows_family.h"
#include "platform/posix/sysfs_iphelper.h"
#include "store/location_store.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using engine::CIpHelper;
using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;

TEST(DetectWindowsFamily, MapsEveryVersion) {
  struct Case {
    platform::OsVersion v;
    int32_t kind;
  };
  for (const Case& c : std::vector<Case>{{{4, 0, 950, 1}, 2},
                                         {{4, 10, 1998, 1}, 3},
                                         {{4, 90, 3000, 1}, 4},
                                         {{4, 3, 0, 1}, 4},
                                         {{4, 0, 1381, 2}, 5},
                                         {{5, 0, 2195, 2}, 6},
                                         {{5, 1, 2600, 2}, 6},
                                         {{3, 51, 0, 2}, 6},
                                         {{5, 0, 0, 0}, 0},
                                         {{5, 0, 0, 3}, 0}}) {
    EXPECT_EQ(engine::DetectWindowsFamily(FakeWindowsVersion(c.v)), c.kind)
        << c.v.platform_id << " " << c.v.major << "." << c.v.minor;
  }
}

class AdaptersTest : public ::testing::Test {
 protected:
  void Card(const std::string& sub, const char* description, const char* service) {
    const std::string key = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\" + sub;
    ASSERT_EQ(access_.CreateKey(kHkeyLocalMachine, key), kErrorSuccess);
    if (description) {
      ASSERT_EQ(access_.WriteValue(kHkeyLocalMachine, key, "Description", description),
                kErrorSuccess);
    }
    if (service) {
      ASSERT_EQ(access_.WriteValue(kHkeyLocalMachine, key, "ServiceName", service), kErrorSuccess);
    }
  }

  TestRegistry test_;
  store::RegistryAccess access_{test_.registry(), test_.codepage()};
  FakeIpHelper table_;
  ScriptedPrompt prompt_;
  CIpHelper iphelper_{table_, test_.codepage(), prompt_};
};

TEST_F(AdaptersTest, NtFamilyTakesCompleteNetworkCardsInListingOrder) {
  Card("2", "Intel PRO/100", "E100B1");
  Card("10", "No service", nullptr);
  Card("3", nullptr, "NoDescription");
  Card("4", "3Com EtherLink", "El90x1");
  for (int32_t kind : {engine::kOsWinNt4, engine::kOsWin2000}) {
    const store::AdapterTable t = engine::LoadAdapters(kind, access_, iphelper_);
    // Incomplete cards leave no holes: the table is exactly the complete ones.
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], (store::AdapterEntry{"Intel PRO/100", "E100B1"}));
    EXPECT_EQ(t[1], (store::AdapterEntry{"3Com EtherLink", "El90x1"}));
  }
  EXPECT_EQ(table_.calls, 0);
}

TEST_F(AdaptersTest, NtFamilyWithoutNetworkCardsHasNoAdapter) {
  EXPECT_TRUE(engine::LoadAdapters(engine::kOsWin2000, access_, iphelper_).empty());
}

TEST_F(AdaptersTest, Win9xTakesEthernetRowsInTableOrderOnNinetyEightAndReversedOnMe) {
  table_.rows = {EthernetRow("  Card A ", {0x00, 0x50, 0xBA, 0x01, 0x02, 0x0F}),
                 EthernetRow("Loopback", {}, platform::kIfTypeLoopback),
                 EthernetRow("Dial-Up", {0x44, 0x45, 0x53, 0x54, 0, 0}, platform::kIfTypePpp),
                 EthernetRow("Card B", {0xAA, 0xbb, 0xcc, 0xdd, 0xee, 0xff})};
  const store::AdapterTable win98 = engine::LoadAdapters(engine::kOsWin98, access_, iphelper_);
  ASSERT_EQ(win98.size(), 2u);
  EXPECT_EQ(win98[0], (store::AdapterEntry{"Card A", "00-50-BA-01-02-0F"}));
  EXPECT_EQ(win98[1], (store::AdapterEntry{"Card B", "AA-BB-CC-DD-EE-FF"}));
  const store::AdapterTable me = engine::LoadAdapters(engine::kOsWinMe, access_, iphelper_);
  ASSERT_EQ(me.size(), 2u);
  EXPECT_EQ(me[0].Description, "Card B");
  EXPECT_EQ(me[1].Description, "Card A");
  EXPECT_EQ(prompt_.shown.size(), 0u);
}

TEST_F(AdaptersTest, ADialUpOnlyMachineHasNoAdapter) {
  table_.rows = {EthernetRow("Dial-Up", {1, 2, 3, 4, 5, 6}, platform::kIfTypePpp)};
  EXPECT_TRUE(engine::LoadAdapters(engine::kOsWin98, access_, iphelper_).empty());
}

TEST_F(AdaptersTest, AnUnsupportedIpHelperIsReportedOnce) {
  table_.result = platform::kErrorNotSupported;
  EXPECT_TRUE(engine::LoadAdapters(engine::kOsWinMe, access_, iphelper_).empty());
  ASSERT_EQ(prompt_.shown.size(), 1u);
  EXPECT_EQ(prompt_.shown[0].text, "IP Helper is not supported by this system.");
  EXPECT_EQ(prompt_.shown[0].buttons, engine::PromptButtons::kOk);
}

TEST_F(AdaptersTest, FindAdapterIndexIgnoresCase) {
  const store::AdapterTable t = {{"a", "00-50-BA-01-02-0F"}, {"b", "El90x1"}, {"c", "EL90X1"}};
  EXPECT_EQ(engine::FindAdapterIndex(t, "00-50-ba-01-02-0f"), 0);
  EXPECT_EQ(engine::FindAdapterIndex(t, "el90x1"), 1);
  EXPECT_EQ(engine::FindAdapterIndex(t, "missing"), -1);
}

TEST_F(AdaptersTest, InterfaceRowsCarryEveryField) {
  platform::MibIfRow row = EthernetRow("Card A and more", {0x00, 0x50, 0xBA, 0x01, 0x02, 0x0F});
  row.descr_len = 7;  // the system's length counts the terminator
  row.name = u"eth0";
  row.index = 3;
  row.mtu = 1500;
  row.speed = 100000000;
  row.admin_status = 1;
  row.oper_status = 5;
  row.last_change = 2;
  row.in_octets = 0xF0000000;
  row.out_octets = 10;
  row.out_qlen = 4;
  platform::MibIfRow second = EthernetRow("Card B", {});
  second.in_octets = 0x20000000;
  second.out_octets = 5;
  table_.rows = {row, second};
  const engine::CInterfaces rows = iphelper_.Interfaces();
  ASSERT_EQ(rows.Count(), 2);
  const engine::CInterface& a = *rows.NewEnum()[0];
  EXPECT_EQ(a.InterfaceDescription, "Card A");
  EXPECT_EQ(a.AdapterAddress, "00-50-BA-01-02-0F");
  EXPECT_EQ(a.AdapterAddress.size(), 17u);
  EXPECT_EQ(a.InterfaceName, "eth0");
  EXPECT_EQ(a.InterfaceIndex, 3);
  EXPECT_EQ(a.InterfaceType, 6);
  EXPECT_EQ(a.MaximumTransmissionUnit, 1500);
  EXPECT_EQ(a.Speed, 100000000);
  EXPECT_EQ(a.AdminStatus, 1);
  EXPECT_EQ(a.OperationalStatus, 5);
  EXPECT_EQ(a.LastChange, 2.0);
  EXPECT_EQ(a.OutputQueueLength, 4);
  EXPECT_EQ(rows.NewEnum()[1]->AdapterAddress, "");
  // The sums go beyond a 32-bit counter.
  EXPECT_EQ(iphelper_.BytesReceived(), 0x110000000LL);
  EXPECT_EQ(iphelper_.BytesSent(), 15);
}

// A system that claims more rows than it returned is read only as far as it filled in.
class ShortTable : public platform::IpHelper {
 public:
  uint32_t GetIfTable(uint8_t* table, uint32_t* size, bool) override {
    std::vector<uint8_t> bytes = platform::EncodeIfTable({EthernetRow("Only", {1, 2, 3, 4, 5, 6})});
    bytes[0] = 50;  // claims fifty rows
    return platform::CopyIfTable(bytes, table, size);
  }
};

TEST_F(AdaptersTest, ARowCountBeyondTheBufferIsNotReadPast) {
  ShortTable lying;
  CIpHelper helper(lying, test_.codepage(), prompt_);
  EXPECT_EQ(helper.Interfaces().Count(), 1);
}

TEST(CInterfaces, AddressesItemsByPositionAndKey) {
  engine::CInterfaces c;
  c.Add("first").InterfaceIndex = 1;
  c.Add().InterfaceIndex = 2;
  c.Add("third").InterfaceIndex = 3;
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(c.Item(1)->InterfaceIndex, 1);
  EXPECT_EQ(c.Item("third")->InterfaceIndex, 3);
  EXPECT_EQ(c.Item(0), nullptr);
  EXPECT_EQ(c.Item(4), nullptr);
  EXPECT_EQ(c.Item("none"), nullptr);
  EXPECT_TRUE(c.Remove("first"));
  EXPECT_TRUE(c.Remove(2));
  EXPECT_FALSE(c.Remove(2));
  ASSERT_EQ(c.Count(), 1);
  EXPECT_EQ(c.NewEnum()[0]->InterfaceIndex, 2);
}

TEST(HostInterfaceTable, ListsTheLoopbackAsTypeTwentyFour) {
  platform::SysfsIpHelper host;
  const std::vector<platform::MibIfRow> rows = host.ReadRows();
  bool loopback = false;
  for (const platform::MibIfRow& r : rows) {
    EXPECT_GT(r.index, 0u);
    EXPECT_EQ(r.descr_len, r.descr.size() + 1);
    if (r.descr == "lo") {
      loopback = true;
      EXPECT_EQ(r.type, platform::kIfTypeLoopback);
      EXPECT_EQ(r.phys_addr_len, 0u);
      EXPECT_EQ(r.mtu, 65536u);
    }
  }
  EXPECT_TRUE(loopback);
  uint32_t size = 0;
  EXPECT_EQ(host.GetIfTable(nullptr, &size, false), 122u);
  EXPECT_EQ(size, 4 + rows.size() * platform::kMibIfRowSize);
}

TEST_F(AdaptersTest, LoadAllFillsAdaptersLocationsHighestIdAndActiveTable) {
  Card("2", "Intel PRO/100", "E100B1");
  store::LocationStore locations(access_);
  store::LocationRecord a;
  a.SessionName = "a";
  a.NIC_ID = "e100b1";
  a.ServiceType = "USE_DHCP";
  a.SessionActive = true;
  store::LocationRecord b = a;
  b.SessionName = "b";
  b.SessionActive = false;
  ASSERT_TRUE(locations.SaveLocation(4, a));
  ASSERT_TRUE(locations.SaveLocation(11, b));
  engine::AppState state;
  state.OSKind = engine::kOsWin2000;
  state.LocationTable.resize(5);
  engine::LoadAll(state, access_, locations, iphelper_);
  EXPECT_EQ(state.AdapterCount(), 1);
  EXPECT_EQ(state.LocationCount(), 2);
  EXPECT_EQ(state.HighestLocationId, 11);
  ASSERT_EQ(state.ActiveLocationTable.size(), 1u);
  EXPECT_EQ(state.ActiveLocationTable[0].ActiveLocationId, 4);
  EXPECT_EQ(state.ActiveLocationTable[0].AdapterId, "E100B1");
}

}  // namespace
}  // namespace netvane::testing
