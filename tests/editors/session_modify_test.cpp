// The location property editor through its real widgets: loading, tab availability, every
// check with its message, tab and focus, and what OK and Apply save.
#include "editors/session_modify.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "editor_fixture.h"

namespace netvane::testing {
namespace {

using editors::frmSessionModify;
using store::LocationRecord;

constexpr int kAdslTab = 1;
constexpr int kTcpTab = 2;
constexpr int kProxyTab = 4;

class SessionModifyTest : public ::testing::Test, public EditorFixture {
 protected:
  SessionModifyTest() {
    fake.shell.files = {"/opt/dial/dial.exe"};
    printers.names = {QStringLiteral("Office Laser"), QStringLiteral("Lab Color")};
  }

  LocationRecord Stored(int16_t id, const std::string& name, const std::string& kind) {
    LocationRecord r;
    r.LocationId = id;
    r.SessionName = name;
    r.NIC_ID = "svcb";
    r.NIC_NAME = "Card B";
    r.ServiceType = kind;
    if (store::CarriesTcpIp(kind)) {
      r.IPAddress = "10.0.0.5";
      r.SubnetMask = "255.255.255.0";
      r.Gateway = "10.0.0.1,10.0.0";
      r.DNS = "10.0.0.53,,10.0.0.54";
    }
    if (kind != "USE_DHCP" && kind != "USE_STATIC_IP" && kind != "USE_CABLE_MODEM") {
      r.ExecutePath = "/opt/dial/dial.exe";
    }
    return r;
  }
  void Store(const LocationRecord& r) {
    ASSERT_TRUE(locations.SaveLocation(r.LocationId, r));
    locations.LoadLocations(state.LocationTable);
  }
  // A value under location `id`'s key, as the registry file holds it.
  store::ReadResult Value(int16_t id, const char* name) {
    return access.ReadValue(platform::kHkeyLocalMachine, store::LocationKeyPath(id), name);
  }
  // An editor on location `id`, loaded and shown.
  std::unique_ptr<frmSessionModify> Open(int16_t id) {
    auto w = std::make_unique<frmSessionModify>(services);
    w->SelectedSessionID = id;
    EXPECT_TRUE(w->Load());
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    return w;
  }
  // On the button's indicator: option buttons and check boxes answer only there and on
  // their text, not on the rest of a row the layout stretched.
  static void Click(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
  }
  // Tabs 1 and 2 available?
  static std::pair<bool, bool> Tabs(frmSessionModify& w) {
    return {w.tabSession()->isTabEnabled(kAdslTab), w.tabSession()->isTabEnabled(kTcpTab)};
  }
};

TEST_F(SessionModifyTest, AMissingLocationClosesAtOnceAndSavesNothing) {
  frmSessionModify w(services);
  w.SelectedSessionID = 9;
  EXPECT_FALSE(w.Load());
  EXPECT_TRUE(SubkeyNames(fake.registry.registry(), platform::kHkeyLocalMachine,
                          "SOFTWARE\\Orlenta\\SessionInfo")
                  .empty());
}

TEST_F(SessionModifyTest, APppLocationOpensWithItsKindTabsAndValues) {
  Store(Stored(4, "Dial", "USE_HANARO_OUT_PPP_MODEM"));
  auto w = Open(4);
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Netvane 2.0 - Location Settings Modify"));
  EXPECT_EQ(w->tabSession()->currentIndex(), 0);
  EXPECT_TRUE(w->optStep1(3)->isChecked());
  EXPECT_TRUE(w->optStep2(2)->isChecked());
  EXPECT_EQ(Tabs(*w), (std::pair{true, true}));
  EXPECT_EQ(w->txtProgramName()->text(), QStringLiteral("/opt/dial/dial.exe"));
  // Search, then Cancel in the file dialog: the path stays.
  Click(w->findChild<QPushButton*>(QStringLiteral("cmdSearch")));
  EXPECT_EQ(files.asked, 1);
  EXPECT_EQ(w->txtProgramName()->text(), QStringLiteral("/opt/dial/dial.exe"));
  EXPECT_EQ(w->txtIP()->GetIp(), QStringLiteral("10.0.0.5"));
  EXPECT_EQ(w->cboNIC()->currentText(), QStringLiteral("Card B"));  // identifier in another case
  // Broken pieces of the stored lists are dropped.
  ASSERT_EQ(w->lstGateway()->count(), 1);
  EXPECT_EQ(w->lstGateway()->item(0)->text(), QStringLiteral("10.0.0.1"));
  EXPECT_EQ(w->lstDNS()->count(), 2);

  // Away to a static address and back: PPP is still chosen, so TCP/IP stays available.
  Click(w->optStep1(1));
  EXPECT_EQ(Tabs(*w), (std::pair{false, true}));
  Click(w->optStep1(3));
  EXPECT_EQ(Tabs(*w), (std::pair{true, true}));
  w->tabSession()->setCurrentIndex(kAdslTab);
  Click(w->optStep2(1));
  EXPECT_EQ(Tabs(*w), (std::pair{true, false}));
  Click(w->optStep1(4));
  EXPECT_EQ(Tabs(*w), (std::pair{true, false}));
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(w->optStep2(i)->isEnabled());
  Click(w->optStep1(3));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(w->optStep2(i)->isEnabled());
  Click(w->optStep1(0));
  EXPECT_EQ(Tabs(*w), (std::pair{false, false}));
  EXPECT_EQ(w->optStep1(4)->text(), QString::fromUtf8("한국통신 ADSL 방식"));

  // Saving writes back only what the controls hold.
  Click(w->optStep1(3));
  w->tabSession()->setCurrentIndex(kAdslTab);
  Click(w->optStep2(2));
  Click(w->cmdOK());
  ASSERT_EQ(w->result(), QDialog::Accepted);
  const LocationRecord saved = locations.LoadLocation(4);
  EXPECT_EQ(saved.ServiceType, "USE_HANARO_OUT_PPP_MODEM");
  EXPECT_EQ(saved.Gateway, "10.0.0.1");
  EXPECT_EQ(saved.DNS, "10.0.0.53,10.0.0.54");
  EXPECT_EQ(saved.NIC_ID, "SvcB");
}

TEST_F(SessionModifyTest, AStaticLocationChangedToDhcpSavesWithoutAddresses) {
  Store(Stored(2, "Office", "USE_STATIC_IP"));
  auto w = Open(2);
  EXPECT_EQ(Tabs(*w), (std::pair{false, true}));
  w->txtIP()->txtOctet(1)->clear();  // not validated for a dynamic kind
  Click(w->optStep1(0));
  Click(w->cmdOK());
  ASSERT_TRUE(prompt.shown.empty());
  EXPECT_EQ(SubkeyNames(fake.registry.registry(), platform::kHkeyLocalMachine,
                        "SOFTWARE\\Orlenta\\SessionInfo\\2"),
            std::vector<std::string>{});
  EXPECT_EQ(locations.LoadLocation(2).ServiceType, "USE_DHCP");
}

TEST_F(SessionModifyTest, NamesMayStayOrChangeCaseButNotTakeAnothersName) {
  Store(Stored(1, "Office", "USE_DHCP"));
  Store(Stored(2, "Home", "USE_DHCP"));
  auto w = Open(2);
  w->txtSessionName()->setText(QStringLiteral("  Home "));
  Click(w->cmdApply());
  EXPECT_TRUE(prompt.shown.empty());
  w->txtSessionName()->setText(QStringLiteral("Office"));
  Click(w->cmdApply());
  ASSERT_EQ(Messages(), std::vector<std::string>{
                            "This location name is already in use.\r\nInput new location name."});
  EXPECT_EQ(prompt.shown[0].icon, engine::PromptIcon::kInformation);
  EXPECT_TRUE(HasFocusIn(w.get(), w->txtSessionName()));
  w->txtSessionName()->setText(QStringLiteral("office"));
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.size(), 1u);
  EXPECT_EQ(locations.LoadLocation(2).SessionName, "office");
  w->txtSessionName()->setText(QStringLiteral("   "));
  Click(w->cmdOK());
  EXPECT_EQ(prompt.shown.back().text, "Input location name.");
  EXPECT_NE(w->result(), QDialog::Accepted);
}

TEST_F(SessionModifyTest, EachCheckShowsItsTabAndFocusesItsControl) {
  Store(Stored(3, "Dial", "USE_HANARO_OUT_PPP_MODEM"));
  auto w = Open(3);
  // The program file is gone: E3 on the ADSL tab.
  fake.shell.files.clear();
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.back().text, "You should choose a launch program.");
  EXPECT_EQ(w->tabSession()->currentIndex(), kAdslTab);
  EXPECT_TRUE(HasFocusIn(w.get(), w->txtProgramName()));
  fake.shell.files = {"/opt/dial/dial.exe"};

