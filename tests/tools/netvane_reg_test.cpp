// netvane-reg: REGEDIT4 import and export over a real registry file, in process and as the
// built programs sharing one registry file with netvanectl.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/registry_tree.h"
#include "test_support.h"
#include "tools/netvane_reg/netvane_reg.h"

extern char** environ;

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using platform::KeyTree;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Sz(const std::string& s) { return s + std::string(1, '\0'); }

std::string ReadFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

Outcome RunIn(TestRegistry& reg, const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = tools::RunNetvaneReg(args, reg.registry(), reg.codepage(), out, err);
  return {code, out.str(), err.str()};
}

// Everything a registry holds: its full export and both root trees.
struct Snapshot {
  std::string text;
  KeyTree hklm;
  KeyTree hkcu;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(TestRegistry& reg) {
  Snapshot s;
  const Outcome o = RunIn(reg, {"export"});
  EXPECT_EQ(o.code, 0) << o.err;
  s.text = o.out;
  EXPECT_EQ(platform::ReadKeyTree(reg.registry(), kHkeyLocalMachine, "", &s.hklm), kErrorSuccess);
  EXPECT_EQ(platform::ReadKeyTree(reg.registry(), kHkeyCurrentUser, "", &s.hkcu), kErrorSuccess);
  return s;
}

class NetvaneReg : public ::testing::Test {
 protected:
  Outcome Run(const std::vector<std::string>& args) { return RunIn(reg_, args); }
  Outcome Import(const std::string& text, TestRegistry* into = nullptr) {
    WriteFile(file_, text);
    return RunIn(into != nullptr ? *into : reg_, {"import", file_});
  }
  platform::Registry& raw() { return reg_.registry(); }
  void ExpectValue(const std::string& path, const std::string& name, uint32_t type,
                   const std::string& data) {
    const StoredValue v = QueryRaw(raw(), kHkeyLocalMachine, path, name);
    EXPECT_EQ(v.code, kErrorSuccess) << name;
    EXPECT_EQ(v.type, type) << name;
    EXPECT_EQ(v.data, data) << name;
  }

