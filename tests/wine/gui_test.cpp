// The windows as built for Windows, over the system's own registry (advapi32), shell and
// spooler: the main window on a seeded registry, the wizard's save read back through advapi32,
// the property editor's messages, one instance per session through the named pipe, and the
// printers Qt lists.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"
// After windows.h.
#include <winspool.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <thread>

#include "editors/editor_common.h"
#include "editors/session_modify.h"
#include "editors/session_new.h"
#include "engine/ip_helper.h"
#include "engine/location_tree.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_udp.h"
#include "qt_doubles.h"
#include "scripted_prompt.h"
#include "shell/main_window.h"
#include "shell/single_instance.h"
#include "shell/startup.h"

namespace netvane::testing {
namespace {

constexpr char kOrlenta[] = "SOFTWARE\\Orlenta";
constexpr char kCards[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
// Numbers far above the cards Wine lists for the machine's interfaces.
constexpr const char* kTestCards[] = {"990", "991"};

// What advapi32 itself holds: the value's type and bytes.
std::pair<DWORD, std::string> Query(const std::string& key, const char* name) {
  char data[1024];
  DWORD size = sizeof data;
  DWORD type = 0;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                   &size) != ERROR_SUCCESS) {
    return {REG_NONE, "(missing)"};
  }
  return {type, std::string(data, size)};
}

std::pair<DWORD, std::string> Sz(const std::string& text) {
  return {REG_SZ, text + std::string(1, '\0')};
}

class WindowsGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    Card(kTestCards[0], "Card A", "SvcA");
    Card(kTestCards[1], "Card B", "SvcB");
    ASSERT_EQ(access.CreateKey(platform::kHkeyLocalMachine, "SOFTWARE\\Orlenta\\Netvane 2.0"),
              platform::kErrorSuccess);
    ASSERT_EQ(access.WriteValue(platform::kHkeyLocalMachine, "SOFTWARE\\Orlenta\\Netvane 2.0",
                                "IsNoticeView", "NO"),
              platform::kErrorSuccess);
    state.AdapterTable = {{"Card A", "SvcA"}, {"Card B", "SvcB"}};
    settings.LoadSettings(state.settings);
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kOrlenta);
    for (const char* n : kTestCards) {
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kCards) + "\\" + n).c_str());
    }
  }
  void Card(const std::string& n, const std::string& description, const std::string& service) {
    const std::string key = std::string(kCards) + "\\" + n;
    // Wine makes the cards' key volatile, and such a key takes only volatile subkeys.
    HKEY card = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &card, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(card);
    ASSERT_EQ(access.WriteValue(platform::kHkeyLocalMachine, key, "Description", description),
              platform::kErrorSuccess);
    ASSERT_EQ(access.WriteValue(platform::kHkeyLocalMachine, key, "ServiceName", service),
              platform::kErrorSuccess);
  }
  static void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& s : prompt.shown) out.push_back(s.text);
    return out;
  }

  std::unique_ptr<platform::SystemPlatform> system = platform::CreateSystemPlatform();
  platform::Platform& real = system->services();
  store::RegistryAccess access{real.registry, real.codepage};
  store::LocationStore locations{access};
  store::SettingsStore settings{access, real.process.ProgramPath()};
  engine::AppState state;
  ScriptedPrompt prompt;
  ScriptedFiles files;
  ListedPrinters printers;
  ScriptedDialogs dialogs;
  editors::EditorServices services{state,  locations, settings, access, real.shell,
                                   prompt, files,     printers, dialogs};
};

TEST_F(WindowsGuiTest, TheMainWindowListsTheSeededLocationsUnderTheirCards) {
  store::LocationRecord r;
  r.SessionName = "Office";
  r.NIC_ID = "SvcB";
  r.NIC_NAME = "Card B";
  r.ServiceType = std::string(store::kUseStaticIp);
  r.IPAddress = "192.168.10.25";
  r.SubnetMask = "255.255.255.0";
  r.SessionActive = true;
  ASSERT_TRUE(locations.SaveLocation(1, r));
  engine::CIpHelper iphelper(real.iphelper, real.codepage, prompt);
  platform::Win32UdpEndpoint endpoint;
  shell::ShellServices shell{real,   access, locations, settings, state,   iphelper,
                             prompt, files,  printers,  dialogs,  endpoint};
  auto w = shell::NetvaneMain(shell, shell::StartupOptions{0, false});
  ASSERT_TRUE(w);
  EXPECT_TRUE(prompt.shown.empty()) << prompt.shown[0].text;
  std::vector<std::string> texts;
  for (QTreeWidgetItem* n : w->nodes()) texts.push_back(n->text(0).toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{" Adapter", "[0] Card B",
                                             "Office (IP address : 192.168.10.25)"}));
  // Active on an installed card: the cards came through advapi32, Wine's own among them.
  EXPECT_GT(state.AdapterCount(), 2);
  EXPECT_EQ(w->nodes().back()->data(0, Qt::UserRole + 1).toInt(), engine::kImageActiveLocation);
  EXPECT_TRUE(w->cmdApply()->isEnabled());
}

