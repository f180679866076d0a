// What the probes make of the system's answers, and that a question left waiting neither holds
// up nor outlives its caller's data.
#include "platform/probe_facts.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace netvane::testing {
namespace {

using platform::LeaseOffer;
using platform::MacFromBytes;

TEST(ProbeFacts, OnlyAStationsSixBytesMakeAnAddress) {
  const uint8_t station[] = {0x02, 0xAB, 0x0C, 0x00, 0xF0, 0x09, 0x77};
  EXPECT_EQ(MacFromBytes(station, 6), "02:ab:0c:00:f0:09");
  EXPECT_EQ(MacFromBytes(station, 7), "");
  // Unresolved, broadcast and multicast: no gateway answers with these.
  const uint8_t zero[6] = {}, broadcast[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                multicast[] = {0x01, 0x00, 0x5E, 0x00, 0x00, 0x16};
  EXPECT_EQ(MacFromBytes(zero, 6) + MacFromBytes(broadcast, 6) + MacFromBytes(multicast, 6), "");
}

TEST(ProbeFacts, OnlyAHeldLeaseIsAnOffer) {
  EXPECT_EQ(LeaseOffer(true, "10.0.0.1", "10.0.0.50", "255.0.0.0"),
            (platform::DhcpOffer{"10.0.0.1", "10.0.0.50", "255.0.0.0"}));
  EXPECT_FALSE(LeaseOffer(false, "10.0.0.1", "10.0.0.50", "255.0.0.0"));
  // No lease, or one still sought: the fields as the system leaves them.
  for (const char* server : {"", "0.0.0.0", "255.255.255.255"}) {
    EXPECT_FALSE(LeaseOffer(true, server, "10.0.0.50", "255.0.0.0")) << server;
  }
  EXPECT_FALSE(LeaseOffer(true, "10.0.0.1", "0.0.0.0", "0.0.0.0"));
}

TEST(ProbeFacts, AQuestionStillWaitingIsLeftBehindSafely) {
  struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false, passed = false;
  };
  auto gate = std::make_shared<Gate>();
  std::vector<std::function<platform::Reply()>> questions;
  questions.emplace_back([] { return platform::Reply{0, "quick"}; });
  questions.emplace_back([gate] {
    std::unique_lock lock(gate->mutex);
    gate->changed.wait(lock, [&] { return gate->open; });
    gate->passed = true;
    gate->changed.notify_all();
    return platform::Reply{0, "late"};
  });
  const auto replies = platform::AskAtOnce(std::move(questions), 1000);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].value_or(platform::Reply{}).text, "quick");
  EXPECT_FALSE(replies[1]);
  // The late one ends after its caller's replies are gone (the sanitizer build sees any write
  // into them).
  std::unique_lock lock(gate->mutex);
  gate->open = true;
  gate->changed.notify_all();
  gate->changed.wait(lock, [&] { return gate->passed; });
}

}  // namespace
}  // namespace netvane::testing
