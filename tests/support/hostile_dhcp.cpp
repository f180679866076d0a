// Test program: a DHCP server that is not to be trusted, for the far side of the sandbox.
//   hostile_dhcp IFACE nak                            offers an address, answers every
//                                                     REQUEST with a NAK
//   hostile_dhcp IFACE ack ADDRESS MASK ROUTER DNS    offers and acknowledges these values,
//                                                     whatever they are
//   hostile_dhcp IFACE lies                           answers each DISCOVER with offers that
//                                                     are cut, malformed, for another
//                                                     transaction or without a server id,
//                                                     and prints "got TYPE" for every message
// It answers by broadcast on IFACE from port 67 until it is ended.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/dhcp_codes.h"

namespace {

namespace dhcp = netvane::platform::dhcp;
using netvane::platform::PutBe32;

constexpr size_t kFixed = 236;

uint32_t Address(const char* text) {
  in_addr a{};
  inet_pton(AF_INET, text, &a);
  return ntohl(a.s_addr);
}

void Option(std::vector<uint8_t>& m, uint8_t code, uint32_t value) {
  m.insert(m.end(), {code, 4, 0, 0, 0, 0});
  PutBe32(m.data() + m.size() - 4, value);
}

// The lies told for one DISCOVER, made from an honest offer `m` whose options are the message
// type, the server id, the lease time and the mask, in this order.
std::vector<std::vector<uint8_t>> Lies(const std::vector<uint8_t>& m) {
  const size_t mask_at = kFixed + 4 + 3 + 6 + 6;
  std::vector<uint8_t> cut(m.begin(), m.begin() + static_cast<long>(mask_at + 4));
  std::vector<uint8_t> past_end = m;
  past_end[mask_at + 1] = 250;
  std::vector<uint8_t> other_xid = m;
  other_xid[7] ^= 1;
  std::vector<uint8_t> no_server = m;
  no_server[kFixed + 4 + 3] = 0x70;  // an option nobody knows in place of the server id
  return {cut, past_end, other_xid, no_server};
}

}  // namespace

int main(int argc, char** argv) {
  const bool nak = argc == 3 && std::string(argv[2]) == "nak";
  const bool lies = argc == 3 && std::string(argv[2]) == "lies";
  if (!nak && !lies && !(argc == 7 && std::string(argv[2]) == "ack")) {
    std::fputs("usage: hostile_dhcp IFACE nak | IFACE lies | IFACE ack ADDRESS MASK ROUTER DNS\n",
               stderr);
    return 2;
  }
  const uint32_t address = argc == 7 ? Address(argv[3]) : Address("10.77.0.150");
  const uint32_t server = Address("10.77.0.1");
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  const int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  setsockopt(s, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  setsockopt(s, SOL_SOCKET, SO_BINDTODEVICE, argv[1], static_cast<socklen_t>(strlen(argv[1])));
  sockaddr_in me{};
  me.sin_family = AF_INET;
  me.sin_port = htons(67);
  if (bind(s, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0) {
    std::perror("hostile_dhcp: bind");
    return 1;
  }
  sockaddr_in all{};
  all.sin_family = AF_INET;
  all.sin_port = htons(68);
  all.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  uint8_t in[1500];
  for (;;) {
    const ssize_t n = recv(s, in, sizeof in, 0);
    if (n < static_cast<ssize_t>(kFixed + 4) || in[0] != dhcp::kBootRequest) continue;
    uint8_t type = 0;
    for (size_t i = kFixed + 4; i + 2 < static_cast<size_t>(n) && in[i] != dhcp::kOptionEnd;
         i += 2 + in[i + 1]) {
      if (in[i] == dhcp::kOptionMessageType) type = in[i + 2];
    }
    if (lies) {
      std::printf("got %u\n", type);
      std::fflush(stdout);
    }
    const uint8_t answer = type == dhcp::kDiscover  ? dhcp::kOffer
                           : type != dhcp::kRequest ? 0
                           : nak                    ? dhcp::kNak
                                                    : dhcp::kAck;
    if (answer == 0) continue;
    std::vector<uint8_t> m(kFixed, 0);
    m[0] = dhcp::kBootReply;
    m[1] = dhcp::kHardwareEthernet;
    m[2] = 6;
    std::memcpy(m.data() + 4, in + 4, 4);     // the transaction
    m[10] = 0x80;                             // broadcast
    std::memcpy(m.data() + 28, in + 28, 16);  // the client's hardware address
    if (answer != dhcp::kNak) PutBe32(m.data() + 16, address);
    m.insert(m.end(), dhcp::kMagicCookie, dhcp::kMagicCookie + 4);
    m.insert(m.end(), {dhcp::kOptionMessageType, 1, answer});
    Option(m, dhcp::kOptionServerId, server);
    if (answer != dhcp::kNak) {
      Option(m, dhcp::kOptionLeaseTime, 600);
      Option(m, dhcp::kOptionSubnetMask, Address(lies ? "255.255.255.0" : argv[4]));
    }
    if (answer != dhcp::kNak && !lies) {
      Option(m, dhcp::kOptionRouter, Address(argv[5]));
      Option(m, dhcp::kOptionDomainNameServer, Address(argv[6]));
    }
    m.push_back(dhcp::kOptionEnd);
    m.resize(300, 0);
    for (const std::vector<uint8_t>& d : lies ? Lies(m) : std::vector<std::vector<uint8_t>>{m})
      sendto(s, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&all), sizeof all);
  }
}
