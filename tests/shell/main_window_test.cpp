// The main window and the start-up through their real widgets, over a real registry file and
// the platform doubles: the location list, each command's messages, applies with their poll,
// errors, the exit, the update counter, the notice and a second instance.
#include "shell/main_window.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstring>
#include <functional>

#include "../editors/editor_fixture.h"
#include "editors/session_new.h"
#include "engine/location_tree.h"
#include "platform/posix/posix_udp.h"
#include "shell/notice.h"
#include "shell/single_instance.h"
#include "shell/startup.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using shell::frmMain;

constexpr platform::RegHandle kLm = platform::kHkeyLocalMachine;
constexpr int kImageRole = Qt::UserRole + 1;

class MainWindowTest : public ::testing::Test, public EditorFixture {
 protected:
  MainWindowTest() {
    fake.process.program_path = "/opt/netvane/Netvane";
    Card("1", "Card A", "SvcA");
    Card("2", "Card B", "SvcB");
    // The notice has a test of its own.
    EXPECT_EQ(access.WriteValue(kLm, "Software\\Orlenta\\Netvane 2.0", "IsNoticeView", "NO"),
              kErrorSuccess);
  }

  void Card(const std::string& n, const std::string& description, const std::string& service) {
    const std::string key = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\" + n;
    ASSERT_EQ(access.CreateKey(kLm, key), kErrorSuccess);
    ASSERT_EQ(access.WriteValue(kLm, key, "Description", description), kErrorSuccess);
    ASSERT_EQ(access.WriteValue(kLm, key, "ServiceName", service), kErrorSuccess);
  }
  void Location(int16_t id, const std::string& name, const std::string& nic,
                const std::string& kind, bool active = false) {
    store::LocationRecord r;
    r.SessionName = name;
    r.NIC_ID = nic;
    r.NIC_NAME = "Card of " + nic;
    r.ServiceType = kind;
    r.SessionActive = active;
    if (store::CarriesTcpIp(kind)) {
      r.IPAddress = "192.168.10.25";
      r.SubnetMask = "255.255.255.0";
      r.Lease = 5;
    }
    ASSERT_TRUE(locations.SaveLocation(id, r));
  }
  // Starts the program as a user would, without the splash wait.
  std::unique_ptr<frmMain> Start() {
    auto w = shell::NetvaneMain(services_, shell::StartupOptions{0, false});
    if (w) {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    return w;
  }
  static std::vector<std::string> Texts(const frmMain& w) {
    std::vector<std::string> out;
    for (QTreeWidgetItem* n : w.nodes()) out.push_back(n->text(0).toStdString());
    return out;
  }
  static int Image(QTreeWidgetItem* n) { return n->data(0, kImageRole).toInt(); }
  void Select(frmMain& w, int node) {
    QTreeWidgetItem* item = w.nodes()[static_cast<size_t>(node - 1)];
    w.treIPList()->scrollToItem(item);
    QTest::mouseClick(w.treIPList()->viewport(), Qt::LeftButton, {},
                      w.treIPList()->visualItemRect(item).center());
  }
  static bool Enabled(QWidget* w) { return w->isEnabled(); }
  std::unique_ptr<frmMain> RunOutThePollAndRestore(
      const std::function<void(frmMain&)>& during_wait);

  engine::CIpHelper iphelper{fake.iphelper, fake.registry.codepage(), prompt};
  ScriptedEndpoint endpoint;
  shell::ShellServices services_{fake.services(), access,   locations, settings_store,
                                 state,           iphelper, prompt,    files,
                                 printers,        dialogs,  endpoint};
};

TEST_F(MainWindowTest, TheListGroupsLocationsUnderTheirAdapters) {
  Location(1, "Office", "SvcA", "USE_STATIC_IP", true);
  Location(2, "Gone", "Removed", "USE_DHCP", true);
  Location(3, "Home", "svca", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Netvane 2.0"));
  EXPECT_EQ(Texts(*w), (std::vector<std::string>{
                           " Adapter", "[0] Card of SvcA", "Office (IP address : 192.168.10.25)",
                           "[1] Card of Removed", "Gone (Use Dynamic IP Address)",
                           "Home (Use Dynamic IP Address)"}));
  const auto& n = w->nodes();
  EXPECT_EQ(Image(n[0]), 1);
  EXPECT_EQ(Image(n[1]), 2);
  EXPECT_EQ(Image(n[2]), 5);        // active on an installed adapter
  EXPECT_EQ(Image(n[4]), 4);        // active, but its adapter is not installed
  EXPECT_EQ(n[5]->parent(), n[1]);  // the same adapter in another letter case
  EXPECT_TRUE(n[1]->isExpanded());
  EXPECT_EQ(w->treIPList()->currentItem(), n[0]);
  EXPECT_TRUE(prompt.shown.empty());

  // The selection follows the last clicked node, and stays within the list.
  Select(*w, 6);
  EXPECT_EQ(w->SelectedNodeIndex, 6);
  w->SelectedNodeIndex = 7;
  ASSERT_TRUE(locations.DeleteLocation(2));
  w->ReloadAndRefresh();
  ASSERT_EQ(w->nodes().size(), 4u);
  EXPECT_EQ(w->treIPList()->currentItem(), w->nodes()[3]);
}

TEST_F(MainWindowTest, CommandsCheckTheSelectedNode) {
  Location(1, "Office", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  // The root is selected at start.
  QTest::mouseClick(w->cmdApply(), Qt::LeftButton);
  QTest::mouseClick(w->cmdModify(), Qt::LeftButton);
  QTest::mouseClick(w->cmdDelete(), Qt::LeftButton);
  Select(*w, 2);  // an adapter
  QTest::mouseClick(w->cmdApply(), Qt::LeftButton);
  w->treIPList()->clearSelection();
  w->treIPList()->setCurrentItem(nullptr);
  QTest::mouseClick(w->cmdApply(), Qt::LeftButton);
  QTest::mouseClick(w->cmdModify(), Qt::LeftButton);
  QTest::mouseClick(w->cmdDelete(), Qt::LeftButton);
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "No location name is selected. Select location name.",
                            "No location name is selected. Select location name.",
                            "No location name is selected. Select current location name.",
                            "No location name is selected. Select location name.",
                            "No location is selected. Select location name.",
                            "No location name is selected. Select location name.",
                            "No location name is selected. Select current location name.",
                        }));
  EXPECT_TRUE(fake.process.started.empty());
  // Double-clicking an adapter does nothing at all.
  Select(*w, 2);
  w->TreeDoubleClicked();
  EXPECT_EQ(prompt.shown.size(), 7u);
  EXPECT_TRUE(fake.process.started.empty());
}