TEST_F(WindowsGuiTest, TheWizardSavesALocationThatAdvapi32ReadsBack) {
  editors::frmSessionNew w(services);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.txtSessionName()->setText(QStringLiteral("Home"));
  w.cboNIC()->setCurrentIndex(1);
  w.optStep1(1)->setChecked(true);  // a static address
  QString ip = QStringLiteral("10.0.0.9");
  QString mask = QStringLiteral("255.255.0.0");
  ASSERT_TRUE(w.txtIP()->SetIP(ip));
  ASSERT_TRUE(w.txtSubnet()->SetIP(mask));
  for (int i = 0; i < 4 && w.result() != QDialog::Accepted; ++i) Click(w.cmdNext());
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  ASSERT_EQ(w.result(), QDialog::Accepted);
  const std::string key = "SOFTWARE\\Orlenta\\SessionInfo\\1";
  EXPECT_EQ(Query(key, "SessionName"), Sz("Home"));
  EXPECT_EQ(Query(key, "NIC_ID"), Sz("SvcB"));
  EXPECT_EQ(Query(key, "NIC_NAME"), Sz("Card B"));
  EXPECT_EQ(Query(key, "ServiceType"), Sz("USE_STATIC_IP"));
  EXPECT_EQ(Query(key, "SessionActive"), Sz("No"));
  EXPECT_EQ(Query(key + "\\TCP/IP", "IPAddress"), Sz("10.0.0.9"));
  EXPECT_EQ(Query(key + "\\TCP/IP", "SubnetMask"), Sz("255.255.0.0"));
}

// The checks that look at the system: the connection program through the system's directory
// search, then the address, each with its message.
TEST_F(WindowsGuiTest, ThePropertyEditorShowsItsMessages) {
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  store::LocationRecord r;
  r.SessionName = "Dial";
  r.NIC_ID = "SvcB";
  r.NIC_NAME = "Card B";
  r.ServiceType = std::string(store::kUseHanaroOutPppModem);
  r.ExecutePath = std::string(windows) + "\\no-such-dialer.exe";
  r.IPAddress = "10.0.0.5";
  r.SubnetMask = "255.255.255.0";
  ASSERT_TRUE(locations.SaveLocation(3, r));
  locations.LoadLocations(state.LocationTable);
  editors::frmSessionModify w(services);
  w.SelectedSessionID = 3;
  ASSERT_TRUE(w.Load());
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  Click(w.cmdApply());
  w.txtProgramName()->setText(QString::fromStdString(std::string(windows) + "\\notepad.exe"));
  w.txtIP()->txtOctet(4)->clear();
  Click(w.cmdApply());
  EXPECT_EQ(Messages(), (std::vector<std::string>{"You should choose a launch program.",
                                                  "Invalid IP address. Please, check!"}));
  EXPECT_EQ(locations.LoadLocation(3).ExecutePath, r.ExecutePath);
}

TEST(WindowsShell, ASecondInstanceActivatesTheFirstThroughTheNamedPipe) {
  const QString key = QStringLiteral("netvane-wine-test-%1").arg(GetCurrentProcessId());
  shell::SingleInstance first(key);
  ASSERT_TRUE(first.BecomePrimary());
  QSignalSpy spy(&first, &shell::SingleInstance::ActivationRequested);
  // The second instance runs beside the first's event loop, as another program would: a pipe
  // write under Wine waits for the reader.
  bool second_primary = true;
  std::thread second([&] { second_primary = shell::SingleInstance(key).BecomePrimary(); });
  const bool activated = spy.wait(10000) || spy.count() > 0;
  second.join();
  EXPECT_FALSE(second_primary);
  EXPECT_TRUE(activated);
  EXPECT_EQ(spy.count(), 1);
}

// Qt's printer list comes from the spooler, as EnumPrinters gives it: a printer the spooler
// keeps (entered where it keeps them) is listed.
TEST(WindowsShell, PrintersAreTheSpoolersOwn) {
  const std::string printer =
      "System\\CurrentControlSet\\Control\\Print\\Printers\\Netvane Test Printer";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, printer.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char name[] = "Netvane Test Printer";
  const char port[] = "FILE:";
  RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
  RegSetValueExA(key, "Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(port), sizeof port);
  RegCloseKey(key);
  DWORD needed = 0;
  DWORD count = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed,
                &count);
  std::vector<BYTE> buffer(needed + 1);
  ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4,
                            buffer.data(), needed, &needed, &count));
  QStringList spooler;
  const auto* info = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) spooler << QString::fromLocal8Bit(info[i].pPrinterName);
  QStringList qt = QPrinterInfo::availablePrinterNames();
  spooler.sort();
  qt.sort();
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, printer.c_str());
  EXPECT_TRUE(qt.contains(QString::fromLatin1(name))) << qt.join(u',').toStdString();
  EXPECT_EQ(qt, spooler);
}

}  // namespace
}  // namespace netvane::testing
