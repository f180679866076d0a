// The new-location wizard through its real widgets: the pages each kind visits in both
// directions, every message in its order with the focus where it belongs, and what it saves.
#include "editors/session_new.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "editor_fixture.h"
#include "editors/printer_dialog.h"
#include "editors/proxy_dialog.h"

namespace netvane::testing {
namespace {

using editors::frmSessionNew;

class SessionNewTest : public ::testing::Test, public EditorFixture {
 protected:
  SessionNewTest() { fake.shell.files = {"/opt/dial/Dial.exe"}; }

  // The page shown, checked against the stack: exactly one page is visible.
  static int Page(frmSessionNew& w) {
    int shown = -1;
    for (int i = 0; i < 6; ++i) {
      if (w.pnlStep(i)->isVisible()) {
        EXPECT_EQ(shown, -1) << "two pages visible";
        shown = i;
      }
    }
    EXPECT_EQ(shown, w.m_Step());
    return shown;
  }
  static void Click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  static void SetAddress(editors::IpAddressControl* box, const char* text) {
    QString ip = QString::fromLatin1(text);
    ASSERT_TRUE(box->SetIP(ip)) << text;
  }
  void Open(frmSessionNew& w) {
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  }
};

struct Path {
  int kind;
  int adsl;
  std::vector<int> pages;
  const char* service_type;
};

TEST_F(SessionNewTest, EveryKindVisitsItsPagesAndPreviousRetracesThem) {
  const Path paths[] = {
      {0, -1, {0, 1, 5}, "USE_DHCP"},
      {1, -1, {0, 1, 4, 5}, "USE_STATIC_IP"},
      {2, -1, {0, 1, 5}, "USE_CABLE_MODEM"},
      {3, 0, {0, 1, 2, 3, 5}, "USE_HANARO_IN_MODEM"},
      {3, 1, {0, 1, 2, 3, 5}, "USE_HANARO_USB_MODEM"},
      {3, 2, {0, 1, 2, 3, 4, 5}, "USE_HANARO_OUT_PPP_MODEM"},
      {3, 3, {0, 1, 2, 3, 5}, "USE_HANARO_OUT_RAS_MODEM"},
      {4, -1, {0, 1, 3, 5}, "USE_KT_ADSL"},
  };
  int16_t id = 0;
  for (const Path& p : paths) {
    SCOPED_TRACE(p.service_type);
    frmSessionNew w(services);
    Open(w);
    EXPECT_EQ(Page(w), 0);
    EXPECT_FALSE(w.cmdPrev()->isEnabled());
    EXPECT_TRUE(w.optStep1(1)->isChecked());
    EXPECT_TRUE(w.optStep2(0)->isChecked());
    w.txtSessionName()->setText(QString::fromLatin1(p.service_type));
    w.cboNIC()->setCurrentIndex(1);
    w.optStep1(p.kind)->setChecked(true);
    if (p.adsl >= 0) w.optStep2(p.adsl)->setChecked(true);
    w.txtProgramName()->setText(QStringLiteral("/opt/dial/Dial.exe"));
    SetAddress(w.txtIP(), "10.0.0.9");
    SetAddress(w.txtSubnet(), "255.255.0.0");

    std::vector<int> visited = {Page(w)};
    while (Page(w) != 5) {
      Click(w.cmdNext());
      ASSERT_TRUE(prompt.shown.empty()) << prompt.shown[0].text;
      visited.push_back(Page(w));
      EXPECT_TRUE(w.cmdPrev()->isEnabled());
    }
    EXPECT_EQ(visited, p.pages);
    EXPECT_EQ(w.cmdNext()->text(), QStringLiteral("OK"));

    std::vector<int> back = {Page(w)};
    while (Page(w) != 0) {
      Click(w.cmdPrev());
      back.push_back(Page(w));
      EXPECT_EQ(w.cmdNext()->text(), QStringLiteral("Next >>"));
    }
    EXPECT_EQ(back, std::vector<int>(p.pages.rbegin(), p.pages.rend()));
    EXPECT_FALSE(w.cmdPrev()->isEnabled());

    while (Page(w) != 5) Click(w.cmdNext());
    Click(w.cmdNext());
    ASSERT_TRUE(prompt.shown.empty());
    EXPECT_EQ(w.result(), QDialog::Accepted);
    const store::LocationRecord saved = locations.LoadLocation(++id);
    EXPECT_EQ(saved.SessionName, p.service_type);
    EXPECT_EQ(saved.ServiceType, p.service_type);
    EXPECT_EQ(saved.NIC_ID, "SvcB");
    EXPECT_EQ(saved.NIC_NAME, "Card B");
    EXPECT_FALSE(saved.SessionActive);
    const bool launches = p.kind >= 3;
    EXPECT_EQ(saved.ExecutePath, launches ? "/opt/dial/Dial.exe" : "");
    EXPECT_EQ(saved.IPAddress, store::CarriesTcpIp(p.service_type) ? "10.0.0.9" : "");
    EXPECT_EQ(state.HighestLocationId, id);
    EXPECT_EQ(state.LocationTable.size(), static_cast<size_t>(id));
  }
}

TEST_F(SessionNewTest, PageZeroChecksNameAndAdapterInOrder) {
  store::LocationRecord office;
  office.SessionName = "Office";
  ASSERT_TRUE(locations.SaveLocation(1, office));
  locations.LoadLocations(state.LocationTable);
  frmSessionNew w(services);
  Open(w);
  EXPECT_TRUE(HasFocusIn(&w, w.txtSessionName()));

  // Enter in the name box acts as Next: with only blanks, M1.
  w.txtSessionName()->setText(QStringLiteral("   "));
  QTest::keyClick(w.txtSessionName(), Qt::Key_Return);
  ASSERT_EQ(Messages(), std::vector<std::string>{"Input location name."});
  EXPECT_EQ(prompt.shown[0].icon, engine::PromptIcon::kNone);
  EXPECT_TRUE(HasFocusIn(&w, w.txtSessionName()));
  EXPECT_EQ(Page(w), 0);

  w.txtSessionName()->setText(QStringLiteral("  Office  "));
  Click(w.cmdNext());
  EXPECT_EQ(prompt.shown.back().text,
            "The location name is already in use.\r\nInput new location name.");
  EXPECT_EQ(w.txtSessionName()->text(), QStringLiteral("Office"));
  EXPECT_EQ(Page(w), 0);

  w.txtSessionName()->setText(QStringLiteral("  office  "));
  Click(w.cmdNext());
  EXPECT_EQ(prompt.shown.size(), 2u);
  EXPECT_EQ(Page(w), 1);
  EXPECT_EQ(w.m_Location().SessionName, "office");
  EXPECT_EQ(w.m_Location().NIC_ID, "SvcA");
}

TEST_F(SessionNewTest, WithoutAdaptersPageZeroCannotBePassed) {
  state.AdapterTable.clear();
  frmSessionNew w(services);
  Open(w);
  w.txtSessionName()->setText(QStringLiteral("Lab"));
  for (int i = 0; i < 2; ++i) Click(w.cmdNext());
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Select LAN adapter for current location.",
                                                  "Select LAN adapter for current location."}));
  EXPECT_TRUE(HasFocusIn(&w, w.cboNIC()));
  EXPECT_EQ(Page(w), 0);
}

