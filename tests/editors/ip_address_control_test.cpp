// The address control in a window between two other fields, driven by keys and clicks sent
// to the window the way the system delivers them (to whichever widget has focus).
#include "editors/ip_address_control.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <string>
#include <utility>
#include <vector>

namespace netvane::editors {
namespace {

class IpAddressControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* layout = new QHBoxLayout(&host);
    layout->addWidget(before = new QLineEdit(&host));
    layout->addWidget(ctl = new IpAddressControl(&host));
    layout->addWidget(after = new QLineEdit(&host));
    ctl->setObjectName(QStringLiteral("txtIP"));
    ctl->SetMessageBox([this](const QString& title, const QString& text) {
      shown.push_back((title + QLatin1Char('|') + text).toStdString());
    });
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    Activate();
    before->setFocus();
  }

  void Activate() {
    host.activateWindow();
    for (int n = 0; n < 50 && !host.isActiveWindow(); ++n) QApplication::processEvents();
    ASSERT_TRUE(host.isActiveWindow());
  }
  QLineEdit* Box(int i) const { return ctl->txtOctet(i); }
  // The box's text with its selection in brackets, or else its caret as "|".
  std::string State(int i) const {
    QString text = Box(i)->text();
    if (Box(i)->hasSelectedText()) {
      const int s = Box(i)->selectionStart();
      text.insert(s + Box(i)->selectedText().size(), QLatin1Char(']')).insert(s, QLatin1Char('['));
    } else {
      text.insert(Box(i)->cursorPosition(), QLatin1Char('|'));
    }
    return text.toStdString();
  }
  std::string Ip() const { return ctl->GetIp().toStdString(); }
  // 1..4 for an octet box, 0 for anything else.
  int FocusedBox() const {
    for (int i = 1; i <= 4; ++i) {
      if (QApplication::focusWidget() == Box(i)) return i;
    }
    return 0;
  }
  void Focus(int i) { Box(i)->setFocus(); }
  void Set(const char* ip) {
    QString value = QString::fromLatin1(ip);
    ASSERT_TRUE(ctl->SetIP(value));
  }
  void Keys(const char* keys) {
    for (const char* k = keys; *k != '\0'; ++k) QTest::keyClick(host.windowHandle(), *k);
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(host.windowHandle(), key, mods);
  }
  void ClickEnd(int i) {
    QApplication::processEvents();  // painted first: the box places its text when it paints
    QTest::mouseClick(Box(i), Qt::LeftButton, {}, {Box(i)->width() - 2, Box(i)->height() / 2});
  }

  QWidget host;
  QLineEdit* before = nullptr;
  QLineEdit* after = nullptr;
  IpAddressControl* ctl = nullptr;
  std::vector<std::string> shown;  // "title|text"
};

std::string Range(const char* candidate) {
  return std::string("Error|") + candidate +
         " -Invalid range. Please indicate number between 0 and 255.";
}

TEST_F(IpAddressControlTest, NamedBoxesAndDotsInTabOrder) {
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(ctl->findChild<QLineEdit*>(QStringLiteral("txtOctet(%1)").arg(i)), Box(i));
  }
  for (int i = 1; i <= 3; ++i) {
    auto* dot = ctl->findChild<QLabel*>(QStringLiteral("lblDot(%1)").arg(i));
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(dot->text(), QStringLiteral("."));
  }
  auto* frame = ctl->findChild<QFrame*>(QStringLiteral("Frame1"));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(ctl->txtOctet(0), nullptr);
  EXPECT_EQ(ctl->txtOctet(5), nullptr);

  for (int i = 1; i <= 4; ++i) {
    Key(Qt::Key_Tab);
    EXPECT_EQ(FocusedBox(), i);
  }
  Key(Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), after);
}

TEST_F(IpAddressControlTest, TabSelectsBoxFirstDigitReplacesThirdMovesOn) {
  Set("192.168.1.20");
  Key(Qt::Key_Tab);
  EXPECT_EQ(FocusedBox(), 1);
  EXPECT_EQ(State(1), "[192]");
  Keys("1");
  EXPECT_EQ(State(1), "1|");
  EXPECT_EQ(FocusedBox(), 1);
  Keys("00");
  EXPECT_EQ(Box(1)->text(), QStringLiteral("100"));
  EXPECT_EQ(FocusedBox(), 2);
  EXPECT_EQ(State(2), "[168]");
  EXPECT_TRUE(shown.empty());
}