  ScratchDir dir_;
  std::string file_ = dir_.File("in.reg");
  TestRegistry reg_;
};

TEST_F(NetvaneReg, EachDataFormLandsWithItsTypeAndBytes) {
  const Outcome o = Import(R"(REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Forms]
"Plain"="C:\\Program Files\\say \"hi\""
"Empty"=""
@="the default"
"Number"=dword:0001E240
"Small"=dword:7
"Bytes"=hex:00,ff,7F
"NoBytes"=hex:
"Expand"=hex(2):25,41,25,00
"Multi"=hex(7):61,00,62,63,00,00
"Quad"=HEX(b):01,02,03,04,05,06,07,08
  "Spaced" = "blank around ="  

[HKCU\Software\Short]
"Where"="current user"
)");
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out + o.err, "");
  const std::string key = "Software\\Forms";
  ExpectValue(key, "Plain", platform::kRegSz, Sz("C:\\Program Files\\say \"hi\""));
  ExpectValue(key, "Empty", platform::kRegSz, std::string(1, '\0'));
  ExpectValue(key, "", platform::kRegSz, Sz("the default"));
  ExpectValue(key, "Number", platform::kRegDword, std::string("\x40\xE2\x01\x00", 4));
  ExpectValue(key, "Small", platform::kRegDword, std::string("\x07\0\0\0", 4));
  ExpectValue(key, "Bytes", platform::kRegBinary, std::string("\x00\xFF\x7F", 3));
  ExpectValue(key, "NoBytes", platform::kRegBinary, "");
  ExpectValue(key, "Expand", platform::kRegExpandSz, Sz("%A%"));
  ExpectValue(key, "Multi", platform::kRegMultiSz, std::string("a\0bc\0\0", 6));
  ExpectValue(key, "Quad", platform::kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08");
  ExpectValue(key, "Spaced", platform::kRegSz, Sz("blank around ="));
  EXPECT_EQ(ValueNames(raw(), kHkeyLocalMachine, key),
            (std::vector<std::string>{"Plain", "Empty", "", "Number", "Small", "Bytes", "NoBytes",
                                      "Expand", "Multi", "Quad", "Spaced"}));
  const StoredValue cu = QueryRaw(raw(), kHkeyCurrentUser, "Software\\Short", "Where");
  EXPECT_EQ(cu.type, platform::kRegSz);
  EXPECT_EQ(cu.data, Sz("current user"));
}

TEST_F(NetvaneReg, DeletionsRemoveWholeTreesAndSingleValues) {
  ASSERT_EQ(SetRaw(raw(), kHkeyLocalMachine, "Software\\Gone\\Child\\Grand", "g", platform::kRegSz,
                   Sz("1")),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(raw(), kHkeyLocalMachine, "Software\\Gone", "top", platform::kRegSz, Sz("1")),
            kErrorSuccess);
  ASSERT_EQ(
      SetRaw(raw(), kHkeyLocalMachine, "Software\\GoneToo", "x", platform::kRegSz, Sz("stays")),
      kErrorSuccess);
  for (const char* name : {"a", "b", "c", ""}) {
    ASSERT_EQ(SetRaw(raw(), kHkeyLocalMachine, "Software\\Kept", name, platform::kRegSz, Sz(name)),
              kErrorSuccess);
  }
  ASSERT_EQ(
      SetRaw(raw(), kHkeyLocalMachine, "Software\\Redo\\Old", "old", platform::kRegSz, Sz("1")),
      kErrorSuccess);

  const Outcome o = Import(
      "REGEDIT4\n\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\gone]\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\NeverThere]\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Kept]\n"
      "\"B\"=-\n"
      "\"missing\"=-\n"
      "@=-\n\n"
      "[-HKEY_LOCAL_MACHINE\\Software\\Redo]\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Redo]\n"
      "\"new\"=\"1\"\n");
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_FALSE(KeyExists(raw(), kHkeyLocalMachine, "Software\\Gone"));
  EXPECT_FALSE(KeyExists(raw(), kHkeyLocalMachine, "Software\\Gone\\Child\\Grand"));
  EXPECT_EQ(QueryRaw(raw(), kHkeyLocalMachine, "Software\\GoneToo", "x").data, Sz("stays"));
  EXPECT_EQ(ValueNames(raw(), kHkeyLocalMachine, "Software\\Kept"),
            (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(ValueNames(raw(), kHkeyLocalMachine, "Software\\Redo"),
            (std::vector<std::string>{"new"}));
  EXPECT_TRUE(SubkeyNames(raw(), kHkeyLocalMachine, "Software\\Redo").empty());
}

TEST_F(NetvaneReg, CommentsBlankLinesLineEndsAndContinuationsReadTheSame) {
  const std::string lf =
      "REGEDIT4\n"
      "; a comment\n"
      "\n"
      "   ; an indented comment\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Layout]\n"
      "\"Long\"=hex:01,02,\\\n"
      "  03,04,\\\n"
      "      05\n"
      "\"Multi\"=hex(7):61,00,\\\n"
      "  00\n"
      "\"a=b\"=hex:0a,\\\n"
      "  0b\n"
      "\"After\"=\"x\"\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);

  ASSERT_EQ(Import(lf).code, 0);
  ExpectValue("Software\\Layout", "Long", platform::kRegBinary, "\x01\x02\x03\x04\x05");
  ExpectValue("Software\\Layout", "Multi", platform::kRegMultiSz, std::string("a\0\0", 3));
  ExpectValue("Software\\Layout", "a=b", platform::kRegBinary, "\x0a\x0b");
  ExpectValue("Software\\Layout", "After", platform::kRegSz, Sz("x"));
  EXPECT_EQ(ValueNames(raw(), kHkeyLocalMachine, "Software\\Layout").size(), 4u);

  TestRegistry from_crlf;
  ASSERT_EQ(Import(crlf, &from_crlf).code, 0);
  EXPECT_EQ(Take(from_crlf), Take(reg_));
  TestRegistry from_bom;
  ASSERT_EQ(Import("\xEF\xBB\xBF" + crlf, &from_bom).code, 0);
  EXPECT_EQ(Take(from_bom), Take(reg_));
}

struct Malformed {
  const char* name;
  std::string text;
  int line;
  const char* problem;
};

// Valid changes to the seeded content come first, so that a partial import would show.
const std::string kValidStart =
    "REGEDIT4\r\n\r\n"
    "[-HKEY_LOCAL_MACHINE\\Software\\Seed]\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\New]\r\n"
    "\"v\"=\"after\"\r\n";

void PrintTo(const Malformed& m, std::ostream* os) { *os << m.name; }

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

class MalformedImport : public NetvaneReg, public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedImport, FailsNamingFileAndLineAndChangesNothing) {
  ASSERT_EQ(
      SetRaw(raw(), kHkeyLocalMachine, "Software\\Seed\\Sub", "v", platform::kRegSz, Sz("before")),
      kErrorSuccess);
  ASSERT_EQ(SetRaw(raw(), kHkeyCurrentUser, "Software\\Seed", "n", platform::kRegDword,
                   std::string("\1\0\0\0", 4)),
            kErrorSuccess);
  const Snapshot before = Take(reg_);

  const Outcome o = Import(GetParam().text);
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.out, "");
  const std::string where = "netvane-reg: " + file_ + ":" + std::to_string(GetParam().line) + ": ";
  EXPECT_EQ(o.err.rfind(where, 0), 0u) << o.err;
  EXPECT_NE(o.err.find(GetParam().problem), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("nothing was imported"), std::string::npos) << o.err;
  EXPECT_EQ(Take(reg_), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedImport,
    ::testing::Values(
        Malformed{"MissingHeader", "[HKEY_LOCAL_MACHINE\\Software\\New]\n\"v\"=\"x\"\n", 1,
                  "REGEDIT4"},
        Malformed{"OtherHeader",
                  "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n", 1,
                  "REGEDIT4"},
        Malformed{"BadEscape", kValidStart + "\"w\"=\"tab\\there\"\r\n", 6,
                  "unsupported escape \\t"},
        Malformed{"BadEscapeInName", kValidStart + "\"w\\n\"=\"x\"\r\n", 6,
                  "unsupported escape \\n"},
        Malformed{"UnknownRoot", kValidStart + "\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n", 7,
                  "unknown root key in [HKEY_CLASSES_ROOT\\.txt]"},
        Malformed{"BadHexByte", kValidStart + "\"b\"=hex:01,2g,03\r\n", 6,
                  "bad hexadecimal byte \"2g\""},
        Malformed{"HexByteTooLong", kValidStart + "\"b\"=hex(7):01,234\r\n", 6,
                  "bad hexadecimal byte \"234\""},
        Malformed{"ContinuationMissingAtEnd", kValidStart + "\"b\"=hex:01,\\\r\n  02,\\\r\n", 6,
                  "continuation"},
        Malformed{"ValueBeforeAnyKey", "REGEDIT4\n\n; no key yet\n\"v\"=\"x\"\n", 4,
                  "value line outside a key"},
        Malformed{"ValueUnderDeletedKey",
                  kValidStart + "[-HKEY_CURRENT_USER\\Software\\Seed]\r\n"
                                "\"v\"=\"x\"\r\n",
                  7, "value line outside a key"},
        Malformed{"UnterminatedQuote", kValidStart + "\"w\"=\"no end\r\n", 6, "closing quote"},
        Malformed{"UnterminatedName", kValidStart + "\"w=x\r\n", 6, "closing quote"},
        Malformed{"TextAfterClosingQuote", kValidStart + "\"w\"=\"x\" trailing\r\n", 6,
                  "unexpected text after the closing quote"},
        Malformed{"DwordTooLong", kValidStart + "\"d\"=dword:123456789\r\n", 6, "dword:"},
        Malformed{"DwordNotHex", kValidStart + "\"d\"=dword:12x4\r\n", 6, "dword:"},
        Malformed{"UnknownDataForm", kValidStart + "\"d\"=42\r\n", 6, "value data must be"},
        Malformed{"NoEquals", kValidStart + "\"w\" \"x\"\r\n", 6, "= expected"},
        Malformed{"StrayText", kValidStart + "w=x\r\n", 6, "expected a [key] line"},
        Malformed{"KeyWithoutBracket", kValidStart + "[HKEY_LOCAL_MACHINE\\Software\\X\r\n", 6,
                  "closing ]"},
        Malformed{"EmptyKeyName", kValidStart + "[HKEY_LOCAL_MACHINE\\Software\\\\X]\r\n", 6,
                  "empty key name"},
        Malformed{"DeleteRoot", kValidStart + "[-HKEY_CURRENT_USER]\r\n", 6,
                  "a root key cannot be deleted"},
        Malformed{"KeyNameTooLong",
                  kValidStart + "[HKEY_LOCAL_MACHINE\\Software\\" + Repeat("k", 256) + "]\r\n", 6,
                  "key name of 256 characters"},
        Malformed{"KeyTooDeep", kValidStart + "[HKEY_LOCAL_MACHINE" + Repeat("\\k", 513) + "]\r\n",
                  6, "key 513 levels deep"},
        Malformed{"ValueNameTooLong", kValidStart + "\"" + Repeat("v", 16384) + "\"=\"x\"\r\n", 6,
                  "value name of 16384 characters"}),
    [](const auto& info) { return std::string(info.param.name); });

// Without transactions (Windows has none; the decorator passes none on), a change the
// registry refuses, wherever it stands in the file, gets every key touched before put back.
TEST_F(NetvaneReg, ChangeRefusedPartWayPutsBackEveryKeyTouched) {
  ASSERT_EQ(
      SetRaw(raw(), kHkeyLocalMachine, "Software\\Seed\\Sub", "v", platform::kRegSz, Sz("before")),
      kErrorSuccess);
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_EQ(SetRaw(raw(), kHkeyLocalMachine, "Software\\Kept", name, platform::kRegSz, Sz(name)),
              kErrorSuccess);
  }
  ASSERT_EQ(
      SetRaw(raw(), kHkeyLocalMachine, "Software\\Kept\\Child", "x", platform::kRegBinary, "\x01"),
      kErrorSuccess);
  ASSERT_EQ(SetRaw(raw(), kHkeyCurrentUser, "Software\\Seed", "n", platform::kRegDword,
                   std::string("\1\0\0\0", 4)),
            kErrorSuccess);
  const Snapshot before = Take(reg_);
  WriteFile(file_,
            "REGEDIT4\r\n\r\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\Seed]\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Kept]\r\n"
            "\"a\"=-\r\n"
            "\"b\"=dword:00000002\r\n"
            "\"d\"=hex:01\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\New\\Deeper]\r\n"
            "\"n\"=\"new\"\r\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\Kept\\Child]\r\n"
            "[HKEY_CURRENT_USER\\Software\\Seed]\r\n"
            "\"n\"=-\r\n"
            "\"m\"=\"new\"\r\n");
  std::string last_refusal;
  for (int k = 1;; ++k) {
    ASSERT_LT(k, 100) << "the import never got through";
    FailingRegistry failing(raw(), k);
    std::ostringstream out;
    std::ostringstream err;
    const int code = tools::RunNetvaneReg({"import", file_}, failing, reg_.codepage(), out, err);
    if (code == 0) break;
    EXPECT_EQ(code, 1);
    if (k == 1) {
      EXPECT_EQ(err.str(), "netvane-reg: " + file_ +
                               ":3: the registry refused this change (error 1016); nothing was "
                               "imported\n");
    }
    EXPECT_NE(err.str().find("(error 1016); nothing was imported\n"), std::string::npos)
        << err.str();
    ASSERT_EQ(Take(reg_), before) << "write " << k << " refused";
    last_refusal = err.str();
  }
  EXPECT_NE(last_refusal.find(file_ + ":13: "), std::string::npos) << last_refusal;
  // Once no write is refused, the import is whole.
  EXPECT_FALSE(KeyExists(raw(), kHkeyLocalMachine, "Software\\Seed"));
  EXPECT_FALSE(KeyExists(raw(), kHkeyLocalMachine, "Software\\Kept\\Child"));
  ExpectValue("Software\\Kept", "b", platform::kRegDword, std::string("\2\0\0\0", 4));
  ExpectValue("Software\\New\\Deeper", "n", platform::kRegSz, Sz("new"));
  EXPECT_EQ(ValueNames(raw(), kHkeyCurrentUser, "Software\\Seed"), std::vector<std::string>{"m"});
}

TEST_F(NetvaneReg, UsageAndUnreadableFileAreErrors) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"import"},
                                               {"import", "a", "b"},
                                               {"export", "a", "b"},
                                               {"frobnicate"}}) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.code, 2) << ::testing::PrintToString(args);
    EXPECT_NE(o.err.find("usage: netvane-reg import FILE"), std::string::npos);
    EXPECT_EQ(o.out, "");
  }
  const Outcome missing = Run({"import", dir_.File("absent.reg")});
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.err, "netvane-reg: cannot read " + dir_.File("absent.reg") + "\n");
}