TEST_F(SessionNewTest, TheLaunchProgramMustBeAnExistingFile) {
  frmSessionNew w(services);
  Open(w);
  w.txtSessionName()->setText(QStringLiteral("Dial"));
  Click(w.cmdNext());
  w.optStep1(4)->setChecked(true);
  Click(w.cmdNext());
  ASSERT_EQ(Page(w), 3);
  w.txtProgramName()->setText(QStringLiteral("  "));
  Click(w.cmdNext());
  w.txtProgramName()->setText(QStringLiteral("/opt/dial"));  // a folder: not found as a file
  Click(w.cmdNext());
  w.txtProgramName()->setText(QStringLiteral("/opt/dial/missing.exe"));
  QTest::keyClick(w.txtProgramName(), Qt::Key_Enter);
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"You should choose a launch program.",
                                      "Invalid a launch program. Please,Check it again.",
                                      "Invalid a launch program. Please,Check it again."}));
  EXPECT_TRUE(HasFocusIn(&w, w.txtProgramName()));
  // The name part compares without regard to case.
  w.txtProgramName()->setText(QStringLiteral("/opt/dial/dial.EXE"));
  fake.shell.files.push_back("/opt/dial/dial.EXE");
  Click(w.cmdNext());
  EXPECT_EQ(Page(w), 5);

  // Search puts the dialog's file into the box.
  Click(w.cmdPrev());
  files.answer = QStringLiteral("/chosen/file");
  Click(w.findChild<QPushButton*>(QStringLiteral("cmdSearch")));
  EXPECT_EQ(w.txtProgramName()->text(), QStringLiteral("/chosen/file"));
  EXPECT_EQ(files.asked, 1);
  // Cancel in the file dialog keeps what was typed.
  files.answer.clear();
  Click(w.findChild<QPushButton*>(QStringLiteral("cmdSearch")));
  EXPECT_EQ(w.txtProgramName()->text(), QStringLiteral("/chosen/file"));
}

