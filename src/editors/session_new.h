// frmSessionNew: the six-page wizard that creates a location. The pages visited follow the
// connection kind chosen on page 1; each page is checked when the user presses Next, and the
// last page saves the location under a new id.
#pragma once

#include <QDialog>
#include <array>

#include "editors/editor_common.h"
#include "editors/ip_address_control.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace netvane::editors {

class frmSessionNew : public QDialog {
  Q_OBJECT

 public:
  explicit frmSessionNew(EditorServices& services, QWidget* parent = nullptr);

  // The page now shown (0..5).
  int m_Step() const { return step_; }
  const store::LocationRecord& m_Location() const { return location_; }

  QWidget* pnlStep(int i) const { return pages_[static_cast<size_t>(i)]; }
  QRadioButton* optStep1(int i) const { return kind_[static_cast<size_t>(i)]; }
  QRadioButton* optStep2(int i) const { return adsl_[static_cast<size_t>(i)]; }
  QPushButton* cmdPrev() const { return prev_; }
  QPushButton* cmdNext() const { return next_; }
  QPushButton* cmdCancel() const { return cancel_; }
  QLineEdit* txtSessionName() const { return name_; }
  QComboBox* cboNIC() const { return nic_; }
  QLineEdit* txtProgramName() const { return program_; }
  IpAddressControl* txtIP() const { return ip_; }
  IpAddressControl* txtSubnet() const { return subnet_; }
  IpAddressControl* txtGateway() const { return gateway_; }
  IpAddressControl* txtDNS() const { return dns_; }
  QListWidget* lstGateway() const { return gateways_; }
  QListWidget* lstDNS() const { return servers_; }

 public slots:
  void NextClicked();
  void PrevClicked();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPages();
  void SetTabOrder();
  void ShowPage(int target);
  // A failed check: its message, then the focus where it belongs; always false.
  bool Fail(const char* text, PromptIcon icon, QWidget* focus);
  bool PassPage0(int* target);
  bool PassPage1(int* target);
  bool PassPage3(int* target);
  bool PassPage4(int* target);
  void Finish();
  int16_t NewLocationId();

  EditorServices& s_;
  store::LocationRecord location_;
  int step_ = 0;
  bool first_activate_ = true;

  QStackedWidget* stack_ = nullptr;
  std::array<QWidget*, 6> pages_{};
  std::array<QRadioButton*, 5> kind_{};
  std::array<QRadioButton*, 4> adsl_{};
  QLineEdit* name_ = nullptr;
  QComboBox* nic_ = nullptr;
  QLineEdit* program_ = nullptr;
  QPushButton* search_ = nullptr;
  IpAddressControl* ip_ = nullptr;
  IpAddressControl* subnet_ = nullptr;
  IpAddressControl* gateway_ = nullptr;
  IpAddressControl* dns_ = nullptr;
  QListWidget* gateways_ = nullptr;
  QListWidget* servers_ = nullptr;
  QPushButton* add_gateway_ = nullptr;
  QPushButton* del_gateway_ = nullptr;
  QPushButton* add_dns_ = nullptr;
  QPushButton* del_dns_ = nullptr;
  QPushButton* proxy_ = nullptr;
  QPushButton* printer_ = nullptr;
  QPushButton* prev_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace netvane::editors