TEST_F(NetvaneReg, ExportWritesTheTreeDepthFirstInEnumerationOrder) {
  const std::string t = "Software\\Tree";
  ASSERT_EQ(SetRaw(raw(), kHkeyLocalMachine, t, "zeta", platform::kRegSz, Sz("z")), kErrorSuccess);
  ASSERT_EQ(SetRaw(raw(), kHkeyLocalMachine, t, "Alpha", platform::kRegDword,
                   std::string("\x01\0\0\0", 4)),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(raw(), kHkeyLocalMachine, t + "\\beta", "", platform::kRegSz, Sz("d")),
            kErrorSuccess);
  ASSERT_EQ(
      SetRaw(raw(), kHkeyLocalMachine, t + "\\Alpha\\Child", "x", platform::kRegBinary, "\x01"),
      kErrorSuccess);
  const std::string expected =
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Tree]\r\n"
      "\"zeta\"=\"z\"\r\n"
      "\"Alpha\"=dword:00000001\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Tree\\Alpha]\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Tree\\Alpha\\Child]\r\n"
      "\"x\"=hex:01\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Tree\\beta]\r\n"
      "@=\"d\"\r\n"
      "\r\n";
  Outcome o = Run({"export", "HKEY_LOCAL_MACHINE\\Software\\Tree"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, expected);
  // The key as typed names it, but the file keeps the stored spelling.
  o = Run({"export", "hklm\\SOFTWARE\\tree\\"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out, expected);

  o = Run({"export", "HKEY_CURRENT_USER"});
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n");
}

TEST_F(NetvaneReg, ExportOfAMissingKeyOrUnknownRootIsAnError) {
  Outcome o = Run({"export", "HKEY_LOCAL_MACHINE\\Software\\Nope"});
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "netvane-reg: key not found: HKEY_LOCAL_MACHINE\\Software\\Nope\n");
  o = Run({"export", "HKEY_USERS\\.DEFAULT"});
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("unknown root key in HKEY_USERS\\.DEFAULT"), std::string::npos);
}

