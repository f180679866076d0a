// Start-up of the Netvane program with 100 stored locations: the time from the process's
// start to its main window being shown (the fixed 3-second splash left out) and the resident
// memory then. Each run is a fresh process; the figures are the median of several runs.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"
#include "shell/main_window.h"
#include "shell/program.h"
#include "store/location_store.h"

namespace {

using namespace netvane;
using Clock = std::chrono::steady_clock;

long NowNs() {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// The measured process: the program's own start-up, without the splash wait.
int Child(int argc, char** argv) {
  const long t0 = std::atol(std::getenv("NETVANE_BENCH_T0"));
  QApplication app(argc, argv);
  shell::NetvaneProgram program;
  int code = 0;
  if (!program.Start(shell::StartupOptions{0, false}, &code)) return 3;
  shell::frmMain* window = program.window();
  while (window->windowHandle() == nullptr || !window->windowHandle()->isExposed()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  const double ms = static_cast<double>(NowNs() - t0) / 1e6;
  std::printf("%.1f %ld %d\n", ms, ResidentKb(), static_cast<int>(window->nodes().size()));
  return 0;
}

void Seed(const std::string& file) {
  platform::IconvCodePage codepage("");
  platform::SqliteRegistry registry(file, codepage);
  store::RegistryAccess access(registry, codepage);
  store::LocationStore locations(access);
  const std::string cards = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1";
  access.CreateKey(platform::kHkeyLocalMachine, cards);
  access.WriteValue(platform::kHkeyLocalMachine, cards, "Description", "Bench Card");
  access.WriteValue(platform::kHkeyLocalMachine, cards, "ServiceName", "BenchSvc");
  const std::string program = "Software\\Orlenta\\Netvane 2.0";
  access.CreateKey(platform::kHkeyLocalMachine, program);
  access.WriteValue(platform::kHkeyLocalMachine, program, "IsNoticeView", "NO");
  for (int16_t id = 1; id <= 100; ++id) {
    store::LocationRecord r;
    r.SessionName = "Location " + std::to_string(id);
    r.NIC_ID = "BenchSvc";
    r.NIC_NAME = "Bench Card";
    r.ServiceType = "USE_STATIC_IP";
    r.IPAddress = "10.0." + std::to_string(id / 250) + "." + std::to_string(id % 250 + 1);
    r.SubnetMask = "255.255.0.0";
    r.UseProxy = true;
    r.UseIEProxy = true;
    r.IEProxy.HTTPAddress = "proxy";
    r.IEProxy.HTTPPort = "3128";
    r.UseWinNetwork = true;
    r.DefaultPrinter = "Printer";
    locations.SaveLocation(id, r);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--child") return Child(argc, argv);
  const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
  char templ[] = "/tmp/netvane-startup-XXXXXX";
  const std::string dir = mkdtemp(templ);
  const std::string registry = dir + "/registry.db";
  Seed(registry);

  std::vector<double> times;
  std::vector<long> memory;
  for (int i = 0; i < runs; ++i) {
    int out[2];
    if (pipe(out) != 0) return 1;
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      setenv("NETVANE_REGISTRY", registry.c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      setenv("NETVANE_BENCH_T0", std::to_string(NowNs()).c_str(), 1);
      execl("/proc/self/exe", argv[0], "--child", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    char buf[256] = {};
    const ssize_t n = read(out[0], buf, sizeof buf - 1);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    double ms = 0;
    long kb = 0;
    int nodes = 0;
    if (n <= 0 || std::sscanf(buf, "%lf %ld %d", &ms, &kb, &nodes) != 3 || nodes != 102) {
      std::fprintf(stderr, "run %d failed (status %d): %s\n", i, status, buf);
      return 1;
    }
    times.push_back(ms);
    memory.push_back(kb);
  }
  std::filesystem::remove_all(dir);
  std::sort(times.begin(), times.end());
  std::sort(memory.begin(), memory.end());
  std::printf("start-up to main window shown, 100 locations, %d runs (splash excluded):\n", runs);
  std::printf("  time  median %.1f ms  (min %.1f, max %.1f)\n", times[times.size() / 2], times.front(),
              times.back());
  std::printf("  resident memory  median %.1f MB  (max %.1f)\n",
              static_cast<double>(memory[memory.size() / 2]) / 1024.0,
              static_cast<double>(memory.back()) / 1024.0);
  return 0;
}