TEST_F(MainWindowTest, DeletingAsksFirstAndTheLastOneLeavesOnlyTheRoot) {
  Location(1, "Office", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  Select(*w, 3);
  prompt.answers = {engine::PromptAnswer::kNo};
  QTest::mouseClick(w->cmdDelete(), Qt::LeftButton);
  EXPECT_EQ(prompt.shown.back().text, "Office will be deleted.");
  EXPECT_EQ(prompt.shown.back().icon, engine::PromptIcon::kQuestion);
  EXPECT_EQ(state.LocationCount(), 1);
  QTest::mouseClick(w->cmdDelete(), Qt::LeftButton);
  EXPECT_EQ(state.LocationCount(), 0);
  EXPECT_EQ(w->nodes().size(), 1u);
  EXPECT_FALSE(Enabled(w->cmdApply()));
  EXPECT_FALSE(Enabled(w->cmdDelete()));
  EXPECT_FALSE(Enabled(w->cmdModify()));
  EXPECT_FALSE(Enabled(w->treIPList()));
  EXPECT_TRUE(Enabled(w->cmdAdd()));
}

TEST_F(MainWindowTest, AnApplyOnTheLegacyRoadEndsWithThePoll) {
  fake.winver.version = {4, 10, 1998, 1};  // Windows 98
  fake.iphelper.rows = {EthernetRow("Card A", {0, 1, 2, 3, 4, 5})};
  Location(1, "Static", "00-01-02-03-04-05", "USE_STATIC_IP");
  auto w = Start();
  ASSERT_TRUE(w);
  Select(*w, 3);
  QTest::mouseClick(w->cmdApply(), Qt::LeftButton);
  EXPECT_TRUE(w->Timer1()->isActive());
  EXPECT_EQ(w->Timer1()->interval(), 2000);
  EXPECT_FALSE(Enabled(w->cmdApply()));
  EXPECT_FALSE(w->ControlsEnabled);
  EXPECT_TRUE(endpoint.open);
  EXPECT_EQ(Image(w->nodes()[2]), 5);  // marked active before the apply
  // Closing while applying is refused without a question.
  w->close();
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(prompt.shown.empty());

  w->Timer1Tick();
  EXPECT_TRUE(w->Timer1()->isActive());
  const std::string vxd = "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\0000";
  ASSERT_EQ(SetRaw(fake.registry.registry(), kLm, vxd, "DHCPIPAddress", platform::kRegBinary,
                   std::string("\xC0\xA8\x0A\x19", 4)),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(fake.registry.registry(), kLm, vxd, "Lease", platform::kRegBinary,
                   std::string("\x05\x00\x00\xFF", 4)),
            kErrorSuccess);
  w->Timer1Tick();
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"Network environment is successfully established."});
  EXPECT_FALSE(w->Timer1()->isActive());
  EXPECT_FALSE(endpoint.open);
  EXPECT_TRUE(Enabled(w->cmdApply()));
  EXPECT_TRUE(w->ControlsEnabled);
}

