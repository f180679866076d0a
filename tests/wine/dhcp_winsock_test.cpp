// The local DHCP responder over Winsock on the real ports: a static location applied on
// Windows NT 4 opens the responder on port 67, and a client on 127.0.0.1:68 gets an OFFER for
// its DISCOVER and an ACK for its REQUEST, carrying the location's values.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/windows_api.h"

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine_fixture.h"
#include "platform/bytes.h"
#include "platform/platform_error.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_udp.h"
#include "store/registry_access.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

using platform::kWsaAddressInUse;
using Bytes = std::vector<uint8_t>;

// A DHCP client's request from 00-50-BA-01-02-0F.
Bytes ClientMessage(uint8_t type, uint32_t xid) {
  const uint8_t options[] = {99, 130, 83, 99, 53, 1, type, 255};
  Bytes m(236 + sizeof options, 0);
  m[0] = 1;
  m[1] = 1;
  m[2] = 6;
  platform::PutBe32(m.data() + 4, xid);
  m[10] = 0x80;
  const uint8_t mac[6] = {0x00, 0x50, 0xBA, 0x01, 0x02, 0x0F};
  std::memcpy(m.data() + 28, mac, sizeof mac);
  std::memcpy(m.data() + 236, options, sizeof options);
  return m;
}

// A Winsock datagram socket on 127.0.0.1 standing for the system's DHCP client.
class Client {
 public:
  explicit Client(uint16_t port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    // The machine's own DHCP client may hold the port on every address, sharing it.
    const BOOL share = TRUE;
    ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&share),
                 sizeof share);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      bind_error_ = WSAGetLastError();
    }
  }
  ~Client() {
    closesocket(socket_);
    WSACleanup();
  }
  int bind_error() const { return bind_error_; }
  bool Send(const Bytes& m, uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    return ::sendto(socket_, reinterpret_cast<const char*>(m.data()), static_cast<int>(m.size()), 0,
                    reinterpret_cast<sockaddr*>(&to), sizeof to) == static_cast<int>(m.size());
  }
  // The next datagram; empty when none comes within ten seconds.
  Bytes Receive() {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval limit{10, 0};
    if (::select(0, &readable, nullptr, nullptr, &limit) != 1) return {};
    Bytes b(2048);
    const int n = ::recv(socket_, reinterpret_cast<char*>(b.data()), static_cast<int>(b.size()), 0);
    b.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return b;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int bind_error_ = 0;
};

// The option area of every reply to the location below, up to its end.
Bytes ReplyOptions(uint8_t type) {
  const Bytes options[] = {
      {99, 130, 83, 99},               // the client's cookie
      {53, 1, type},                   // message type
      {1, 4, 255, 255, 255, 0},        // subnet mask
      {51, 4, 255, 0x12, 0x34, 0x56},  // lease time: 255, then the location's stamp
      {54, 4, 2, 2, 2, 2},             // server identifier
      {3, 4, 10, 0, 0, 1},             // router
      {6, 4, 10, 0, 0, 53},            // name server
      {15, 14},                        // domain name
  };
  Bytes o;
  for (const Bytes& option : options) o.insert(o.end(), option.begin(), option.end());
  for (const char c : std::string("netvane.local")) o.push_back(static_cast<uint8_t>(c));
  o.push_back(0);
  o.push_back(255);
  return o;
}

class ResponderOverWinsock : public EngineOverSystemTest {};

