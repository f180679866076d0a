// The local DHCP responder: replies byte for byte, the classification rules, datagrams it must
// not answer, and a real exchange over loopback UDP.
#include "engine/dhcp_responder.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "engine/engine.h"
#include "platform/bytes.h"
#include "platform/platform_error.h"
#include "platform/posix/posix_udp.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using engine::DhcpResponder;
using platform::kWsaAddressInUse;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kDiscover = 1;
constexpr uint8_t kRequest = 3;
constexpr uint8_t kDecline = 4;
constexpr uint8_t kRelease = 7;
constexpr uint8_t kInform = 8;

// A client message: fixed part with recognisable fields, the cookie, then `options`.
Bytes ClientMessage(uint8_t type, uint32_t xid = 0x12345678, Bytes extra_options = {}) {
  Bytes m(236, 0);
  m[0] = 1;  // op: request
  m[1] = 1;  // htype
  m[2] = 6;  // hlen
  m[3] = 0;  // hops
  platform::PutBe32(m.data() + 4, xid);
  m[8] = 0;
  m[9] = 3;  // secs
  m[10] = 0x80;
  m[11] = 0;  // flags: broadcast
  m[12] = 10;
  m[13] = 9;
  m[14] = 8;
  m[15] = 7;  // ciaddr
  m[24] = 192;
  m[25] = 0;
  m[26] = 2;
  m[27] = 1;  // giaddr
  const uint8_t mac[6] = {0x00, 0x50, 0xBA, 0x01, 0x02, 0x0F};
  std::memcpy(m.data() + 28, mac, 6);
  m[44] = 's';
  m[108] = 'f';
  const uint8_t cookie[4] = {99, 130, 83, 99};
  m.insert(m.end(), cookie, cookie + 4);
  m.insert(m.end(), extra_options.begin(), extra_options.end());
  const uint8_t type_option[3] = {53, 1, type};
  m.insert(m.end(), type_option, type_option + 3);
  m.push_back(255);
  return m;
}

class ResponderTest : public ::testing::Test {
 protected:
  ResponderTest() {
    front_.winsock = &endpoint_;
    Configure("192.168.10.25", "255.255.255.0", "", "", 1193046);
  }

  // The responder's values as the engine prepares them for a static location.
  void Configure(const std::string& ip, const std::string& mask, const std::string& gateways,
                 const std::string& dns, double lease) {
    store::LocationRecord r;
    r.IPAddress = ip;
    r.SubnetMask = mask;
    r.Gateway = gateways;
    r.DNS = dns;
    r.Lease = lease;
    engine_.PrepareResponder(r);
  }

  // Delivers one datagram through the data-arrival event; returns the reply, if any.
  std::optional<Bytes> Deliver(const Bytes& datagram) {
    endpoint_.open = true;
    endpoint_.inbox.push_back(datagram);
    const size_t before = endpoint_.sent.size();
    responder_.OnDataArrival();
    if (endpoint_.sent.size() == before) return std::nullopt;
    return endpoint_.sent.back();
  }

  FakePlatform fake_;
  store::RegistryAccess access_{fake_.registry.registry(), fake_.registry.codepage()};
  engine::AppState state_;
  FakeFrontEnd front_;
  ScriptedEndpoint endpoint_;
  engine::Engine engine_{fake_.services(), access_, state_, front_};
  DhcpResponder& responder_ = engine_.responder();
};

// Where the options start in a reply, and the option bytes.
Bytes Options(const Bytes& reply, size_t length) {
  return Bytes(reply.begin() + 236, reply.begin() + 236 + static_cast<long>(length));
}

