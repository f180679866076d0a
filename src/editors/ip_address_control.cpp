#include "editors/ip_address_control.h"

#include <qdrawutil.h>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>

#include "platform/text.h"

namespace netvane::editors {
namespace {

constexpr int kOctets = 4;
const char kRangeText[] = " -Invalid range. Please indicate number between 0 and 255.";

// Leading and trailing blanks off, as the program has always trimmed its texts.
QString TrimBlanks(const QString& text) {
  const auto [first, end] = platform::TrimmedBounds(text, platform::kIsSpace);
  return text.mid(first, end - first);
}

// The octet's value, or -1 when the text is not a number from 0 to 255. Only plain digits
// count as a number: that is all the boxes let a user type.
int OctetValue(const QString& text) {
  if (text.isEmpty() || text.size() > 15) return -1;
  for (QChar ch : text) {
    if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) return -1;
  }
  const qlonglong value = text.toLongLong();
  return value <= 255 ? static_cast<int>(value) : -1;
}

// Keys that the original platform turned into a character for the box: printable text,
// Backspace, Enter and control characters, but not the navigation keys Qt also gives text.
bool IsCharacterKey(const QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Escape ||
      key == Qt::Key_Delete) {
    return false;
  }
  const QString text = event->text();
  if (text.isEmpty()) return false;
  const char16_t c = text.at(0).unicode();
  return c != 0x7f && c != 0x1b && c != u'\t';
}

QColor ColorOr(const QVariantMap& bag, const QString& name, const QColor& fallback) {
  const QVariant value = bag.value(name);
  if (value.canConvert<QColor>()) {
    const QColor color = value.value<QColor>();
    if (color.isValid()) return color;
  }
  return fallback;
}

}  // namespace

IpAddressControl::IpAddressControl(QWidget* parent) : QWidget(parent) {
  Frame1 = new QFrame(this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setFrameShape(QFrame::NoFrame);

  // Design size: room for three digits per box whatever the font.
  const QFontMetrics metrics(font());
  const int box_width = metrics.horizontalAdvance(QStringLiteral("000")) + 10;
  const int dot_width = metrics.horizontalAdvance(QLatin1Char('.')) + 4;
  const int height = metrics.height() + 6;
  constexpr int kMargin = 2;
  int x = kMargin;
  for (int i = 0; i < kOctets; ++i) {
    auto* box = new QLineEdit(Frame1);
    box->setObjectName(QStringLiteral("txtOctet(%1)").arg(i + 1));
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    box->setGeometry(x, kMargin, box_width, height);
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this, [this] {
      m_ReplaceOnType = false;
      emit Change();
    });
    octets_[i] = box;
    x += box_width;
    if (i + 1 < kOctets) {
      auto* dot = new QLabel(QStringLiteral("."), Frame1);
      dot->setObjectName(QStringLiteral("lblDot(%1)").arg(i + 1));
      dot->setAlignment(Qt::AlignCenter);
      dot->setGeometry(x, kMargin, dot_width, height);
      lblDot[i] = dot;
      x += dot_width;
    }
  }
  Frame1->setFixedSize(x + kMargin, height + 2 * kMargin);
  setFocusProxy(octets_[0]);

  back_color_ = palette().color(QPalette::Active, QPalette::Base);
  fore_color_ = palette().color(QPalette::Active, QPalette::Text);
  ApplyColors();
  ApplyBorder();
  SetMessageBox({});
}

QLineEdit* IpAddressControl::txtOctet(int i) const {
  return i >= 1 && i <= kOctets ? octets_[i - 1] : nullptr;
}

void IpAddressControl::SetMessageBox(MessageHook show) {
  if (!show) {
    show = [this](const QString& title, const QString& text) {
      QMessageBox::information(this, title, text);
    };
  }
  show_message_ = std::move(show);
}