// A recognised network is offered through the notification icon, whose message applies it;
// a location that says so is applied at once; the location already active is left alone. A
// link that comes up is asked about once it has settled.
TEST_F(MainWindowTest, ARecognisedNetworkIsOfferedOrAppliedAsTheLocationSays) {
  Location(1, "Home", "SvcA", "USE_DHCP", true);
  Location(2, "Hotel", "SvcA", "USE_DHCP");
  Location(3, "Office", "SvcB", "USE_DHCP");
  ASSERT_TRUE(locations.SaveNetworkPrint(1, {"192.168.1.1", "02:00:00:00:00:0a", "", ""}));
  ASSERT_TRUE(locations.SaveNetworkPrint(2, {"192.168.1.1", "02:00:00:00:00:0b", "", ""}));
  fake.probe.results["SvcA"].answers = {{"192.168.1.1", "02:00:00:00:00:0b"}};
  fake.probe.results["SvcB"].answers = {{"10.0.0.1", "02:00:00:00:00:0c"}};
  auto w = Start();
  ASSERT_TRUE(w);
  QTRY_COMPARE(w->OfferedLocationId, 2);
  EXPECT_EQ(w->OfferText.toStdString(),
            "This is the network of the location \"Hotel\". Click here to apply it.");
  ASSERT_EQ(fake.probe.requests.size(), 1u);  // Office remembers nothing yet
  EXPECT_TRUE(fake.process.started.empty());
  w->OfferClicked();
  ASSERT_FALSE(fake.process.started.empty());
  EXPECT_EQ(fake.process.started.back().command_line, "ipconfig.exe /renew SvcA");
  EXPECT_EQ(w->OfferedLocationId, -1);

  // Asked again on demand: the hotel is the active location now, and nothing is offered.
  const size_t started = fake.process.started.size();
  w->mnuPopup()->findChild<QAction*>(QStringLiteral("mnuRecognise"))->trigger();
  QTRY_COMPARE(fake.probe.requests.size(), 2u);
  QTest::qWait(100);
  EXPECT_EQ(w->OfferedLocationId, -1);
  EXPECT_EQ(fake.process.started.size(), started);

  store::LocationRecord office = locations.LoadLocation(3);
  office.Network = {"10.0.0.1", "02:00:00:00:00:0c", "", ""};
  office.ApplyWhenRecognised = true;
  ASSERT_TRUE(locations.SaveLocation(3, office));
  w->ReloadAndRefresh();
  fake.probe.link_changed("SvcB", false);
  fake.probe.link_changed("SvcB", true);
  QTRY_VERIFY(fake.process.started.back().command_line == "ipconfig.exe /renew SvcB");
  EXPECT_EQ(fake.probe.requests.back().adapter, "SvcB");
  EXPECT_EQ(w->OfferedLocationId, -1);
  EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(MainWindowTest, APollThatNeverSeesTheBindingGivesUpAfterFifteenTicks) {
  fake.winver.version = {4, 90, 3000, 1};  // Windows ME
  fake.iphelper.rows = {EthernetRow("Card A", {0, 1, 2, 3, 4, 5})};
  Location(1, "Static", "00-01-02-03-04-05", "USE_STATIC_IP");
  auto w = Start();
  ASSERT_TRUE(w);
  Select(*w, 3);
  w->ApplyClicked();
  for (int i = 0; i < 15; ++i) w->Timer1Tick();
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Troubles occurred in binding selected location data to your system."});
  EXPECT_EQ(w->command().ApplyingLocationId, -1);
  EXPECT_TRUE(Enabled(w->cmdApply()));
  EXPECT_FALSE(w->Timer1()->isActive());
  // Later refreshes do not turn the commands on by themselves.
  w->SetCommandsEnabled(false);
  w->RefreshLocationTree();
  EXPECT_FALSE(Enabled(w->cmdApply()));
}

TEST_F(MainWindowTest, ErrorsReachingTheApplyCommandAreReported) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  Select(*w, 3);
  fake.process.missing = {"netsh"};
  fake.process.missing_error = platform::kWsaAddressInUse;
  w->ApplyClicked();
  fake.process.missing_error = platform::kErrorFileNotFound;
  w->ApplyClicked();
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "DHCP Server is running.\r\nPlease, refer to Help[Tip].",
                "Please, check if gateway or DNS Configuration is valid.\r\nError Number : 2\r\n"
                "Error Description : The system cannot find the file specified.\r\n"}));
  EXPECT_TRUE(Enabled(w->cmdApply()));
  EXPECT_TRUE(w->ControlsEnabled);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, DuringAnApplyTheWindowAnswersButStartsNothingElse) {
  Location(1, "Office", "SvcA", "USE_STATIC_IP");
  auto w = Start();
  ASSERT_TRUE(w);
  Select(*w, 3);
  fake.process.running_waits = 2;
  int waits = 0;
  QTimer repaint;
  int ticks = 0;
  QObject::connect(&repaint, &QTimer::timeout, [&] { ++ticks; });
  repaint.start(0);
  fake.process.on_wait = [&](const std::string&) {
    if (waits++ != 0) return;
    // A double click on the list, the buttons, Exit from the icon's menu, the window closed,
    // and the session ending: all while the first netsh runs.
    QTest::mouseDClick(w->treIPList()->viewport(), Qt::LeftButton, {},
                       w->treIPList()->visualItemRect(w->nodes()[2]).center());
    w->ApplyClicked();
    w->AddClicked();
    w->ModifyClicked();
    w->DeleteClicked();
    w->HelpClicked();
    w->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    w->close();
    w->SessionEnding();
    w->close();
    EXPECT_TRUE(w->isVisible());
  };
  w->ApplyClicked();
  repaint.stop();
  EXPECT_GT(ticks, 0);  // the window's timers ran during the waits
  // One apply's programs, in order, and its one message.
  EXPECT_EQ(fake.process.started.size(), 3u);
  EXPECT_EQ(fake.process.started[0].command_line,
            "netsh interface ip set address \"SvcA\" static 192.168.10.25 255.255.255.0");
  EXPECT_TRUE(dialogs.ran.isEmpty());
  EXPECT_TRUE(fake.shell.opened.empty());
  EXPECT_EQ(Messages(), std::vector<std::string>{engine::kBindFailed});
  // The session's end closed the window once the apply was over.
  EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindowTest, AFailedApplyOffersThePreviousLocationBack) {
  Location(1, "Office", "SvcA", "USE_STATIC_IP");
  Location(2, "Home", "SvcA", "USE_DHCP", true);
  auto w = Start();
  ASSERT_TRUE(w);
  Select(*w, 3);
  w->ApplyClicked();
  EXPECT_EQ(Messages(), (std::vector<std::string>{engine::kBindFailed,
                                                  "Restore the previous location \"Home\"?"}));
  EXPECT_EQ(prompt.shown[1].icon, engine::PromptIcon::kQuestion);
  EXPECT_EQ(fake.process.started.back().command_line, "ipconfig.exe /renew SvcA");
  // The list marks the restored location as the active one, and the commands are back.
  EXPECT_EQ(Image(w->nodes()[2]), engine::kImageLocation);
  EXPECT_EQ(Image(w->nodes()[3]), engine::kImageActiveLocation);
  EXPECT_TRUE(Enabled(w->cmdApply()));
}

