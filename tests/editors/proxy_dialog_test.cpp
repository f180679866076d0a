#include "editors/proxy_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <array>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "test_support.h"

namespace {

using netvane::editors::frmProxy;
using netvane::engine::PromptButtons;
using netvane::engine::PromptIcon;
using netvane::store::ProxySettings;

class ProxyDialogTest : public ::testing::Test {
 protected:
  std::unique_ptr<frmProxy> Open() {
    auto dialog = std::make_unique<frmProxy>(state_, prompt_);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }

  static void Type(QLineEdit* box, const QString& text) { QTest::keyClicks(box, text); }

  // Clicks the tick box itself, as a user would.
  static void ClickAllProtocols(frmProxy& dialog) {
    QCheckBox* box = dialog.ChkExpALL();
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
  }

  static QColor Back(const QLineEdit* box) { return box->palette().color(QPalette::Base); }

  using Rows = std::array<std::pair<std::string, std::string>, 5>;

  static ProxySettings PerProtocol(const Rows& r) {
    ProxySettings p;
    std::tie(p.HTTPAddress, p.HTTPPort) = r[0];
    std::tie(p.SecureAddress, p.SecurePort) = r[1];
    std::tie(p.FTPAddress, p.FTPPort) = r[2];
    std::tie(p.GopherAddress, p.GopherPort) = r[3];
    std::tie(p.SocksAddress, p.SocksPort) = r[4];
    return p;
  }
  // Blanks and a non-numeric port are kept as typed; non-ASCII travels as UTF-8.
  const Rows rows_{{{" h.example ", "80"},
                    {"s.example", "443"},
                    {"f.example", "x"},
                    {"g.example", "70"},
                    {"prøxy", "1080"}}};

  netvane::engine::AppState state_;
  netvane::testing::ScriptedPrompt prompt_;
};

TEST_F(ProxyDialogTest, ShowsCaptionsAndEmptyEnabledRowsWithFocusOnFirstAddress) {
  auto d = Open();
  EXPECT_EQ(d->windowTitle(), "Netvane 2.0 - Proxy settings");
  ASSERT_NE(d->findChild<QWidget*>("SSFrame3"), nullptr);
  const std::pair<const char*, const char*> labels[] = {
      {"Label27", "Enables to set Proxy server.   (For Internet Explorer User Only)"},
      {"Label26", "Fill the following entries up with valid address if you need  to set proxy."},
      {"Label36", " Type"},
      {"Label10", "Proxy Server"},
      {"Label13", "Port"}};
  for (const auto& [name, text] : labels) {
    auto* label = d->findChild<QLabel*>(name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text(), text) << name;
  }
  QStringList shown;
  for (const QLabel* label : d->findChildren<QLabel*>()) shown << label->text();
  for (const char* row : {"HTTP", "Secure", "FTP", "Gopher", "Socks"}) {
    EXPECT_TRUE(shown.contains(row)) << row;
  }
  EXPECT_EQ(d->ChkExpALL()->objectName(), "ChkExpALL");
  EXPECT_EQ(d->ChkExpALL()->text(), "Use the same proxy for all protocols.");
  EXPECT_FALSE(d->ChkExpALL()->isChecked());
  EXPECT_EQ(d->cmdOK()->text(), "OK");
  EXPECT_EQ(d->cmdCancel()->text(), "Cancel");
  EXPECT_EQ(d->cmdNew()->text(), "Reset");
  EXPECT_EQ(d->cmdNew()->objectName(), "cmdNew");
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(d->findChild<QLineEdit*>(QString("txtExpKind(%1)").arg(i)), d->txtExpKind(i));
    EXPECT_EQ(d->findChild<QLineEdit*>(QString("txtExpPort(%1)").arg(i)), d->txtExpPort(i));
    EXPECT_TRUE(d->txtExpKind(i)->text().isEmpty() && d->txtExpPort(i)->text().isEmpty());
    EXPECT_TRUE(d->txtExpKind(i)->isEnabled() && d->txtExpPort(i)->isEnabled());
  }
  EXPECT_EQ(d->focusWidget(), d->txtExpKind(0));
}

TEST_F(ProxyDialogTest, ResizingSendsFocusBackToFirstAddress) {
  auto d = Open();
  d->txtExpPort(3)->setFocus();
  ASSERT_EQ(d->focusWidget(), d->txtExpPort(3));
  d->resize(d->width() + 40, d->height() + 20);
  EXPECT_TRUE(QTest::qWaitFor([&] { return d->focusWidget() == d->txtExpKind(0); }));
}