bool IpAddressControl::SetIP(QString& ip) {
  ip = TrimBlanks(ip);
  if (ip.isEmpty() || ip.size() > 15) return false;
  if (ip.count(QLatin1Char('.')) != 3) return false;

  std::array<int, kOctets> values{};
  int taken = 0;
  QString part;
  auto take = [&] {
    const int value = OctetValue(part);
    if (value < 0 || taken >= kOctets) return false;
    values[taken++] = value;
    part.clear();
    return true;
  };
  for (QChar ch : ip) {
    if (ch != QLatin1Char('.')) {
      part += ch;
    } else if (!take()) {
      return false;
    }
  }
  if (!take() || taken != kOctets) return false;

  for (int i = 0; i < kOctets; ++i) octets_[i]->setText(QString::number(values[i]));
  return true;
}

QString IpAddressControl::GetIp() const {
  QStringList parts;
  for (const QLineEdit* box : octets_) parts << box->text();
  return parts.join(QLatin1Char('.'));
}

bool IpAddressControl::IPValidCheck() const {
  for (int i = 1; i <= 4; ++i) {
    if (OctetValue(TrimBlanks(octets_[i - 1]->text())) < 0) return false;
  }
  return true;
}

void IpAddressControl::PutOctet(int16_t& index, int16_t value) {
  index = std::clamp<int16_t>(index, 1, kOctets);
  octets_[index - 1]->setText(QString::number(value));
}

void IpAddressControl::Refresh() {
  update();
  for (QLineEdit* box : octets_) box->update();
  for (QLabel* dot : lblDot) dot->update();
}

// ---- Properties -------------------------------------------------------------------------

void IpAddressControl::SetBackColor(const QColor& color) {
  back_color_ = color;
  ApplyColors();
  emit PropertyChanged(QStringLiteral("BackColor"));
}

void IpAddressControl::SetForeColor(const QColor& color) {
  fore_color_ = color;
  ApplyColors();
  emit PropertyChanged(QStringLiteral("ForeColor"));
}

void IpAddressControl::SetValidIp(bool valid) {
  valid_ip_ = valid;
  emit PropertyChanged(QStringLiteral("ValidIp"));
}

void IpAddressControl::SetAppearance(int appearance) {
  appearance_ = std::clamp(appearance, 0, 1);
  ApplyBorder();
  emit PropertyChanged(QStringLiteral("Appearance"));
}

void IpAddressControl::SetBorderStyle(int style) {
  border_style_ = std::clamp(style, 0, 1);
  ApplyBorder();
  emit PropertyChanged(QStringLiteral("BorderStyle"));
}

void IpAddressControl::ReadProperties(const QVariantMap& bag) {
  SetBackColor(
      ColorOr(bag, QStringLiteral("BackColor"), palette().color(QPalette::Active, QPalette::Base)));
  SetForeColor(
      ColorOr(bag, QStringLiteral("ForeColor"), palette().color(QPalette::Active, QPalette::Text)));
  SetValidIp(bag.value(QStringLiteral("ValidIp"), true).toBool());
  setEnabled(bag.value(QStringLiteral("Enabled"), true).toBool());
  SetBorderStyle(bag.value(QStringLiteral("BorderStyle"), 1).toInt());
  SetAppearance(bag.value(QStringLiteral("Appearance"), 0).toInt());
}

QVariantMap IpAddressControl::WriteProperties() const {
  const QPalette box = octets_[0]->palette();
  return {
      {QStringLiteral("BackColor"), box.color(QPalette::Active, QPalette::Base)},
      {QStringLiteral("ForeColor"), box.color(QPalette::Active, QPalette::Text)},
      {QStringLiteral("Enabled"), !testAttribute(Qt::WA_ForceDisabled)},
      {QStringLiteral("BorderStyle"), border_style_},
      {QStringLiteral("Appearance"), appearance_},
      {QStringLiteral("ValidIp"), valid_ip_},
  };
}

void IpAddressControl::ApplyColors() {
  // The disabled text colour stays the style's, so that a disabled control still looks it.
  auto paint = [this](QWidget* w, QPalette::ColorRole back, QPalette::ColorRole fore) {
    QPalette pal = w->palette();
    pal.setColor(back, back_color_);
    pal.setColor(QPalette::Active, fore, fore_color_);
    pal.setColor(QPalette::Inactive, fore, fore_color_);
    w->setPalette(pal);
  };
  for (QLineEdit* box : octets_) paint(box, QPalette::Base, QPalette::Text);
  for (QLabel* dot : lblDot) {
    dot->setAutoFillBackground(true);
    paint(dot, QPalette::Window, QPalette::WindowText);
  }
  // The gaps between boxes and dots take the same colour, so the value reads as one field.
  QPalette frame = Frame1->palette();
  frame.setColor(QPalette::Window, back_color_);
  Frame1->setPalette(frame);
  Frame1->setAutoFillBackground(true);
}

