// The host's view of its adapters in the registry, and its own filter driver behind
// \\.\NVEFLT, directly and through the NVEFilter program.
#include "platform/posix/host_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/posix/registry_values.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;
const std::string kCards = platform::kHostNetworkCardsPath;
const std::string kNet = platform::kHostNetClassPath;

platform::MibIfRow Row(const std::string& name, uint32_t type = platform::kIfTypeEthernet) {
  platform::MibIfRow row = EthernetRow("card " + name, {0x00, 0x50, 0xBA, 0x01, 0x02, 0x03}, type);
  row.name.assign(name.begin(), name.end());
  return row;
}

std::string Text(platform::Registry& reg, const std::string& key, const std::string& name) {
  return platform::GetText(reg, kHkeyLocalMachine, key, name).value_or("<missing>");
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(SystemView, EthernetInterfacesGetACardAndANetClassInstance) {
  TestRegistry tr;
  platform::Registry& reg = tr.registry();
  EXPECT_FALSE(platform::KeyExists(reg, kHkeyLocalMachine, platform::kFilterServicePath));
  // Loopback (24) and wireless (71) rows are no Ethernet cards.
  ASSERT_EQ(
      platform::SyncSystemView(reg, {Row("eth0"), Row("lo", 24), Row("wl0", 71), Row("eth1")}), 0);

  EXPECT_EQ(Sorted(SubkeyNames(reg, kHkeyLocalMachine, kCards)),
            (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Sorted(SubkeyNames(reg, kHkeyLocalMachine, kNet)),
            (std::vector<std::string>{"0000", "0001"}));
  for (const auto& [card, instance, name] :
       {std::tuple{"1", "0000", "eth0"}, std::tuple{"2", "0001", "eth1"}}) {
    const std::string c = kCards + "\\" + card;
    const std::string n = kNet + "\\" + instance;
    EXPECT_EQ(Text(reg, c, "Description"), std::string("Ethernet adapter ") + name);
    EXPECT_EQ(Text(reg, c, "ServiceName"), name);
    EXPECT_EQ(Text(reg, c, "HostInterface"), name);
    EXPECT_EQ(Text(reg, n, "DriverDesc"), std::string("Ethernet adapter ") + name);
    EXPECT_EQ(Text(reg, n, "HostInterface"), name);
    EXPECT_EQ(platform::NetClassInstanceOf(reg, name), instance);
  }
  EXPECT_EQ(platform::NetClassInstanceOf(reg, "lo"), "");
  EXPECT_EQ(platform::NetClassInstanceOf(reg, "wl0"), "");
  EXPECT_TRUE(platform::KeyExists(reg, kHkeyLocalMachine, platform::kFilterServicePath));
}

TEST(SystemView, HandMadeEntriesStayAndVanishedInterfacesLoseTheirs) {
  TestRegistry tr;
  platform::Registry& reg = tr.registry();
  // As imported from a Windows machine: no HostInterface.
  ASSERT_EQ(platform::SetText(reg, kHkeyLocalMachine, kCards + "\\1", "ServiceName", "El90x1"),
            kErrorSuccess);
  ASSERT_EQ(
      platform::SetText(reg, kHkeyLocalMachine, kNet + "\\0000", "DriverDesc", "3Com EtherLink"),
      kErrorSuccess);

  ASSERT_EQ(platform::SyncSystemView(reg, {Row("eth0"), Row("eth1")}), 0);
  EXPECT_EQ(Text(reg, kCards + "\\1", "ServiceName"), "El90x1");
  EXPECT_EQ(Text(reg, kCards + "\\2", "ServiceName"), "eth0");
  EXPECT_EQ(Text(reg, kCards + "\\3", "ServiceName"), "eth1");
  EXPECT_EQ(Text(reg, kNet + "\\0000", "DriverDesc"), "3Com EtherLink");
  EXPECT_EQ(platform::NetClassInstanceOf(reg, "eth0"), "0001");
  EXPECT_EQ(platform::NetClassInstanceOf(reg, "eth1"), "0002");

  // eth0 goes away: its entries go, the others keep their numbers.
  ASSERT_EQ(platform::SyncSystemView(reg, {Row("eth1")}), 0);
  EXPECT_EQ(Sorted(SubkeyNames(reg, kHkeyLocalMachine, kCards)),
            (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(Sorted(SubkeyNames(reg, kHkeyLocalMachine, kNet)),
            (std::vector<std::string>{"0000", "0002"}));
  EXPECT_EQ(Text(reg, kCards + "\\1", "ServiceName"), "El90x1");
  EXPECT_EQ(ValueNames(reg, kHkeyLocalMachine, kNet + "\\0000"),
            (std::vector<std::string>{"DriverDesc"}));
  EXPECT_EQ(platform::NetClassInstanceOf(reg, "eth0"), "");
  EXPECT_EQ(platform::NetClassInstanceOf(reg, "eth1"), "0002");
}

TEST(SystemView, WritesOnlyWhatChanged) {
  TestRegistry tr;
  CountingRegistry counting(tr.registry());
  const std::vector<platform::MibIfRow> rows = {Row("eth0"), Row("eth1")};
  ASSERT_EQ(platform::SyncSystemView(counting, rows), 0);
  const int first = counting.writes();
  EXPECT_GT(first, 0);
  ASSERT_EQ(platform::SyncSystemView(counting, rows), 0);
  EXPECT_EQ(counting.writes(), first);
  // A value changed behind its back is put right, and only that.
  ASSERT_EQ(platform::SetText(tr.registry(), kHkeyLocalMachine, kCards + "\\2", "Description", "x"),
            kErrorSuccess);
  ASSERT_EQ(platform::SyncSystemView(counting, rows), 0);
  EXPECT_EQ(Text(tr.registry(), kCards + "\\2", "Description"), "Ethernet adapter eth1");
  EXPECT_LE(counting.writes() - first, 2);  // the key's create and the value's set
  EXPECT_EQ(counting.open_handles(), 0);
}

constexpr uint32_t kQuery = 0x80000004;
constexpr uint32_t kSet = 0x80000008;
constexpr char kDevice[] = "\\\\.\\NVEFLT";

// A request block: adapter name at 32, state at 108; the rest filled so stray writes show.
std::vector<uint8_t> Block(const std::string& adapter, uint8_t state = 0xEE) {
  std::vector<uint8_t> b(126, 0xA5);
  std::fill(b.begin() + 32, b.begin() + 96, 0);
  std::copy(adapter.begin(), adapter.end(), b.begin() + 32);
  b[108] = state;
  return b;
}

// The built-in driver only: the socket folder is an empty one of the test's own.
class HostFilterTest : public ::testing::Test {
 protected:
  HostFilterTest() { setenv("NETVANE_DEVICE_DIR", sockets_.path().c_str(), 1); }
  ~HostFilterTest() override { unsetenv("NETVANE_DEVICE_DIR"); }
  uint8_t Query(platform::DeviceHandle h, const std::string& adapter) {
    std::vector<uint8_t> b = Block(adapter);
    EXPECT_TRUE(device_.Control(h, kQuery, b.data(), static_cast<uint32_t>(b.size())));
    return b[108];
  }
  ScratchDir sockets_;
  TestRegistry tr_;
  platform::HostDevice device_{tr_.registry()};
};

TEST_F(HostFilterTest, PresentOnlyOnceRegisteredAndNeverShared) {
  EXPECT_EQ(device_.Open(kDevice), platform::kInvalidDevice);
  ASSERT_EQ(platform::SyncSystemView(tr_.registry(), {}), 0);
  const platform::DeviceHandle h = device_.Open(kDevice);
  ASSERT_NE(h, platform::kInvalidDevice);
  EXPECT_EQ(device_.Open(kDevice), platform::kInvalidDevice);
  EXPECT_EQ(device_.Open("\\\\.\\OTHER"), platform::kInvalidDevice);
  device_.Close(h);
  const platform::DeviceHandle again = device_.Open(kDevice);
  EXPECT_NE(again, platform::kInvalidDevice);
  device_.Close(again);
}

TEST_F(HostFilterTest, StateIsKeptPerAdapterName) {
  ASSERT_EQ(platform::SyncSystemView(tr_.registry(), {}), 0);
  const platform::DeviceHandle h = device_.Open(kDevice);
  ASSERT_NE(h, platform::kInvalidDevice);
  EXPECT_EQ(Query(h, "0000"), 0);
  std::vector<uint8_t> on = Block("0000", 1);
  ASSERT_TRUE(device_.Control(h, kSet, on.data(), 126));
  EXPECT_EQ(
      platform::GetDword(tr_.registry(), kHkeyLocalMachine, platform::kFilterStatePath, "0000"),
      1u);
  EXPECT_EQ(platform::FilterState(tr_.registry(), "0000"), 1);
  EXPECT_EQ(platform::FilterState(tr_.registry(), "0001"), 0);
  EXPECT_EQ(Query(h, "0000"), 1);
  EXPECT_EQ(Query(h, "0001"), 0);
  // A name with blanks, as Windows 2000 names its connections.
  std::vector<uint8_t> named = Block("Local Area Connection", 1);
  ASSERT_TRUE(device_.Control(h, kSet, named.data(), 126));
  EXPECT_EQ(platform::FilterState(tr_.registry(), "Local Area Connection"), 1);
  std::vector<uint8_t> off = Block("0000", 0);
  ASSERT_TRUE(device_.Control(h, kSet, off.data(), 126));
  EXPECT_EQ(Query(h, "0000"), 0);
  EXPECT_EQ(Query(h, "Local Area Connection"), 1);
  device_.Close(h);
}

TEST_F(HostFilterTest, MalformedRequestsFailAndChangeNothing) {
  ASSERT_EQ(platform::SyncSystemView(tr_.registry(), {}), 0);
  const platform::DeviceHandle h = device_.Open(kDevice);
  ASSERT_NE(h, platform::kInvalidDevice);
  std::vector<uint8_t> b = Block("0000", 1);
  EXPECT_FALSE(device_.Control(h, kSet, b.data(), 125));
  EXPECT_FALSE(device_.Control(h, kQuery, b.data(), 125));
  EXPECT_FALSE(device_.Control(h, 0x8000000C, b.data(), 126));
  EXPECT_FALSE(device_.Control(h, kSet, nullptr, 126));
  std::vector<uint8_t> nameless = Block("", 1);
  EXPECT_FALSE(device_.Control(h, kSet, nameless.data(), 126));
  EXPECT_EQ(b[108], 1);
  EXPECT_EQ(ValueNames(tr_.registry(), kHkeyLocalMachine, platform::kFilterStatePath),
            std::vector<std::string>{});
  device_.Close(h);
  EXPECT_FALSE(device_.Control(h, kSet, b.data(), 126));  // closed
  EXPECT_EQ(platform::FilterState(tr_.registry(), "0000"), 0);
}

TEST_F(HostFilterTest, NVEFilterProgramSwitchesTheBuiltInDriverSilently) {
  ASSERT_EQ(platform::SyncSystemView(tr_.registry(), {}), 0);
  const std::string out = sockets_.File("out.txt");
  const std::string command = "NETVANE_DEVICE_DIR=" + sockets_.path().string() +
                              " NETVANE_REGISTRY=" + tr_.file() + " " + NVEFILTER_BIN;
  EXPECT_EQ(std::system((command + " L 0000 >" + out + " 2>&1").c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 0u);
  EXPECT_EQ(platform::FilterState(tr_.registry(), "0000"), 1);
  EXPECT_EQ(platform::FilterState(tr_.registry(), "0001"), 0);
  EXPECT_EQ(std::system((command + " U 0000 >" + out + " 2>&1").c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 0u);
  EXPECT_EQ(platform::FilterState(tr_.registry(), "0000"), 0);
}

}  // namespace
}  // namespace netvane::testing