TEST_F(ResponderOverWinsock, StaticApplyOnNt4AnswersDiscoverWithOfferAndRequestWithAck) {
  Client client(68);
  if (client.bind_error() == WSAEACCES) {
    GTEST_SKIP() << "ports 67 and 68 need root: Wine binds them as Linux sockets";
  }
  if (client.bind_error() == WSAEADDRINUSE) {
    GTEST_SKIP() << "port 68 is held by this machine's own DHCP client";
  }
  ASSERT_EQ(client.bind_error(), 0);

  state_.OSKind = engine::kOsWinNt4;
  store::LocationRecord r;
  r.LocationId = 3;
  r.NIC_ID = "El90x1";
  r.ServiceType = "USE_STATIC_IP";
  r.IPAddress = "10.0.0.5";
  r.SubnetMask = "255.255.255.0";
  r.Gateway = "10.0.0.1";
  r.DNS = "10.0.0.53";
  r.Lease = 0x123456;
  state_.LocationTable.push_back(r);
  engine_.ApplyNetworkLegacy(3);
  ASSERT_EQ(endpoint_.State(), platform::kSocketOpen) << "the responder could not bind port 67";
  // The adapter keeps DHCP; its lease is released and renewed through ipconfig.
  process_.WaitForAll();
  EXPECT_EQ(ReadBytes(log_), "0 ipconfig.exe /release El90x1\n0 ipconfig.exe /renew El90x1\n");
  EXPECT_EQ(front_.events.back(), "poll");

  const uint32_t xid = 0x5EED0001;
  ASSERT_TRUE(client.Send(ClientMessage(1, xid), 67));
  ASSERT_TRUE(endpoint_.WaitForData(10000));
  engine_.responder().OnDataArrival();
  const Bytes offer = client.Receive();
  ASSERT_EQ(offer.size(), 549u);
  // What arrived is the datagram the responder built, byte for byte.
  EXPECT_EQ(offer, engine_.responder().ReplyDatagram());
  EXPECT_EQ(offer[0], 2);
  EXPECT_EQ(Bytes(offer.begin() + 4, offer.begin() + 8), (Bytes{0x5E, 0xED, 0x00, 0x01}));
  EXPECT_EQ(Bytes(offer.begin() + 16, offer.begin() + 20), (Bytes{10, 0, 0, 5}));   // yiaddr
  EXPECT_EQ(Bytes(offer.begin() + 20, offer.begin() + 24), (Bytes{127, 0, 0, 1}));  // siaddr
  EXPECT_EQ(Bytes(offer.begin() + 28, offer.begin() + 34),
            (Bytes{0x00, 0x50, 0xBA, 0x01, 0x02, 0x0F}));
  const Bytes offer_options = ReplyOptions(2);
  EXPECT_EQ(Bytes(offer.begin() + 236, offer.begin() + 236 + offer_options.size()), offer_options);
  EXPECT_EQ(endpoint_.State(), platform::kSocketOpen);

  ASSERT_TRUE(client.Send(ClientMessage(3, xid), 67));
  ASSERT_TRUE(endpoint_.WaitForData(10000));
  engine_.responder().OnDataArrival();
  const Bytes ack = client.Receive();
  ASSERT_EQ(ack.size(), 549u);
  EXPECT_EQ(Bytes(ack.begin() + 4, ack.begin() + 8), (Bytes{0x5E, 0xED, 0x00, 0x01}));
  EXPECT_EQ(Bytes(ack.begin() + 20, ack.begin() + 24), (Bytes{0, 0, 0, 0}));
  const Bytes ack_options = ReplyOptions(5);
  EXPECT_EQ(Bytes(ack.begin() + 236, ack.begin() + 236 + ack_options.size()), ack_options);
  // Ready for the client's next message.
  EXPECT_EQ(endpoint_.State(), platform::kSocketOpen);
}

TEST_F(ResponderOverWinsock, ASecondResponderOnPort67IsAddressInUse) {
  platform::Win32UdpEndpoint first;
  platform::Win32UdpEndpoint second;
  for (platform::Win32UdpEndpoint* e : {&first, &second}) {
    e->SetProtocol(platform::kProtocolUdp);
    e->SetLocalPort(67);
  }
  try {
    first.Bind();
  } catch (const platform::PlatformError& e) {
    if (e.number() == platform::kWsaAccessDenied)
      GTEST_SKIP() << "port 67 needs root: Wine binds it as a Linux socket";
    FAIL() << e.number() << " " << e.description();
  }
  try {
    second.Bind();
    FAIL() << "the second bind succeeded";
  } catch (const platform::PlatformError& e) {
    // The number the apply command turns into "DHCP Server is running."
    EXPECT_EQ(e.number(), kWsaAddressInUse);
    EXPECT_EQ(e.description(), "Address in use");
    EXPECT_EQ(e.source(), "Winsock");
  }
  EXPECT_EQ(second.State(), platform::kSocketClosed);
  EXPECT_EQ(first.State(), platform::kSocketOpen);
}

}  // namespace
}  // namespace netvane::testing