// On the Windows 98 road the poll of a static location runs out with another location active
// before it; `during_wait` runs while the restore waits for the filter to go off.
std::unique_ptr<frmMain> MainWindowTest::RunOutThePollAndRestore(
    const std::function<void(frmMain&)>& during_wait) {
  fake.winver.version = {4, 10, 1998, 1};
  fake.iphelper.rows = {EthernetRow("Card A", {0, 1, 2, 3, 4, 5})};
  const std::string nic = "00-01-02-03-04-05";
  Location(1, "Static", nic, "USE_STATIC_IP");
  Location(2, "Home", nic, "USE_STATIC_IP", true);
  Location(3, "Third", nic, "USE_DHCP");
  EXPECT_EQ(access.CreateKey(kLm, "System\\CurrentControlSet\\Services\\Class\\Net\\0000"),
            kErrorSuccess);
  auto w = Start();
  if (!w) return w;
  Select(*w, 3);
  w->ApplyClicked();
  fake.process.running_waits = 1;
  fake.process.on_wait = [&](const std::string& line) {
    if (line.find("NVEFilter U") != std::string::npos) during_wait(*w);
  };
  for (int i = 0; i < engine::kBindPollTicks; ++i) w->Timer1Tick();
  return w;
}

TEST_F(MainWindowTest, NothingElseRunsBetweenAPollThatRanOutAndItsRestore) {
  auto w = RunOutThePollAndRestore([&](frmMain& window) {
    EXPECT_FALSE(Enabled(window.cmdApply()));
    // The user picks the third location and applies it, then exits from the icon's menu.
    Select(window, 5);
    window.ApplyClicked();
    window.findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    window.close();
    EXPECT_TRUE(window.isVisible());
  });
  ASSERT_TRUE(w);
  const std::string filter = "/opt/netvane/NVEFilter ";
  std::vector<std::string> started;
  for (const auto& s : fake.process.started) started.push_back(s.command_line);
  EXPECT_EQ(started, (std::vector<std::string>{"ipconfig.exe /release 0", filter + "L 0000",
                                               "ipconfig.exe /renew 0", filter + "U 0000",
                                               "ipconfig.exe /release 0", filter + "L 0000",
                                               "ipconfig.exe /renew 0"}));
  EXPECT_EQ(Messages(), (std::vector<std::string>{engine::kBindFailed,
                                                  "Restore the previous location \"Home\"?"}));
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(Image(w->nodes()[3]), engine::kImageActiveLocation);
  // The restore's own poll runs, with the commands off.
  EXPECT_TRUE(w->Timer1()->isActive());
  EXPECT_FALSE(Enabled(w->cmdApply()));
}

