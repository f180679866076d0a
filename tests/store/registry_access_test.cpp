// The registry access layer over a real registry file: result codes, text forms, byte
// lengths, and that every handle it opens is closed again.
#include "store/registry_access.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorAccessDenied;
using platform::kErrorFileNotFound;
using platform::kErrorInvalidParameter;
using platform::kErrorMoreData;
using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;
using store::RegistryAccess;

constexpr platform::RegHandle kRoot = kHkeyLocalMachine;

class RegistryAccessTest : public ::testing::Test {
 protected:
  TestRegistry test_;
  CountingRegistry counting_{test_.registry()};
  RegistryAccess reg_{counting_, test_.codepage()};

  void TearDown() override { EXPECT_EQ(counting_.open_handles(), 0); }
};

TEST_F(RegistryAccessTest, ListingsGiveMinusOneForAnEmptyKeyAndNotFoundForAMissingOne) {
  ASSERT_EQ(reg_.CreateKey(kRoot, "Software\\Empty"), kErrorSuccess);
  const store::ValueList values = reg_.EnumValues(kRoot, "Software\\Empty");
  EXPECT_EQ(values.code, -1);
  EXPECT_EQ(values.count(), 0);
  EXPECT_EQ(reg_.EnumKeys(kRoot, "Software\\Empty").code, -1);
  EXPECT_EQ(reg_.EnumValues(kRoot, "Software\\Missing").code, kErrorFileNotFound);
  EXPECT_EQ(reg_.EnumKeys(kRoot, "Software\\Missing").code, kErrorFileNotFound);
  EXPECT_EQ(reg_.OpenKeyCheck(kRoot, "Software\\Missing"), kErrorFileNotFound);
  EXPECT_EQ(reg_.OpenKeyCheck(kRoot, "Software\\Empty\\"), kErrorSuccess);
}

TEST_F(RegistryAccessTest, TextIsStoredWithItsTerminatorAndReadWithout) {
  ASSERT_EQ(reg_.CreateKey(kRoot, "Software\\T"), kErrorSuccess);
  ASSERT_EQ(reg_.WriteValue(kRoot, "Software\\T", "Flag", "YES"), kErrorSuccess);
  ASSERT_EQ(reg_.WriteValue(kRoot, "Software\\T", "Empty", ""), kErrorSuccess);
  const StoredValue flag = QueryRaw(test_.registry(), kRoot, "Software\\T", "Flag");
  EXPECT_EQ(flag.type, platform::kRegSz);
  EXPECT_EQ(flag.data, std::string("YES\0", 4));
  EXPECT_EQ(QueryRaw(test_.registry(), kRoot, "Software\\T", "Empty").data, std::string(1, '\0'));

  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\T", "Flag").text, "YES");
  const store::ReadResult empty = reg_.ReadValue(kRoot, "Software\\T", "Empty");
  EXPECT_EQ(empty.code, kErrorSuccess);
  EXPECT_EQ(empty.text, "");
  const store::ValueList all = reg_.EnumValues(kRoot, "Software\\T");
  EXPECT_EQ(all.names, (std::vector<std::string>{"Flag", "Empty"}));
  EXPECT_EQ(all.values, (std::vector<std::string>{"YES", ""}));
}

TEST_F(RegistryAccessTest, WritingNeverCreatesTheKey) {
  EXPECT_EQ(reg_.WriteValue(kRoot, "Software\\Nowhere", "v", "x"), kErrorFileNotFound);
  EXPECT_FALSE(KeyExists(test_.registry(), kRoot, "Software\\Nowhere"));
}