  w->tabSession()->setCurrentIndex(0);
  w->txtIP()->txtOctet(4)->clear();
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.back().text, "Invalid IP address. Please, check!");
  EXPECT_EQ(w->tabSession()->currentIndex(), kTcpTab);
  EXPECT_TRUE(HasFocusIn(w.get(), w->txtIP()));
  QString ip = QStringLiteral("10.0.0.6");
  w->txtIP()->SetIP(ip);
  w->txtSubnet()->txtOctet(2)->setText(QStringLiteral("x"));
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.back().text, "Invalid Subnet Mask. Please, check!");
  EXPECT_TRUE(HasFocusIn(w.get(), w->txtSubnet()));
  QString mask = QStringLiteral("255.255.0.0");
  w->txtSubnet()->SetIP(mask);

  // Per protocol: a port without an address is checked before an address without a port.
  Click(w->chkExpNotUse());
  w->txtExpPort(2)->setText(QStringLiteral("21"));
  w->txtExpKind(0)->setText(QStringLiteral("10.0.0.1"));
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.back().text, "Input porxy server address.");
  EXPECT_EQ(w->tabSession()->currentIndex(), kProxyTab);
  EXPECT_TRUE(HasFocusIn(w.get(), w->txtExpKind(2)));
  w->txtExpKind(2)->setText(QStringLiteral("ftp.proxy"));
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.back().text, "Input port number.");
  EXPECT_TRUE(HasFocusIn(w.get(), w->txtExpPort(0)));
  // With one proxy for all: only row 0 counts.
  Click(w->chkExpAll());
  w->txtExpKind(0)->clear();
  w->txtExpPort(0)->setText(QStringLiteral("8080"));
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.back().text, "Input proxy server address.");
  EXPECT_TRUE(HasFocusIn(w.get(), w->txtExpKind(0)));
  w->txtExpKind(0)->setText(QStringLiteral("proxy"));
  w->txtExpPort(0)->clear();
  Click(w->cmdApply());
  EXPECT_EQ(prompt.shown.back().text, "Input port number.");
  EXPECT_EQ(prompt.shown.size(), 7u);
  for (const auto& shown : prompt.shown) EXPECT_EQ(shown.buttons, engine::PromptButtons::kOk);
  // Nothing was saved on the way: the stored location still has the old address.
  EXPECT_EQ(locations.LoadLocation(3).IPAddress, "10.0.0.5");
}

