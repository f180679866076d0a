// The host registry: the contract suite over an SQLite file, and what only the host backend
// does (its file, several processes, code pages, batches).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/posix/sqlite_registry.h"
#include "registry_contract.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorAccessDenied;
using platform::kErrorBadPathname;
using platform::kErrorInvalidHandle;
using platform::kErrorInvalidParameter;
using platform::kErrorNoSystemResources;
using platform::kErrorRegistryIoFailed;
using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;
using platform::RegHandle;

struct HoldsTestRegistry {
  TestRegistry test;
};

// A registry file of its own for one contract test.
class ScratchSqlite : private HoldsTestRegistry, public CountingRegistry {
 public:
  ScratchSqlite() : CountingRegistry(test.registry()) {}
};

INSTANTIATE_TEST_SUITE_P(
    Sqlite, RegistryContract,
    ::testing::Values(RegistryBackend{
        "sqlite", [] { return std::unique_ptr<platform::Registry>(new ScratchSqlite()); }}),
    [](const auto& info) { return info.param.name; });

std::string Text(const std::string& s) { return s + std::string(1, '\0'); }

TEST(SqliteRegistry, KeepsItsContentAcrossOpeningsInWalMode) {
  ScratchDir dir;
  const std::string file = dir.File("sub/folder/registry.db");
  platform::IconvCodePage utf8("");
  {
    platform::SqliteRegistry reg(file, utf8);
    ASSERT_TRUE(reg.ok()) << reg.error();
    ASSERT_EQ(
        SetRaw(reg, kHkeyLocalMachine, "Software\\Kept", "Name", platform::kRegSz, Text("value")),
        kErrorSuccess);
  }
  platform::SqliteRegistry again(file, utf8);
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(QueryRaw(again, kHkeyLocalMachine, "SOFTWARE\\kept", "name").data, Text("value"));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &st, nullptr);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST(SqliteRegistry, RefusesFilesThatAreNotARegistry) {
  ScratchDir dir;
  platform::IconvCodePage utf8("");
  const std::string junk = dir.File("junk.db");
  std::ofstream(junk) << "this is not a database at all, just some text to fill a page";
  platform::SqliteRegistry reg(junk, utf8);
  EXPECT_FALSE(reg.ok());
  EXPECT_NE(reg.error().find(junk), std::string::npos);
  RegHandle key = 0;
  EXPECT_EQ(reg.CreateKey(kHkeyLocalMachine, "Software", &key), kErrorRegistryIoFailed);

  const std::string other = dir.File("other.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA application_id=7; CREATE TABLE t(x)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  platform::SqliteRegistry foreign(other, utf8);
  EXPECT_FALSE(foreign.ok());
  EXPECT_NE(foreign.error().find("not a Netvane registry"), std::string::npos);
}

TEST(SqliteRegistry, FileLocationFollowsTheEnvironment) {
  const char* saved_reg = std::getenv("NETVANE_REGISTRY");
  const char* saved_xdg = std::getenv("XDG_DATA_HOME");
  const char* saved_home = std::getenv("HOME");
  const std::string keep_reg = saved_reg ? saved_reg : "";
  const std::string keep_xdg = saved_xdg ? saved_xdg : "";
  const std::string keep_home = saved_home ? saved_home : "";

  setenv("NETVANE_REGISTRY", "/tmp/x/reg.db", 1);
  EXPECT_EQ(platform::DefaultRegistryPath(), "/tmp/x/reg.db");
  unsetenv("NETVANE_REGISTRY");
  setenv("XDG_DATA_HOME", "/data/home", 1);
  EXPECT_EQ(platform::DefaultRegistryPath(), "/data/home/netvane/registry.db");
  setenv("XDG_DATA_HOME", "relative/ignored", 1);
  setenv("HOME", "/home/user", 1);
  EXPECT_EQ(platform::DefaultRegistryPath(), "/home/user/.local/share/netvane/registry.db");

  auto restore = [](const char* name, const char* was, const std::string& value) {
    if (was)
      setenv(name, value.c_str(), 1);
    else
      unsetenv(name);
  };
  restore("NETVANE_REGISTRY", saved_reg, keep_reg);
  restore("XDG_DATA_HOME", saved_xdg, keep_xdg);
  restore("HOME", saved_home, keep_home);
}

TEST(SqliteRegistry, SeveralProcessesWritingAtOnceLoseNothing) {
  TestRegistry shared;
  const std::string file = shared.file();
  constexpr int kProcesses = 3;
  constexpr int kWrites = 300;
  EXPECT_TRUE(RunInProcesses(kProcesses, [&](int p) {
    platform::IconvCodePage utf8("");
    platform::SqliteRegistry reg(file, utf8);
    int failures = reg.ok() ? 0 : 1;
    for (int i = 0; i < kWrites; ++i) {
      const std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
      failures += SetRaw(reg, kHkeyLocalMachine, "Software\\Shared", name, platform::kRegSz,
                         Text(name)) != 0;
    }
    return failures == 0 ? 0 : 1;
  }));
  const std::vector<std::string> names =
      ValueNames(shared.registry(), kHkeyLocalMachine, "Software\\Shared");
  EXPECT_EQ(names.size(), static_cast<size_t>(kProcesses * kWrites));
  EXPECT_EQ(QueryRaw(shared.registry(), kHkeyLocalMachine, "Software\\Shared", "p2_299").data,
            Text("p2_299"));
}

// Every process opens the file while the first ones are still creating it and switching it
// to WAL; none may give up before the busy timeout. The race is in the locks, not on the disk:
// in memory, enough rounds to meet it run quickly.
TEST(SqliteRegistry, SeveralProcessesOpeningANewFileAtOnceAllGetIn) {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  constexpr int kRounds = 120;
  for (const int processes : {2, 4, 8}) {
    int failed_rounds = 0;
    for (int round = 0; round < kRounds; ++round) {
      ScratchDir dir(base);
      const std::string file = dir.File("registry.db");
      const bool all_in = RunInProcesses(processes, [&](int p) {
        platform::IconvCodePage utf8("");
        platform::SqliteRegistry reg(file, utf8);
        if (!reg.ok()) return 1;
        return SetRaw(reg, kHkeyLocalMachine, "Software\\New", "p" + std::to_string(p),
                      platform::kRegSz, Text("x")) == 0
                   ? 0
                   : 1;
      });
      platform::IconvCodePage utf8("");
      platform::SqliteRegistry reg(file, utf8);
      const size_t kept = ValueNames(reg, kHkeyLocalMachine, "Software\\New").size();
      failed_rounds += !all_in || kept != static_cast<size_t>(processes);
    }
    EXPECT_EQ(failed_rounds, 0) << processes << " processes";
  }
}

TEST(SqliteRegistry, ReadsSeeOtherWritersOnceHandlesCloseOrAfterAWhile) {
  TestRegistry a;
  platform::IconvCodePage utf8("");
  platform::SqliteRegistry b(a.file(), utf8);
  ASSERT_EQ(
      SetRaw(a.registry(), kHkeyLocalMachine, "Software\\Live", "v", platform::kRegSz, Text("1")),
      kErrorSuccess);
  RegHandle held = 0;
  ASSERT_EQ(a.registry().OpenKeyEx(kHkeyLocalMachine, "Software\\Live", platform::kKeyRead, &held),
            kErrorSuccess);
  uint32_t size = 8;
  uint8_t buf[8];
  ASSERT_EQ(a.registry().QueryValueEx(held, "v", nullptr, buf, &size), kErrorSuccess);

  ASSERT_EQ(SetRaw(b, kHkeyLocalMachine, "Software\\Live", "v", platform::kRegSz, Text("2")),
            kErrorSuccess);
  // A handle kept open does not keep an old picture for long.
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  size = 8;
  ASSERT_EQ(a.registry().QueryValueEx(held, "v", nullptr, buf, &size), kErrorSuccess);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), Text("2"));
  a.registry().CloseKey(held);

  ASSERT_EQ(SetRaw(b, kHkeyLocalMachine, "Software\\Live", "v", platform::kRegSz, Text("3")),
            kErrorSuccess);
  EXPECT_EQ(QueryRaw(a.registry(), kHkeyLocalMachine, "Software\\Live", "v").data, Text("3"));
}