TEST_F(RegistryAccessTest, NumbersAreWrittenLowByteFirstAndReadAsHexadecimal) {
  ASSERT_EQ(reg_.CreateKey(kRoot, "Software\\N"), kErrorSuccess);
  ASSERT_EQ(reg_.WriteValue(kRoot, "Software\\N", "D", "256", store::ValueKind::kNumber),
            kErrorSuccess);
  EXPECT_EQ(QueryRaw(test_.registry(), kRoot, "Software\\N", "D").data,
            std::string("\x00\x01\x00\x00", 4));
  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\N", "D").text, "00000100");
  ASSERT_EQ(reg_.WriteNumber(kRoot, "Software\\N", "One", 1), kErrorSuccess);
  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\N", "One").text, "00000001");
  ASSERT_EQ(reg_.WriteNumber(kRoot, "Software\\N", "Minus", -2), kErrorSuccess);
  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\N", "Minus").text, "FFFFFFFE");

  // Text that is no number is refused, and nothing is written.
  EXPECT_EQ(reg_.WriteValue(kRoot, "Software\\N", "Bad", "12abc", store::ValueKind::kNumber),
            kErrorInvalidParameter);
  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\N", "Bad").code, kErrorFileNotFound);

  ASSERT_EQ(SetRaw(test_.registry(), kRoot, "Software\\N", "Bin", platform::kRegBinary,
                   std::string("\x0A\x01", 2)),
            kErrorSuccess);
  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\N", "Bin").text, "010A");
  const store::ValueList all = reg_.EnumValues(kRoot, "Software\\N");
  ASSERT_EQ(all.count(), 4);
  EXPECT_EQ(all.values[0], "00000100");
  EXPECT_EQ(all.values[3], "010A");
}

TEST_F(RegistryAccessTest, OddStoredValuesReadWithoutHarm) {
  platform::Registry& raw = test_.registry();
  ASSERT_EQ(SetRaw(raw, kRoot, "Software\\Odd", "ZeroSz", platform::kRegSz, ""), kErrorSuccess);
  ASSERT_EQ(SetRaw(raw, kRoot, "Software\\Odd", "Multi", platform::kRegMultiSz,
                   std::string("a\0b\0\0", 5)),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(raw, kRoot, "Software\\Odd", "Expand", platform::kRegExpandSz,
                   std::string("%X%\0", 4)),
            kErrorSuccess);
  ASSERT_EQ(
      SetRaw(raw, kRoot, "Software\\Odd", "Huge", platform::kRegSz, std::string(2000, 'h') + '\0'),
      kErrorSuccess);

  const store::ReadResult zero = reg_.ReadValue(kRoot, "Software\\Odd", "ZeroSz");
  EXPECT_EQ(zero.code, kErrorSuccess);
  EXPECT_EQ(zero.text, "");
  // Multi-strings keep their inner terminators; the caller turns them into separators.
  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\Odd", "Multi").text, std::string("a\0b\0", 4));
  EXPECT_EQ(reg_.ReadValue(kRoot, "Software\\Odd", "Expand").text, "");
  // Over 1024 bytes: the more-data error and no text.
  const store::ReadResult huge = reg_.ReadValue(kRoot, "Software\\Odd", "Huge");
  EXPECT_EQ(huge.code, kErrorMoreData);
  EXPECT_EQ(huge.text, "");
  // The edge: 1024 bytes with the terminator still read, 1025 do not.
  ASSERT_EQ(SetRaw(raw, kRoot, "Software\\Odd\\Edge", "Fits", platform::kRegSz,
                   std::string(1023, 'f') + '\0'),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(raw, kRoot, "Software\\Odd\\Edge", "Over", platform::kRegSz,
                   std::string(1024, 'o') + '\0'),
            kErrorSuccess);
  const store::ReadResult fits = reg_.ReadValue(kRoot, "Software\\Odd\\Edge", "Fits");
  EXPECT_EQ(fits.code, kErrorSuccess);
  EXPECT_EQ(fits.text, std::string(1023, 'f'));
  const store::ReadResult over = reg_.ReadValue(kRoot, "Software\\Odd\\Edge", "Over");
  EXPECT_EQ(over.code, kErrorMoreData);
  EXPECT_EQ(over.text, "");

  const store::ValueList all = reg_.EnumValues(kRoot, "Software\\Odd");
  EXPECT_EQ(all.code, kErrorSuccess);
  EXPECT_EQ(all.names, (std::vector<std::string>{"ZeroSz", "Multi", "Expand", "Huge"}));
  EXPECT_EQ(all.values[0], "");
  EXPECT_EQ(all.values[1], "");  // listings show multi-strings as empty text
  EXPECT_EQ(all.values[3], std::string(2000, 'h'));
}

