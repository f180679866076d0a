// netvane-snapshots OUTDIR: renders the main window, every page of the new-location wizard,
// every tab of the property editor, the proxy and printer dialogs, the splash and the notice
// to PNG files (offscreen), so that a person can look at them.
#include <QApplication>
#include <QDir>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "editors/printer_dialog.h"
#include "editors/proxy_dialog.h"
#include "editors/session_modify.h"
#include "editors/session_new.h"
#include "engine/ip_helper.h"
#include "platform/posix/host_file_system.h"
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/posix_process.h"
#include "platform/posix/posix_shell.h"
#include "platform/posix/sqlite_registry.h"
#include "shell/main_window.h"
#include "shell/notice.h"
#include "shell/splash.h"

namespace {

using namespace netvane;

class FixedPrinters : public editors::PrinterList {
 public:
  QStringList InstalledPrinters() override {
    return {QStringLiteral("Office LaserJet"), QStringLiteral("Lab Color Printer"),
            QStringLiteral("PDF Writer")};
  }
};

class NoFile : public editors::FileChooser {
 public:
  QString ChooseFile(QWidget*) override { return {}; }
};

class NoDialogs : public editors::DialogRunner {
 public:
  int Run(QDialog&) override { return 0; }
};

class SilentPrompt : public engine::UserPrompt {
 public:
  engine::PromptAnswer Show(const std::string&, engine::PromptIcon,
                            engine::PromptButtons) override {
    return engine::PromptAnswer::kOk;
  }
};

bool Save(QWidget& widget, const QString& dir, const QString& name) {
  widget.adjustSize();
  const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
  const bool ok = widget.grab().save(file);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.toUtf8().constData());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: netvane-snapshots OUTDIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  QTemporaryDir scratch;
  platform::IconvCodePage codepage("");
  platform::SqliteRegistry registry((scratch.path() + QStringLiteral("/registry.db")).toStdString(),
                                    codepage);
  platform::PosixProcess process;
  platform::PosixShell shell(process);
  store::RegistryAccess access(registry, codepage);
  store::LocationStore locations(access);
  store::SettingsStore settings(access, process.ProgramPath());
  engine::AppState state;
  state.AdapterTable = {{"Intel(R) PRO/100 VE Network Connection", "{4D36E972-E325}"},
                        {"3Com EtherLink XL 10/100 PCI TX NIC", "El90x1"}};
  store::LocationRecord office;
  office.SessionName = "Office";
  office.NIC_ID = "El90x1";
  office.NIC_NAME = "3Com EtherLink XL 10/100 PCI TX NIC";
  office.ServiceType = "USE_HANARO_OUT_PPP_MODEM";
  office.ExecutePath = "/usr/bin/true";
  office.IPAddress = "192.168.10.25";
  office.SubnetMask = "255.255.255.0";
  office.Gateway = "192.168.10.1,192.168.10.254";
  office.DNS = "192.168.10.2";
  office.UseProxy = true;
  office.UseIEProxy = true;
  office.IEProxy.HTTPAddress = "proxy.example";
  office.IEProxy.HTTPPort = "3128";
  office.UseWinNetwork = true;
  office.DefaultPrinter = "Lab Color Printer";
  locations.SaveLocation(1, office);
  store::LocationRecord home = office;
  home.SessionName = "Home";
  home.ServiceType = "USE_DHCP";
  home.SessionActive = true;
  locations.SaveLocation(2, home);
  store::LocationRecord lab = office;
  lab.SessionName = "Lab";
  lab.NIC_ID = "{4D36E972-E325}";
  lab.NIC_NAME = "Intel(R) PRO/100 VE Network Connection";
  lab.ServiceType = "USE_STATIC_IP";
  lab.IPAddress = "10.1.2.30";
  locations.SaveLocation(3, lab);
  locations.LoadLocations(state.LocationTable);

