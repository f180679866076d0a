// Addresses and address lists as locations store them, and lease stamps in hexadecimal.
#include "engine/address.h"

#include <gtest/gtest.h>

namespace netvane::testing {
namespace {

using engine::Octets;

TEST(ParseAddress, AcceptsOnlyFourDecimalOctets) {
  Octets o{};
  EXPECT_TRUE(engine::ParseAddress("192.168.001.010", &o));
  EXPECT_EQ(o, (Octets{192, 168, 1, 10}));
  EXPECT_EQ(engine::DottedQuad(o), "192.168.1.10");
  EXPECT_TRUE(engine::ParseAddress("0.0.0.0", &o));
  EXPECT_TRUE(engine::ParseAddress("255.255.255.255", &o));
  for (const char* bad :
       {"", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1..2.3", "1.2.3.", ".1.2.3", " 1.2.3.4", "1.2.3.4 ",
        "-1.2.3.4", "a.b.c.d", "1.2.3.4/24", "99999999999999999999.1.1.1"}) {
    EXPECT_FALSE(engine::ParseAddress(bad, &o)) << bad;
  }
}

TEST(ParseAddressList, KeepsTheItemsThatParseInOrder) {
  std::vector<Octets> rows;
  EXPECT_EQ(engine::ParseAddressList("10.0.0.1,bad,,10.0.0.2", &rows), 2);
  EXPECT_EQ(rows, (std::vector<Octets>{{10, 0, 0, 1}, {10, 0, 0, 2}}));
  EXPECT_EQ(engine::ParseAddressList("", &rows), -1);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(engine::ParseAddressList("x,y", &rows), -1);
  EXPECT_EQ(engine::ParseAddressList("1.1.1.1", &rows), 1);
}

TEST(Hex, ConvertsStampsBothWays) {
  EXPECT_EQ(engine::NumberToHex(1193046), "123456");
  EXPECT_EQ(engine::NumberToHex(0), "0");
  EXPECT_EQ(engine::NumberToHex(16777215), "FFFFFF");
  EXPECT_EQ(engine::NumberToHex(4279383126.0), "FF123456");
  EXPECT_EQ(engine::HexToNumber("123456"), 1193046);
  EXPECT_EQ(engine::HexToNumber("ff"), 255);
  EXPECT_EQ(engine::HexToNumber(""), 0);
  EXPECT_EQ(engine::HexToNumber("12G4"), 0);
}

}  // namespace
}  // namespace netvane::testing