TEST_F(SessionModifyTest, ProxyRowsFollowTheirCheckBoxes) {
  Store(Stored(5, "Proxy", "USE_DHCP"));
  auto w = Open(5);
  EXPECT_TRUE(w->chkExpNotUse()->isChecked());  // no proxy stored
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(w->txtExpKind(i)->isEnabled());
  Click(w->chkExpNotUse());
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(w->txtExpPort(i)->isEnabled());

  // All ten empty: saved without a proxy.
  Click(w->cmdApply());
  EXPECT_FALSE(locations.LoadLocation(5).UseProxy);

  // One proxy for all with text left in a disabled row: the row is ignored.
  w->txtExpKind(2)->setText(QStringLiteral("stale"));
  Click(w->chkExpAll());
  EXPECT_TRUE(w->txtExpKind(0)->isEnabled());
  EXPECT_FALSE(w->txtExpKind(2)->isEnabled());
  Click(w->cmdApply());
  LocationRecord saved = locations.LoadLocation(5);
  EXPECT_TRUE(saved.UseProxy);
  EXPECT_TRUE(saved.IEProxy.AllProtocolSameProxy);
  EXPECT_EQ(saved.IEProxy.DefaultAddress, "");
  EXPECT_EQ(saved.IEProxy.FTPAddress, "");

  // Not using a proxy after entering some: none saved, the texts stay in the boxes.
  Click(w->chkExpNotUse());
  EXPECT_FALSE(w->chkExpAll()->isChecked());
  Click(w->cmdApply());
  EXPECT_FALSE(locations.LoadLocation(5).UseProxy);
  EXPECT_EQ(w->txtExpKind(2)->text(), QStringLiteral("stale"));

  // Per protocol, reloaded into the rows.
  Click(w->chkExpNotUse());
  w->txtExpKind(2)->setText(QStringLiteral(" ftp.proxy "));
  w->txtExpPort(2)->setText(QStringLiteral("21"));
  Click(w->cmdOK());
  saved = locations.LoadLocation(5);
  EXPECT_FALSE(saved.IEProxy.AllProtocolSameProxy);
  EXPECT_EQ(saved.IEProxy.FTPAddress, "ftp.proxy");
  EXPECT_EQ(saved.IEProxy.FTPPort, "21");
  locations.LoadLocations(state.LocationTable);
  auto again = Open(5);
  EXPECT_EQ(again->txtExpKind(2)->text(), QStringLiteral("ftp.proxy"));
  EXPECT_FALSE(again->chkExpNotUse()->isChecked());
}