TEST_F(ResponderTest, ADiscoverGetsAnOfferByteForByte) {
  const Bytes discover = ClientMessage(kDiscover);
  const std::optional<Bytes> reply = Deliver(discover);
  ASSERT_TRUE(reply.has_value());
  ASSERT_EQ(reply->size(), 549u);
  EXPECT_EQ((*reply)[0], 2);  // op: reply
  // Everything the client sent in the fixed part comes back, but for yiaddr and siaddr.
  Bytes expected_fixed(discover.begin(), discover.begin() + 236);
  expected_fixed[0] = 2;
  const uint8_t yiaddr[4] = {192, 168, 10, 25};
  const uint8_t siaddr[4] = {127, 0, 0, 1};
  std::memcpy(expected_fixed.data() + 16, yiaddr, 4);
  std::memcpy(expected_fixed.data() + 20, siaddr, 4);
  EXPECT_EQ(Bytes(reply->begin(), reply->begin() + 236), expected_fixed);

  const Bytes options = {99,  130, 83,   99,                // the client's cookie
                         53,  1,   2,                       // OFFER
                         1,   4,   255,  255,  255,  0,     // mask
                         51,  4,   0xFF, 0x12, 0x34, 0x56,  // lease time FF123456
                         54,  4,   2,    2,    2,    2,     // server identifier
                         15,  14,  'n',  'e',  't',  'v',  'a', 'n', 'e',
                         '.', 'l', 'o',  'c',  'a',  'l',  0,   255};
  EXPECT_EQ(responder_.options_length(), 42);
  EXPECT_EQ(Options(*reply, 42), options);
  // The rest of the 549 bytes is zero.
  EXPECT_EQ(Bytes(reply->begin() + 236 + 42, reply->end()), Bytes(549 - 236 - 42, 0));
  // Sent from port 67 to the client on 127.0.0.1 port 68.
  EXPECT_EQ(endpoint_.host, "127.0.0.1");
  EXPECT_EQ(endpoint_.remote, 68);
  EXPECT_EQ(endpoint_.local, 67);
  EXPECT_EQ(endpoint_.protocol, 1);
}

TEST_F(ResponderTest, ARequestOrInformGetsAnAck) {
  for (uint8_t type : {kRequest, kInform}) {
    const std::optional<Bytes> reply = Deliver(ClientMessage(type, 0xCAFE0001));
    ASSERT_TRUE(reply.has_value()) << int(type);
    EXPECT_EQ(Bytes(reply->begin() + 20, reply->begin() + 24), Bytes(4, 0));  // siaddr 0.0.0.0
    EXPECT_EQ(Bytes(reply->begin() + 16, reply->begin() + 20), (Bytes{192, 168, 10, 25}));
    EXPECT_EQ((*reply)[236 + 6], 5);  // ACK
    EXPECT_EQ(Bytes(reply->begin() + 4, reply->begin() + 8), (Bytes{0xCA, 0xFE, 0x00, 0x01}));
  }
  EXPECT_EQ(responder_.SavedXid, (std::array<uint8_t, 4>{0xCA, 0xFE, 0x00, 0x01}));
}

TEST_F(ResponderTest, GatewaysAndServersAreClampedToThreeAndStaySo) {
  Configure("10.0.0.5", "255.0.0.0", "10.0.0.1,10.0.0.2,10.0.0.3,10.0.0.4,10.0.0.5",
            "10.1.1.1,10.1.1.2,10.1.1.3", 0);
  std::optional<Bytes> reply = Deliver(ClientMessage(kDiscover));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(responder_.options_length(), 70);
  const Bytes options = Options(*reply, 70);
  EXPECT_EQ(Bytes(options.begin() + 13, options.begin() + 19), (Bytes{51, 4, 255, 0, 0, 0}));
  EXPECT_EQ(Bytes(options.begin() + 25, options.begin() + 39),
            (Bytes{3, 12, 10, 0, 0, 1, 10, 0, 0, 2, 10, 0, 0, 3}));
  EXPECT_EQ(Bytes(options.begin() + 39, options.begin() + 53),
            (Bytes{6, 12, 10, 1, 1, 1, 10, 1, 1, 2, 10, 1, 1, 3}));
  EXPECT_EQ(state_.Responder.gateway_count, 3);
  reply = Deliver(ClientMessage(kRequest));
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(responder_.options_length(), 70);
  EXPECT_EQ((*reply)[236 + 26], 12);
}

