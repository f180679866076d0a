// IpAddressControl: four octet boxes for one dotted IPv4 value, with the keyboard rules users
// of the location editors rely on: digits only, three per octet, automatic move to the next
// octet, "." and Enter as next octet, Backspace and arrows across octet borders, and an
// immediate range check that restores the value the box had when it got focus.
#pragma once

#include <QColor>
#include <QString>
#include <QVariantMap>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QFrame;

namespace netvane::editors {

class IpAddressControl : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor BackColor READ BackColor WRITE SetBackColor)
  Q_PROPERTY(QColor ForeColor READ ForeColor WRITE SetForeColor)
  Q_PROPERTY(bool ValidIp READ ValidIp WRITE SetValidIp)
  Q_PROPERTY(int Appearance READ Appearance WRITE SetAppearance)
  Q_PROPERTY(int BorderStyle READ BorderStyle WRITE SetBorderStyle)

 public:
  explicit IpAddressControl(QWidget* parent = nullptr);

  // Parses a dotted value and fills the four boxes; false, with nothing changed, for anything
  // else. `ip` is left trimmed of leading and trailing blanks.
  bool SetIP(QString& ip);
  // The four texts joined by "." exactly as they stand.
  QString GetIp() const;
  // True when every box holds a number from 0 to 255.
  bool IPValidCheck() const;
  // Puts `value` into box `index` (clamped into 1..4; the caller's variable gets the clamped
  // index), without a range check.
  void PutOctet(int16_t& index, int16_t value);
  void Refresh();

  // The octet box `i` (1..4); nullptr outside that range.
  QLineEdit* txtOctet(int i) const;

  // Shows the range message (title, text). The default, also restored by an empty hook, is a
  // modal information box over this control.
  using MessageHook = std::function<void(const QString& title, const QString& text)>;
  void SetMessageBox(MessageHook show);

  QColor BackColor() const { return back_color_; }
  void SetBackColor(const QColor& color);
  QColor ForeColor() const { return fore_color_; }
  void SetForeColor(const QColor& color);
  bool ValidIp() const { return valid_ip_; }
  void SetValidIp(bool valid);
  int Appearance() const { return appearance_; }
  void SetAppearance(int appearance);
  int BorderStyle() const { return border_style_; }
  void SetBorderStyle(int style);

  // The persisted properties, by their names, with their defaults when missing.
  void ReadProperties(const QVariantMap& bag);
  QVariantMap WriteProperties() const;

 signals:
  void Click();
  void Change();
  void KeyPress();
  // A property changed, by its name (so that a host can save it).
  void PropertyChanged(const QString& name);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

  int IndexOf(const QObject* watched) const;
  void GotFocus(int i);
  void LostFocus(int i);
  bool KeyDown(int i, int key);
  bool KeyPressed(int i, QChar ch);
  void KeyUp(int i);
  void MoveOctetFocus(int& index, int step);
  void ShowRangeError(int i, const QString& candidate);
  void EndHandler();
  int Caret(int i) const;
  int BorderPixels() const;
  void ApplyColors();
  void ApplyBorder();

  QFrame* Frame1 = nullptr;
  std::array<QLineEdit*, 4> octets_{};  // txtOctet(1)..txtOctet(4)
  std::array<QLabel*, 3> lblDot{};      // lblDot(1)..lblDot(3)
  std::array<QString, 4> tags_;         // each box's Tag
  MessageHook show_message_;

  bool m_SkipFocusSelect = false;
  bool m_ErrorShown = false;
  bool m_NoAutoAdvance = false;
  bool m_ReplaceOnType = false;

  // Focus events that arrive while a key handler runs wait until it has finished:
  // (box, true for focus-in).
  int handler_depth_ = 0;
  std::vector<std::pair<int, bool>> deferred_focus_;
  bool own_enabled_ = true;

  QColor back_color_;
  QColor fore_color_;
  bool valid_ip_ = true;
  int appearance_ = 0;
  int border_style_ = 1;
};

}  // namespace netvane::editors
