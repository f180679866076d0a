// The start-up windows: the splash picture on top of everything for its time, and the notice
// whose check box decides, in the registry, whether it comes again.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>

#include "shell/notice.h"
#include "shell/splash.h"
#include "store/registry_access.h"
#include "store/settings.h"
#include "test_support.h"

namespace netvane::shell {
namespace {

using platform::kHkeyLocalMachine;

TEST(SplashTest, IsAFramelessTopmostWindowClippedToItsPicture) {
  frmSplash splash;
  EXPECT_EQ(splash.objectName(), "frmSplash");
  EXPECT_EQ(splash.size(), QSize(431, 250));
  EXPECT_EQ(splash.minimumSize(), QSize(431, 250));
  EXPECT_EQ(splash.maximumSize(), QSize(431, 250));
  EXPECT_EQ(splash.mask().boundingRect(), QRect(0, 0, 431, 250));
  EXPECT_EQ(splash.mask().rectCount(), 1);
  EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(splash.isWindow());
}

TEST(SplashTest, ShowsItsOwnPictureEdgeToEdge) {
  const QImage picture = frmSplash::Picture().toImage();
  EXPECT_EQ(picture.size(), QSize(431, 250));

  frmSplash splash;
  splash.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
  const QImage shown = splash.grab().toImage().convertToFormat(picture.format());
  ASSERT_EQ(shown.size(), picture.size());
  EXPECT_EQ(shown, picture);
  // A gradient, not a blank: the corners differ.
  EXPECT_NE(picture.pixelColor(0, 0), picture.pixelColor(430, 249));
  // The title's white ink is there.
  int white = 0;
  for (int y = 70; y < 130; ++y) {
    for (int x = 28; x < 268; ++x) white += picture.pixelColor(x, y) == QColor(Qt::white);
  }
  EXPECT_GT(white, 50);
}

TEST(SplashTest, StaysVisibleWhileEventsRunThenCloses) {
  frmSplash splash;
  bool visible_meanwhile = false;
  bool on_top_meanwhile = false;
  QTimer::singleShot(0, &splash, [&] {
    visible_meanwhile = splash.isVisible();
    on_top_meanwhile = splash.windowHandle() != nullptr &&
                       (splash.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  });
  splash.ShowFor(50);
  EXPECT_TRUE(visible_meanwhile) << "the window shows while the program's events run";
  EXPECT_TRUE(on_top_meanwhile);
  EXPECT_FALSE(splash.isVisible());
}

TEST(SplashTest, ShowSplashLeavesNoWindowBehind) {
  int splashes_meanwhile = 0;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      splashes_meanwhile += w->objectName() == "frmSplash" && w->isVisible();
    }
  });
  ShowSplash(50);
  EXPECT_EQ(splashes_meanwhile, 1);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(w->objectName() == "frmSplash" && w->isVisible());
  }
}

TEST(ShellResourcesTest, TheProgramIconIsEmbedded) {
  const QImage icon(QStringLiteral(":/netvane.png"));
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.size(), QSize(64, 64));
  EXPECT_FALSE(QIcon(QStringLiteral(":/netvane.png")).isNull());
}

class NoticeTest : public ::testing::Test {
 protected:
  NoticeTest() { store.LoadSettings(settings); }

  std::string Stored() {
    const store::ReadResult r =
        access.ReadValue(kHkeyLocalMachine, store::kProgramKeyPath, "IsNoticeView");
    return r.code == 0 ? r.text : "<missing>";
  }
  QString LabelText(const char* name) const {
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("<missing>");
  }

  testing::FakePlatform fake;
  store::RegistryAccess access{fake.registry.registry(), fake.registry.codepage()};
  store::SettingsStore store{access, "/opt/netvane/Netvane"};
  store::Settings settings;
  frmNotice dialog{store, settings};
};

TEST_F(NoticeTest, ShowsTheNoticeTexts) {
  EXPECT_EQ(dialog.windowTitle(), "Netvane 2.0 - Notice");
  EXPECT_EQ(LabelText("Label1"), "Notice for Windows NT/2000 User");
  EXPECT_EQ(LabelText("Label2"), "If DHCP Server is running in your computer, Netvane  2.0 could");
  EXPECT_EQ(LabelText("Label3"), "run irregularly.");
  EXPECT_EQ(LabelText("Label4"), "Please refer to Help of this program.");
  auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("chkIsShow"));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Do not display further");
  EXPECT_FALSE(box->isChecked());
  auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");

  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  for (const char* name : {"Label1", "Label2", "Label3", "Label4"}) {
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    EXPECT_TRUE(label->isVisible()) << name;
    // Nothing is cut off.
    EXPECT_GE(label->width(), label->sizeHint().width()) << name;
  }
}

TEST_F(NoticeTest, OkWithTheBoxTickedTurnsTheNoticeOff) {
  ASSERT_EQ(Stored(), "YES");
  ASSERT_TRUE(settings.IsNoticeView);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::mouseClick(dialog.chkIsShow, Qt::LeftButton, {},
                    QPoint(8, dialog.chkIsShow->height() / 2));
  ASSERT_TRUE(dialog.chkIsShow->isChecked());
  QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
  EXPECT_EQ(Stored(), "NO");
  EXPECT_FALSE(settings.IsNoticeView);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(NoticeTest, OkWithTheBoxClearKeepsTheNoticeOn) {
  store.WriteNoticeView(false, settings);
  ASSERT_EQ(Stored(), "NO");
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
  EXPECT_EQ(Stored(), "YES");
  EXPECT_TRUE(settings.IsNoticeView);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(NoticeTest, ClosingWithoutOkWritesNothing) {
  dialog.chkIsShow->setChecked(true);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  dialog.reject();
  EXPECT_EQ(Stored(), "YES");
  EXPECT_TRUE(settings.IsNoticeView);
}

}  // namespace
}  // namespace netvane::shell