TEST_F(MainWindowTest, ASessionEndingBeforeTheRestoreStartsNoneOfIt) {
  auto w = RunOutThePollAndRestore([](frmMain& window) {
    window.SessionEnding();
    window.close();
    EXPECT_TRUE(window.isVisible());
  });
  ASSERT_TRUE(w);
  EXPECT_EQ(fake.process.started.back().command_line, "/opt/netvane/NVEFilter U 0000");
  EXPECT_EQ(fake.process.started.size(), 4u);
  EXPECT_FALSE(endpoint.open);
  EXPECT_FALSE(w->Timer1()->isActive());
  EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindowTest, TheExitAsksOrOffersTheUpdater) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  prompt.answers = {engine::PromptAnswer::kNo};
  w->close();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(prompt.shown.back().text, "Are you sure you want to exit?");

  // The count reached its limit: the updater is offered instead, and started when present.
  ASSERT_EQ(access.WriteValue(kLm, "Software\\Orlenta\\Netvane 2.0", "UpdateCheck", "100"),
            kErrorSuccess);
  w->Activated();
  EXPECT_TRUE(state.UpdateDue);
  fake.shell.files = {"/opt/netvane/NVEupdate"};
  w->close();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(prompt.shown.back().text, "Would you like to check update?");
  ASSERT_EQ(fake.process.started.size(), 1u);
  EXPECT_EQ(fake.process.started[0].command_line, "/opt/netvane/NVEupdate.exe");
  EXPECT_EQ(fake.process.started[0].mode, platform::WindowMode::kMinimizedFocus);
  EXPECT_EQ(access.ReadValue(kLm, "Software\\Orlenta\\Netvane 2.0", "UpdateCheck").text, "0");
}

TEST_F(MainWindowTest, WithoutTheUpdaterTheExitSaysSoAndGoesOn) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  state.UpdateDue = true;
  w->close();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{
                "Would you like to check update?",
                "Your program has been already updated.\r\nIf you want to update Netvane "
                "2.0, install the program again, please."}));
  EXPECT_TRUE(fake.process.started.empty());
}

TEST_F(MainWindowTest, UpdateCheckCountsAcrossActivations) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  // Showing the window is an activation: the counter exists now.
  EXPECT_TRUE(access.ReadValue(kLm, "Software\\Orlenta\\Netvane 2.0", "UpdateCheck").code == 0);
  ASSERT_EQ(access.WriteValue(kLm, "Software\\Orlenta\\Netvane 2.0", "UpdateCheck", "100"),
            kErrorSuccess);
  w->Activated();
  EXPECT_TRUE(state.UpdateDue);
  EXPECT_EQ(access.ReadValue(kLm, "Software\\Orlenta\\Netvane 2.0", "UpdateCheck").text, "0");
  // A second activation before the exit: the ordinary confirmation again.
  w->Activated();
  EXPECT_FALSE(state.UpdateDue);
  EXPECT_EQ(access.ReadValue(kLm, "Software\\Orlenta\\Netvane 2.0", "UpdateCheck").text, "1");
  prompt.answers = {engine::PromptAnswer::kYes};
  w->close();
  EXPECT_EQ(prompt.shown.back().text, "Are you sure you want to exit?");
}