TEST_F(IpAddressControlTest, OutOfRangeDigitShowsMessageAndRestoresValueOnFocus) {
  Set("1.7.3.4");
  Focus(2);
  Keys("2");
  EXPECT_EQ(State(2), "2|");
  Keys("56");
  EXPECT_EQ(shown, std::vector{Range("256")});
  EXPECT_EQ(State(2), "7|");
  EXPECT_EQ(FocusedBox(), 2);
  Keys("5");  // appended, not replacing
  EXPECT_EQ(State(2), "75|");

  // No focus left the box during the message: the next focus-in only uses up the skip.
  Key(Qt::Key_Tab);
  EXPECT_EQ(FocusedBox(), 3);
  EXPECT_EQ(State(3), "3|");
}

TEST_F(IpAddressControlTest, OutOfRangeInBoxEmptyOnFocusGives255AndStays) {
  Focus(3);
  Keys("300");
  EXPECT_EQ(shown, std::vector{Range("300")});
  EXPECT_EQ(State(3), "255|");
  EXPECT_EQ(FocusedBox(), 3);  // three digits, caret at the end, yet no move
}

TEST_F(IpAddressControlTest, DigitGoesInAtTheCaret) {
  Focus(1);
  Keys("25");
  Key(Qt::Key_Home);
  Keys("3");
  Focus(2);
  Keys("25");
  Key(Qt::Key_Left);
  Keys("9");
  EXPECT_EQ(shown, (std::vector{Range("325"), Range("295")}));

  Focus(3);
  Keys("25");
  Key(Qt::Key_Left);
  Keys("1");
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_EQ(State(3), "21|5");
  EXPECT_EQ(FocusedBox(), 3);  // caret not at the end: no move
}

TEST_F(IpAddressControlTest, FourthDigitInLastBoxIsIgnored) {
  Focus(4);
  Keys("123");
  EXPECT_EQ(FocusedBox(), 4);
  Keys("4");
  EXPECT_EQ(State(4), "123|");
  EXPECT_EQ(FocusedBox(), 4);
  EXPECT_TRUE(shown.empty());
}

TEST_F(IpAddressControlTest, ClickThenDigitReplacesWholeText) {
  Set("10.20.168.40");
  QSignalSpy clicks(ctl, &IpAddressControl::Click);
  ClickEnd(3);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(FocusedBox(), 3);
  Keys("5");
  EXPECT_EQ(State(3), "5|");
}

TEST_F(IpAddressControlTest, DotAndEnterMoveOnButNotPastLastBox) {
  Set("10.20.30.40");
  Focus(1);
  Keys(".");
  EXPECT_EQ(FocusedBox(), 2);
  EXPECT_EQ(State(2), "[20]");
  Key(Qt::Key_Return);
  EXPECT_EQ(FocusedBox(), 3);
  Key(Qt::Key_Enter);
  EXPECT_EQ(FocusedBox(), 4);
  Keys(".");
  Key(Qt::Key_Return);
  EXPECT_EQ(FocusedBox(), 4);
  EXPECT_EQ(Ip(), "10.20.30.40");
}

TEST_F(IpAddressControlTest, BackspaceAtStartTakesLastCharOfPreviousBox) {
  Set("10.20.30.40");
  Focus(3);
  Key(Qt::Key_Home);
  Key(Qt::Key_Backspace);
  EXPECT_EQ(FocusedBox(), 2);
  EXPECT_EQ(State(2), "2|");
  EXPECT_EQ(State(3), "|30");
  Key(Qt::Key_Tab);  // the move used up its skip: the next box is selected as usual
  EXPECT_EQ(State(3), "[30]");

  Focus(1);
  Key(Qt::Key_Home);
  Key(Qt::Key_Backspace);
  EXPECT_EQ(FocusedBox(), 1);
  Focus(4);
  Key(Qt::Key_End);
  Key(Qt::Key_Backspace);
  EXPECT_EQ(Ip(), "10.2.30.4");
}

