// How long the main window's event loop stalls while a location is applied: a static location
// with two gateways and two DNS servers on the netsh road (seven netsh runs), where every
// netsh is a real program that takes 1 s. A 1 ms timer runs beside the apply; the longest gap
// between its ticks is the longest time the window could neither repaint nor answer.
//   apply_stall_bench [APPLIES]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/load_all.h"
#include "platform/posix/posix_process.h"
#include "platform/posix/posix_udp.h"
#include "qt_doubles.h"
#include "scripted_prompt.h"
#include "shell/main_window.h"
#include "store/location_store.h"
#include "test_support.h"

namespace {

using namespace netvane;

constexpr char kCard[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1";

// The system's processes, with every netsh and ipconfig replaced by a 1-second program.
class SlowTools final : public platform::Process {
 public:
  std::string ProgramPath() const override { return "/opt/netvane/Netvane"; }
  uint32_t Start(const std::string& command_line, platform::WindowMode mode) override {
    ++runs;
    const bool tool =
        command_line.rfind("netsh ", 0) == 0 || command_line.rfind("ipconfig", 0) == 0;
    return inner_.Start(tool ? "sleep 1" : command_line, mode);
  }
  void Wait(uint32_t id) override { inner_.Wait(id); }
  bool WaitFor(uint32_t id, uint32_t ms) override { return inner_.WaitFor(id, ms); }
  uint32_t ExitCode(uint32_t id) override { return inner_.ExitCode(id); }
  int runs = 0;

 private:
  platform::PosixProcess inner_;
};

}  // namespace

int main(int argc, char** argv) {
  const int applies = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  testing::FakePlatform fake;
  SlowTools tools;
  platform::Platform services = fake.ServicesWith(tools);
  store::RegistryAccess access(fake.registry.registry(), fake.registry.codepage());
  access.CreateKey(platform::kHkeyLocalMachine, kCard);
  access.WriteValue(platform::kHkeyLocalMachine, kCard, "Description", "Card A");
  access.WriteValue(platform::kHkeyLocalMachine, kCard, "ServiceName", "SvcA");
  access.WriteValue(platform::kHkeyLocalMachine, "Software\\Orlenta\\Netvane 2.0", "IsNoticeView",
                    "NO");
  store::LocationStore locations(access);
  store::LocationRecord r;
  r.SessionName = "Office";
  r.NIC_ID = "SvcA";
  r.NIC_NAME = "Card A";
  r.ServiceType = std::string(store::kUseStaticIp);
  r.IPAddress = "192.168.10.25";
  r.SubnetMask = "255.255.255.0";
  r.Gateway = "192.168.10.1,192.168.10.2";
  r.DNS = "192.168.10.53,192.168.10.54";
  engine::AppState state;
  if (!locations.SaveLocation(1, r)) {
    std::fprintf(stderr, "apply_stall_bench: cannot store the location\n");
    return 1;
  }

  store::SettingsStore settings(access, "/opt/netvane/Netvane");
  testing::ScriptedPrompt prompt;
  engine::CIpHelper iphelper(fake.iphelper, fake.registry.codepage(), prompt);
  testing::ScriptedFiles files;
  testing::ListedPrinters printers;
  testing::ScriptedDialogs dialogs;
  platform::PosixUdpEndpoint winsock;
  shell::ShellServices s{services, access, locations, settings, state,  iphelper,
                         prompt,   files,  printers,  dialogs,  winsock};
  state.OSKind = engine::kOsWin2000;
  settings.LoadSettings(state.settings);
  engine::LoadAll(state, access, locations, iphelper);
  shell::frmMain window(s, false);
  window.LoadWindow();
  window.show();

  double worst_ms = 0;
  for (int i = 0; i < applies; ++i) {
    window.treIPList()->setCurrentItem(window.nodes().back());
    QElapsedTimer clock;
    QElapsedTimer since_tick;
    qint64 longest_gap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longest_gap = std::max(longest_gap, since_tick.nsecsElapsed());
      since_tick.restart();
    });
    QEventLoop loop;
    const int runs_before = tools.runs;
    QTimer::singleShot(0, &window, [&] {
      clock.start();
      since_tick.start();
      window.ApplyClicked();
      longest_gap = std::max(longest_gap, since_tick.nsecsElapsed());
      loop.quit();
    });
    ticker.start(1);
    loop.exec();
    ticker.stop();
    if (tools.runs == runs_before) {
      std::fprintf(stderr, "apply_stall_bench: the apply started no program\n");
      for (const auto& shown : prompt.shown) std::fprintf(stderr, "  %s\n", shown.text.c_str());
      return 1;
    }
    const double gap_ms = static_cast<double>(longest_gap) / 1e6;
    worst_ms = std::max(worst_ms, gap_ms);
    std::printf("apply %d: %d programs, %.0f ms, longest stall %.1f ms\n", i + 1,
                tools.runs - runs_before, static_cast<double>(clock.elapsed()), gap_ms);
  }
  std::printf("longest stall over %d applies: %.1f ms\n", applies, worst_ms);
  return 0;
}