// The counter counts when the window is first shown and when it is active again after an editor
// of the program's own: not on coming back from another program or from a message box.
TEST_F(MainWindowTest, UpdateCheckCountsOnlyTheFirstShowAndTheReturnFromAnEditor) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  ASSERT_TRUE(w->isActiveWindow());
  const auto count = [&] {
    return access.ReadValue(kLm, "Software\\Orlenta\\Netvane 2.0", "UpdateCheck").text;
  };
  EXPECT_EQ(count(), "0");
  const auto activated = [&] {
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  };
  QWidget elsewhere;  // another program's window, or a message box
  const auto back_from_elsewhere = [&] {
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    activated();
  };
  back_from_elsewhere();
  EXPECT_EQ(count(), "0");
  dialogs.script = [](QDialog& d) { d.reject(); };
  w->AddClicked();
  activated();
  EXPECT_EQ(count(), "1");
  back_from_elsewhere();
  EXPECT_EQ(count(), "1");
}

// Whatever happened before, the commands come back once there is a location and no apply runs.
TEST_F(MainWindowTest, AfterAnApplyALocationAddedToAnEmptyListCanBeUsed) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  Select(*w, 3);
  w->ApplyClicked();
  ASSERT_TRUE(w->ControlsEnabled);
  Select(*w, 3);
  w->DeleteClicked();
  ASSERT_EQ(state.LocationCount(), 0);
  EXPECT_FALSE(Enabled(w->cmdApply()));
  Location(2, "Office", "SvcA", "USE_DHCP");
  w->ReloadAndRefresh();
  for (QWidget* on : std::initializer_list<QWidget*>{w->cmdApply(), w->cmdModify(), w->cmdDelete(),
                                                     w->treIPList()}) {
    EXPECT_TRUE(Enabled(on)) << on->objectName().toStdString();
  }
}

// A session end closes the window without a question; one that is called off leaves the window
// as it was once the user works with it again.
TEST_F(MainWindowTest, ASessionEndThatIsCalledOffKeepsTheQuestionsAtExit) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  w->SessionEnding();
  QTest::mouseClick(w->treIPList()->viewport(), Qt::LeftButton);
  prompt.answers = {engine::PromptAnswer::kNo};
  w->close();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Are you sure you want to exit?"});
  // Refused while applying, as before.
  w->SetCommandsEnabled(false);
  w->close();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(prompt.shown.size(), 1u);
  w->SetCommandsEnabled(true);

  w->SessionEnding();
  w->close();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(prompt.shown.size(), 1u);
}

TEST_F(MainWindowTest, AdaptersButNoLocationAndNoWizardLeavesAddHelpAndExit) {
  prompt.answers = {engine::PromptAnswer::kNo};
  auto w = Start();
  ASSERT_TRUE(w);
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            "No location is registered.\r\nWould you like to create new location?",
                            "Netvane 2.0 cannot run due to no location was created."}));
  EXPECT_EQ(prompt.shown[0].buttons, engine::PromptButtons::kYesNo);
  for (QWidget* off : std::initializer_list<QWidget*>{w->cmdApply(), w->cmdModify(), w->cmdDelete(),
                                                      w->treIPList()}) {
    EXPECT_FALSE(Enabled(off)) << off->objectName().toStdString();
  }
  for (QWidget* on : std::initializer_list<QWidget*>{w->cmdAdd(), w->cmdHelp(), w->cmdExit()}) {
    EXPECT_TRUE(Enabled(on)) << on->objectName().toStdString();
  }
  EXPECT_EQ(w->nodes().size(), 1u);
}

TEST_F(MainWindowTest, AnsweringYesOpensTheWizardWithTheEditorFlagSet) {
  bool editor_open_seen = false;
  frmMain* window = nullptr;
  dialogs.script = [&](QDialog& d) {
    if (window != nullptr) editor_open_seen = window->EditorOpen;
    EXPECT_NE(dynamic_cast<editors::frmSessionNew*>(&d), nullptr);
    d.reject();
  };
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  window = w.get();
  QTest::mouseClick(w->cmdAdd(), Qt::LeftButton);
  EXPECT_TRUE(editor_open_seen);
  EXPECT_FALSE(w->EditorOpen);
  EXPECT_EQ(dialogs.ran.size(), 1u);
}

