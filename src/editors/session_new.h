// frmSessionNew: the six-page wizard that creates a location. The pages visited follow the
// connection kind chosen on page 1; each page is checked when the user presses Next, and the
// last page saves the location under a new id.
#pragma once

#include <array>

#include "editors/location_dialog.h"

class QPushButton;
class QStackedWidget;

namespace netvane::editors {

class frmSessionNew : public LocationDialog {
  Q_OBJECT

 public:
  explicit frmSessionNew(EditorServices& services, QWidget* parent = nullptr);

  // The page now shown (0..5).
  int m_Step() const { return step_; }

  QWidget* pnlStep(int i) const { return pages_[static_cast<size_t>(i)]; }
  QPushButton* cmdPrev() const { return prev_; }
  QPushButton* cmdNext() const { return next_; }
  QPushButton* cmdCancel() const { return cancel_; }

 public slots:
  void NextClicked();
  void PrevClicked();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // One builder a page, in page order, and the navigation buttons.
  QWidget* BuildNamePage();
  QWidget* BuildKindPage();
  QWidget* BuildAdslPage();
  QWidget* BuildProgramPage();
  QWidget* BuildTcpIpPage();
  QWidget* BuildFinishPage();
  QLayout* BuildButtons();
  void SetTabOrder();
  bool PassPage0(int* target);
  bool PassPage1(int* target);
  bool PassPage2(int* target);
  bool PassPage3(int* target);
  bool PassPage4(int* target);
  void Finish();
  int16_t NewLocationId();

  int step_ = 0;
  bool first_activate_ = true;

  QStackedWidget* stack_ = nullptr;
  std::array<QWidget*, 6> pages_{};
  QPushButton* proxy_ = nullptr;
  QPushButton* printer_ = nullptr;
  QPushButton* prev_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace netvane::editors