TEST_F(NetvaneReg, ImportOfAnExportReproducesTheRegistryExactly) {
  const std::string k = "Software\\Awkward";
  std::string long_binary;
  for (int i = 0; i < 300; ++i) long_binary += static_cast<char>(i * 7);
  struct Seed {
    platform::RegHandle root;
    std::string path;
    std::string name;
    uint32_t type;
    std::string data;
  };
  const Seed seeds[] = {
      {kHkeyLocalMachine, k, "zeta", platform::kRegSz, Sz("last letter, set first")},
      {kHkeyLocalMachine, k, "", platform::kRegSz, Sz("the default")},
      {kHkeyLocalMachine, k, "Alpha", platform::kRegBinary, std::string("\0\x01\0\xFF\0", 5)},
      {kHkeyLocalMachine, k, "no terminator", platform::kRegSz, "abc"},
      {kHkeyLocalMachine, k, "empty text", platform::kRegSz, std::string(1, '\0')},
      {kHkeyLocalMachine, k, "no bytes", platform::kRegSz, ""},
      {kHkeyLocalMachine, k, "inner nul", platform::kRegSz, std::string("a\0b\0", 4)},
      {kHkeyLocalMachine, k, "two lines", platform::kRegSz, Sz("one\r\ntwo")},
      {kHkeyLocalMachine, k, "multi", platform::kRegMultiSz, std::string("one\0two\0\0", 9)},
      {kHkeyLocalMachine, k, "expand", platform::kRegExpandSz, Sz("%SystemRoot%\\x")},
      {kHkeyLocalMachine, k, "quad", platform::kRegQword, "\x88\x77\x66\x55\x44\x33\x22\x11"},
      {kHkeyLocalMachine, k, "dword", platform::kRegDword, "\xEF\xBE\xAD\xDE"},
      {kHkeyLocalMachine, k, "short dword", platform::kRegDword, "\x01\x02"},
      {kHkeyLocalMachine, k, "none", platform::kRegNone, "\x05"},
      {kHkeyLocalMachine, k, "long", platform::kRegBinary, long_binary},
      {kHkeyLocalMachine, k, "say \"hi\" \\ C:\\", platform::kRegSz, Sz("\"quoted\" C:\\dir\\")},
      {kHkeyLocalMachine, k, "key=value", platform::kRegBinary, long_binary.substr(0, 60)},
      {kHkeyLocalMachine, k, "@", platform::kRegSz, Sz("not the default")},
      {kHkeyLocalMachine, k + "\\MixedCase\\lower\\UPPER", "deep", platform::kRegDword,
       std::string(4, '\0')},
      {kHkeyLocalMachine, k + "\\b key", "", platform::kRegSz, Sz("")},
      {kHkeyLocalMachine, k + "\\A Key", "x", platform::kRegSz, Sz("y")},
      {kHkeyCurrentUser, "Software\\User", "u", platform::kRegSz, Sz("user")},
  };
  for (const Seed& s : seeds)
    ASSERT_EQ(SetRaw(raw(), s.root, s.path, s.name, s.type, s.data), kErrorSuccess);
  platform::RegHandle empty = 0;
  ASSERT_EQ(raw().CreateKey(kHkeyLocalMachine, "Software\\Empty Key", &empty), kErrorSuccess);
  raw().CloseKey(empty);
  const Snapshot original = Take(reg_);
  EXPECT_NE(original.text.find("\"long\"=hex:00,07,0e,"), std::string::npos);
  EXPECT_NE(original.text.find(",\\\r\n  "), std::string::npos) << "long data is not wrapped";

  TestRegistry copy;
  const Outcome o = Import(original.text, &copy);
  ASSERT_EQ(o.code, 0) << o.err;
  const Snapshot again = Take(copy);
  EXPECT_EQ(again.text, original.text);
  EXPECT_EQ(again.hklm, original.hklm);
  EXPECT_EQ(again.hkcu, original.hkcu);
  EXPECT_EQ(SubkeyNames(copy.registry(), kHkeyLocalMachine, k),
            (std::vector<std::string>{"A Key", "b key", "MixedCase"}));
  EXPECT_TRUE(KeyExists(copy.registry(), kHkeyLocalMachine, "Software\\Empty Key"));
}

