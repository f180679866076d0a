// frmNotice: the start-up notice for Windows NT and 2000 users about a DHCP server running on
// the same computer, with the choice not to see it again.
#pragma once

#include <QDialog>

#include "store/settings.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace netvane::shell {

class frmNotice : public QDialog {
  Q_OBJECT

 public:
  frmNotice(store::SettingsStore& store, store::Settings& settings, QWidget* parent = nullptr);

  QCheckBox* chkIsShow = nullptr;
  QPushButton* cmdOK = nullptr;

 private:
  void OkClicked();

  store::SettingsStore& store_;
  store::Settings& settings_;
};

}  // namespace netvane::shell