TEST_F(IpAddressControlTest, ArrowsCrossBoxBorders) {
  Set("10.20.30.40");
  Focus(1);
  Key(Qt::Key_End);
  Key(Qt::Key_Backspace);  // an edit, so nothing is pending to replace
  Key(Qt::Key_Right);
  EXPECT_EQ(FocusedBox(), 2);
  EXPECT_EQ(State(2), "|20");
  Keys("1");           // inserted at the caret, not replacing
  Key(Qt::Key_Right);  // inside the text: the box moves its caret
  EXPECT_EQ(FocusedBox(), 2);
  EXPECT_EQ(State(2), "12|0");

  Focus(3);
  Key(Qt::Key_Home);
  Key(Qt::Key_Left);
  EXPECT_EQ(FocusedBox(), 2);
  EXPECT_EQ(State(2), "120|");

  Focus(1);
  Key(Qt::Key_Home);
  Key(Qt::Key_Left);
  EXPECT_EQ(FocusedBox(), 1);
  EXPECT_EQ(State(1), "|1");
}

TEST_F(IpAddressControlTest, KeyPressForEveryCharacterChangeForEveryEdit) {
  Set("10.20.123.40");
  QSignalSpy presses(ctl, &IpAddressControl::KeyPress);
  QSignalSpy changes(ctl, &IpAddressControl::Change);
  ClickEnd(3);
  Keys("a-");
  EXPECT_EQ(State(3), "123|");
  EXPECT_EQ(FocusedBox(), 3);  // a full box with the caret at its end, yet no move
  EXPECT_EQ(presses.count(), 2);
  EXPECT_EQ(changes.count(), 0);
  Key(Qt::Key_Home);
  Key(Qt::Key_End, Qt::ShiftModifier);  // the caret counts from the selection's start
  EXPECT_EQ(FocusedBox(), 3);
  EXPECT_EQ(State(3), "[123]");
  EXPECT_EQ(presses.count(), 2);  // no character, no KeyPress

  Focus(4);
  Keys("9x.");
  EXPECT_EQ(Box(4)->text(), QStringLiteral("9"));
  EXPECT_EQ(presses.count(), 5);
  EXPECT_EQ(changes.count(), 2);  // emptied for the replacement, then the digit
  Set("1.2.3.4");
  EXPECT_EQ(changes.count(), 6);
}

TEST_F(IpAddressControlTest, SetIpFillsBoxesOrChangesNothing) {
  Set("1.2.3.4");
  for (const char* refused : {"10.0.0", "10.0.0.256", "10..0.1", "1.2.3.4.", "100.100.100.1000", "",
                              "a.b.c.d", "1.2.3.-4"}) {
    QString ip = QString::fromLatin1(refused);
    EXPECT_FALSE(ctl->SetIP(ip)) << refused;
    EXPECT_EQ(Ip(), "1.2.3.4") << refused;
  }
  QString ip = QStringLiteral(" 10.0.0.001 ");
  EXPECT_TRUE(ctl->SetIP(ip));
  EXPECT_EQ(ip, QStringLiteral("10.0.0.001"));
  EXPECT_EQ(Ip(), "10.0.0.1");
  ip = QStringLiteral("  10.0.0  ");
  EXPECT_FALSE(ctl->SetIP(ip));
  EXPECT_EQ(ip, QStringLiteral("10.0.0"));
}

TEST_F(IpAddressControlTest, GetIpValidCheckAndPutOctet) {
  EXPECT_EQ(Ip(), "...");
  EXPECT_FALSE(ctl->IPValidCheck());
  Box(1)->setText(QStringLiteral("10"));
  Box(3)->setText(QStringLiteral("0"));
  Box(4)->setText(QStringLiteral("1"));
  EXPECT_EQ(Ip(), "10..0.1");
  EXPECT_FALSE(ctl->IPValidCheck());
  Box(2)->setText(QStringLiteral(" 255 "));
  EXPECT_TRUE(ctl->IPValidCheck());

  int16_t index = 0;
  ctl->PutOctet(index, 300);  // no range check
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(ctl->IPValidCheck());
  index = 9;
  ctl->PutOctet(index, -1);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(Ip(), "300. 255 .0.-1");
  index = 1;
  ctl->PutOctet(index, 0);
  EXPECT_FALSE(ctl->IPValidCheck());
  Box(4)->setText(QStringLiteral("1a"));
  EXPECT_FALSE(ctl->IPValidCheck());
}

