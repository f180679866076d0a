// What the network probe sends (an ARP probe, a DHCP DISCOVER and never a REQUEST) and how it
// reads what comes back, including frames cut short or lying, and the probe's result as the
// helper's reply carries it.
#include "platform/posix/probe_wire.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/bytes.h"
#include "platform/dhcp_codes.h"
#include "platform/dhcp_message.h"
#include "platform/posix/helper_wire.h"
#include "platform/probe_facts.h"

namespace netvane::testing {
namespace {

namespace probe = platform::probe;
namespace dhcp = platform::dhcp;
using Bytes = std::vector<uint8_t>;

const probe::Mac kMac = {0x02, 0x4e, 0x56, 0x00, 0x00, 0x01};
constexpr uint32_t kXid = 0x12345678;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// The ones' complement sum folded: 0xFFFF over bytes whose checksum is right.
uint16_t Folded(const uint8_t* p, size_t n, uint32_t sum = 0) {
  for (size_t i = 0; i < n; i += 2)
    sum += static_cast<uint32_t>(p[i] << 8 | (i + 1 < n ? p[i + 1] : 0));
  while (sum >> 16 != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(sum);
}

// The DHCP options after the magic cookie, code -> value.
std::vector<std::pair<uint8_t, Bytes>> Options(const uint8_t* m, size_t size) {
  std::vector<std::pair<uint8_t, Bytes>> out;
  for (size_t i = dhcp::kFixedPart + 4; i + 1 < size && m[i] != dhcp::kOptionEnd;) {
    if (m[i] == dhcp::kOptionPad) {
      ++i;
      continue;
    }
    out.emplace_back(m[i], Bytes(m + i + 2, m + i + 2 + m[i + 1]));
    i += 2 + m[i + 1];
  }
  return out;
}

TEST(ProbeFrames, AnArpProbeAsksForTheGatewayFromNoAddress) {
  const Bytes frame = probe::ArpProbeFrame(kMac, 0x0A4D0001);
  // Ethernet: to everyone, from us, ARP.
  Bytes expected = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0x4e, 0x56, 0, 0, 1, 0x08, 0x06};
  // IPv4 over Ethernet, a request from our hardware address and 0.0.0.0 for 10.77.0.1.
  expected.insert(expected.end(), {0, 1, 8, 0, 6, 4, 0, 1, 0x02, 0x4e, 0x56, 0,  0, 1,
                                   0, 0, 0, 0, 0, 0, 0, 0, 0,    0,    10,   77, 0, 1});
  ASSERT_EQ(frame.size(), 60u);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 42), expected);
  EXPECT_TRUE(std::all_of(frame.begin() + 42, frame.end(), [](uint8_t b) { return b == 0; }));
}

TEST(ProbeFrames, TheDiscoverIsABroadcastFromPort68AndNoRequest) {
  const Bytes f = probe::DiscoverFrame(kMac, kXid);
  ASSERT_GT(f.size(), 14u + 20 + 8 + 240);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 14),
            (Bytes{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0x4e, 0x56, 0, 0, 1, 0x08, 0x00}));
  const uint8_t* ip = f.data() + 14;
  EXPECT_EQ(ip[0], 0x45);
  EXPECT_EQ(Be16(ip + 2), f.size() - 14);
  EXPECT_EQ(ip[9], 17);
  EXPECT_EQ(Bytes(ip + 12, ip + 20), (Bytes{0, 0, 0, 0, 255, 255, 255, 255}));
  EXPECT_EQ(Folded(ip, 20), 0xFFFF);
  const uint8_t* udp = ip + 20;
  const size_t udp_length = f.size() - 34;
  EXPECT_EQ(Be16(udp), 68);
  EXPECT_EQ(Be16(udp + 2), 67);
  EXPECT_EQ(Be16(udp + 4), udp_length);
  EXPECT_EQ(Folded(udp, udp_length, Folded(ip + 12, 8) + 17 + udp_length), 0xFFFF);

  const uint8_t* m = udp + 8;
  const size_t size = udp_length - 8;
  EXPECT_EQ(m[0], dhcp::kBootRequest);
  EXPECT_EQ(platform::GetBe32(m + 4), kXid);
  EXPECT_EQ(Be16(m + 10), 0x8000);  // answer by broadcast
  EXPECT_EQ(Bytes(m + 28, m + 34), Bytes(kMac.begin(), kMac.end()));
  const auto options = Options(m, size);
  const auto has = [&](uint8_t code) {
    return std::any_of(options.begin(), options.end(),
                       [&](const auto& o) { return o.first == code; });
  };
  ASSERT_FALSE(options.empty());
  EXPECT_EQ(options[0], (std::pair<uint8_t, Bytes>{dhcp::kOptionMessageType, {dhcp::kDiscover}}));
  // Nothing that would make it a REQUEST: no requested address, no chosen server.
  EXPECT_FALSE(has(dhcp::kOptionRequestedAddress));
  EXPECT_FALSE(has(dhcp::kOptionServerId));
  const auto list = std::find_if(options.begin(), options.end(), [](const auto& o) {
    return o.first == dhcp::kOptionParameterList;
  });
  ASSERT_NE(list, options.end());
  for (const uint8_t wanted : {dhcp::kOptionSubnetMask, dhcp::kOptionRouter, dhcp::kOptionServerId})
    EXPECT_NE(std::find(list->second.begin(), list->second.end(), wanted), list->second.end());
}