TEST_F(ProxyDialogTest, TickingAllProtocolsDisablesRowsOneToFourAndKeepsTheirTexts) {
  auto d = Open();
  const QColor enabled = d->palette().color(QPalette::Base);
  const QColor disabled = d->palette().color(QPalette::Window);
  ASSERT_NE(enabled, disabled);
  Type(d->txtExpKind(2), "stale");
  ClickAllProtocols(*d);
  ASSERT_TRUE(d->ChkExpALL()->isChecked());
  EXPECT_TRUE(d->txtExpKind(0)->isEnabled() && d->txtExpPort(0)->isEnabled());
  EXPECT_EQ(Back(d->txtExpKind(0)), enabled);
  for (int i = 1; i < 5; ++i) {
    EXPECT_FALSE(d->txtExpKind(i)->isEnabled() || d->txtExpPort(i)->isEnabled()) << i;
    EXPECT_EQ(Back(d->txtExpKind(i)), disabled) << i;
    EXPECT_EQ(Back(d->txtExpPort(i)), disabled) << i;
  }
  EXPECT_EQ(d->txtExpKind(2)->text(), "stale");

  ClickAllProtocols(*d);
  for (int i = 1; i < 5; ++i) {
    EXPECT_TRUE(d->txtExpKind(i)->isEnabled() && d->txtExpPort(i)->isEnabled()) << i;
    EXPECT_EQ(Back(d->txtExpPort(i)), enabled) << i;
  }
  EXPECT_EQ(d->txtExpKind(2)->text(), "stale");
}

TEST_F(ProxyDialogTest, PerProtocolOkStoresTheTenFieldsAsTypedAndEmptiesTheDefaults) {
  state_.PendingProxy.DefaultAddress = "old";  // not set, so not shown
  auto d = Open();
  for (int i = 0; i < 5; ++i) {
    Type(d->txtExpKind(i), QString::fromStdString(rows_[i].first));
    Type(d->txtExpPort(i), QString::fromStdString(rows_[i].second));
  }
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);

  EXPECT_TRUE(state_.PendingProxySet);
  EXPECT_EQ(state_.PendingProxy, PerProtocol(rows_));
  EXPECT_TRUE(prompt_.shown.empty());
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_FALSE(d->isVisible());
}

TEST_F(ProxyDialogTest, PerProtocolChoiceLoadsIntoTheTenBoxesAndSurvivesOk) {
  state_.PendingProxySet = true;
  state_.PendingProxy = PerProtocol(rows_);
  auto d = Open();
  EXPECT_FALSE(d->ChkExpALL()->isChecked());
  EXPECT_EQ(d->txtExpKind(0)->text(), " h.example ");
  EXPECT_EQ(d->txtExpPort(3)->text(), "70");
  EXPECT_EQ(d->txtExpKind(4)->text(), QString::fromUtf8("prøxy"));
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_EQ(state_.PendingProxy, PerProtocol(rows_));
}

TEST_F(ProxyDialogTest, AllProtocolsOkStoresRowZeroAndReopensTickedWithOtherRowsDisabled) {
  state_.PendingProxy = PerProtocol(rows_);
  auto d = Open();
  Type(d->txtExpKind(0), "proxy.lan");
  Type(d->txtExpPort(0), "3128");
  ClickAllProtocols(*d);
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);

  ProxySettings want;
  want.AllProtocolSameProxy = true;
  want.DefaultAddress = "proxy.lan";
  want.DefaultPort = "3128";
  EXPECT_TRUE(state_.PendingProxySet);
  EXPECT_EQ(state_.PendingProxy, want);

  auto again = Open();
  EXPECT_TRUE(again->ChkExpALL()->isChecked());
  EXPECT_EQ(again->txtExpKind(0)->text(), "proxy.lan");
  EXPECT_EQ(again->txtExpPort(0)->text(), "3128");
  EXPECT_TRUE(again->txtExpKind(0)->isEnabled());
  for (int i = 1; i < 5; ++i) {
    EXPECT_FALSE(again->txtExpKind(i)->isEnabled() || again->txtExpPort(i)->isEnabled()) << i;
    EXPECT_EQ(Back(again->txtExpKind(i)), again->palette().color(QPalette::Window)) << i;
    EXPECT_TRUE(again->txtExpKind(i)->text().isEmpty() && again->txtExpPort(i)->text().isEmpty());
  }
}

