#include "shell/splash.h"

#include <QEventLoop>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <array>

namespace netvane::shell {
namespace {

constexpr int kTitleRoom = 225;

// A small network: nodes joined by links, with a vane arrow over the hub.
void DrawNetwork(QPainter& p) {
  const std::array<QPointF, 5> nodes = {QPointF(342, 60), QPointF(405, 95), QPointF(387, 170),
                                        QPointF(302, 175), QPointF(287, 105)};
  const QPointF hub(347, 120);
  p.setPen(QPen(QColor(255, 255, 255, 150), 2));
  for (const QPointF& n : nodes) p.drawLine(hub, n);
  for (size_t i = 0; i < nodes.size(); ++i) p.drawLine(nodes[i], nodes[(i + 1) % nodes.size()]);

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255));
  for (const QPointF& n : nodes) p.drawEllipse(n, 7, 7);
  p.setBrush(QColor(255, 200, 60));
  p.drawEllipse(hub, 11, 11);

  // The vane: an arrow turning about the hub.
  QPainterPath vane;
  vane.moveTo(hub + QPointF(-34, 22));
  vane.lineTo(hub + QPointF(18, -12));
  vane.lineTo(hub + QPointF(12, -20));
  vane.lineTo(hub + QPointF(36, -24));
  vane.lineTo(hub + QPointF(26, -2));
  vane.lineTo(hub + QPointF(22, -8));
  vane.lineTo(hub + QPointF(-30, 27));
  vane.closeSubpath();
  p.setBrush(QColor(255, 200, 60));
  p.drawPath(vane);
}

}  // namespace

frmSplash::frmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(Picture()) {
  setObjectName(QStringLiteral("frmSplash"));
  setWindowTitle(QStringLiteral("Netvane 2.0"));
  setFixedSize(kSplashWidth, kSplashHeight);
  // Only the picture's rectangle belongs to the window.
  setMask(QRegion(0, 0, kSplashWidth, kSplashHeight));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kSplashWidth / 2, kSplashHeight / 2));
  }
}

QPixmap frmSplash::Picture() {
  QPixmap picture(kSplashWidth, kSplashHeight);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, kSplashWidth, kSplashHeight);
  sky.setColorAt(0.0, QColor(16, 52, 96));
  sky.setColorAt(1.0, QColor(26, 140, 150));
  p.fillRect(picture.rect(), sky);

  DrawNetwork(p);

  // The title fills the room left of the network, whatever the installed fonts measure.
  const QString name = QStringLiteral("Netvane 2.0");
  QFont title;
  title.setBold(true);
  for (int px = 40; px > 12; --px) {
    title.setPixelSize(px);
    if (QFontMetrics(title).horizontalAdvance(name) <= kTitleRoom) break;
  }
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRect(28, 70, kTitleRoom, 60), Qt::AlignLeft | Qt::AlignVCenter, name);

  QFont line;
  line.setPixelSize(14);
  p.setFont(line);
  p.setPen(QColor(220, 235, 240));
  p.drawText(QRect(30, 128, kTitleRoom, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Network locations at a click"));

  p.setPen(QColor(255, 255, 255, 90));
  p.drawLine(30, 215, kSplashWidth - 30, 215);
  return picture;
}

void frmSplash::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawPixmap(0, 0, picture_);
}

void frmSplash::ShowFor(int duration_ms) {
  show();
  raise();
  // Events keep running meanwhile, so the picture paints and the system stays answered.
  QEventLoop loop;
  QTimer::singleShot(duration_ms, &loop, &QEventLoop::quit);
  loop.exec();
  close();
}

void ShowSplash(int duration_ms) {
  frmSplash splash;
  splash.ShowFor(duration_ms);
}

}  // namespace netvane::shell
