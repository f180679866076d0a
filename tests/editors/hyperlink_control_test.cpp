// The hyperlink control in a host window: hover, leave, press and click, driven by mouse
// events and by its pointer check; what it opens goes to a recording shell.
#include "editors/hyperlink_control.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "test_support.h"

namespace netvane::editors {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kHostBack(0xE0, 0xF0, 0xE0);

class HyperLinkControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QPalette back = host.palette();
    back.setColor(QPalette::Window, kHostBack);
    host.setPalette(back);
    QFont font = host.font();
    font.setPointSize(13);
    host.setFont(font);
    host.resize(320, 120);
    ctl = new HyperLinkControl(shell, &host);
    ctl->move(40, 30);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    // The pointer starts well away from the control.
    QCursor::setPos(host.mapToGlobal(QPoint(5, 100)));
    QApplication::processEvents();
  }

  void Send(QEvent::Type type, QPoint local, Qt::MouseButton button = Qt::NoButton) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
    QMouseEvent event(type, local, ctl->mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(ctl, &event);
  }
  // A move arriving while the system pointer stays where it is.
  void Move(QPoint local = QPoint(3, 3)) { Send(QEvent::MouseMove, local); }
  void Press(QPoint local = QPoint(3, 3)) { Send(QEvent::MouseButtonPress, local, Qt::LeftButton); }
  void Release(QPoint local = QPoint(3, 3)) {
    Send(QEvent::MouseButtonRelease, local, Qt::LeftButton);
  }
  void PointerAt(QPoint local) {
    QCursor::setPos(ctl->mapToGlobal(local));
    QApplication::processEvents();
  }

  QLabel* Label() const { return ctl->findChild<QLabel*>(QStringLiteral("lblHyperLink")); }
  QColor TextColor() const { return Label()->palette().color(QPalette::WindowText); }
  bool Underlined() const { return Label()->font().underline(); }
  Qt::CursorShape Shape() const { return ctl->cursor().shape(); }
  bool Lit() const { return TextColor() == kBlue && Underlined(); }
  bool Dark() const {
    return TextColor() == kBlack && !Underlined() && Shape() == Qt::ArrowCursor &&
           !ctl->timer()->isActive();
  }

  // Pixels of the drawn control that have exactly this colour.
  int PixelsOf(const QColor& color) const {
    const QImage image = ctl->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == color;
    }
    return n;
  }

  testing::FakeShell shell;
  QWidget host;
  HyperLinkControl* ctl = nullptr;
};

TEST_F(HyperLinkControlTest, StartsDarkWithItsDefaultsAndTheHostsLook) {
  ASSERT_NE(Label(), nullptr);
  EXPECT_EQ(Label()->text(), "www.netvane.example");
  EXPECT_EQ(ctl->Caption(), "www.netvane.example");
  EXPECT_EQ(ctl->HyperLink(), "https://netvane.example/en/");
  EXPECT_EQ(ctl->LinkInactiveColor(), kBlack);
  EXPECT_EQ(ctl->LinkActiveColor(), kBlue);
  EXPECT_EQ(ctl->LinkHotColor(), kRed);
  EXPECT_EQ(ctl->BackColor(), kHostBack);
  EXPECT_EQ(ctl->Font(), host.font());
  EXPECT_EQ(Label()->font().pointSize(), 13);
  EXPECT_TRUE(Dark());
  ASSERT_NE(ctl->findChild<QTimer*>(QStringLiteral("tmrTimer")), nullptr);
  EXPECT_EQ(ctl->timer()->interval(), 100);
  // The timer's tick is the pointer check.
  EXPECT_TRUE(
      QObject::disconnect(ctl->timer(), &QTimer::timeout, ctl, &HyperLinkControl::CheckPointer));
}

TEST_F(HyperLinkControlTest, TakesTheSizeOfItsLabelAtTheTopLeft) {
  EXPECT_EQ(Label()->pos(), QPoint(0, 0));
  EXPECT_EQ(ctl->size(), Label()->size());
  EXPECT_EQ(ctl->size(), Label()->sizeHint());
  const QSize before = ctl->size();

  ctl->SetCaption(QStringLiteral("www.netvane.example - the home of Netvane"));
  EXPECT_GT(ctl->width(), before.width());
  EXPECT_EQ(ctl->size(), Label()->size());

  QFont big = ctl->Font();
  big.setPointSize(26);
  ctl->SetFont(big);
  EXPECT_GT(ctl->height(), before.height());
  EXPECT_EQ(ctl->size(), Label()->size());

  // A host cannot stretch it.
  ctl->resize(600, 200);
  EXPECT_EQ(ctl->size(), Label()->size());
}