// An offer as a server sends it: `options` after the cookie, in Ethernet, IPv4 and UDP.
Bytes OfferFrame(const Bytes& options, uint32_t xid = kXid, uint16_t to_port = 68) {
  Bytes m(dhcp::kFixedPart, 0);
  m[0] = dhcp::kBootReply;
  platform::PutBe32(m.data() + 4, xid);
  platform::PutBe32(m.data() + 16, 0x0A4D0096);  // 10.77.0.150
  m.insert(m.end(), dhcp::kMagicCookie, dhcp::kMagicCookie + 4);
  m.insert(m.end(), options.begin(), options.end());
  Bytes f = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 2, 0, 0, 0, 0, 0xfe, 0x08, 0x00};
  const size_t total = 28 + m.size();
  f.insert(f.end(), {0x45,
                     0,
                     static_cast<uint8_t>(total >> 8),
                     static_cast<uint8_t>(total),
                     0,
                     0,
                     0,
                     0,
                     64,
                     17,
                     0,
                     0,
                     10,
                     77,
                     0,
                     1,
                     255,
                     255,
                     255,
                     255,
                     0,
                     67,
                     static_cast<uint8_t>(to_port >> 8),
                     static_cast<uint8_t>(to_port),
                     static_cast<uint8_t>((total - 20) >> 8),
                     static_cast<uint8_t>(total - 20),
                     0,
                     0});
  f.insert(f.end(), m.begin(), m.end());
  return f;
}

const Bytes kType = {dhcp::kOptionMessageType, 1, dhcp::kOffer};
const Bytes kServer = {dhcp::kOptionServerId, 4, 10, 77, 0, 1};
const Bytes kMask = {dhcp::kOptionSubnetMask, 4, 255, 255, 255, 0};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  out.push_back(dhcp::kOptionEnd);
  return out;
}

std::optional<platform::DhcpOffer> Read(const Bytes& frame, uint32_t xid = kXid) {
  return probe::ParseOfferFrame(frame.data(), frame.size(), xid);
}

TEST(ProbeFrames, AnOfferGivesItsServerAddressAndMask) {
  Bytes good = OfferFrame(Join({kType, kServer, kMask}));
  EXPECT_EQ(Read(good), (platform::DhcpOffer{"10.77.0.1", "10.77.0.150", "255.255.255.0"}));
  // Ethernet's padding after the datagram changes nothing.
  good.resize(good.size() + 30, 0);
  EXPECT_TRUE(Read(good));
}

TEST(ProbeFrames, OffersThatAreCutLyingOrNotOursAreIgnored) {
  const Bytes good = OfferFrame(Join({kType, kServer, kMask}));
  for (size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(probe::ParseOfferFrame(good.data(), size, kXid)) << size;
  }
  EXPECT_FALSE(Read(good, kXid + 1));
  EXPECT_FALSE(Read(OfferFrame(Join({kType, kServer, kMask}), kXid, 67)));
  const Bytes ack = {dhcp::kOptionMessageType, 1, dhcp::kAck};
  const Bytes bad_mask = {dhcp::kOptionSubnetMask, 4, 255, 0, 255, 0};
  const Bytes past_end = {dhcp::kOptionRouter, 200, 10, 77, 0, 1};
  for (const Bytes& options :
       {Join({ack, kServer, kMask}), Join({kType, kMask}), Join({kType, kServer}),
        Join({kType, kServer, bad_mask}), Join({kType, kServer, kMask, past_end}), Join({})}) {
    EXPECT_FALSE(Read(OfferFrame(options)));
  }
  // IPv4 that is a fragment, claims more than the frame holds, or has a header too short.
  Bytes fragment = good;
  fragment[14 + 6] = 0x20;  // more fragments follow
  Bytes longer = good;
  longer[14 + 3] += 1;
  Bytes short_header = good;
  short_header[14] = 0x44;
  Bytes udp_longer = good;
  udp_longer[14 + 20 + 5] += 1;
  for (const Bytes& f : {fragment, longer, short_header, udp_longer}) EXPECT_FALSE(Read(f));
}

