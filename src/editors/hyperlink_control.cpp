#include "editors/hyperlink_control.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QTimer>

namespace netvane::editors {
namespace {

QColor ColorOr(const QVariantMap& bag, const QString& name, const QColor& fallback) {
  const QVariant value = bag.value(name);
  if (value.canConvert<QColor>()) {
    const QColor color = value.value<QColor>();
    if (color.isValid()) return color;
  }
  return fallback;
}

}  // namespace

HyperLinkControl::HyperLinkControl(platform::Shell& shell, QWidget* parent)
    : QWidget(parent), shell_(&shell) {
  lblHyperLink = new QLabel(this);
  lblHyperLink->setObjectName(QStringLiteral("lblHyperLink"));
  lblHyperLink->move(0, 0);
  // The control takes every mouse event, so hover and click work the same over the text and
  // over any margin.
  lblHyperLink->setAttribute(Qt::WA_TransparentForMouseEvents);

  tmrTimer = new QTimer(this);
  tmrTimer->setObjectName(QStringLiteral("tmrTimer"));
  tmrTimer->setInterval(kLinkPollMs);
  connect(tmrTimer, &QTimer::timeout, this, &HyperLinkControl::CheckPointer);

  setMouseTracking(true);
  setAutoFillBackground(true);
  WatchParent(parent);
  SetHyperLink(hyperlink_);
  Redraw();
}

int32_t HyperLinkControl::OpenHyperLink(const QString& link) {
  const QString target = link.isEmpty() ? hyperlink_ : link;
  if (target.isEmpty() || shell_ == nullptr) return 0;
  return shell_->OpenDocument(target.toStdString());
}

// ---- Properties -------------------------------------------------------------------------

void HyperLinkControl::SetCaption(const QString& caption) {
  caption_ = caption;
  emit PropertyChanged(QStringLiteral("Caption"));
  Redraw();
}

void HyperLinkControl::SetHyperLink(const QString& link) {
  hyperlink_ = link;
  lblHyperLink->setToolTip(link);
  setToolTip(link);
  emit PropertyChanged(QStringLiteral("HyperLink"));
  // An empty caption shows the link itself.
  if (caption_.isEmpty()) Redraw();
}

void HyperLinkControl::SetLinkInactiveColor(const QColor& color) {
  inactive_ = color;
  emit PropertyChanged(QStringLiteral("LinkInactiveColor"));
  Redraw();
}

void HyperLinkControl::SetLinkActiveColor(const QColor& color) {
  active_ = color;
  emit PropertyChanged(QStringLiteral("LinkActiveColor"));
  Redraw();
}

void HyperLinkControl::SetLinkHotColor(const QColor& color) {
  hot_ = color;
  emit PropertyChanged(QStringLiteral("LinkHotColor"));
  Redraw();
}

QColor HyperLinkControl::BackColor() const {
  return back_color_ ? *back_color_ : AmbientBackColor();
}

void HyperLinkControl::SetBackColor(const QColor& color) {
  back_color_ = color;
  emit PropertyChanged(QStringLiteral("BackColor"));
  Redraw();
}

QFont HyperLinkControl::Font() const { return font_ ? *font_ : QWidget::font(); }

void HyperLinkControl::SetFont(const QFont& font) {
  font_ = font;
  emit PropertyChanged(QStringLiteral("Font"));
  Redraw();
}

void HyperLinkControl::ReadProperties(const QVariantMap& bag) {
  SetCaption(
      bag.value(QStringLiteral("Caption"), QString::fromLatin1(kDefaultLinkCaption)).toString());
  SetHyperLink(
      bag.value(QStringLiteral("HyperLink"), QString::fromLatin1(kDefaultHyperLink)).toString());
  SetLinkInactiveColor(ColorOr(bag, QStringLiteral("LinkInactiveColor"), QColor(0, 0, 0)));
  SetLinkActiveColor(ColorOr(bag, QStringLiteral("LinkActiveColor"), QColor(0, 0, 255)));
  SetLinkHotColor(ColorOr(bag, QStringLiteral("LinkHotColor"), QColor(255, 0, 0)));
  SetBackColor(ColorOr(bag, QStringLiteral("BackColor"), AmbientBackColor()));
  const QVariant font = bag.value(QStringLiteral("Font"));
  SetFont(font.canConvert<QFont>() ? font.value<QFont>() : QWidget::font());
}

QVariantMap HyperLinkControl::WriteProperties() const {
  return {{QStringLiteral("Caption"), caption_},
          {QStringLiteral("HyperLink"), hyperlink_},
          {QStringLiteral("LinkInactiveColor"), inactive_},
          {QStringLiteral("LinkActiveColor"), active_},
          {QStringLiteral("LinkHotColor"), hot_},
          {QStringLiteral("BackColor"), BackColor()},
          {QStringLiteral("Font"), Font()}};
}

// ---- Pointer ----------------------------------------------------------------------------

void HyperLinkControl::CheckPointer() {
  const QPoint p = mapFromGlobal(QCursor::pos());
  if (p.x() < 0 || p.y() < 0 || p.x() >= width() || p.y() >= height()) Leave();
}

void HyperLinkControl::Hover() {
  setCursor(Qt::PointingHandCursor);
  if (state_ != State::kInactive) return;
  state_ = State::kActive;
  tmrTimer->start();
  ShowState();
}

void HyperLinkControl::Leave() {
  state_ = State::kInactive;
  pressed_ = false;
  unsetCursor();
  tmrTimer->stop();
  ShowState();
}

void HyperLinkControl::mouseMoveEvent(QMouseEvent* event) {
  Hover();
  event->accept();
}

void HyperLinkControl::mousePressEvent(QMouseEvent* event) {
  if (state_ == State::kActive) {
    state_ = State::kHot;
    ShowState();
  }
  if (event->button() == Qt::LeftButton) pressed_ = true;
  event->accept();
}

void HyperLinkControl::mouseReleaseEvent(QMouseEvent* event) {
  if (state_ == State::kHot) {
    state_ = State::kActive;
    ShowState();
  }
  const bool click =
      event->button() == Qt::LeftButton && pressed_ && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (!click) return;

  bool cancel = false;
  const QPointer<HyperLinkControl> alive(this);
  emit Clicked(hyperlink_, cancel);
  if (alive && !cancel) OpenHyperLink(QString());
}

bool HyperLinkControl::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Enter:
      Hover();
      break;
    case QEvent::Leave:
      // The timer also catches a pointer that left faster than a move event arrived.
      CheckPointer();
      break;
    case QEvent::ParentChange:
      WatchParent(parentWidget());
      Redraw();
      break;
    case QEvent::FontChange:
      // The container's font reached us: an ambient font applies unless one was set.
      if (!font_) Redraw();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

bool HyperLinkControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watched_parent_ && event->type() == QEvent::PaletteChange) {
    // The container's background changed: the control follows it, as a new ambient value.
    const QColor ambient = AmbientBackColor();
    if (!back_color_) {
      ShowState();
    } else if (*back_color_ != ambient) {
      SetBackColor(ambient);
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---- Drawing ----------------------------------------------------------------------------

void HyperLinkControl::Redraw() {
  state_ = State::kInactive;
  lblHyperLink->setText(caption_.isEmpty() ? hyperlink_ : caption_);
  ShowState();
}

void HyperLinkControl::ShowState() {
  QFont font = Font();
  font.setUnderline(state_ != State::kInactive);
  lblHyperLink->setFont(font);

  QPalette text = lblHyperLink->palette();
  const QColor& color =
      state_ == State::kHot ? hot_ : (state_ == State::kActive ? active_ : inactive_);
  text.setColor(QPalette::WindowText, color);
  lblHyperLink->setPalette(text);

  QPalette back = palette();
  back.setColor(QPalette::Window, BackColor());
  setPalette(back);

  lblHyperLink->adjustSize();
  setFixedSize(lblHyperLink->size());
}

void HyperLinkControl::WatchParent(QWidget* parent) {
  if (watched_parent_ == parent) return;
  if (watched_parent_ != nullptr) watched_parent_->removeEventFilter(this);
  watched_parent_ = parent;
  if (parent != nullptr) parent->installEventFilter(this);
}

QColor HyperLinkControl::AmbientBackColor() const {
  if (const QWidget* p = parentWidget()) return p->palette().color(p->backgroundRole());
  return QApplication::palette().color(QPalette::Window);
}

}  // namespace netvane::editors