TEST(SqliteRegistry, TextIsStoredAsUnicodeWhateverTheCodePage) {
  TestRegistry korean("CP949");
  ASSERT_TRUE(korean.codepage().ok());
  // "한국 네트워크" in CP949: two plus four double-byte characters and a blank.
  const std::string hangul_utf8 =
      "\xED\x95\x9C\xEA\xB5\xAD \xEB\x84\xA4\xED\x8A\xB8\xEC\x9B\x8C\xED\x81\xAC";
  const std::string hangul_ansi = korean.codepage().ToAnsi(hangul_utf8);
  ASSERT_EQ(hangul_ansi.size(), 13u);
  ASSERT_EQ(SetRaw(korean.registry(), kHkeyLocalMachine, "Software\\" + hangul_ansi, hangul_ansi,
                   platform::kRegSz, Text(hangul_ansi)),
            kErrorSuccess);
  const StoredValue ansi =
      QueryRaw(korean.registry(), kHkeyLocalMachine, "Software\\" + hangul_ansi, hangul_ansi);
  EXPECT_EQ(ansi.data, Text(hangul_ansi));

  // The same file read through UTF-8 shows the same characters.
  platform::IconvCodePage utf8("");
  platform::SqliteRegistry reader(korean.file(), utf8);
  EXPECT_EQ(SubkeyNames(reader, kHkeyLocalMachine, "Software"),
            std::vector<std::string>{hangul_utf8});
  EXPECT_EQ(QueryRaw(reader, kHkeyLocalMachine, "Software\\" + hangul_utf8, hangul_utf8).data,
            Text(hangul_utf8));
}