TEST_F(ResponderTest, TwoServersGiveOptionSixOfLengthEight) {
  Configure("10.0.0.5", "255.255.0.0", "", "10.1.1.1,bogus,10.1.1.2", 7);
  const std::optional<Bytes> reply = Deliver(ClientMessage(kDiscover));
  ASSERT_TRUE(reply.has_value());
  const Bytes options = Options(*reply, responder_.options_length());
  EXPECT_EQ(Bytes(options.begin() + 25, options.begin() + 35),
            (Bytes{6, 8, 10, 1, 1, 1, 10, 1, 1, 2}));
  EXPECT_EQ(responder_.options_length(), 52);
}

TEST_F(ResponderTest, ReleaseAndDeclineGetNoAnswerButTheNextMessageDoes) {
  EXPECT_FALSE(Deliver(ClientMessage(kRelease)).has_value());
  EXPECT_TRUE(endpoint_.open);
  EXPECT_FALSE(Deliver(ClientMessage(kDecline)).has_value());
  EXPECT_TRUE(endpoint_.open);
  EXPECT_EQ(responder_.DhcpExchangeState, engine::kAnswerNothing);
  EXPECT_TRUE(Deliver(ClientMessage(kDiscover)).has_value());
}

TEST_F(ResponderTest, MalformedDatagramsGetNoAnswerAndDoNotSilenceTheResponder) {
  const Bytes base = ClientMessage(kDiscover);
  const Bytes head(base.begin(), base.begin() + 240);  // fixed part and cookie
  Bytes short_one(base.begin(), base.begin() + 239);
  Bytes no_type = head;
  no_type.insert(no_type.end(), {12, 3, 'a', 'b', 'c', 255});
  // An option whose length runs past the end hides the message type behind it.
  Bytes runs_past = head;
  runs_past.insert(runs_past.end(), {12, 200, 53, 1, 1});
  Bytes truncated_type = head;
  truncated_type.insert(truncated_type.end(), {53, 1});
  for (const Bytes& bad : {Bytes{}, Bytes(10, 1), short_one, no_type, runs_past, truncated_type}) {
    EXPECT_FALSE(Deliver(bad).has_value()) << bad.size();
    EXPECT_TRUE(endpoint_.open) << bad.size();
  }
  EXPECT_EQ(responder_.DhcpExchangeState, engine::kAnswerOffer);
  EXPECT_TRUE(Deliver(ClientMessage(kDiscover)).has_value());
}

TEST_F(ResponderTest, OptionsBeforeTheTypeAreWalkedOver) {
  const Bytes with_options =
      ClientMessage(kRequest, 1, {61, 7, 1, 0, 0x50, 0xBA, 1, 2, 0x0F, 12, 2, 'p', 'c'});
  const std::optional<Bytes> reply = Deliver(with_options);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ((*reply)[236 + 6], 5);
  // Pad is a single byte with no length; the same reply comes back with pads in the way.
  const Bytes plain = *Deliver(ClientMessage(kDiscover));
  for (const Bytes& pads : {Bytes{0}, Bytes{0, 0, 0}, Bytes{0, 12, 2, 'p', 'c', 0}}) {
    const std::optional<Bytes> padded = Deliver(ClientMessage(kDiscover, 0x12345678, pads));
    ASSERT_TRUE(padded.has_value()) << pads.size();
    EXPECT_EQ(Bytes(padded->begin() + 236, padded->end()), Bytes(plain.begin() + 236, plain.end()));
  }
}

TEST_F(ResponderTest, ADatagramOverFourHundredBytesIsReadAndDropped) {
  Bytes big = ClientMessage(kDiscover);
  big.resize(401, 0);
  endpoint_.open = true;
  endpoint_.inbox.push_back(big);
  responder_.OnDataArrival();
  EXPECT_TRUE(endpoint_.inbox.empty());
  EXPECT_TRUE(endpoint_.sent.empty());
  EXPECT_TRUE(endpoint_.open);
  Bytes exactly = ClientMessage(kDiscover);
  exactly.resize(400, 0);
  EXPECT_TRUE(Deliver(exactly).has_value());
}