TEST_F(HyperLinkControlTest, HoverLightsTheLinkWithUnderlineHandAndRunningTimer) {
  Move();
  EXPECT_EQ(TextColor(), kBlue);
  EXPECT_TRUE(Underlined());
  EXPECT_EQ(Shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Label()->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(ctl->timer()->isActive());
  // Drawn as well: pure blue ink, no black ink.
  EXPECT_GT(PixelsOf(kBlue), 0);
  EXPECT_EQ(PixelsOf(kBlack), 0);
}

TEST_F(HyperLinkControlTest, DarkLinkIsDrawnInTheInactiveColourOnTheBackColour) {
  EXPECT_GT(PixelsOf(kBlack), 0);
  EXPECT_EQ(PixelsOf(kBlue), 0);
  const QImage image = ctl->grab().toImage();
  EXPECT_EQ(image.pixelColor(0, 0), kHostBack);

  const QColor paper(250, 250, 200);
  ctl->SetBackColor(paper);
  EXPECT_EQ(ctl->grab().toImage().pixelColor(0, 0), paper);
}

TEST_F(HyperLinkControlTest, PointerCheckDarkensTheLinkOnlyOnceThePointerIsOutside) {
  PointerAt(QPoint(ctl->width() - 1, ctl->height() - 1));
  Move(QPoint(ctl->width() - 1, ctl->height() - 1));
  ASSERT_TRUE(Lit());
  ctl->CheckPointer();
  EXPECT_TRUE(Lit()) << "the last pixel row and column are still inside";
  EXPECT_TRUE(ctl->timer()->isActive());

  // The pointer left without a move event reaching the control: the check alone darkens it.
  for (const QPoint outside :
       {QPoint(ctl->width(), 0), QPoint(0, ctl->height()), QPoint(-1, 2), QPoint(2, -1)}) {
    PointerAt(outside);
    Move();
    ASSERT_TRUE(Lit());
    ctl->CheckPointer();
    EXPECT_TRUE(Dark()) << outside.x() << "," << outside.y();
    EXPECT_FALSE(ctl->testAttribute(Qt::WA_SetCursor));
    EXPECT_GT(PixelsOf(kBlack), 0);
  }
}

TEST_F(HyperLinkControlTest, ButtonHeldTurnsHotAndReleaseTurnsActiveAgain) {
  Press();  // on a dark link nothing turns hot
  EXPECT_EQ(TextColor(), kBlack);
  Release(QPoint(-5, -5));
  EXPECT_EQ(TextColor(), kBlack);

  Move();
  Press();
  EXPECT_EQ(TextColor(), kRed);
  EXPECT_TRUE(Underlined());
  EXPECT_GT(PixelsOf(kRed), 0);
  Release(QPoint(-5, -5));  // released off the link: no click
  EXPECT_EQ(TextColor(), kBlue);
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(HyperLinkControlTest, PointerCheckDuringAHeldButtonAlsoDarkensTheLink) {
  Move();
  Press();
  ASSERT_EQ(TextColor(), kRed);
  ctl->CheckPointer();  // the pointer is outside the control
  EXPECT_TRUE(Dark());
}

TEST_F(HyperLinkControlTest, ClickOpensTheLinkWithTheOpenVerb) {
  std::vector<std::string> seen;
  QObject::connect(ctl, &HyperLinkControl::Clicked, ctl, [&](const QString& link, bool& cancel) {
    seen.push_back(link.toStdString());
    EXPECT_FALSE(cancel);
  });
  Move();
  Press();
  Release();
  EXPECT_EQ(seen, std::vector<std::string>{"https://netvane.example/en/"});
  EXPECT_EQ(shell.opened, std::vector<std::string>{"https://netvane.example/en/"});
  EXPECT_EQ(TextColor(), kBlue);
}

TEST_F(HyperLinkControlTest, ARealClickThroughTheWindowOpensTheLinkOnce) {
  ctl->SetHyperLink(QStringLiteral("https://netvane.example/ko/"));
  QTest::mouseClick(ctl, Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(shell.opened, std::vector<std::string>{"https://netvane.example/ko/"});
}

TEST_F(HyperLinkControlTest, HostThatCancelsTheClickKeepsTheLinkClosed) {
  int clicks = 0;
  QObject::connect(ctl, &HyperLinkControl::Clicked, ctl, [&](const QString&, bool& cancel) {
    ++clicks;
    cancel = true;
  });
  Move();
  Press();
  Release();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(HyperLinkControlTest, OnlyALeftClickEndingOnTheControlCounts) {
  Move();
  Press();
  Release(QPoint(ctl->width() + 3, 2));
  Send(QEvent::MouseButtonPress, QPoint(3, 3), Qt::RightButton);
  Send(QEvent::MouseButtonRelease, QPoint(3, 3), Qt::RightButton);
  Release();  // a release without a press
  EXPECT_TRUE(shell.opened.empty());
}

TEST_F(HyperLinkControlTest, OpenHyperLinkOpensTheGivenLinkOrElseTheProperty) {
  // The shell's answer comes back: above kShellExecuteLastError when it opened, its error code
  // when not.
  shell.existing = {"https://netvane.example/download"};
  EXPECT_EQ(ctl->OpenHyperLink(QStringLiteral("https://netvane.example/download")), 42);
  ctl->SetHyperLink(QStringLiteral("mailto:help@netvane.example"));
  EXPECT_EQ(ctl->OpenHyperLink(QString()), platform::kShellErrorFileNotFound);
  EXPECT_EQ(shell.opened, (std::vector<std::string>{"https://netvane.example/download",
                                                    "mailto:help@netvane.example"}));
  ctl->SetHyperLink(QString());
  EXPECT_EQ(ctl->OpenHyperLink(QString()), 0);
  EXPECT_EQ(shell.opened.size(), 2u);
}

TEST_F(HyperLinkControlTest, EmptyCaptionShowsTheLinkAndTheTooltipIsTheLink) {
  EXPECT_EQ(Label()->toolTip(), "https://netvane.example/en/");
  EXPECT_EQ(ctl->toolTip(), "https://netvane.example/en/");
  ctl->SetCaption(QString());
  EXPECT_EQ(Label()->text(), "https://netvane.example/en/");
  ctl->SetHyperLink(QStringLiteral("https://netvane.example/kr/"));
  EXPECT_EQ(Label()->text(), "https://netvane.example/kr/");
  EXPECT_EQ(Label()->toolTip(), "https://netvane.example/kr/");
  EXPECT_EQ(ctl->size(), Label()->size());
  ctl->SetHyperLink(QString());
  EXPECT_TRUE(Label()->toolTip().isEmpty());
  EXPECT_TRUE(ctl->toolTip().isEmpty());
}

TEST_F(HyperLinkControlTest, ChangedColoursApplyToTheNextHoverAndPress) {
  const QColor green(0, 128, 0);
  const QColor purple(128, 0, 128);
  const QColor orange(255, 128, 0);
  ctl->SetLinkInactiveColor(green);
  EXPECT_EQ(TextColor(), green);
  ctl->SetLinkActiveColor(purple);
  ctl->SetLinkHotColor(orange);
  Move();
  EXPECT_EQ(TextColor(), purple);
  Press();
  EXPECT_EQ(TextColor(), orange);
  Release(QPoint(-5, -5));
  ctl->CheckPointer();
  EXPECT_EQ(TextColor(), green);
}

TEST_F(HyperLinkControlTest, EverySetterTellsTheHostWhichPropertyChanged) {
  QSignalSpy spy(ctl, &HyperLinkControl::PropertyChanged);
  ctl->SetCaption(QStringLiteral("x"));
  ctl->SetHyperLink(QStringLiteral("https://x.example/"));
  ctl->SetLinkInactiveColor(kBlack);
  ctl->SetLinkActiveColor(kBlue);
  ctl->SetLinkHotColor(kRed);
  ctl->SetBackColor(Qt::white);
  ctl->SetFont(QFont());
  QStringList names;
  for (const QList<QVariant>& call : spy) names << call.at(0).toString();
  EXPECT_EQ(names, (QStringList{"Caption", "HyperLink", "LinkInactiveColor", "LinkActiveColor",
                                "LinkHotColor", "BackColor", "Font"}));
}

TEST_F(HyperLinkControlTest, FollowsTheHostsBackgroundAndFontWhenTheyChange) {
  QPalette back = host.palette();
  back.setColor(QPalette::Window, QColor(10, 20, 30));
  host.setPalette(back);
  EXPECT_EQ(ctl->BackColor(), QColor(10, 20, 30));
  EXPECT_EQ(ctl->grab().toImage().pixelColor(0, 0), QColor(10, 20, 30));

  QFont font = host.font();
  font.setPointSize(20);
  host.setFont(font);
  EXPECT_EQ(Label()->font().pointSize(), 20);
  EXPECT_EQ(ctl->size(), Label()->size());

  // A font of its own is kept when the host's changes.
  QFont own = font;
  own.setPointSize(9);
  ctl->SetFont(own);
  font.setPointSize(30);
  host.setFont(font);
  EXPECT_EQ(Label()->font().pointSize(), 9);
}

TEST_F(HyperLinkControlTest, PropertiesRoundTripThroughTheHostsBag) {
  ctl->SetCaption(QStringLiteral("Netvane on the web"));
  ctl->SetHyperLink(QStringLiteral("https://netvane.example/"));
  ctl->SetLinkHotColor(QColor(1, 2, 3));
  const QVariantMap bag = ctl->WriteProperties();

  HyperLinkControl other(shell, &host);
  other.ReadProperties(bag);
  EXPECT_EQ(other.Caption(), "Netvane on the web");
  EXPECT_EQ(other.HyperLink(), "https://netvane.example/");
  EXPECT_EQ(other.LinkHotColor(), QColor(1, 2, 3));
  EXPECT_EQ(other.LinkActiveColor(), kBlue);

  other.ReadProperties({});
  EXPECT_EQ(other.Caption(), "www.netvane.example");
  EXPECT_EQ(other.HyperLink(), "https://netvane.example/en/");
  EXPECT_EQ(other.LinkHotColor(), kRed);
  EXPECT_EQ(other.BackColor(), kHostBack);
}

}  // namespace
}  // namespace netvane::editors
