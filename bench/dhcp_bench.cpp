// The local DHCP responder: answering a DISCOVER in memory, and a whole DISCOVER -> OFFER
// exchange over loopback UDP with the endpoint's close and reopen.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "engine/dhcp_responder.h"
#include "platform/posix/posix_udp.h"

namespace {

using namespace netvane;

std::vector<uint8_t> Discover() {
  std::vector<uint8_t> m(244, 0);
  m[0] = 1;
  m[1] = 1;
  m[2] = 6;
  m[4] = 0x12;
  m[28] = 0x00;
  m[29] = 0x50;
  const uint8_t tail[] = {99, 130, 83, 99, 53, 1, 1, 255};
  std::memcpy(m.data() + 236, tail, sizeof tail);
  return m;
}

void Configure(engine::AppState& state) {
  state.Responder.address = {"192", "168", "10", "25"};
  state.Responder.mask = {"255", "255", "255", "0"};
  state.Responder.gateway_count = 2;
  state.Responder.gateways = {{192, 168, 10, 1}, {192, 168, 10, 254}};
  state.Responder.dns_count = 2;
  state.Responder.dns = {{192, 168, 10, 2}, {192, 168, 10, 3}};
  state.Responder.lease = {255, 0x12, 0x34, 0x56};
}

// The engine asks nothing of its window here but the endpoint.
class BenchFrontEnd : public engine::FrontEnd {
 public:
  explicit BenchFrontEnd(platform::UdpEndpoint& e) : endpoint_(e) {}
  void SetCommandsEnabled(bool) override {}
  void StartBindPoll() override {}
  void StopBindPoll() override {}
  void RefreshLocationTree() override {}
  void FocusApplyCommand() override {}
  void SetBusyPointer(bool) override {}
  void LetPendingEventsRun() override {}
  engine::UserPrompt& Prompt() override { std::abort(); }
  platform::UdpEndpoint& MyWinsock() override { return endpoint_; }

 private:
  platform::UdpEndpoint& endpoint_;
};

void BM_AnswerDiscoverInMemory(benchmark::State& state) {
  engine::AppState app;
  Configure(app);
  platform::PosixUdpEndpoint unused;
  BenchFrontEnd front(unused);
  engine::DhcpResponder responder(app, front);
  const std::vector<uint8_t> discover = Discover();
  for (auto _ : state) {
    responder.ParseDhcpRequest(discover.data(), discover.size());
    responder.BuildReply(false);
    std::vector<uint8_t> reply = responder.ReplyDatagram();
    benchmark::DoNotOptimize(reply.data());
  }
}
BENCHMARK(BM_AnswerDiscoverInMemory);

uint16_t BoundPort(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

void BM_DiscoverOfferOverLoopback(benchmark::State& state) {
  engine::AppState app;
  Configure(app);
  platform::PosixUdpEndpoint endpoint;
  BenchFrontEnd front(endpoint);
  engine::DhcpResponder responder(app, front);

  const int client = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  responder.client_port = BoundPort(client);
  // A free port for the responder: bind, read it back, let it go.
  const int probe = socket(AF_INET, SOCK_DGRAM, 0);
  bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  responder.server_port = BoundPort(probe);
  close(probe);
  engine::OpenUdpEndpoint(front, endpoint, responder.client_host, responder.client_port,
                          responder.server_port);
  sockaddr_in server = addr;
  server.sin_port = htons(responder.server_port);
  const std::vector<uint8_t> discover = Discover();
  std::vector<uint8_t> reply(1024);
  for (auto _ : state) {
    sendto(client, discover.data(), discover.size(), 0, reinterpret_cast<sockaddr*>(&server),
           sizeof server);
    endpoint.WaitForData(1000);
    responder.OnDataArrival();
    const ssize_t n = recv(client, reply.data(), reply.size(), 0);
    if (n != 549) state.SkipWithError("no offer");
  }
  close(client);
}
BENCHMARK(BM_DiscoverOfferOverLoopback)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