TEST_F(ResponderTest, AMaskNotBeginningWith255GetsNoAnswer) {
  Configure("10.0.0.5", "0.255.255.0", "", "", 1);
  EXPECT_FALSE(Deliver(ClientMessage(kDiscover)).has_value());
  EXPECT_TRUE(endpoint_.open);
  EXPECT_EQ(responder_.SavedXid, (std::array<uint8_t, 4>{0, 0, 0, 0}));
  // An address that is no address cannot be offered either.
  Configure("not an address", "255.0.0.0", "", "", 1);
  EXPECT_FALSE(Deliver(ClientMessage(kDiscover)).has_value());
}

TEST_F(ResponderTest, AnEndpointThatCannotBindStaysSilent) {
  endpoint_.bind_error = kWsaAddressInUse;
  EXPECT_FALSE(Deliver(ClientMessage(kDiscover)).has_value());
  EXPECT_FALSE(endpoint_.open);
}

// A DHCP client on loopback: binds the client port, sends to the server port, reads replies.
class LoopbackClient {
 public:
  explicit LoopbackClient(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    timeval tv{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~LoopbackClient() { close(fd_); }
  bool bound() const { return bound_; }
  void Send(const Bytes& m, uint16_t to_port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(to_port);
    sendto(fd_, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  Bytes Receive() {
    Bytes b(2048);
    const ssize_t n = recv(fd_, b.data(), b.size(), 0);
    b.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return b;
  }

 private:
  int fd_;
  bool bound_ = false;
};

// Two free ports on loopback for the exchange (the real ones, 67 and 68, need privileges).
uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

TEST(ResponderLoopback, DiscoverGetsOfferAndRequestGetsAckOverUdp) {
  engine::AppState state;
  state.Responder.address = {"192", "168", "10", "25"};
  state.Responder.mask = {"255", "255", "255", "0"};
  state.Responder.lease = {255, 0, 0, 9};
  platform::PosixUdpEndpoint endpoint;
  FakeFrontEnd front;
  front.winsock = &endpoint;
  DhcpResponder responder(state, front);
  responder.server_port = FreePort();
  responder.client_port = FreePort();
  LoopbackClient client(responder.client_port);
  ASSERT_TRUE(client.bound());
  engine::OpenUdpEndpoint(front, endpoint, responder.client_host, responder.client_port,
                          responder.server_port);
  ASSERT_EQ(endpoint.State(), 1);

  client.Send(ClientMessage(kDiscover, 0xA1), responder.server_port);
  ASSERT_TRUE(endpoint.WaitForData(2000));
  responder.OnDataArrival();
  const Bytes offer = client.Receive();
  ASSERT_EQ(offer.size(), 549u);
  EXPECT_EQ(offer[236 + 6], 2);
  EXPECT_EQ(Bytes(offer.begin() + 16, offer.begin() + 20), (Bytes{192, 168, 10, 25}));

  client.Send(ClientMessage(kRequest, 0xA1), responder.server_port);
  ASSERT_TRUE(endpoint.WaitForData(2000));
  responder.OnDataArrival();
  const Bytes ack = client.Receive();
  ASSERT_EQ(ack.size(), 549u);
  EXPECT_EQ(ack[236 + 6], 5);
  EXPECT_EQ(Bytes(ack.begin() + 4, ack.begin() + 8), (Bytes{0, 0, 0, 0xA1}));
  EXPECT_EQ(endpoint.State(), 1);
}

TEST(ResponderLoopback, APortInUseIsReportedAsAddressInUse) {
  platform::PosixUdpEndpoint first;
  platform::PosixUdpEndpoint second;
  const uint16_t port = FreePort();
  for (platform::PosixUdpEndpoint* e : {&first, &second}) {
    e->SetProtocol(1);
    e->SetLocalPort(port);
  }
  first.Bind();
  try {
    second.Bind();
    FAIL();
  } catch (const platform::PlatformError& e) {
    EXPECT_EQ(e.number(), kWsaAddressInUse);
    EXPECT_EQ(e.description(), "Address in use");
  }
  EXPECT_EQ(second.State(), 0);
}

}  // namespace
}  // namespace netvane::testing
