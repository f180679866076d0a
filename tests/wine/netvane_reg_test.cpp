// netvane-reg over the running system's registry (advapi32): in process, and as the program a
// user starts. Every test works below a key of its own under HKCU\Software\NetvaneTests.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <sstream>
#include <string>
#include <vector>

#include "platform/registry_tree.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_registry.h"
#include "registry_raw.h"
#include "tools/netvane_reg/netvane_reg.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using platform::KeyTree;
using platform::kHkeyCurrentUser;

std::string Sz(const std::string& s) { return s + '\0'; }

// A REGEDIT4 file of `lines`; the first of them is line 3.
std::string File(const std::vector<std::string>& lines) {
  std::string text = "REGEDIT4\r\n\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class NetvaneRegWin32 : public ::testing::Test {
 protected:
  struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
  };

  void SetUp() override {
    // One key per test, so that tests may run in parallel processes.
    path_ = std::string("Software\\NetvaneTests\\") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    platform::DeleteKeyTree(reg_, kHkeyCurrentUser, path_);
  }
  void TearDown() override { platform::DeleteKeyTree(reg_, kHkeyCurrentUser, path_); }

  // The full name of a key below the test's own.
  std::string Key(const std::string& sub) const {
    return "HKEY_CURRENT_USER\\" + path_ + "\\" + sub;
  }

  Outcome Run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = tools::RunNetvaneReg(args, reg_, codepage_, out, err);
    return {code, out.str(), err.str()};
  }
  Outcome Import(const std::string& text) {
    WriteBytes(file_, text);
    return Run({"import", file_});
  }
  KeyTree Tree() {
    KeyTree tree;
    EXPECT_EQ(platform::ReadKeyTree(reg_, kHkeyCurrentUser, path_, &tree), kErrorSuccess);
    return tree;
  }
  // A key that lives until the system stops; no lasting key may go below it.
  void CreateVolatileKey(const std::string& sub) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\" + sub).c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    platform::RegHandle probe = 0;
    ASSERT_EQ(reg_.CreateKey(kHkeyCurrentUser, path_ + "\\" + sub + "\\Probe", &probe),
              platform::kErrorChildMustBeVolatile);
  }

  platform::Win32Registry reg_;
  platform::Win32CodePage codepage_;
  TempFolder folder_;
  std::string file_ = folder_.File("in.reg");
  std::string path_;
};

TEST_F(NetvaneRegWin32, ExportAndImportKeepEachTypeAndItsBytes) {
  struct Seed {
    std::string key;
    std::string name;
    uint32_t type;
    std::string data;
  };
  const Seed seeds[] = {
      {"Tree", "a text", platform::kRegSz, Sz("C:\\Program Files\\say \"hi\"")},
      {"Tree", "b number", platform::kRegDword, std::string("\x40\xE2\x01\x00", 4)},
      {"Tree", "c bytes", platform::kRegBinary, std::string("\x00\xFF\x7F", 3)},
      {"Tree", "d list", platform::kRegMultiSz, std::string("one\0two\0\0", 9)},
      {"Tree", "e path", platform::kRegExpandSz, Sz("%TEMP%")},
      {"Tree\\Sub", "", platform::kRegSz, Sz("default")},
  };
  for (const Seed& s : seeds) {
    ASSERT_EQ(SetRaw(reg_, kHkeyCurrentUser, path_ + "\\" + s.key, s.name, s.type, s.data),
              kErrorSuccess);
  }
  const Outcome exported = Run({"export", Key("Tree")});
  ASSERT_EQ(exported.code, 0) << exported.err;
  EXPECT_EQ(exported.out,
            File({"[" + Key("Tree") + "]", "\"a text\"=\"C:\\\\Program Files\\\\say \\\"hi\\\"\"",
                  "\"b number\"=dword:0001e240", "\"c bytes\"=hex:00,ff,7f",
                  "\"d list\"=hex(7):6f,6e,65,00,74,77,6f,00,00",
                  "\"e path\"=hex(2):25,54,45,4d,50,25,00", "", "[" + Key("Tree\\Sub") + "]",
                  "@=\"default\"", ""}));

  ASSERT_EQ(platform::DeleteKeyTree(reg_, kHkeyCurrentUser, path_ + "\\Tree"), kErrorSuccess);
  const Outcome imported = Import(exported.out);
  ASSERT_EQ(imported.code, 0) << imported.err;
  EXPECT_EQ(imported.out + imported.err, "");
  for (const Seed& s : seeds) {
    const StoredValue v = QueryRaw(reg_, kHkeyCurrentUser, path_ + "\\" + s.key, s.name);
    EXPECT_EQ(v.code, kErrorSuccess) << s.name;
    EXPECT_EQ(v.type, s.type) << s.name;
    EXPECT_EQ(v.data, s.data) << s.name;
  }
  EXPECT_EQ(Run({"export", Key("Tree")}).out, exported.out);
}