TEST(ProbeFrames, OnlyArpRepliesNameTheirSender) {
  // The router's answer: a probe's frame from its hardware address, turned into a reply from
  // 10.77.0.1.
  Bytes reply = probe::ArpProbeFrame({0x02, 0x4e, 0x56, 0, 0, 0xfe}, 0);
  reply[21] = 2;
  platform::PutBe32(reply.data() + 28, 0x0A4D0001);
  const std::optional<probe::ArpAnswer> a = probe::ParseArpReply(reply.data(), reply.size());
  ASSERT_TRUE(a);
  EXPECT_EQ(a->sender, 0x0A4D0001u);
  EXPECT_EQ(platform::MacFromBytes(a->mac.data(), a->mac.size()), "02:4e:56:00:00:fe");
  EXPECT_FALSE(probe::ParseArpReply(reply.data(), 41));  // cut
  reply[17] = 0xdd;                                      // another protocol
  EXPECT_FALSE(probe::ParseArpReply(reply.data(), reply.size()));
  EXPECT_FALSE(probe::ParseArpReply(probe::ArpProbeFrame(kMac, 1).data(), 60));  // a request
}

TEST(ProbeReply, TheResultTravelsInFieldsAndMalformedOnesAreRefused) {
  platform::ProbeResult result;
  result.answers = {{"10.77.0.1", "02:4e:56:00:00:fe"}, {"10.77.0.1", "16:3d:8a:59:18:c6"}};
  result.offer = platform::DhcpOffer{"10.77.0.1", "10.77.0.150", "255.255.255.0"};
  std::string why;
  const std::vector<std::string> fields = probe::ResultFields(result, &why);
  EXPECT_EQ(fields, (std::vector<std::string>{"arp 10.77.0.1 02:4e:56:00:00:fe",
                                              "arp 10.77.0.1 16:3d:8a:59:18:c6",
                                              "offer 10.77.0.1 10.77.0.150 255.255.255.0"}));
  const std::vector<uint32_t> asked = {0x0A4D0001};
  const std::optional<platform::ProbeResult> back = probe::ResultOfFields(fields, asked);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->answers, result.answers);
  EXPECT_EQ(back->offer, result.offer);
  for (const char* bad : {"arp 10.77.0.2 02:4e:56:00:00:fe", "arp 10.77.0.1 02:4E:56:00:00:FE",
                          "arp 10.77.0.1", "arp 10.77.0.1 02:4e:56:00:00:fe extra",
                          "offer 10.77.0.1 10.77.0.150", "offer a b c", "lease 10.77.0.150", ""}) {
    EXPECT_FALSE(probe::ResultOfFields({bad}, asked)) << bad;
  }

  // More answers than one reply holds are no reply at all, never a part of them.
  platform::ProbeResult many;
  for (int i = 0; i < 32; ++i) many.answers.push_back({"192.168.100.100", "02:4e:56:00:00:fe"});
  EXPECT_TRUE(probe::ResultFields(many, &why).empty());
  EXPECT_EQ(why,
            "the network gave more answers (32) than one reply of netvane-helper holds; ask for "
            "fewer gateways at once");

  // Any reply stays within what the caller reads: a long message is cut, values never are.
  using helper::EncodeReply;
  using helper::Frame;
  using helper::kLargestMessage;
  using helper::Status;
  const std::string long_text(2000, 'm');
  std::vector<uint8_t> bytes = EncodeReply({Status::kFailed, long_text, {}});
  EXPECT_EQ(bytes.size(), kLargestMessage);
  bytes = EncodeReply({Status::kDone, "", std::vector<std::string>(80, "255.255.255.255")});
  EXPECT_LE(bytes.size(), kLargestMessage);
  const std::optional<Frame> frame = helper::SplitFrame(bytes.data(), bytes.size());
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->code, static_cast<uint8_t>(Status::kFailed));
  EXPECT_EQ(frame->fields,
            (std::vector<std::string>{"netvane-helper's reply is too long to send"}));
}

}  // namespace
}  // namespace netvane::testing
