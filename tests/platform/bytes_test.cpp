// The writer that packets are written through: it fills its buffer to the last byte and never
// beyond.
#include "platform/bytes.h"

#include <gtest/gtest.h>

#include <array>

namespace netvane::testing {
namespace {

using platform::ByteWriter;

TEST(ByteWriter, FillsItsBufferButNeverRunsPastIt) {
  std::array<uint8_t, 6> memory;
  memory.fill(0xEE);
  ByteWriter w(memory.data(), 4);
  EXPECT_TRUE(w.Put({1, 2}));
  EXPECT_TRUE(w.PutByte(3));
  // Two bytes where one is left: neither is written, and the writer stays failed.
  EXPECT_FALSE(w.Put({4, 5}));
  EXPECT_FALSE(w.PutByte(4));
  EXPECT_FALSE(w.ok());
  EXPECT_EQ(w.size(), 3u);
  EXPECT_EQ(memory, (std::array<uint8_t, 6>{1, 2, 3, 0xEE, 0xEE, 0xEE}));

  uint8_t exact[4];
  ByteWriter full(exact);
  const uint8_t bytes[] = {7, 8, 9};
  EXPECT_TRUE(full.PutByte(6) && full.Put(bytes, sizeof bytes));
  EXPECT_TRUE(full.ok());
  EXPECT_FALSE(full.PutByte(0));
  EXPECT_EQ(full.size(), 4u);
}

}  // namespace
}  // namespace netvane::testing