TEST_F(NetvaneRegWin32, MalformedFileIsRefusedAndChangesNothing) {
  ASSERT_EQ(SetRaw(reg_, kHkeyCurrentUser, path_ + "\\Seed", "v", platform::kRegSz, Sz("before")),
            kErrorSuccess);
  const KeyTree before = Tree();
  const Outcome o = Import(File({"[-" + Key("Seed") + "]", "[" + Key("New") + "]",
                                 "\"v\"=\"after\"", "\"w\"=dword:123456789"}));
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.err, "netvane-reg: " + file_ +
                       ":6: dword: needs one to eight hexadecimal digits; nothing was imported\n");
  EXPECT_EQ(Tree(), before);
}

// Neither Windows nor Wine groups registry changes: when the registry refuses one part-way (a
// lasting key below a volatile one), the tool puts back everything it had already changed.
TEST_F(NetvaneRegWin32, ChangeRefusedHalfWayPutsEverythingBack) {
  const std::string k = path_ + "\\";
  ASSERT_EQ(SetRaw(reg_, kHkeyCurrentUser, k + "Kept", "a", platform::kRegSz, Sz("one")),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(reg_, kHkeyCurrentUser, k + "Kept", "b", platform::kRegDword,
                   std::string("\x01\0\0\0", 4)),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(reg_, kHkeyCurrentUser, k + "Kept", "c", platform::kRegBinary, "\x01\x02"),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(reg_, kHkeyCurrentUser, k + "Doomed", "top", platform::kRegMultiSz,
                   std::string("x\0\0", 3)),
            kErrorSuccess);
  ASSERT_EQ(
      SetRaw(reg_, kHkeyCurrentUser, k + "Doomed\\Sub", "x", platform::kRegExpandSz, Sz("%PATH%")),
      kErrorSuccess);
  CreateVolatileKey("Volatile");
  ASSERT_EQ(SetRaw(reg_, kHkeyCurrentUser, k + "Volatile", "v", platform::kRegSz, Sz("before")),
            kErrorSuccess);
  const KeyTree before = Tree();

  const Outcome o =
      Import(File({"[-" + Key("Doomed") + "]", "[" + Key("Kept") + "]", "\"a\"=\"changed\"",
                   "\"b\"=-", "\"added\"=dword:00000005", "[" + Key("Brand\\New") + "]",
                   "\"x\"=hex:01", "[" + Key("Volatile") + "]", "\"v\"=\"after\"",
                   "[" + Key("Volatile\\Lasting") + "]", "\"never\"=\"set\""}));
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err,
            "netvane-reg: " + file_ +
                ":12: the registry refused this change (error 1021); nothing was imported\n");
  EXPECT_EQ(Tree(), before);
  // The volatile key got its value back in place; it was not made anew as a lasting key.
  platform::RegHandle probe = 0;
  EXPECT_EQ(reg_.CreateKey(kHkeyCurrentUser, k + "Volatile\\Probe", &probe),
            platform::kErrorChildMustBeVolatile);
}

// A volatile key the file deletes cannot come back below its volatile parent (keys are made
// lasting): the message says that the import was not wholly undone.
TEST_F(NetvaneRegWin32, PuttingBackThatFailsIsReported) {
  CreateVolatileKey("Volatile");
  CreateVolatileKey("Volatile\\Inner");
  const Outcome o =
      Import(File({"[-" + Key("Volatile\\Inner") + "]", "[" + Key("Volatile\\Lasting") + "]"}));
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "netvane-reg: " + file_ +
                       ":4: the registry refused this change (error 1021); putting back what the "
                       "import had changed failed too (error 1021), so part of it stays\n");
  EXPECT_FALSE(KeyExists(reg_, kHkeyCurrentUser, path_ + "\\Volatile\\Inner"));
}

// netvane-reg.exe as a user starts it: a console program that tells the outcome by exit code
// and message, and writes its export with the file's own line ends.
TEST_F(NetvaneRegWin32, ProgramTellsTheOutcomeByExitCodeAndMessage) {
  const std::string program = "\"" + ProgramFolder() + "netvane-reg.exe\"";
  WriteBytes(file_, File({"[" + Key("Prog") + "]", "\"n\"=dword:0000002a"}));
  ProgramRun run = RunProgram(program + " import \"" + file_ + "\"");
  ASSERT_TRUE(run.started) << "error " << run.error;
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, "");
  run = RunProgram(program + " export \"" + Key("Prog") + "\"");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.output, File({"[" + Key("Prog") + "]", "\"n\"=dword:0000002a", ""}));

  CreateVolatileKey("Volatile");
  WriteBytes(file_,
             File({"[" + Key("Prog") + "]", "\"n\"=-", "[" + Key("Volatile\\Lasting") + "]"}));
  run = RunProgram(program + " import \"" + file_ + "\"");
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.output, "netvane-reg: " + file_ +
                            ":5: the registry refused this change (error 1021); nothing was "
                            "imported\r\n");
  EXPECT_EQ(QueryRaw(reg_, kHkeyCurrentUser, path_ + "\\Prog", "n").data,
            std::string("\x2a\0\0\0", 4));

  run = RunProgram(program + " export \"" + Key("Missing") + "\"");
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.output, "netvane-reg: key not found: " + Key("Missing") + "\r\n");
  run = RunProgram(program);
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.output.rfind("usage: netvane-reg import FILE", 0), 0u) << run.output;
}

}  // namespace
}  // namespace netvane::testing