// ---- Size and border --------------------------------------------------------------------

int IpAddressControl::BorderPixels() const {
  int twips = appearance_ * border_style_ * 50;
  if (border_style_ == 1 && twips == 0) twips = 30;
  return (twips + 7) / 15;
}

void IpAddressControl::ApplyBorder() {
  const int border = BorderPixels();
  setFixedSize(Frame1->size() + QSize(border, border));
  Frame1->move(border / 2, border / 2);
  update();
}

void IpAddressControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Frame1 sits at the origin of the area inside the border; the control keeps its size.
  const int border = BorderPixels();
  Frame1->move(border / 2, border / 2);
  const QSize wanted = Frame1->size() + QSize(border, border);
  if (event->size() != wanted) resize(wanted);
}

void IpAddressControl::paintEvent(QPaintEvent*) {
  if (border_style_ == 0) return;
  QPainter painter(this);
  if (appearance_ == 1) {
    qDrawShadePanel(&painter, rect(), palette(), true, 1);
  } else {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void IpAddressControl::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    const bool own = !testAttribute(Qt::WA_ForceDisabled);
    if (own != own_enabled_) {
      own_enabled_ = own;
      emit PropertyChanged(QStringLiteral("Enabled"));
    }
  }
  QWidget::changeEvent(event);
}

// ---- Events of the boxes ----------------------------------------------------------------

int IpAddressControl::IndexOf(const QObject* watched) const {
  for (int i = 0; i < kOctets; ++i) {
    if (octets_[i] == watched) return i + 1;
  }
  return 0;
}

int IpAddressControl::Caret(int i) const {
  // The start of the selection when there is one, where the original read its caret.
  const QLineEdit* box = octets_[i - 1];
  return box->hasSelectedText() ? box->selectionStart() : box->cursorPosition();
}

bool IpAddressControl::eventFilter(QObject* watched, QEvent* event) {
  const int i = IndexOf(watched);
  if (i == 0) return QWidget::eventFilter(watched, event);
  QLineEdit* box = octets_[i - 1];

  switch (event->type()) {
    case QEvent::FocusIn: {
      // The box takes focus its own way first; its select-all on Tab is undone so that the
      // rules below alone decide what is selected.
      const bool had_selection = box->hasSelectedText();
      const int cursor = box->cursorPosition();
      static_cast<QObject*>(box)->event(event);
      if (!had_selection && box->hasSelectedText()) box->setCursorPosition(cursor);
      if (handler_depth_ > 0) {
        deferred_focus_.emplace_back(i, true);
      } else {
        GotFocus(i);
      }
      return true;
    }
    case QEvent::FocusOut:
      if (handler_depth_ > 0) {
        deferred_focus_.emplace_back(i, false);
      } else {
        LostFocus(i);
      }
      return false;
    case QEvent::MouseButtonPress:
      emit Click();
      return false;
    case QEvent::KeyPress: {
      // One Qt event stands for key down followed by the character.
      const auto* key = static_cast<QKeyEvent*>(event);
      ++handler_depth_;
      bool eaten = KeyDown(i, key->key());
      if (!eaten && IsCharacterKey(key)) {
        eaten = KeyPressed(i, key->text().at(0));
        emit KeyPress();
      }
      EndHandler();
      return eaten;
    }
    case QEvent::KeyRelease:
      if (static_cast<QKeyEvent*>(event)->isAutoRepeat()) return false;
      ++handler_depth_;
      KeyUp(i);
      EndHandler();
      return false;
    default:
      return false;
  }
}

void IpAddressControl::EndHandler() {
  if (--handler_depth_ > 0) return;
  // The focus events the handler caused reach the rules now, as if they had been queued.
  while (!deferred_focus_.empty()) {
    const auto events = std::exchange(deferred_focus_, {});
    for (const auto& [i, focus_in] : events) {
      if (focus_in) {
        GotFocus(i);
      } else {
        LostFocus(i);
      }
    }
  }
}

