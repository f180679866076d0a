// frmSessionModify: the property editor of one stored location, its values spread over five
// tabs. OK and Apply check every tab in a fixed order and save the location in place with a
// fresh Lease stamp; OK then closes.
#pragma once

#include <QDialog>
#include <array>

#include "editors/editor_common.h"
#include "editors/ip_address_control.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace netvane::editors {

class frmSessionModify : public QDialog {
  Q_OBJECT

 public:
  explicit frmSessionModify(EditorServices& services, QWidget* parent = nullptr);

  // The location being edited, set by the caller before the window loads.
  int16_t SelectedSessionID = 0;

  // Fills the window from the location; false (and the window closes) when the location is
  // not in the location table. Showing the window loads it when nobody did.
  bool Load();
  // OK and Apply: check, then save in place; true when saved.
  bool SaveEditedLocation();
  // The checks of every tab, building the record; false at the first failure, whose message
  // has been shown with its tab selected and its control focused.
  bool CollectLocation();

  const store::LocationRecord& m_Location() const { return location_; }
  int m_KindIndex() const { return kind_index_; }
  int m_AdslIndex() const { return adsl_index_; }

  QTabWidget* tabSession() const { return tabs_; }
  QLineEdit* txtSessionName() const { return name_; }
  QComboBox* cboNIC() const { return nic_; }
  QRadioButton* optStep1(int i) const { return kind_[static_cast<size_t>(i)]; }
  QRadioButton* optStep2(int i) const { return adsl_[static_cast<size_t>(i)]; }
  QLineEdit* txtProgramName() const { return program_; }
  IpAddressControl* txtIP() const { return ip_; }
  IpAddressControl* txtSubnet() const { return subnet_; }
  IpAddressControl* txtGateway() const { return gateway_; }
  IpAddressControl* txtDNS() const { return dns_; }
  QListWidget* lstGateway() const { return gateways_; }
  QListWidget* lstDNS() const { return servers_; }
  QTreeWidget* lstPrinter() const { return printers_; }
  QCheckBox* chkExpAll() const { return all_; }
  QCheckBox* chkExpNotUse() const { return not_use_; }
  QLineEdit* txtExpKind(int i) const { return proxy_kind_[static_cast<size_t>(i)]; }
  QLineEdit* txtExpPort(int i) const { return proxy_port_[static_cast<size_t>(i)]; }
  QPushButton* cmdOK() const { return ok_; }
  QPushButton* cmdApply() const { return apply_; }
  QPushButton* cmdCancel() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildWindow();
  void SetTabOrder();
  void KindClicked(int i);
  void AdslClicked(int i);
  void ExpAllClicked();
  void ExpNotUseClicked();
  void SetProxyRows(int first, int last, bool enabled);
  void FillAddressLists(const store::LocationRecord& r);
  void FillPrinters(const store::LocationRecord& r);
  void PrinterChecked(QTreeWidgetItem* item);
  void PrinterClicked();
  bool Fail(const char* text, PromptIcon icon, int tab, QWidget* focus);

  EditorServices& s_;
  store::LocationRecord location_;
  int kind_index_ = 0;
  int adsl_index_ = 0;
  bool loaded_ = false;
  bool checking_ = false;  // the window itself is changing check marks
  // The row under the mouse when the button went down, and its mark then: a click that
  // changed the mark was on the tick box itself.
  QTreeWidgetItem* pressed_row_ = nullptr;
  Qt::CheckState pressed_mark_ = Qt::Unchecked;

  QTabWidget* tabs_ = nullptr;
  QLineEdit* name_ = nullptr;
  QComboBox* nic_ = nullptr;
  std::array<QRadioButton*, 5> kind_{};
  std::array<QRadioButton*, 4> adsl_{};
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
  QTreeWidget* printers_ = nullptr;
  QCheckBox* all_ = nullptr;
  QCheckBox* not_use_ = nullptr;
  std::array<QLineEdit*, 5> proxy_kind_{};
  std::array<QLineEdit*, 5> proxy_port_{};
  QPushButton* ok_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace netvane::editors
