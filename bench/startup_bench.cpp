// Start-up of the Netvane program with 100 stored locations: the time from the process's
// start to its main window being shown (the fixed 3-second splash left out) and the resident
// memory then. Each run is a fresh process; the figures are the median of several runs.
//   startup_bench [RUNS] [PLATFORM]     PLATFORM is Qt's (default offscreen)
// On Linux the registry is a scratch file; on Windows (and under Wine) the locations go into
// the system's registry for the runs and are removed afterwards.
#ifdef _WIN32
#include "platform/win32/windows_api.h"
// After windows.h.
#include <psapi.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QApplication>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_platform.h"
#include "shell/main_window.h"
#include "shell/program.h"
#include "store/location_store.h"
#ifndef _WIN32
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"
#endif

namespace {

using namespace netvane;

constexpr char kCard[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\9901";
constexpr char kProgramKey[] = "Software\\Orlenta";

// Wall-clock nanoseconds: the same clock in the measuring and the measured process.
long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

long ResidentKb() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<long>(counters.WorkingSetSize / 1024);
#else
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
#endif
}

// The measured process: the program's own start-up, without the splash wait.
int Child(int argc, char** argv) {
  const long long t0 = std::atoll(std::getenv("NETVANE_BENCH_T0"));
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
  std::fflush(stdout);
  return 0;
}

void Seed(store::RegistryAccess& access) {
  access.CreateKey(platform::kHkeyLocalMachine, kCard);
  access.WriteValue(platform::kHkeyLocalMachine, kCard, "Description", "Bench Card");
  access.WriteValue(platform::kHkeyLocalMachine, kCard, "ServiceName", "BenchSvc");
  const std::string program = std::string(kProgramKey) + "\\Netvane 2.0";
  access.CreateKey(platform::kHkeyLocalMachine, program);
  access.WriteValue(platform::kHkeyLocalMachine, program, "IsNoticeView", "NO");
  store::LocationStore locations(access);
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

// Runs this program again as the measured child; what it printed.
std::string RunChild(const std::string& self, const std::string& platform) {
  const std::string t0 = std::to_string(NowNs());
#ifdef _WIN32
  SetEnvironmentVariableA("NETVANE_BENCH_T0", t0.c_str());
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return "";
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string line = "\"" + self + "\" --child -platform " + platform;
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &info);
  CloseHandle(write);
  std::string out;
  char buf[256];
  DWORD n = 0;
  while (started && ReadFile(read, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
  CloseHandle(read);
  if (started) {
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  return out;
#else
  int out[2];
  if (pipe(out) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    setenv("NETVANE_BENCH_T0", t0.c_str(), 1);
    execl("/proc/self/exe", self.c_str(), "--child", "-platform", platform.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[256];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return text;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--child") return Child(argc, argv);
  const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
  const std::string platform = argc > 2 ? argv[2] : "offscreen";

#ifdef _WIN32
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::unique_ptr<platform::SystemPlatform> system = platform::CreateSystemPlatform();
  store::RegistryAccess access(system->services().registry, system->services().codepage);
  access.DeleteKeyTree(platform::kHkeyLocalMachine, kProgramKey);
  // Wine keeps the cards in a volatile key, which takes only volatile subkeys.
  HKEY card = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCard, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                  nullptr, &card, nullptr);
  RegCloseKey(card);
#else
  const std::string self = argv[0];
  char templ[] = "/tmp/netvane-startup-XXXXXX";
  const std::string dir = mkdtemp(templ);
  const std::string registry = dir + "/registry.db";
  setenv("NETVANE_REGISTRY", registry.c_str(), 1);
  platform::IconvCodePage codepage("");
  platform::SqliteRegistry file(registry, codepage);
  store::RegistryAccess access(file, codepage);
#endif
  Seed(access);

  std::vector<double> times;
  std::vector<long> memory;
  int failed = 0;
  for (int i = 0; i < runs && failed == 0; ++i) {
    const std::string out = RunChild(self, platform);
    double ms = 0;
    long kb = 0;
    int nodes = 0;
    if (std::sscanf(out.c_str(), "%lf %ld %d", &ms, &kb, &nodes) != 3 || nodes != 102) {
      std::fprintf(stderr, "run %d failed: %s\n", i, out.c_str());
      failed = 1;
      break;
    }
    times.push_back(ms);
    memory.push_back(kb);
  }
#ifdef _WIN32
  access.DeleteKeyTree(platform::kHkeyLocalMachine, kProgramKey);
  access.DeleteKeyTree(platform::kHkeyLocalMachine, kCard);
#else
  std::filesystem::remove_all(dir);
#endif
  if (failed != 0) return 1;
  std::sort(times.begin(), times.end());
  std::sort(memory.begin(), memory.end());
  std::printf(
      "start-up to main window shown, 100 locations, %d runs, platform %s (splash "
      "excluded):\n",
      runs, platform.c_str());
  std::printf("  time  median %.1f ms  (min %.1f, max %.1f)\n", times[times.size() / 2],
              times.front(), times.back());
  std::printf("  resident memory  median %.1f MB  (max %.1f)\n",
              static_cast<double>(memory[memory.size() / 2]) / 1024.0,
              static_cast<double>(memory.back()) / 1024.0);
  return 0;
}