TEST_F(SessionNewTest, TcpIpPageChecksAddressThenMaskAndJoinsTheLists) {
  frmSessionNew w(services);
  Open(w);
  w.txtSessionName()->setText(QStringLiteral("Static"));
  Click(w.cmdNext());
  Click(w.cmdNext());  // "Specify an IP address" is the default
  ASSERT_EQ(Page(w), 4);
  Click(w.cmdNext());
  EXPECT_EQ(prompt.shown.back().text, "Invalid IP address. Please, check!");
  EXPECT_EQ(prompt.shown.back().icon, engine::PromptIcon::kInformation);
  EXPECT_TRUE(HasFocusIn(&w, w.txtIP()));
  SetAddress(w.txtIP(), "10.0.0.5");
  Click(w.cmdNext());
  EXPECT_EQ(prompt.shown.back().text, "Invalid Subnet Mask address. Please, check!");
  EXPECT_TRUE(HasFocusIn(&w, w.txtSubnet()));
  SetAddress(w.txtSubnet(), "255.0.255.0");  // only the octet ranges are checked

  auto* add = w.findChild<QPushButton*>(QStringLiteral("cmdAddGateway"));
  auto* remove = w.findChild<QPushButton*>(QStringLiteral("cmdDelGateway"));
  SetAddress(w.txtGateway(), "10.0.0.1");
  Click(add);
  SetAddress(w.txtGateway(), "10.0.0.2");
  Click(add);
  // An incomplete address adds nothing and says nothing.
  const size_t messages = prompt.shown.size();
  w.txtGateway()->txtOctet(3)->clear();
  Click(add);
  EXPECT_EQ(w.lstGateway()->count(), 2);
  EXPECT_EQ(prompt.shown.size(), messages);
  // Typed but not added: not stored.
  SetAddress(w.txtDNS(), "10.0.0.53");
  Click(w.cmdNext());
  EXPECT_EQ(w.m_Location().Gateway, "10.0.0.1,10.0.0.2");
  EXPECT_EQ(w.m_Location().DNS, "");
  EXPECT_EQ(w.m_Location().SubnetMask, "255.0.255.0");

  // Back again, Remove without a selection does nothing; with one, removes it.
  Click(w.cmdPrev());
  w.lstGateway()->clearSelection();
  w.lstGateway()->setCurrentRow(-1);
  Click(remove);
  EXPECT_EQ(w.lstGateway()->count(), 2);
  for (int i = 0; i < 2; ++i) {
    w.lstGateway()->setCurrentRow(0);
    Click(remove);
  }
  Click(w.cmdNext());
  EXPECT_EQ(w.m_Location().Gateway, "");
}

