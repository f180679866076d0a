// Recognition as the window runs it, without a window, for the sandbox tests and the benchmark:
// the adapter's link is watched, a link that settles is probed and decided over the locations
// in the registry file, and every decision is printed with its time.
//
//   recognition_watch ADAPTER SECONDS
//
// prints "ready" once the link is watched, then "link up|down" and "decision NS ID" lines
// (NS: the steady clock in nanoseconds, the same clock other processes read; ID -1 for
// nothing recognised), and "end" when it ends: after SECONDS or when its standard input
// closes.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "engine/recognition.h"
#include "platform/system_platform.h"
#include "store/location_store.h"
#include "store/registry_access.h"

namespace {

using namespace netvane;
using Clock = std::chrono::steady_clock;

int64_t Ms(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: recognition_watch ADAPTER SECONDS\n");
    return 2;
  }
  const std::string adapter = argv[1];
  const Clock::time_point until = Clock::now() + std::chrono::seconds(std::atoi(argv[2]));
  std::unique_ptr<platform::SystemPlatform> system = platform::CreateSystemPlatform();
  platform::Platform& p = system->services();
  store::RegistryAccess registry(p.registry, p.codepage);
  store::LocationStore locations(registry);
  store::LocationTable table;
  locations.LoadLocations(table);

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::pair<Clock::time_point, bool>> reports;
  bool input_closed = false;
  std::unique_ptr<platform::LinkWatch> watch =
      p.probe.WatchLinks([&](const std::string& name, bool up) {
        if (name != adapter) return;
        std::lock_guard<std::mutex> lock(mutex);
        reports.emplace_back(Clock::now(), up);
        changed.notify_all();
      });
  if (!watch) {
    std::fprintf(stderr, "recognition_watch: links cannot be watched here\n");
    return 1;
  }
  std::thread input([&] {
    char c;
    while (read(0, &c, 1) > 0) {
    }
    std::lock_guard<std::mutex> lock(mutex);
    input_closed = true;
    changed.notify_all();
  });
  input.detach();
  std::printf("ready\n");
  std::fflush(stdout);

  engine::RecognitionSchedule schedule;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex);
    Clock::time_point wake = until;
    if (const std::optional<int64_t> due = schedule.NextDue()) {
      wake = std::min(wake, Clock::time_point(std::chrono::milliseconds(*due)));
    }
    changed.wait_until(lock, wake, [&] { return !reports.empty() || input_closed; });
    if (input_closed) break;
    while (!reports.empty()) {
      std::printf("link %s\n", reports.front().second ? "up" : "down");
      schedule.LinkChanged(adapter, reports.front().second, Ms(reports.front().first));
      reports.pop_front();
    }
    lock.unlock();
    const Clock::time_point now = Clock::now();
    for (const std::string& name : schedule.Due(Ms(now))) {
      const platform::ProbeResult result = p.probe.Probe(engine::RecognitionRequest(table, name));
      const int16_t id = engine::Recognise(table, name, result).location;
      std::printf("decision %lld %d%s%s\n",
                  static_cast<long long>(Clock::now().time_since_epoch().count()), id,
                  result.error.empty() ? "" : " ", result.error.c_str());
    }
    std::fflush(stdout);
    if (now >= until) break;
  }
  std::printf("end\n");
  std::fflush(stdout);
  return 0;
}