TEST_F(NetvaneReg, NamesAndDepthAtWindowsLimitsExportCopyAndDelete) {
  // Three bytes a character: the longest names take more bytes than characters.
  const std::string euro = "\xE2\x82\xAC";
  const std::string key_name = Repeat(euro, 255);
  const std::string value_name = Repeat(euro, 16383);
  const Outcome o =
      Import("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\" + key_name + "]\r\n\"" + value_name +
             "\"=\"x\"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software" + Repeat("\\k", 511) +
             "]\r\n\"v\"=dword:00000001\r\n");
  ASSERT_EQ(o.code, 0) << o.err;
  const Snapshot original = Take(reg_);
  EXPECT_NE(original.text.find("\"" + value_name + "\"=\"x\""), std::string::npos);
  EXPECT_NE(original.text.find(Repeat("\\k", 511) + "]"), std::string::npos);

  // Copied through the file and through the key tree, it comes back as it was.
  TestRegistry by_file;
  ASSERT_EQ(Import(original.text, &by_file).code, 0);
  EXPECT_EQ(Take(by_file), original);
  TestRegistry by_tree;
  ASSERT_EQ(platform::WriteKeyTree(by_tree.registry(), kHkeyLocalMachine, "", original.hklm),
            kErrorSuccess);
  EXPECT_EQ(Take(by_tree), original);

  ASSERT_EQ(Import("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Software]\r\n").code, 0);
  EXPECT_FALSE(KeyExists(raw(), kHkeyLocalMachine, "Software"));
}