TEST_F(SessionNewTest, SavingStampsTheLeaseAndCountsNextLeaseDown) {
  state.settings.NextLease = 0;
  frmSessionNew w(services);
  Open(w);
  w.txtSessionName()->setText(QStringLiteral("Home"));
  Click(w.cmdNext());
  w.optStep1(0)->setChecked(true);
  Click(w.cmdNext());
  Click(w.cmdNext());
  ASSERT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(state.settings.NextLease, 16777215);
  EXPECT_EQ(
      access.ReadValue(platform::kHkeyLocalMachine, "Software\\Orlenta\\Netvane 2.0", "NextLease")
          .text,
      "16777215");
  ASSERT_EQ(state.LocationTable.size(), 1u);
  EXPECT_EQ(state.LocationTable[0].ServiceType, "USE_DHCP");
  EXPECT_EQ(state.LocationTable[0].LocationId, 1);
}

TEST_F(SessionNewTest, TheLastPageSavesTheRecognitionBox) {
  frmSessionNew w(services);
  Open(w);
  w.txtSessionName()->setText(QStringLiteral("Home"));
  Click(w.cmdNext());
  w.optStep1(0)->setChecked(true);
  Click(w.cmdNext());
  ASSERT_EQ(Page(w), 5);
  QCheckBox* box = w.findChild<QCheckBox*>(QStringLiteral("chkApplyWhenRecognised"));
  ASSERT_TRUE(box != nullptr && box->isVisible() && !box->isChecked());
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  Click(w.cmdNext());
  ASSERT_EQ(w.result(), QDialog::Accepted);
  const std::string key = store::LocationKeyPath(1);
  EXPECT_EQ(access.ReadValue(platform::kHkeyLocalMachine, key, "ApplyWhenRecognised").text, "Yes");
  EXPECT_EQ(access.ReadValue(platform::kHkeyLocalMachine, key, "NetworkGateway").code,
            platform::kErrorFileNotFound);
}

TEST_F(SessionNewTest, PendingProxyOfACancelledWizardGoesWithTheNextLocation) {
  {
    frmSessionNew first(services);
    Open(first);
    first.txtSessionName()->setText(QStringLiteral("First"));
    Click(first.cmdNext());
    first.optStep1(0)->setChecked(true);
    Click(first.cmdNext());
    dialogs.script = [](QDialog& d) {
      auto& proxy = dynamic_cast<editors::frmProxy&>(d);
      proxy.txtExpKind(0)->setText(QStringLiteral("10.0.0.1"));
      proxy.txtExpPort(0)->setText(QStringLiteral("3128"));
      QTest::mouseClick(proxy.cmdOK(), Qt::LeftButton);
    };
    Click(first.findChild<QPushButton*>(QStringLiteral("cmdProxy")));
    printers.names = {QStringLiteral("P1"), QStringLiteral("P2")};
    dialogs.script = [](QDialog& d) {
      auto& printer = dynamic_cast<editors::frmPrinter&>(d);
      printer.lstPrinter()->topLevelItem(1)->setCheckState(0, Qt::Checked);
      QTest::mouseClick(printer.cmdOK(), Qt::LeftButton);
    };
    Click(first.findChild<QPushButton*>(QStringLiteral("cmdPrinter")));
    Click(first.cmdCancel());
    EXPECT_EQ(first.result(), QDialog::Rejected);
  }
  EXPECT_TRUE(locations.LoadLocation(1).SessionName.empty());
  EXPECT_TRUE(state.PendingProxySet);

  frmSessionNew second(services);
  Open(second);
  second.txtSessionName()->setText(QStringLiteral("Second"));
  Click(second.cmdNext());
  second.optStep1(2)->setChecked(true);
  Click(second.cmdNext());
  Click(second.cmdNext());
  ASSERT_EQ(second.result(), QDialog::Accepted);
  const store::LocationRecord saved = locations.LoadLocation(1);
  EXPECT_TRUE(saved.UseProxy);
  EXPECT_TRUE(saved.UseIEProxy);
  EXPECT_FALSE(saved.UseNCProxy);
  EXPECT_FALSE(saved.IENC_SameProxy);
  EXPECT_EQ(saved.IEProxy.HTTPAddress, "10.0.0.1");
  EXPECT_EQ(saved.IEProxy.HTTPPort, "3128");
  EXPECT_TRUE(saved.UseWinNetwork);
  EXPECT_EQ(saved.DefaultPrinter, "P2");
  // Taken over by the save: nothing is pending any more.
  EXPECT_FALSE(state.PendingProxySet);
  EXPECT_FALSE(state.PendingPrinterSet);
  EXPECT_EQ(state.PendingPrinterName, "");
}