TEST_F(ProxyDialogTest, IncompleteRowsStopOkWithTheFirstCheckThatFails) {
  state_.PendingProxy = PerProtocol(rows_);
  auto d = Open();

  // An address without a port in row 2.
  Type(d->txtExpKind(2), "f.example");
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  ASSERT_EQ(prompt_.shown.size(), 1u);
  EXPECT_EQ(prompt_.shown[0].text, "Input Port number.");
  EXPECT_EQ(prompt_.shown[0].icon, PromptIcon::kNone);
  EXPECT_EQ(prompt_.shown[0].buttons, PromptButtons::kOk);
  EXPECT_EQ(d->focusWidget(), d->txtExpPort(2));

  // A port without an address in row 1 waits until every address has its port.
  Type(d->txtExpPort(1), "443");
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  ASSERT_EQ(prompt_.shown.size(), 2u);
  EXPECT_EQ(prompt_.shown[1].text, "Input Port number.");
  EXPECT_EQ(d->focusWidget(), d->txtExpPort(2));

  Type(d->txtExpPort(2), "21");
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  ASSERT_EQ(prompt_.shown.size(), 3u);
  EXPECT_EQ(prompt_.shown[2].text, "Input proxy server.");
  EXPECT_EQ(prompt_.shown[2].icon, PromptIcon::kNone);
  EXPECT_EQ(prompt_.shown[2].buttons, PromptButtons::kOk);
  EXPECT_EQ(d->focusWidget(), d->txtExpKind(1));

  EXPECT_FALSE(state_.PendingProxySet);
  EXPECT_EQ(state_.PendingProxy, PerProtocol(rows_));
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(d->result(), QDialog::Rejected);
}

TEST_F(ProxyDialogTest, DisabledStaleRowsAreStillValidated) {
  auto d = Open();
  Type(d->txtExpKind(0), "proxy.lan");
  Type(d->txtExpPort(0), "8080");
  Type(d->txtExpKind(3), "g.example");
  ClickAllProtocols(*d);
  ASSERT_FALSE(d->txtExpKind(3)->isEnabled());
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  ASSERT_EQ(prompt_.shown.size(), 1u);
  EXPECT_EQ(prompt_.shown[0].text, "Input Port number.");
  EXPECT_FALSE(state_.PendingProxySet);
  EXPECT_TRUE(d->isVisible());
}

TEST_F(ProxyDialogTest, ResetThenOkWithEverythingEmptyClearsTheFlagButKeepsTheOldValue) {
  state_.PendingProxySet = true;
  state_.PendingProxy.AllProtocolSameProxy = true;
  state_.PendingProxy.DefaultAddress = "proxy.lan";
  state_.PendingProxy.DefaultPort = "3128";
  const ProxySettings before = state_.PendingProxy;
  auto d = Open();
  ASSERT_TRUE(d->ChkExpALL()->isChecked());
  d->txtExpPort(0)->setFocus();

  QTest::mouseClick(d->cmdNew(), Qt::LeftButton);
  EXPECT_FALSE(d->ChkExpALL()->isChecked());
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(d->txtExpKind(i)->isEnabled() && d->txtExpPort(i)->isEnabled()) << i;
    EXPECT_EQ(Back(d->txtExpKind(i)), d->palette().color(QPalette::Base)) << i;
    EXPECT_TRUE(d->txtExpKind(i)->text().isEmpty() && d->txtExpPort(i)->text().isEmpty());
  }
  EXPECT_EQ(d->focusWidget(), d->txtExpKind(0));

  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_FALSE(state_.PendingProxySet);
  EXPECT_EQ(state_.PendingProxy, before);
  EXPECT_TRUE(prompt_.shown.empty());
  EXPECT_EQ(d->result(), QDialog::Accepted);
}

TEST_F(ProxyDialogTest, CancelEmptiesTheFormAndLeavesThePendingChoice) {
  state_.PendingProxySet = true;
  state_.PendingProxy = PerProtocol(rows_);
  auto d = Open();
  Type(d->txtExpKind(0), "more");
  ClickAllProtocols(*d);
  QTest::mouseClick(d->cmdCancel(), Qt::LeftButton);
  EXPECT_TRUE(state_.PendingProxySet);
  EXPECT_EQ(state_.PendingProxy, PerProtocol(rows_));
  EXPECT_FALSE(d->ChkExpALL()->isChecked());
  EXPECT_TRUE(d->txtExpKind(0)->text().isEmpty() && d->txtExpPort(4)->text().isEmpty());
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_FALSE(d->isVisible());
  EXPECT_TRUE(prompt_.shown.empty());
}

}  // namespace
