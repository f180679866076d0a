// frmSplash: the picture shown on top of everything while the program starts.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace netvane::shell {

inline constexpr int kSplashWidth = 431;
inline constexpr int kSplashHeight = 250;
inline constexpr int kSplashMs = 3000;

class frmSplash : public QWidget {
  Q_OBJECT

 public:
  explicit frmSplash(QWidget* parent = nullptr);

  // Shows the window on top, keeps the program's events running until `duration_ms` have
  // passed since the show, then closes it.
  void ShowFor(int duration_ms = kSplashMs);

  // The splash picture, 431 by 250 pixels.
  static QPixmap Picture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
};

// The start-up step: a splash window for `duration_ms`, gone when this returns.
void ShowSplash(int duration_ms = kSplashMs);

}  // namespace netvane::shell