// The built programs, started as a user would, on registry files in a scratch folder.
Outcome RunProgram(const ScratchDir& dir, const std::vector<std::string>& argv,
                   const std::string& registry_file, const std::string& stdin_file = "/dev/null") {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "NETVANE_", 8) != 0 && std::strncmp(*e, "XDG_DATA_HOME=", 14) != 0) {
      env.emplace_back(*e);
    }
  }
  env.push_back("NETVANE_REGISTRY=" + registry_file);
  env.push_back("NETVANE_WINDOWS_VERSION=2000");
  // The demo machine's adapters, not this machine's.
  env.push_back("NETVANE_SYSTEM_VIEW=off");
  env.push_back("XDG_DATA_HOME=" + dir.File("xdg"));
  std::vector<char*> cargv;
  for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  std::vector<char*> cenv;
  for (const std::string& e : env) cenv.push_back(const_cast<char*>(e.c_str()));
  cenv.push_back(nullptr);
  const std::string out_file = dir.File("stdout.txt");
  const std::string err_file = dir.File("stderr.txt");

  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(stdin_file.c_str(), O_RDONLY);
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(cargv[0], cargv.data(), cenv.data());
    _exit(127);
  }
  Outcome o;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    o.code = WEXITSTATUS(status);
  }
  o.out = ReadFile(out_file);
  o.err = ReadFile(err_file);
  return o;
}