void IpAddressControl::GotFocus(int i) {
  if (m_SkipFocusSelect) {
    m_SkipFocusSelect = false;
    return;
  }
  if (m_ErrorShown) {
    m_ErrorShown = false;
    return;
  }
  QLineEdit* box = octets_[i - 1];
  const int length = static_cast<int>(box->text().size());
  box->setSelection(length, -length);  // whole text, caret at 0
  tags_[i - 1] = box->text();
  m_ReplaceOnType = true;
}

void IpAddressControl::LostFocus(int i) { tags_[i - 1].clear(); }

void IpAddressControl::MoveOctetFocus(int& index, int step) {
  index += step;
  if (index >= kOctets) index = kOctets;
  if (index > 0) {
    octets_[index - 1]->setFocus();
  } else {
    index = 1;
  }
}

bool IpAddressControl::KeyDown(int i, int key) {
  if (key != Qt::Key_Left && key != Qt::Key_Right) return false;
  m_NoAutoAdvance = true;
  const int length = static_cast<int>(octets_[i - 1]->text().size());
  int index = i;
  if (key == Qt::Key_Left) {
    if (Caret(i) != 0) return false;
    MoveOctetFocus(index, -1);
    m_SkipFocusSelect = true;
    if (index > 1) octets_[index - 1]->setCursorPosition(octets_[index - 1]->text().size());
  } else {
    if (Caret(i) != length) return false;
    MoveOctetFocus(index, +1);
    m_SkipFocusSelect = true;
    if (index < 3) octets_[index - 1]->setCursorPosition(0);
  }
  return true;
}

bool IpAddressControl::KeyPressed(int i, QChar ch) {
  QLineEdit* box = octets_[i - 1];
  if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) {
    const int length = static_cast<int>(box->text().size());
    const int start = Caret(i);
    if (!m_ReplaceOnType && length >= 3) return true;
    if (m_ReplaceOnType) {
      box->clear();
      m_ReplaceOnType = false;  // also when the box was empty and no change came
    }
    const QString present = box->text();
    QString candidate;
    if (start == length) {
      candidate = TrimBlanks(present) + ch;
    } else if (start != 0) {
      candidate = present.left(start) + ch + present.mid(start);
    } else {
      candidate = ch + TrimBlanks(present);
    }
    bool ok = false;
    const int value = TrimBlanks(candidate).toInt(&ok);
    if (ok && value >= 0 && value <= 255) return false;
    ShowRangeError(i, candidate);
    return true;
  }
  if (ch == QLatin1Char('.') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
    int index = i;
    MoveOctetFocus(index, +1);
    return true;
  }
  if (ch == QLatin1Char('\b')) {
    if (Caret(i) != 0 || i == 1) return false;
    int index = i;
    MoveOctetFocus(index, -1);
    m_SkipFocusSelect = true;
    QLineEdit* previous = octets_[index - 1];
    if (!previous->text().isEmpty()) previous->setText(previous->text().chopped(1));
    previous->setCursorPosition(previous->text().size());
    return false;  // reaches this box, whose caret is at 0: nothing to delete
  }
  m_NoAutoAdvance = true;
  return true;
}

void IpAddressControl::ShowRangeError(int i, const QString& candidate) {
  QLineEdit* box = octets_[i - 1];
  box->setText(candidate);
  m_ErrorShown = true;
  show_message_(QStringLiteral("Error"), candidate + QLatin1String(kRangeText));
  const QString& tag = tags_[i - 1];
  box->setText(TrimBlanks(tag).isEmpty() ? QStringLiteral("255") : tag);
  box->setCursorPosition(std::min<int>(3, box->text().size()));
  m_SkipFocusSelect = true;
  m_NoAutoAdvance = true;
  box->setFocus();
}

void IpAddressControl::KeyUp(int i) {
  const QLineEdit* box = octets_[i - 1];
  if (!m_NoAutoAdvance && box->text().size() == 3 && Caret(i) == 3) {
    int index = i;
    MoveOctetFocus(index, +1);
  }
  m_NoAutoAdvance = false;
}

}  // namespace netvane::editors
