// Applying a static location with two gateways and two DNS servers in the network sandbox:
// `netvanectl apply` from its start to its outcome message, against a shell script running the
// equivalent iproute2 commands. Both are started through "ip netns exec" in the same way.
// Needs root (it creates the sandbox with scripts/sandbox and removes it at the end).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "standins/host_network.h"

namespace {

std::string g_id;
std::string g_registry;

// Output discarded, the exit status returned.
int Run(const std::vector<std::string>& argv) { return netvane::standins::RunProgram(argv); }

void NetvanectlApply(benchmark::State& state) {
  const std::vector<std::string> argv = {"ip",
                                         "netns",
                                         "exec",
                                         "nvc-" + g_id,
                                         "env",
                                         "NETVANE_REGISTRY=" + g_registry,
                                         BIN_DIR "/netvanectl",
                                         "apply",
                                         "1"};
  for (auto _ : state) {
    if (Run(argv) != 0) {
      state.SkipWithError("netvanectl apply did not succeed");
      break;
    }
  }
}
BENCHMARK(NetvanectlApply)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void IpScript(benchmark::State& state) {
  const std::string script =
      "ip -4 addr flush dev nv0 &&"
      " ip -4 addr add 10.77.0.25/24 broadcast + dev nv0 &&"
      " ip link set dev nv0 up &&"
      " ip -4 route flush exact 0.0.0.0/0 dev nv0 &&"
      " ip -4 route add default via 10.77.0.1 dev nv0 metric 1 &&"
      " ip -4 route add default via 10.77.0.2 dev nv0 metric 2 &&"
      " printf 'nameserver 10.77.0.53\\nnameserver 10.77.0.54\\n' > /etc/resolv.conf";
  const std::vector<std::string> argv = {"ip", "netns", "exec", "nvc-" + g_id, "sh", "-c", script};
  for (auto _ : state) {
    if (Run(argv) != 0) {
      state.SkipWithError("the ip script failed");
      break;
    }
  }
}
BENCHMARK(IpScript)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (geteuid() != 0) {
    std::fprintf(stderr,
                 "apply_bench needs root: it creates a network sandbox (scripts/sandbox)\n");
    return 1;
  }
  g_id = "b" + std::to_string(getpid() % 10000000);
  char dir[] = "/tmp/netvane-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  g_registry = std::string(dir) + "/registry.db";
  const std::string sandbox = std::string(SOURCE_DIR) + "/scripts/sandbox";
  if (Run({sandbox, "up", g_id}) != 0) return 1;
  setenv("NETVANE_REGISTRY", g_registry.c_str(), 1);
  int status = Run({BIN_DIR "/netvane-reg", "import", SOURCE_DIR "/data/sandbox.reg"});
  unsetenv("NETVANE_REGISTRY");
  if (status == 0) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  Run({sandbox, "down", g_id});
  Run({"rm", "-rf", dir});
  return status;
}