TEST(NetvaneRegProgram, DemoImportListsInNetvanectlAndRoundTripsThroughStandardInput) {
  ScratchDir dir;
  const std::string first = dir.File("first.db");
  const std::string demo = std::string(NETVANE_SOURCE_DIR) + "/data/demo.reg";

  Outcome o = RunProgram(dir, {NETVANE_REG_BIN, "import", demo}, first);
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out + o.err, "");

  const std::string expected_list =
      "Adapters:\n"
      "  [0] Intel(R) PRO/100 VE Network Connection ({4D36E972-E325-11CE-BFC1-08002BE10318})\n"
      "  [1] 3Com EtherLink XL 10/100 PCI TX NIC (3C905B-TX) (El90x1)\n"
      "Locations:\n"
      " Adapter\n"
      "  [0] Intel(R) PRO/100 VE Network Connection\n"
      "        1 * Office (IP address : 192.168.10.25)\n"
      "        2   Home (Use Dynamic IP Address)\n"
      "  [2] 3Com EtherLink XL 10/100 PCI TX NIC (3C905B-TX)\n"
      "        3   Hotel ADSL (ADSL user)\n"
      "        4 * Lab (IP address : 10.1.2.30)\n";
  o = RunProgram(dir, {NETVANECTL_BIN, "list"}, first);
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out, expected_list);
  EXPECT_EQ(o.err, "");

  const Outcome exported = RunProgram(dir, {NETVANE_REG_BIN, "export"}, first);
  ASSERT_EQ(exported.code, 0) << exported.err;
  EXPECT_EQ(exported.out.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n", 0), 0u);
  const std::string file = dir.File("demo-export.reg");
  WriteFile(file, exported.out);

  const std::string second = dir.File("second.db");
  o = RunProgram(dir, {NETVANE_REG_BIN, "import", "-"}, second, file);
  ASSERT_EQ(o.code, 0) << o.err;
  o = RunProgram(dir, {NETVANE_REG_BIN, "export"}, second);
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, exported.out);
  EXPECT_EQ(RunProgram(dir, {NETVANECTL_BIN, "list"}, second).out, expected_list);

  o = RunProgram(dir, {NETVANE_REG_BIN, "export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Nope"}, second);
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.err, "netvane-reg: key not found: HKEY_LOCAL_MACHINE\\SOFTWARE\\Nope\n");
}

}  // namespace
}  // namespace netvane::testing
