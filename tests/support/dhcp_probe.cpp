// Test program: a DHCP client on loopback. Sends a DISCOVER from port 68 to 127.0.0.1 port 67,
// answers the OFFER with a REQUEST and waits for the ACK; then prints the binding as the two
// REGEDIT4 data texts the system would store: the offered address (network order) and the
// lease time (low byte first), e.g. "hex:c0,a8,0a,19 hex:56,34,12,ff". Exit status 1 when no
// exchange took place within a few seconds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::vector<unsigned char> Message(unsigned char type) {
  std::vector<unsigned char> m(244, 0);
  m[0] = 1;
  m[1] = 1;
  m[2] = 6;
  m[4] = 0x4E;
  m[5] = 0x56;
  m[6] = 0x00;
  m[7] = 0x01;
  const unsigned char mac[6] = {0x00, 0x50, 0xBA, 0x01, 0x02, 0x0F};
  std::memcpy(m.data() + 28, mac, 6);
  const unsigned char tail[] = {99, 130, 83, 99, 53, 1, type, 255};
  std::memcpy(m.data() + 236, tail, sizeof tail);
  return m;
}

// The reply of `type` to `request`, retrying a few times; empty on failure.
std::vector<unsigned char> Exchange(int fd, const std::vector<unsigned char>& request,
                                    unsigned char type) {
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  server.sin_port = htons(67);
  for (int attempt = 0; attempt < 10; ++attempt) {
    sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&server),
           sizeof server);
    std::vector<unsigned char> reply(1024);
    const ssize_t n = recv(fd, reply.data(), reply.size(), 0);
    if (n >= 243 && reply[236 + 4] == 53 && reply[236 + 6] == type) {
      reply.resize(static_cast<size_t>(n));
      return reply;
    }
  }
  return {};
}

}  // namespace

int main() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  me.sin_port = htons(68);
  if (bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0) return 1;
  timeval tv{0, 500000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  if (Exchange(fd, Message(1), 2).empty()) return 1;
  const std::vector<unsigned char> ack = Exchange(fd, Message(3), 5);
  if (ack.empty()) return 1;
  // Option 51 follows the cookie, the type and the mask in the responder's replies.
  const unsigned char* lease = ack.data() + 236 + 4 + 3 + 6 + 2;
  std::printf("hex:%02x,%02x,%02x,%02x hex:%02x,%02x,%02x,%02x\n", ack[16], ack[17], ack[18],
              ack[19], lease[3], lease[2], lease[1], lease[0]);
  return 0;
}
