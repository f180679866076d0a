// frmProxy: the Internet Explorer proxy servers for the location being created, kept in the
// pending proxy choice of the application state.
#pragma once

#include <QColor>
#include <QDialog>
#include <array>

#include "engine/app_state.h"
#include "prompt/user_prompt.h"

class QCheckBox;
class QFrame;
class QGridLayout;
class QLayout;
class QLineEdit;
class QPushButton;

namespace netvane::editors {

class frmProxy : public QDialog {
  Q_OBJECT

 public:
  frmProxy(engine::AppState& state, UserPrompt& prompt, QWidget* parent = nullptr);

  QLineEdit* txtExpKind(int i) const { return kind_[static_cast<size_t>(i)]; }
  QLineEdit* txtExpPort(int i) const { return port_[static_cast<size_t>(i)]; }
  QCheckBox* ChkExpALL() const { return all_; }
  QPushButton* cmdOK() const { return ok_; }
  QPushButton* cmdCancel() const { return cancel_; }
  QPushButton* cmdNew() const { return reset_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  using BoxArray = std::array<QLineEdit*, 5>;

  QFrame* BuildServerFrame();
  void AddServerRows(QWidget* frame, QGridLayout* grid);
  QLayout* BuildButtons();
  void Load();
  // Enables ("True") or disables ("False") boxes first..last of `boxes`, with the matching
  // background.
  void SetTrueFalse(const BoxArray& boxes, const QString& flag, int first, int last);
  void ClearAll();
  void OnAllProtocolsToggled(bool checked);
  void OnOk();
  void OnCancel();
  void OnReset();

  engine::AppState& state_;
  UserPrompt& prompt_;
  std::array<QLineEdit*, 5> kind_{};
  std::array<QLineEdit*, 5> port_{};
  QCheckBox* all_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* reset_ = nullptr;
  QColor enabled_back_;
  QColor disabled_back_;
};

}  // namespace netvane::editors
