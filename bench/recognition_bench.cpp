// Recognising the network in the sandbox (root): the far side becomes home, a hotel with home's
// gateway address, two offices behind one virtual router, a static lab or an unknown network
// (scripts/sandbox network), each plugged in ROUNDS times (a link down and up of the client's
// veth), plus bursts of flapping. A watcher as the window runs it (recognition_watch) decides;
// the table gives right, wrong and missed decisions and the time from link-up to decision.
//
//   recognition_bench [ROUNDS] [BURSTS]      (default 20 and 6)
//
// The exit status is 1 when any decision was wrong, a known network was missed, a burst made
// other than one decision, or the machine's addresses, routes or resolver changed.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using netvane::testing::RunShell;
using Clock = std::chrono::steady_clock;

std::string g_id;
std::string g_registry;

std::string Ns() { return "nvc-" + g_id; }

void Shell(const std::string& command) {
  const netvane::testing::ShellResult r = RunShell(command + " 2>&1");
  if (r.status != 0) {
    std::fprintf(stderr, "recognition_bench: %s failed: %s\n", command.c_str(), r.out.c_str());
    std::exit(2);
  }
}

// The watcher inside the client namespace, its output read line by line.
class Watcher {
 public:
  explicit Watcher(int seconds) {
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) std::exit(2);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      const std::string registry = "NETVANE_REGISTRY=" + g_registry;
      const std::string secs = std::to_string(seconds);
      execlp("ip", "ip", "netns", "exec", Ns().c_str(), "env", registry.c_str(),
             BIN_DIR "/recognition_watch", "nv0", secs.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    output_ = out[0];
    if (Line(Clock::now() + std::chrono::seconds(10)) != "ready") {
      std::fprintf(stderr, "recognition_bench: the watcher did not start\n");
      std::exit(2);
    }
  }
  ~Watcher() {
    close(input_);
    int status = 0;
    waitpid(pid_, &status, 0);
    close(output_);
  }
  // The next line, or empty at the deadline.
  std::string Line(Clock::time_point deadline) {
    for (;;) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return {};
      pollfd p{output_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[512];
      const ssize_t n = read(output_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }
  // Decisions until the deadline: (steady time in ns, location).
  std::vector<std::pair<int64_t, int>> Decisions(Clock::time_point deadline, size_t most) {
    std::vector<std::pair<int64_t, int>> found;
    while (found.size() < most) {
      const std::string line = Line(deadline);
      if (line.empty() && Clock::now() >= deadline) break;
      long long ns = 0;
      int id = 0;
      if (std::sscanf(line.c_str(), "decision %lld %d", &ns, &id) == 2) found.emplace_back(ns, id);
    }
    return found;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
};

std::string Held() {
  return RunShell("ip -n " + Ns() + " -4 -o addr show dev nv0; ip -n " + Ns() +
                  " -4 route; cat /etc/netns/" + Ns() + "/resolv.conf")
      .out;
}

void Plug(const std::string& network) {
  Shell("ip -n " + Ns() + " link set nv0 down");
  Shell(SOURCE_DIR "/scripts/sandbox network " + g_id + " " + network);
}

struct Row {
  Row(std::string n, int e) : network(std::move(n)), expected(e) {}
  std::string network;
  int expected = -1;
  int rounds = 0;
  int right = 0;
  int wrong = 0;
  int missed = 0;
  std::vector<double> ms;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  if (geteuid() != 0) {
    std::fprintf(stderr, "recognition_bench: needs root (network namespaces)\n");
    return 2;
  }
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  const int bursts = argc > 2 ? std::atoi(argv[2]) : 6;
  signal(SIGPIPE, SIG_IGN);
  g_id = "rb" + std::to_string(getpid() % 100000);
  netvane::testing::ScratchDir dir;
  g_registry = dir.File("registry.db");
  Shell(SOURCE_DIR "/scripts/sandbox up " + g_id);
  Shell("NETVANE_REGISTRY=" + g_registry +
        " " BIN_DIR "/netvane-reg import " SOURCE_DIR "/data/recognition.reg");
  // The adapter keeps another location's static address throughout.
  Shell("ip -n " + Ns() + " addr add 10.77.0.25/24 dev nv0");
  const std::string held = Held();

  std::vector<Row> rows = {{"home", 11},     {"hotel", -1}, {"office-a", 12},
                           {"office-b", 13}, {"lab", 14},   {"unknown", -1}};
  bool changed = false;
  for (int round = 0; round < rounds; ++round) {
    for (Row& row : rows) {
      Plug(row.network);
      // A watcher of its own each time: the machine was away from the network for longer than
      // the ten seconds between two recognitions.
      Watcher watcher(30);
      const Clock::time_point up = Clock::now();
      Shell("ip -n " + Ns() + " link set nv0 up");
      const auto found = watcher.Decisions(up + std::chrono::seconds(6), 1);
      ++row.rounds;
      if (found.empty()) {
        ++row.missed;
        continue;
      }
      const double ms = static_cast<double>(found[0].first - up.time_since_epoch().count()) / 1e6;
      row.ms.push_back(ms);
      if (found[0].second == row.expected) {
        ++row.right;
      } else if (found[0].second == -1) {
        ++row.missed;
      } else {
        ++row.wrong;
      }
      if (Held() != held) changed = true;
    }
  }

  // Bursts: the cable flaps for about a second and settles; one decision, and the right one.
  int burst_failures = 0;
  std::vector<size_t> burst_counts;
  for (int b = 0; b < bursts; ++b) {
    Row& row = rows[static_cast<size_t>(b) % rows.size()];
    Plug(row.network);
    Shell("ip -n " + Ns() + " link set nv0 up");
    Watcher watcher(30);
    for (int i = 0; i < 8; ++i) {
      Shell("ip -n " + Ns() + " link set nv0 down");
      usleep(static_cast<useconds_t>(30000 + 20000 * (i % 4)));
      Shell("ip -n " + Ns() + " link set nv0 up");
      usleep(static_cast<useconds_t>(40000 + 50000 * (i % 3)));
    }
    const auto found = watcher.Decisions(Clock::now() + std::chrono::seconds(11), 10);
    burst_counts.push_back(found.size());
    if (found.size() != 1 || found[0].second != row.expected) ++burst_failures;
  }
  Shell(SOURCE_DIR "/scripts/sandbox down " + g_id);

  std::printf(
      "| network | expected | plug-ins | right | wrong | missed | p50 ms | p95 ms | max ms |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  bool failed = changed || burst_failures > 0;
  for (const Row& row : rows) {
    const bool known = row.expected >= 0;
    std::printf("| %s | %s | %d | %d | %d | %d | %.0f | %.0f | %.0f |\n", row.network.c_str(),
                known ? std::to_string(row.expected).c_str() : "none", row.rounds, row.right,
                row.wrong, known ? row.missed : 0, Percentile(row.ms, 0.5),
                Percentile(row.ms, 0.95),
                row.ms.empty() ? 0.0 : *std::max_element(row.ms.begin(), row.ms.end()));
    if (row.wrong > 0 || (known && row.missed > 0)) failed = true;
  }
  std::printf("\nflapping bursts: %d, decisions per burst:", bursts);
  for (size_t n : burst_counts) std::printf(" %zu", n);
  std::printf(" (%d not exactly one right decision)\n", burst_failures);
  std::printf("addresses, routes and resolver %s\n", changed ? "CHANGED" : "unchanged");
  return failed ? 1 : 0;
}