TEST_F(SessionNewTest, AFailedSaveStaysOnTheLastPageAndTriesTheNextNumber) {
  FailingRegistry failing(fake.registry.registry(), 1);
  store::RegistryAccess failing_access(failing, fake.registry.codepage());
  store::LocationStore failing_store(failing_access);
  editors::EditorServices broken{state,  failing_store, settings_store, access, fake.shell,
                                 prompt, files,         printers,       dialogs};
  state.settings.NextLease = 77;
  frmSessionNew w(broken);
  Open(w);
  w.txtSessionName()->setText(QStringLiteral("Retry"));
  Click(w.cmdNext());
  w.optStep1(0)->setChecked(true);
  Click(w.cmdNext());
  Click(w.cmdNext());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Error in Saving current location data."});
  EXPECT_EQ(Page(w), 5);
  EXPECT_EQ(w.cmdNext()->text(), QStringLiteral("OK"));
  EXPECT_EQ(state.HighestLocationId, 1);
  EXPECT_EQ(state.settings.NextLease, 77);
  EXPECT_FALSE(w.result() == QDialog::Accepted);
  Click(w.cmdNext());
  EXPECT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(locations.LoadLocation(2).SessionName, "Retry");
  EXPECT_EQ(state.settings.NextLease, 76);
}

TEST_F(SessionNewTest, PastTheLargestIdTheLowestFreeOneIsUsed) {
  for (int16_t id : {1, 2, 32767}) {
    store::LocationRecord r;
    r.SessionName = "L" + std::to_string(id);
    ASSERT_TRUE(locations.SaveLocation(id, r));
  }
  locations.LoadLocations(state.LocationTable);
  state.HighestLocationId = 32767;
  frmSessionNew w(services);
  Open(w);
  w.txtSessionName()->setText(QStringLiteral("Wraps"));
  Click(w.cmdNext());
  w.optStep1(0)->setChecked(true);
  Click(w.cmdNext());
  Click(w.cmdNext());
  ASSERT_EQ(w.result(), QDialog::Accepted);
  EXPECT_EQ(locations.LoadLocation(3).SessionName, "Wraps");
  EXPECT_EQ(state.HighestLocationId, 32767);
}

TEST_F(SessionNewTest, CaptionsAreTheProgramsOwn) {
  frmSessionNew w(services);
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Netvane 2.0 - New Location"));
  EXPECT_EQ(w.optStep1(4)->text(), QString::fromUtf8("한통 ADSL 방식"));
  EXPECT_EQ(w.findChild<QWidget*>(QStringLiteral("Label7"))->property("text").toString(),
            QStringLiteral("Choose the way  how to set TCP/IP properties. "));
  EXPECT_EQ(w.findChild<QWidget*>(QStringLiteral("Label10"))->property("text").toString(),
            QStringLiteral("- If you want to set proxy server, press this botton."));
  EXPECT_EQ(w.cboNIC()->itemData(1).toString(), QStringLiteral("K_0001SvcB"));
}

}  // namespace
}  // namespace netvane::testing