TEST_F(RegistryAccessTest, DeleteKeyTreeRemovesEveryLevel) {
  ASSERT_EQ(reg_.CreateKey(kRoot, "Software\\Tree\\a\\b\\c"), kErrorSuccess);
  ASSERT_EQ(reg_.CreateKey(kRoot, "Software\\Tree\\a\\b2"), kErrorSuccess);
  ASSERT_EQ(reg_.WriteValue(kRoot, "Software\\Tree\\a\\b\\c", "v", "1"), kErrorSuccess);
  ASSERT_EQ(reg_.CreateKey(kRoot, "Software\\Tree\\sibling"), kErrorSuccess);
  EXPECT_EQ(reg_.DeleteKey(kRoot, "Software\\Tree\\a"), kErrorAccessDenied);
  EXPECT_EQ(reg_.DeleteKeyTree(kRoot, "Software\\Tree\\a\\"), kErrorSuccess);
  EXPECT_FALSE(KeyExists(test_.registry(), kRoot, "Software\\Tree\\a"));
  EXPECT_TRUE(KeyExists(test_.registry(), kRoot, "Software\\Tree\\sibling"));
  EXPECT_EQ(reg_.DeleteKeyTree(kRoot, "Software\\Tree\\a"), kErrorFileNotFound);

  std::string deepest = "Software\\Tree\\deep";
  for (int level = 4; level <= 512; ++level) deepest += "\\k";
  ASSERT_EQ(reg_.CreateKey(kRoot, deepest), kErrorSuccess);
  EXPECT_EQ(reg_.DeleteKeyTree(kRoot, "Software\\Tree\\deep"), kErrorSuccess);
  EXPECT_FALSE(KeyExists(test_.registry(), kRoot, "Software\\Tree\\deep"));
}

TEST_F(RegistryAccessTest, DeleteValueRemovesOnlyThatValue) {
  ASSERT_EQ(reg_.CreateKey(kRoot, "Software\\V"), kErrorSuccess);
  ASSERT_EQ(reg_.WriteValue(kRoot, "Software\\V", "a", "1"), kErrorSuccess);
  ASSERT_EQ(reg_.WriteValue(kRoot, "Software\\V", "b", "2"), kErrorSuccess);
  EXPECT_EQ(reg_.DeleteValue(kRoot, "Software\\V", "A"), kErrorSuccess);
  EXPECT_EQ(reg_.DeleteValue(kRoot, "Software\\V", "a"), kErrorFileNotFound);
  EXPECT_EQ(ValueNames(test_.registry(), kRoot, "Software\\V"), std::vector<std::string>{"b"});
}

TEST(AnsiByteLength, CountsBytesOfTheDoubleByteCodePage) {
  TestRegistry test("CP949");
  RegistryAccess reg(test.registry(), test.codepage());
  // 다섯글자 and one more: five Hangul syllables.
  const std::string five = "\xEB\x8B\xA4\xEC\x84\xAF\xEA\xB8\x80\xEC\x9E\x90\xEC\x98\x88";
  EXPECT_EQ(reg.AnsiByteLength(five), 10);
  EXPECT_EQ(reg.AnsiLeftBytes(five, 4), "\xEB\x8B\xA4\xEC\x84\xAF");
  EXPECT_EQ(reg.AnsiRightBytes(five, 2), "\xEC\x98\x88");
  EXPECT_EQ(reg.AnsiRightBytes("C:\\x.exe", 5), "x.exe");
  EXPECT_EQ(reg.AnsiLeftBytes(five, 0), "");
  EXPECT_EQ(reg.AnsiLeftBytes(five, 99), five);
  // Cutting a character in half leaves what the code page makes of half a character.
  EXPECT_EQ(reg.AnsiLeftBytes(five, 3), "\xEB\x8B\xA4?");

  // The registry holds the text in the code page: ten bytes and the terminator.
  ASSERT_EQ(reg.CreateKey(kHkeyLocalMachine, "Software\\K"), kErrorSuccess);
  ASSERT_EQ(reg.WriteValue(kHkeyLocalMachine, "Software\\K", "Name", five), kErrorSuccess);
  EXPECT_EQ(QueryRaw(test.registry(), kHkeyLocalMachine, "Software\\K", "Name").data.size(), 11u);
  EXPECT_EQ(reg.ReadValue(kHkeyLocalMachine, "Software\\K", "Name").text, five);
}

TEST(AnsiByteLength, IsTheUtf8LengthByDefault) {
  TestRegistry test;
  RegistryAccess reg(test.registry(), test.codepage());
  EXPECT_EQ(reg.AnsiByteLength("\xEB\x8B\xA4"), 3);
  EXPECT_EQ(reg.AnsiByteLength("abc"), 3);
}

}  // namespace
}  // namespace netvane::testing
