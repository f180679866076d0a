// Adapters on the Windows 9x family: netvanectl.exe started while Wine presents itself as
// Windows 98, ME or 95 (HKCU\Software\Wine "Version", which Wine reads as a program starts)
// reads its adapters from the interface table. The value is written through the registry API
// and put back afterwards; it changes what every program started meanwhile sees, so ctest runs
// these tests alone.
#include <gtest/gtest.h>

#include <winsock2.h>

#include "platform/win32/windows_api.h"

#include <iphlpapi.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/win32_registry.h"
#include "registry_raw.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

using Lines = std::vector<std::string>;

constexpr platform::RegHandle kCu = platform::kHkeyCurrentUser;
constexpr char kWineKey[] = "Software\\Wine";

// One row of the interface table as the system gives it.
struct Row {
  uint32_t type = 0;
  std::string descr;  // the bytes before the terminator
  uint32_t descr_len = 0;
  std::string address;  // "00-50-BA-01-02-0F"
};

std::vector<Row> InterfaceTable() {
  ULONG size = 0;
  GetIfTable(nullptr, &size, FALSE);
  std::vector<uint8_t> buffer(size);
  auto* table = reinterpret_cast<MIB_IFTABLE*>(buffer.data());
  std::vector<Row> rows;
  if (GetIfTable(table, &size, FALSE) != NO_ERROR) return rows;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_IFROW& r = table->table[i];
    Row row;
    row.type = r.dwType;
    row.descr_len = r.dwDescrLen;
    row.descr.assign(reinterpret_cast<const char*>(r.bDescr),
                     strnlen(reinterpret_cast<const char*>(r.bDescr), sizeof r.bDescr));
    char hex[4];
    for (DWORD b = 0; b < r.dwPhysAddrLen && b < 8; ++b) {
      snprintf(hex, sizeof hex, b == 0 ? "%02X" : "-%02X", r.bPhysAddr[b]);
      row.address += hex;
    }
    rows.push_back(row);
  }
  return rows;
}

// Sets Wine's version for the programs started while the object lives.
class WineVersion {
 public:
  WineVersion(platform::Registry& registry, const std::string& version) : registry_(registry) {
    saved_ = QueryRaw(registry_, kCu, kWineKey, "Version");
    ok_ = SetRaw(registry_, kCu, kWineKey, "Version", platform::kRegSz, version + '\0') == 0;
  }
  ~WineVersion() {
    if (saved_.code == 0) {
      SetRaw(registry_, kCu, kWineKey, "Version", saved_.type, saved_.data);
      return;
    }
    platform::RegHandle key = 0;
    if (registry_.OpenKeyEx(kCu, kWineKey, platform::kKeySetValue, &key) == 0) {
      registry_.DeleteValue(key, "Version");
      registry_.CloseKey(key);
    }
  }
  bool ok() const { return ok_; }

 private:
  platform::Registry& registry_;
  StoredValue saved_;
  bool ok_ = false;
};

// netvanectl's adapter lines ("  [0] Description (identifier)").
Lines AdapterLines(const std::string& output) {
  Lines lines;
  std::istringstream in(output);
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "Adapters:") {
      inside = true;
    } else if (line == "Locations:") {
      inside = false;
    } else if (inside) {
      lines.push_back(line);
    }
  }
  return lines;
}

class LegacyAdapters : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RunningUnderWine()) GTEST_SKIP() << "Windows 98, ME and 95 are presented by Wine";
    for (const Row& row : InterfaceTable()) {
      if (row.type == 6) ethernet_.push_back(row);
    }
    if (ethernet_.empty()) GTEST_SKIP() << "this machine has no Ethernet interface";
  }

  // netvanectl.exe list, run while Wine presents `version`.
  ProgramRun ListAs(const std::string& version) {
    WineVersion as(registry_, version);
    EXPECT_TRUE(as.ok());
    return RunProgram("\"" + ProgramFolder() + "netvanectl.exe\" list");
  }

  // The description netvanectl shows for a row. Windows counts the terminator in the row's
  // description length and the program reads one character less, which is the whole
  // description. Wine leaves the terminator out of the length, so here the last character is
  // lost.
  static std::string Shown(const Row& row) {
    EXPECT_EQ(row.descr_len, row.descr.size())
        << row.descr << ": Wine's length counts the terminator now, as Windows does";
    return row.descr.substr(0, row.descr.size() - 1);
  }

  platform::Win32Registry registry_;
  std::vector<Row> ethernet_;
};

TEST_F(LegacyAdapters, Windows98ListsTheEthernetRowsInTableOrder) {
  const ProgramRun run = ListAs("win98");
  ASSERT_TRUE(run.started) << run.error;
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  Lines expected;
  for (size_t i = 0; i < ethernet_.size(); ++i) {
    expected.push_back("  [" + std::to_string(i) + "] " + Shown(ethernet_[i]) + " (" +
                       ethernet_[i].address + ")");
  }
  EXPECT_EQ(AdapterLines(run.output), expected) << run.output;
}

TEST_F(LegacyAdapters, WindowsMeListsThemInReverse) {
  const ProgramRun run = ListAs("winme");
  ASSERT_TRUE(run.started) << run.error;
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  Lines expected;
  for (size_t i = 0; i < ethernet_.size(); ++i) {
    const Row& row = ethernet_[ethernet_.size() - 1 - i];
    expected.push_back("  [" + std::to_string(i) + "] " + Shown(row) + " (" + row.address + ")");
  }
  EXPECT_EQ(AdapterLines(run.output), expected) << run.output;
}

TEST_F(LegacyAdapters, Windows95IsTurnedAway) {
  const ProgramRun run = ListAs("win95");
  ASSERT_TRUE(run.started) << run.error;
  EXPECT_EQ(run.exit_code, 1u);
  // Standard error is in text mode, as on every Windows program: lines end in CR LF.
  EXPECT_EQ(run.output, "Netvane 2.0 is available on Windows 98/ME/NT/2000.\r\n");
}

// The table Wine gives is the Linux machine's own: each wired Ethernet interface under
// /sys/class/net is a row of type 6 with its hardware address, and loopback is type 24.
TEST(WineInterfaceTable, ListsTheLinuxInterfaces) {
  if (!RunningUnderWine()) GTEST_SKIP() << "compares Wine's table with the Linux interfaces";
  const std::filesystem::path net("Z:\\sys\\class\\net");
  std::error_code ec;
  if (!std::filesystem::is_directory(net, ec)) GTEST_SKIP() << "no /sys/class/net on drive Z:";
  const std::vector<Row> table = InterfaceTable();
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(net)) {
    const std::string name = entry.path().filename().string();
    const std::string type = ReadBytes((entry.path() / "type").string());
    if (type == "772\n") {
      EXPECT_TRUE(std::any_of(table.begin(), table.end(), [](const Row& r) {
        return r.type == 24;
      })) << name;
      ++compared;
    }
    if (type != "1\n" || std::filesystem::exists(entry.path() / "wireless", ec)) continue;
    std::string address = ReadBytes((entry.path() / "address").string());
    address = address.substr(0, address.find('\n'));
    std::transform(address.begin(), address.end(), address.begin(), [](char c) {
      return c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    const auto row = std::find_if(table.begin(), table.end(),
                                  [&](const Row& r) { return r.address == address; });
    ASSERT_NE(row, table.end()) << name << " (" << address << ") is not in the interface table";
    EXPECT_EQ(row->type, 6u) << name;
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
}  // namespace netvane::testing