TEST(SqliteRegistry, TextWithoutTerminatorKeepsItsBytes) {
  TestRegistry reg;
  const std::string bare = "no-nul";
  ASSERT_EQ(SetRaw(reg.registry(), kHkeyLocalMachine, "Software\\T", "v", platform::kRegSz, bare),
            kErrorSuccess);
  EXPECT_EQ(QueryRaw(reg.registry(), kHkeyLocalMachine, "Software\\T", "v").data, bare);
}

TEST(SqliteRegistry, NonAsciiNamesCompareWithoutCase) {
  TestRegistry reg;
  RegHandle key = 0;
  ASSERT_EQ(reg.registry().CreateKey(kHkeyLocalMachine, "Software\\\xC3\xA9t\xC3\xA9", &key),
            kErrorSuccess);
  reg.registry().CloseKey(key);
  EXPECT_TRUE(KeyExists(reg.registry(), kHkeyLocalMachine, "SOFTWARE\\\xC3\x89T\xC3\x89"));
}

TEST(SqliteRegistry, NamesCountInUtf16UnitsAndKeysStopAt512Levels) {
  TestRegistry test;
  platform::Registry& reg = test.registry();
  const std::string euro = "\xE2\x82\xAC";       // one unit in three bytes
  const std::string smile = "\xF0\x9F\x98\x80";  // two units in four bytes
  std::string euros;
  for (int i = 0; i < 255; ++i) euros += euro;
  std::string smiles;
  for (int i = 0; i < 127; ++i) smiles += smile;
  RegHandle key = 0;
  for (const std::string& name : {euros, smiles + "x"}) {
    ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, "Software\\" + name, &key), kErrorSuccess);
    reg.CloseKey(key);
  }
  EXPECT_EQ(reg.CreateKey(kHkeyLocalMachine, "Software\\" + euros + euro, &key),
            kErrorInvalidParameter);
  EXPECT_EQ(reg.CreateKey(kHkeyLocalMachine, "Software\\" + smiles + smile, &key),
            kErrorInvalidParameter);
  EXPECT_EQ(SubkeyNames(reg, kHkeyLocalMachine, "Software"),
            (std::vector<std::string>{euros, smiles + "x"}));

  std::string deepest = "Software";
  for (int level = 2; level <= 512; ++level) deepest += "\\k";
  ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, deepest, &key), kErrorSuccess);
  RegHandle below = 0;
  EXPECT_EQ(reg.CreateKey(key, "k", &below), kErrorNoSystemResources);
  reg.CloseKey(key);
  EXPECT_EQ(reg.CreateKey(kHkeyLocalMachine, deepest + "\\k", &below), kErrorNoSystemResources);
  EXPECT_FALSE(KeyExists(reg, kHkeyLocalMachine, deepest + "\\k"));
}

TEST(SqliteRegistry, BatchesCommitOrRollBackAsAWhole) {
  TestRegistry a;
  platform::IconvCodePage utf8("");
  platform::SqliteRegistry other(a.file(), utf8);
  ASSERT_EQ(a.registry().BeginBatch(), 0);
  ASSERT_EQ(
      SetRaw(a.registry(), kHkeyLocalMachine, "Software\\B", "one", platform::kRegSz, Text("1")),
      kErrorSuccess);
  ASSERT_EQ(
      SetRaw(a.registry(), kHkeyLocalMachine, "Software\\B\\C", "two", platform::kRegSz, Text("2")),
      kErrorSuccess);
  // Inside the batch its own writes are visible.
  EXPECT_TRUE(KeyExists(a.registry(), kHkeyLocalMachine, "Software\\B\\C"));
  a.registry().RollbackBatch();
  EXPECT_FALSE(KeyExists(a.registry(), kHkeyLocalMachine, "Software\\B"));

  ASSERT_EQ(a.registry().BeginBatch(), 0);
  ASSERT_EQ(
      SetRaw(a.registry(), kHkeyLocalMachine, "Software\\B", "one", platform::kRegSz, Text("1")),
      kErrorSuccess);
  ASSERT_EQ(a.registry().CommitBatch(), 0);
  EXPECT_EQ(QueryRaw(other, kHkeyLocalMachine, "Software\\B", "one").data, Text("1"));
}

TEST(SqliteRegistry, RootsCannotBeDeletedAndBadPathsAreRefused) {
  TestRegistry reg;
  EXPECT_EQ(reg.registry().DeleteKey(kHkeyLocalMachine, ""), kErrorAccessDenied);
  RegHandle key = 0;
  EXPECT_EQ(reg.registry().CreateKey(kHkeyLocalMachine, "a\\\\b", &key), kErrorBadPathname);
  EXPECT_EQ(reg.registry().CreateKey(kHkeyLocalMachine, "\\a", &key), kErrorBadPathname);
  EXPECT_EQ(reg.registry().OpenKeyEx(0x80000000u, "x", platform::kKeyRead, &key),
            kErrorInvalidHandle);
}

}  // namespace
}  // namespace netvane::testing
