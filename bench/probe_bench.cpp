// Probing a network in the sandbox from inside its client namespace, directly on the packet
// socket: a known network (the router answers, dnsmasq offers), from the probe's start to its
// result. The decision after a link comes up has 1.2 s for this beside the debounce. Needs root
// (it creates the sandbox with scripts/sandbox and removes it at the end).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/packet_probe.h"

namespace {

void Probe(benchmark::State& state, bool dhcp) {
  netvane::platform::PacketNetworkProbe probe;
  netvane::platform::ProbeRequest request;
  request.adapter = "nv0";
  request.gateways = {"10.77.0.1", "10.77.0.2"};
  request.dhcp = dhcp;
  for (auto _ : state) {
    const netvane::platform::ProbeResult r = probe.Probe(request);
    if (r.answers.size() != 2 || r.offer.has_value() != dhcp) {
      state.SkipWithError(("the probe did not hear the sandbox: " + r.error).c_str());
      break;
    }
  }
}
void KnownNetwork(benchmark::State& state) { Probe(state, true); }
void KnownGatewaysOnly(benchmark::State& state) { Probe(state, false); }
BENCHMARK(KnownNetwork)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(KnownGatewaysOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int Shell(const std::string& command) { return std::system(command.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  if (geteuid() != 0) {
    std::fprintf(stderr,
                 "probe_bench needs root: it creates a network sandbox (scripts/sandbox)\n");
    return 1;
  }
  const std::string id = "p" + std::to_string(getpid() % 10000000);
  const std::string sandbox = std::string(SOURCE_DIR) + "/scripts/sandbox";
  if (Shell(sandbox + " up " + id + " >/dev/null") != 0) return 1;
  const int home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  const int client = open(("/run/netns/nvc-" + id).c_str(), O_RDONLY | O_CLOEXEC);
  int status = 1;
  if (home >= 0 && client >= 0 && setns(client, CLONE_NEWNET) == 0) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    status = setns(home, CLONE_NEWNET) == 0 ? 0 : 1;
  }
  Shell(sandbox + " down " + id);
  return status;
}
