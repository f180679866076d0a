// HyperLinkControl: a text shown as a web link. It turns the active colour and underlines
// itself while the pointer is over it (with a hand cursor), turns the hot colour while a
// button is held on it, and opens its link with the desktop's "open" verb when clicked,
// unless the host cancels the click.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QVariantMap>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "platform/shell.h"

class QLabel;
class QTimer;

namespace netvane::editors {

inline constexpr char kDefaultLinkCaption[] = "www.netvane.example";
inline constexpr char kDefaultHyperLink[] = "https://netvane.example/en/";
// How often the pointer is checked while the link is lit.
inline constexpr int kLinkPollMs = 100;

class HyperLinkControl : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(QString HyperLink READ HyperLink WRITE SetHyperLink)
  Q_PROPERTY(QColor LinkInactiveColor READ LinkInactiveColor WRITE SetLinkInactiveColor)
  Q_PROPERTY(QColor LinkActiveColor READ LinkActiveColor WRITE SetLinkActiveColor)
  Q_PROPERTY(QColor LinkHotColor READ LinkHotColor WRITE SetLinkHotColor)
  Q_PROPERTY(QColor BackColor READ BackColor WRITE SetBackColor)
  Q_PROPERTY(QFont Font READ Font WRITE SetFont)

 public:
  explicit HyperLinkControl(platform::Shell& shell, QWidget* parent = nullptr);

  void SetShell(platform::Shell& shell) { shell_ = &shell; }

  // Opens `link`, or the HyperLink property when `link` is empty, with the "open" verb.
  // Returns the shell's result (above 32 on success); 0 when there is nothing to open.
  int32_t OpenHyperLink(const QString& link);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  QString HyperLink() const { return hyperlink_; }
  void SetHyperLink(const QString& link);
  QColor LinkInactiveColor() const { return inactive_; }
  void SetLinkInactiveColor(const QColor& color);
  QColor LinkActiveColor() const { return active_; }
  void SetLinkActiveColor(const QColor& color);
  QColor LinkHotColor() const { return hot_; }
  void SetLinkHotColor(const QColor& color);
  // Until set, the container's background and font.
  QColor BackColor() const;
  void SetBackColor(const QColor& color);
  QFont Font() const;
  void SetFont(const QFont& font);

  // The persisted properties, by their names, with their defaults when missing.
  void ReadProperties(const QVariantMap& bag);
  QVariantMap WriteProperties() const;

  QLabel* label() const { return lblHyperLink; }
  QTimer* timer() const { return tmrTimer; }

 public slots:
  // The timer's tick: when the pointer is no longer over the control, the link goes dark.
  void CheckPointer();

 signals:
  // Raised on a click; a handler that sets `cancel` keeps the link from opening. Connect
  // directly (the flag is passed by reference).
  void Clicked(const QString& link, bool& cancel);
  // A property changed, by its name (so that a host can save it).
  void PropertyChanged(const QString& name);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  enum class State { kInactive, kActive, kHot };

  void Hover();
  void Leave();
  void Redraw();
  void ShowState();
  void WatchParent(QWidget* parent);
  QColor AmbientBackColor() const;

  QLabel* lblHyperLink = nullptr;
  QTimer* tmrTimer = nullptr;
  platform::Shell* shell_;
  QWidget* watched_parent_ = nullptr;

  QString caption_ = QString::fromLatin1(kDefaultLinkCaption);
  QString hyperlink_ = QString::fromLatin1(kDefaultHyperLink);
  QColor inactive_ = QColor(0, 0, 0);
  QColor active_ = QColor(0, 0, 255);
  QColor hot_ = QColor(255, 0, 0);
  std::optional<QColor> back_color_;
  std::optional<QFont> font_;
  State state_ = State::kInactive;
  bool pressed_ = false;
};

}  // namespace netvane::editors