TEST_F(MainWindowTest, NoAdapterDisablesTheCommandsThatNeedOne) {
  ASSERT_EQ(
      access.DeleteKeyTree(kLm, "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards"),
      kErrorSuccess);
  auto w = Start();
  ASSERT_TRUE(w);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot find the installed network adapter."});
  EXPECT_EQ(prompt.shown[0].icon, engine::PromptIcon::kInformation);
  EXPECT_FALSE(Enabled(w->cmdAdd()));
  EXPECT_FALSE(Enabled(w->cmdApply()));
}

TEST_F(MainWindowTest, HelpOpensTheHelpFileBesideTheProgram) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  QTest::mouseClick(w->cmdHelp(), Qt::LeftButton);
  EXPECT_EQ(fake.shell.opened, std::vector<std::string>{"/opt/netvane/NetvaneHelp.chm"});
}

TEST_F(MainWindowTest, TheAutoStartBoxWritesTheSettingAndTheEntry) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  EXPECT_FALSE(w->chkStartProgram()->isChecked());
  QTest::mouseClick(w->chkStartProgram(), Qt::LeftButton, {},
                    QPoint(8, w->chkStartProgram()->height() / 2));
  EXPECT_TRUE(state.settings.IsStartProgram);
  EXPECT_EQ(
      access.ReadValue(kLm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Netvane 2.0")
          .text,
      "\"/opt/netvane/Netvane.exe\"");
  EXPECT_EQ(w->chkStartProgram()->text(),
            QStringLiteral("&Automatically run when windows starts."));
  EXPECT_EQ(fake.tasks.tasks["Netvane 2.0"].program, "/opt/netvane/Netvane.exe");
  // A logon task the scheduler refuses to remove is told of.
  fake.tasks.error = static_cast<int32_t>(0x80070005);
  QTest::mouseClick(w->chkStartProgram(), Qt::LeftButton, {},
                    QPoint(8, w->chkStartProgram()->height() / 2));
  EXPECT_FALSE(state.settings.IsStartProgram);
  ASSERT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(prompt.shown[0].icon, engine::PromptIcon::kExclamation);
  EXPECT_EQ(
      prompt.shown[0].text.rfind("Netvane 2.0 could not be removed from the Task Scheduler", 0),
      0u);
  // A registration refused on a click is told of; the Run value is written all the same.
  QTest::mouseClick(w->chkStartProgram(), Qt::LeftButton, {},
                    QPoint(8, w->chkStartProgram()->height() / 2));
  EXPECT_TRUE(state.settings.IsStartProgram);
  ASSERT_EQ(prompt.shown.size(), 2u);
  EXPECT_NE(prompt.shown[1].text.find("could not be registered with the Task Scheduler to start "
                                      "when you log on.\r\nError Number : 0x80070005"),
            std::string::npos);
  EXPECT_EQ(
      access.ReadValue(kLm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Netvane 2.0")
          .code,
      kErrorSuccess);
  w.reset();
  // ...and so is one refused at the next start, when the box is ticked.
  auto again = Start();
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->chkStartProgram()->isChecked());
  ASSERT_EQ(prompt.shown.size(), 3u);
  EXPECT_EQ(prompt.shown[2].icon, engine::PromptIcon::kExclamation);
  EXPECT_EQ(prompt.shown[2].text.rfind("Netvane 2.0 could not be registered", 0), 0u);
}

TEST_F(MainWindowTest, WithoutANotificationAreaMinimisingKeepsTheWindowReachable) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  auto w = Start();
  ASSERT_TRUE(w);
  EXPECT_FALSE(w->tray_available());
  w->showMinimized();
  QApplication::processEvents();
  EXPECT_FALSE(w->windowFlags().testFlag(Qt::Tool));
  EXPECT_TRUE(w->isVisible());
}

TEST_F(MainWindowTest, Windows95IsRefusedBeforeAnySettingIsTouched) {
  ASSERT_EQ(access.DeleteKeyTree(kLm, "Software\\Orlenta"), kErrorSuccess);
  fake.winver.version = {4, 0, 950, 1};
  EXPECT_EQ(Start(), nullptr);
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"Netvane 2.0 is available on Windows 98/ME/NT/2000."});
  EXPECT_FALSE(KeyExists(fake.registry.registry(), kLm, "Software\\Orlenta\\Netvane 2.0"));
  fake.winver.version = {5, 0, 0, 0};
  prompt.shown.clear();
  EXPECT_EQ(Start(), nullptr);
  EXPECT_EQ(prompt.shown.size(), 1u);
}

