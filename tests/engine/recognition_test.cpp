// Recognising a network from recorded probe answers: which probes go out, when one location
// matches strongly, and when links settle. The same cases run under Wine.
#include "engine/recognition.h"

#include <gtest/gtest.h>

#include "platform/probe_facts.h"

namespace netvane::testing {
namespace {

using platform::DhcpOffer;
using platform::GatewayAnswer;
using platform::ProbeResult;
using store::LocationRecord;

constexpr char kVirtual[] = "00:00:5e:00:01:07";

LocationRecord At(int16_t id, const std::string& nic, store::NetworkPrint print) {
  LocationRecord r;
  r.LocationId = id;
  r.SessionName = "L" + std::to_string(id);
  r.NIC_ID = nic;
  r.Network = std::move(print);
  return r;
}

// Home and the hotel share a gateway address; the two offices share a virtual router; the lab
// is static; 7 has nothing remembered; 8 belongs to another adapter.
const store::LocationTable kTable = {
    At(1, "nv0", {"192.168.1.1", "02:00:00:00:00:0a", "192.168.1.1", "192.168.1.0/24"}),
    At(2, "NV0", {"192.168.1.1", "02:00:00:00:00:0B", "192.168.1.1", "192.168.1.0/24"}),
    At(3, "nv0", {"10.1.0.1", kVirtual, "10.1.0.2", "10.1.0.0/16"}),
    At(4, "nv0", {"10.1.0.1", kVirtual, "10.1.0.3", "10.1.0.0/16"}),
    At(5, "nv0", {"172.16.5.1", "02:00:00:00:00:1a", "", "172.16.5.0/24"}),
    At(6, "nv0", {"10.9.0.1", "00:00:0c:07:ac:01", "", "10.9.0.0/24"}),
    At(7, "nv0", {}),
    At(8, "eth1", {"192.168.1.1", "02:00:00:00:00:0a", "", "192.168.1.0/24"}),
};

int16_t Decide(std::vector<GatewayAnswer> answers, std::optional<DhcpOffer> offer = std::nullopt,
               const std::string& adapter = "nv0") {
  ProbeResult result;
  result.answers = std::move(answers);
  result.offer = std::move(offer);
  return engine::Recognise(kTable, adapter, result).location;
}

TEST(RecognitionTest, TheProbesAskEveryRememberedGatewayOnceAndDhcpOnlyBehindAVirtualRouter) {
  const platform::ProbeRequest request = engine::RecognitionRequest(kTable, "Nv0");
  EXPECT_EQ(request.adapter, "Nv0");
  EXPECT_EQ(request.gateways,
            (std::vector<std::string>{"192.168.1.1", "10.1.0.1", "172.16.5.1", "10.9.0.1"}));
  EXPECT_TRUE(request.dhcp);
  EXPECT_EQ(request.timeout_ms, engine::kProbeTimeoutMs);

  const store::LocationTable plain = {kTable[0], kTable[4]};
  EXPECT_FALSE(engine::RecognitionRequest(plain, "nv0").dhcp);
  // A print that is cut or garbled is never asked for.
  const store::LocationTable broken = {
      At(1, "nv0", {"192.168.1.1", "02:00:00:00:00", "", ""}),
      At(2, "nv0", {"192.168.1.300", "02:00:00:00:00:0a", "", ""})};
  EXPECT_TRUE(engine::RecognitionRequest(broken, "nv0").gateways.empty());
}

TEST(RecognitionTest, OneStrongMatchIsRecognisedAndNothingIsGuessed) {
  // The same address at home and in the hotel: the hardware address tells them apart.
  EXPECT_EQ(Decide({{"192.168.1.1", "02:00:00:00:00:0A"}}), 1);
  EXPECT_EQ(Decide({{"192.168.1.1", "02:00:00:00:00:0b"}}), 2);
  EXPECT_EQ(Decide({{"172.16.5.1", "02:00:00:00:00:1a"}}), 5);
  // An unknown router at a known address, nobody, or a gateway answering from two addresses.
  EXPECT_EQ(Decide({{"192.168.1.1", "02:00:00:00:00:0c"}}), -1);
  EXPECT_EQ(Decide({}), -1);
  EXPECT_EQ(Decide({{"192.168.1.1", "02:00:00:00:00:0a"}, {"192.168.1.1", "02:00:00:00:00:0c"}}),
            -1);
  // Two networks answering at once (a bridge to both): more than one strong match.
  const engine::Recognition both = engine::Recognise(
      kTable, "nv0",
      {{{"192.168.1.1", "02:00:00:00:00:0a"}, {"172.16.5.1", "02:00:00:00:00:1a"}},
       std::nullopt,
       ""});
  EXPECT_EQ(both.location, -1);
  EXPECT_EQ(both.strong, (std::vector<int16_t>{1, 5}));
  // What another adapter's location remembers says nothing about this one.
  EXPECT_EQ(Decide({{"192.168.1.1", "02:00:00:00:00:0a"}}, std::nullopt, "eth1"), 8);
  // Probes that could not be sent decide nothing.
  EXPECT_EQ(engine::Recognise(kTable, "nv0",
                              {{{"192.168.1.1", "02:00:00:00:00:0a"}}, std::nullopt, "no rights"})
                .location,
            -1);
}

TEST(RecognitionTest, AVirtualRouterAddressNeedsTheOfferToAgree) {
  const GatewayAnswer office{"10.1.0.1", kVirtual};
  EXPECT_EQ(Decide({office}, DhcpOffer{"10.1.0.2", "10.1.7.9", "255.255.0.0"}), 3);
  EXPECT_EQ(Decide({office}, DhcpOffer{"10.1.0.3", "10.1.7.9", "255.255.0.0"}), 4);
  EXPECT_EQ(Decide({office}), -1);
  EXPECT_EQ(Decide({office}, DhcpOffer{"10.1.0.4", "10.1.7.9", "255.255.0.0"}), -1);
  // The right server offering another network: the signals disagree.
  EXPECT_EQ(Decide({office}, DhcpOffer{"10.1.0.2", "10.2.7.9", "255.255.0.0"}), -1);
  // A static location behind a virtual router goes by the offered network alone.
  const GatewayAnswer hsrp{"10.9.0.1", "00:00:0c:07:ac:01"};
  EXPECT_EQ(Decide({hsrp}, DhcpOffer{"10.9.0.250", "10.9.0.77", "255.255.255.0"}), 6);
  EXPECT_EQ(Decide({hsrp}, DhcpOffer{"10.9.0.250", "10.9.1.77", "255.255.255.0"}), -1);
  EXPECT_EQ(Decide({hsrp}), -1);
}

TEST(RecognitionTest, AddressesAndPrefixesAreReadStrictly) {
  EXPECT_TRUE(engine::IsVirtualRouterMac("00-00-5E-00-02-FF"));
  EXPECT_TRUE(engine::IsVirtualRouterMac("00:00:0c:07:ac:10"));
  EXPECT_FALSE(engine::IsVirtualRouterMac("00:00:5e:00:03:01"));
  EXPECT_EQ(platform::NormalisedMac(" AA-bb-CC-dd-EE-ff "), "aa:bb:cc:dd:ee:ff");
  EXPECT_EQ(platform::NormalisedMac("aa:bb:cc:dd:ee:f"), "");
  EXPECT_EQ(platform::NormalisedMac("aa:bb:cc:dd:ee:fg"), "");
  EXPECT_EQ(engine::NetworkPrefix("10.1.7.9", "255.255.240.0"), "10.1.0.0/20");
  EXPECT_EQ(engine::NetworkPrefix("10.1.7.9", "255.255.255.255"), "10.1.7.9/32");
  EXPECT_EQ(engine::NetworkPrefix("10.1.7.9", "255.0.255.0"), "");
  EXPECT_EQ(engine::NetworkPrefix("10.1.7.9", "0.0.0.0"), "");
  EXPECT_EQ(engine::NetworkPrefix("0.0.0.0", "255.0.0.0"), "");
}

TEST(RecognitionScheduleTest, ALinkIsAskedOnceItHasStayedUpAndAFlappingOneOnce) {
  engine::RecognitionSchedule schedule;
  EXPECT_FALSE(schedule.NextDue());
  schedule.LinkChanged("nv0", true, 1000);
  schedule.LinkChanged("nv0", true, 1200);  // a repeated report does not restart the wait
  EXPECT_EQ(schedule.NextDue(), 1300);
  EXPECT_TRUE(schedule.Due(1299).empty());
  EXPECT_EQ(schedule.Due(1300), std::vector<std::string>{"nv0"});
  EXPECT_TRUE(schedule.Due(5000).empty());

  // A burst of flapping: down before it settles cancels; up again within ten seconds of the
  // last recognition is not asked again.
  for (int64_t t = 2000; t < 2400; t += 100) {
    schedule.LinkChanged("nv0", false, t);
    schedule.LinkChanged("nv0", true, t + 50);
  }
  EXPECT_TRUE(schedule.Due(2400).empty());
  EXPECT_TRUE(schedule.Due(3000).empty());
  EXPECT_FALSE(schedule.NextDue());
  EXPECT_FALSE(schedule.Take("nv0", 11299));
  // Another adapter keeps its own count.
  EXPECT_TRUE(schedule.Take("nv1", 3000));
  schedule.LinkChanged("nv0", false, 11000);
  schedule.LinkChanged("nv0", true, 11100);
  EXPECT_EQ(schedule.Due(11400), std::vector<std::string>{"nv0"});
}

}  // namespace
}  // namespace netvane::testing