TEST_F(SessionModifyTest, AtMostOnePrinterCarriesACheckMark) {
  LocationRecord r = Stored(6, "Print", "USE_DHCP");
  r.UseWinNetwork = true;
  r.DefaultPrinter = "Lab Color";
  Store(r);
  auto w = Open(6);
  QTreeWidget* list = w->lstPrinter();
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("Installed printer drivers"));
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);
  // The user ticks the other row: the first loses its mark.
  list->topLevelItem(0)->setCheckState(0, Qt::Checked);
  EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
  Click(w->cmdApply());
  EXPECT_EQ(locations.LoadLocation(6).DefaultPrinter, "Office Laser");
  // Clicking a row toggles its mark.
  w->tabSession()->setCurrentIndex(3);
  const QRect row = list->visualItemRect(list->topLevelItem(0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
  Click(w->cmdApply());
  EXPECT_FALSE(locations.LoadLocation(6).UseWinNetwork);
  EXPECT_EQ(locations.LoadLocation(6).DefaultPrinter, "");
  // A click on the tick box itself toggles that row once and clears the other.
  list->topLevelItem(0)->setCheckState(0, Qt::Checked);
  const QRect second = list->visualItemRect(list->topLevelItem(1));
  QStyleOptionViewItem option;
  option.initFrom(list);
  option.rect = second;
  option.features |= QStyleOptionViewItem::HasCheckIndicator;
  const QRect box =
      list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
  EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);
  EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
}

TEST_F(SessionModifyTest, APrinterNoLongerInstalledIsDropped) {
  LocationRecord r = Stored(7, "Gone", "USE_DHCP");
  r.UseWinNetwork = true;
  r.DefaultPrinter = "Removed Printer";
  Store(r);
  auto w = Open(7);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(w->lstPrinter()->topLevelItem(i)->checkState(0), Qt::Unchecked);
  Click(w->cmdOK());
  EXPECT_FALSE(locations.LoadLocation(7).UseWinNetwork);
}