  SilentPrompt prompt;
  NoFile files;
  FixedPrinters printers;
  NoDialogs dialogs;
  editors::EditorServices services{state,  locations, settings, access, shell,
                                   prompt, files,     printers, dialogs};
  bool ok = true;

  editors::frmSessionNew wizard(services);
  wizard.show();
  auto* stack = wizard.findChild<QStackedWidget*>();
  for (int page = 0; page < 6; ++page) {
    stack->setCurrentIndex(page);
    ok = Save(wizard, out, QStringLiteral("wizard-page-%1").arg(page)) && ok;
  }

  editors::frmSessionModify editor(services);
  editor.SelectedSessionID = 1;
  editor.Load();
  editor.show();
  for (int tab = 0; tab < 5; ++tab) {
    editor.tabSession()->setCurrentIndex(tab);
    ok = Save(editor, out, QStringLiteral("editor-tab-%1").arg(tab)) && ok;
  }

  struct NoInterfaces : platform::IpHelper {
    uint32_t GetIfTable(uint8_t* table, uint32_t* size, bool) override {
      return platform::CopyIfTable(platform::EncodeIfTable({}), table, size);
    }
  } interfaces;
  engine::CIpHelper iphelper(interfaces, codepage, prompt);
  struct ClosedEndpoint : platform::UdpEndpoint {
    void SetProtocol(int) override {}
    void SetRemoteHost(const std::string&) override {}
    void SetRemotePort(uint16_t) override {}
    void SetLocalPort(uint16_t) override {}
    void Bind() override {}
    void Close() override {}
    int State() const override { return 0; }
    uint32_t BytesWaiting() override { return 0; }
    std::vector<uint8_t> GetData() override { return {}; }
    void SendData(const std::vector<uint8_t>&) override {}
    std::intptr_t NativeHandle() const override { return -1; }
    bool WaitForData(int) override { return false; }
  } endpoint;
  struct Host : platform::WindowsVersion {
    platform::OsVersion Reported() const override { return {5, 0, 2195, 2}; }
  } winver;
  struct NoDevice : platform::Device {
    platform::DeviceHandle Open(const std::string&) override { return platform::kInvalidDevice; }
    bool Control(platform::DeviceHandle, uint32_t, uint8_t*, uint32_t) override { return false; }
    void Close(platform::DeviceHandle) override {}
  } device;
  struct NoProfile : platform::Profile {
    std::string ReadEntry(const std::string&, const std::string&, const std::string& f) override {
      return f;
    }
    bool WriteEntry(const std::string&, const std::string&, const std::string&) override {
      return false;
    }
    void BroadcastChange(const std::string&) override {}
  } profile;
  platform::HostFileSystem files_on_disk;
  platform::Platform platform{registry, codepage, winver,  interfaces,   process,
                              shell,    device,   profile, files_on_disk};
  shell::ShellServices shell_services{platform, access, locations, settings, state,   iphelper,
                                      prompt,   files,  printers,  dialogs,  endpoint};
  state.OSKind = 6;
  store::BuildActiveLocationTable(state.AdapterTable, state.LocationTable,
                                  state.ActiveLocationTable);
  shell::frmMain main_window(shell_services, false);
  main_window.LoadWindow();
  main_window.show();
  ok = Save(main_window, out, QStringLiteral("main-window")) && ok;

  shell::frmSplash splash;
  splash.show();
  ok = Save(splash, out, QStringLiteral("splash")) && ok;
  settings.LoadSettings(state.settings);
  shell::frmNotice notice(settings, state.settings);
  notice.show();
  ok = Save(notice, out, QStringLiteral("notice")) && ok;

  editors::frmProxy proxy(state, prompt);
  proxy.show();
  ok = Save(proxy, out, QStringLiteral("proxy-dialog")) && ok;
  editors::frmPrinter printer(state, printers);
  printer.show();
  ok = Save(printer, out, QStringLiteral("printer-dialog")) && ok;
  return ok ? 0 : 1;
}