TEST_F(MainWindowTest, TheNoticeIsForNtAndWindows2000Only) {
  Location(1, "Home", "SvcA", "USE_DHCP");
  // Windows 98: no notice, and the setting is turned off for good.
  fake.winver.version = {4, 10, 1998, 1};
  auto w98 = Start();
  ASSERT_TRUE(w98);
  EXPECT_TRUE(dialogs.ran.empty());
  EXPECT_EQ(access.ReadValue(kLm, "Software\\Orlenta\\Netvane 2.0", "IsNoticeView").text, "NO");
  w98.reset();

  ASSERT_EQ(access.WriteValue(kLm, "Software\\Orlenta\\Netvane 2.0", "IsNoticeView", "YES"),
            kErrorSuccess);
  fake.winver.version = {5, 0, 2195, 2};
  dialogs.script = [](QDialog& d) {
    auto& notice = dynamic_cast<shell::frmNotice&>(d);
    notice.findChild<QCheckBox*>(QStringLiteral("chkIsShow"))->setChecked(true);
    QTest::mouseClick(notice.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
  };
  auto w2000 = Start();
  ASSERT_TRUE(w2000);
  EXPECT_EQ(dialogs.ran.size(), 1u);
  EXPECT_EQ(access.ReadValue(kLm, "Software\\Orlenta\\Netvane 2.0", "IsNoticeView").text, "NO");
}

// The window watches the responder's real socket: a DISCOVER sent to it during an apply is
// answered through the window's own event loop.
TEST_F(MainWindowTest, TheWindowServesTheResponderFromItsEventLoop) {
  fake.winver.version = {4, 10, 1998, 1};
  fake.iphelper.rows = {EthernetRow("Card A", {0, 1, 2, 3, 4, 5})};
  Location(1, "Static", "00-01-02-03-04-05", "USE_STATIC_IP");
  platform::PosixUdpEndpoint socket;
  shell::ShellServices real{fake.services(), access, locations, settings_store, state, iphelper,
                            prompt,          files,  printers,  dialogs,        socket};
  auto w = shell::NetvaneMain(real, shell::StartupOptions{0, false});
  ASSERT_TRUE(w);
  // A client on a free port, the responder on another.
  const int client = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(client, reinterpret_cast<sockaddr*>(&addr), &len);
  engine::DhcpResponder& responder = w->engine().responder();
  responder.client_port = ntohs(addr.sin_port);
  const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&any), sizeof any);
  len = sizeof any;
  getsockname(probe, reinterpret_cast<sockaddr*>(&any), &len);
  responder.server_port = ntohs(any.sin_port);
  ::close(probe);

  Select(*w, 3);
  w->ApplyClicked();
  ASSERT_EQ(socket.State(), 1);
  std::vector<uint8_t> discover(244, 0);
  discover[0] = 1;
  const uint8_t tail[] = {99, 130, 83, 99, 53, 1, 1, 255};
  std::memcpy(discover.data() + 236, tail, sizeof tail);
  sockaddr_in to = any;
  sendto(client, discover.data(), discover.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  std::vector<uint8_t> reply(1024);
  ssize_t n = -1;
  for (int i = 0; i < 200 && n < 0; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    n = recv(client, reply.data(), reply.size(), MSG_DONTWAIT);
  }
  ::close(client);
  ASSERT_EQ(n, 549);
  EXPECT_EQ(reply[236 + 6], 2);  // an OFFER
  EXPECT_EQ(socket.State(), 1);  // open again for the REQUEST
}

TEST(SingleInstance, ASecondInstanceActivatesTheFirst) {
  const QString key = QStringLiteral("netvane-test-%1").arg(QCoreApplication::applicationPid());
  shell::SingleInstance first(key);
  ASSERT_TRUE(first.BecomePrimary());
  QSignalSpy spy(&first, &shell::SingleInstance::ActivationRequested);
  shell::SingleInstance second(key);
  EXPECT_FALSE(second.BecomePrimary());
  EXPECT_TRUE(spy.wait(2000) || spy.count() > 0);
  EXPECT_EQ(spy.count(), 1);
}

}  // namespace
}  // namespace netvane::testing