TEST_F(SessionModifyTest, TwoApplyPressesSaveTwiceWithTheirOwnStamps) {
  LocationRecord r = Stored(8, "Stamp", "USE_STATIC_IP");
  r.SessionActive = true;
  Store(r);
  state.settings.NextLease = 500;
  auto w = Open(8);
  Click(w->cmdApply());
  EXPECT_EQ(locations.LoadLocation(8).Lease, 500);
  Click(w->cmdApply());
  EXPECT_EQ(locations.LoadLocation(8).Lease, 499);
  EXPECT_EQ(state.settings.NextLease, 498);
  EXPECT_TRUE(w->isVisible());  // Apply leaves the window open
  // The active mark is kept; an inactive location stays inactive.
  EXPECT_TRUE(locations.LoadLocation(8).SessionActive);
  Store(Stored(9, "Idle", "USE_DHCP"));
  auto other = Open(9);
  Click(other->cmdOK());
  EXPECT_FALSE(locations.LoadLocation(9).SessionActive);
}

TEST_F(SessionModifyTest, TheRecognitionBoxLoadsAndSavesTheFlag) {
  Store(Stored(2, "Office", "USE_DHCP"));
  auto w = Open(2);
  QCheckBox* box = w->findChild<QCheckBox*>(QStringLiteral("chkApplyWhenRecognised"));
  ASSERT_TRUE(box != nullptr && box->isVisible() && box->isEnabled());
  EXPECT_EQ(box->text(),
            QStringLiteral("Apply automatically when Netvane recognises this network"));
  EXPECT_EQ(box->toolTip(), QStringLiteral("Netvane remembers a network when this location has "
                                           "been applied successfully."));
  EXPECT_FALSE(box->isChecked());
  Click(box);
  Click(w->cmdApply());
  EXPECT_EQ(Value(2, "ApplyWhenRecognised").text, "Yes");
  locations.LoadLocations(state.LocationTable);
  auto again = Open(2);
  EXPECT_TRUE(again->chkApplyWhenRecognised()->isChecked());
  Click(again->chkApplyWhenRecognised());
  Click(again->cmdOK());
  EXPECT_EQ(Value(2, "ApplyWhenRecognised").code, platform::kErrorFileNotFound);
}

TEST_F(SessionModifyTest, TheRememberedNetworkGoesOnlyWithAnotherAdapter) {
  LocationRecord r = Stored(3, "Office", "USE_STATIC_IP");
  r.Network = {"10.0.0.1", "00:11:22:33:44:55", "", "10.0.0.0/24"};
  Store(r);
  auto w = Open(3);
  // Recorded while the window was open: the newer print is the one kept.
  state.LocationTable[0].Network.GatewayMAC = "00:11:22:33:44:66";
  w->txtSessionName()->setText(QStringLiteral("Office 2"));
  Click(w->optStep1(0));
  Click(w->cmdApply());
  EXPECT_EQ(Value(3, "NetworkGateway").text, "10.0.0.1");
  EXPECT_EQ(Value(3, "NetworkGatewayMAC").text, "00:11:22:33:44:66");
  EXPECT_EQ(Value(3, "NetworkPrefix").text, "10.0.0.0/24");
  w->cboNIC()->setCurrentIndex(0);
  Click(w->cmdApply());
  EXPECT_EQ(Value(3, "NIC_ID").text, "SvcA");
  EXPECT_TRUE(locations.LoadLocation(3).Network.empty());
}

TEST_F(SessionModifyTest, AFailedSaveShowsItsMessageAndKeepsTheWindow) {
  Store(Stored(1, "Keep", "USE_DHCP"));
  FailingRegistry failing(fake.registry.registry(), 3);
  store::RegistryAccess failing_access(failing, fake.registry.codepage());
  store::LocationStore failing_store(failing_access);
  editors::EditorServices broken{state,  failing_store, settings_store, access, fake.shell,
                                 prompt, files,         printers,       dialogs};
  const double lease = state.settings.NextLease;
  frmSessionModify w(broken);
  w.SelectedSessionID = 1;
  ASSERT_TRUE(w.Load());
  w.txtSessionName()->setText(QStringLiteral("Renamed"));
  EXPECT_FALSE(w.SaveEditedLocation());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Error in saving location data."});
  EXPECT_EQ(prompt.shown[0].icon, engine::PromptIcon::kCritical);
  EXPECT_EQ(state.settings.NextLease, lease);
  // The location is still there as it was.
  EXPECT_EQ(locations.LoadLocation(1).SessionName, "Keep");
}

}  // namespace
}  // namespace netvane::testing