TEST_F(IpAddressControlTest, PropertiesDefaultsSettersAndBag) {
  const QPalette system = ctl->palette();
  ctl->ReadProperties({});
  const QVariantMap defaults{{"BackColor", system.color(QPalette::Active, QPalette::Base)},
                             {"ForeColor", system.color(QPalette::Active, QPalette::Text)},
                             {"Enabled", true},
                             {"ValidIp", true},
                             {"Appearance", 0},
                             {"BorderStyle", 1}};
  EXPECT_EQ(ctl->WriteProperties(), defaults);

  QSignalSpy changed(ctl, &IpAddressControl::PropertyChanged);
  const QVariantMap bag{{"BackColor", QColor(Qt::yellow)},
                        {"ForeColor", QColor(Qt::blue)},
                        {"Enabled", false},
                        {"ValidIp", false},
                        {"Appearance", 1},
                        {"BorderStyle", 0}};
  ctl->ReadProperties(bag);
  QStringList names;
  for (const auto& args : changed) names << args.at(0).toString();
  EXPECT_EQ(names, (QStringList{"BackColor", "ForeColor", "ValidIp", "Enabled", "BorderStyle",
                                "Appearance"}));
  EXPECT_EQ(ctl->WriteProperties(), bag);
  EXPECT_FALSE(Box(2)->isEnabled());
  for (QWidget* w : ctl->findChildren<QWidget*>(QRegularExpression("^(txtOctet|lblDot)"))) {
    const bool box = qobject_cast<QLineEdit*>(w) != nullptr;
    const QPalette pal = w->palette();
    EXPECT_EQ(pal.color(QPalette::Active, box ? QPalette::Base : QPalette::Window),
              QColor(Qt::yellow));
    EXPECT_EQ(pal.color(QPalette::Active, box ? QPalette::Text : QPalette::WindowText),
              QColor(Qt::blue));
  }

  changed.clear();
  ctl->setEnabled(true);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).toString(), QStringLiteral("Enabled"));
}

TEST_F(IpAddressControlTest, SizeIsFrameDesignSizePlusBorder) {
  const QSize frame = ctl->findChild<QFrame*>(QStringLiteral("Frame1"))->size();
  EXPECT_GE(frame.width(), 4 * Box(1)->fontMetrics().horizontalAdvance(QStringLiteral("255")));
  EXPECT_EQ(ctl->size(), frame + QSize(2, 2));  // flat, single border: 30 twips
  ctl->SetAppearance(1);
  EXPECT_EQ(ctl->size(), frame + QSize(3, 3));  // three-dimensional: 50 twips
  ctl->SetBorderStyle(0);
  EXPECT_EQ(ctl->size(), frame);
  ctl->resize(400, 90);
  EXPECT_EQ(ctl->size(), frame);
}

// The real message box takes focus away and gives it back; the outcome must not change.
TEST_F(IpAddressControlTest, DefaultMessageBoxIsModalErrorInformation) {
  ctl->SetMessageBox({});
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    shown.push_back((box->windowTitle() + QLatin1Char('|') + box->text()).toStdString());
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  closer.start(0);
  Set("1.7.3.4");
  Focus(2);
  Keys("256");
  closer.stop();

  EXPECT_EQ(shown, std::vector{Range("256")});
  EXPECT_EQ(icon, QMessageBox::Information);
  Activate();
  EXPECT_EQ(FocusedBox(), 2);
  EXPECT_EQ(State(2), "7|");
  Keys("5");
  EXPECT_EQ(State(2), "75|");
}

}  // namespace
}  // namespace netvane::editors
