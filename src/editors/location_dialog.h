// What the new-location wizard and the property editor have in common: the location they
// build, the name and adapter boxes, the shared pages, the accessors their controls are known
// by, and the checks both make. A failed check shows its message, brings its control's page into
// view and focuses the control.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "editors/editor_common.h"
#include "editors/ip_address_control.h"
#include "editors/location_pages.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace netvane::editors {

class LocationDialog : public QDialog {
  Q_OBJECT

 public:
  const store::LocationRecord& m_Location() const { return location_; }

  QLineEdit* txtSessionName() const { return name_; }
  QComboBox* cboNIC() const { return nic_; }
  QRadioButton* optStep1(int i) const { return kinds_->option(i); }
  QRadioButton* optStep2(int i) const { return adsl_->option(i); }
  QLineEdit* txtProgramName() const { return program_->box(); }
  IpAddressControl* txtIP() const { return tcp_ip_->ip(); }
  IpAddressControl* txtSubnet() const { return tcp_ip_->subnet(); }
  IpAddressControl* txtGateway() const { return tcp_ip_->gateway(); }
  IpAddressControl* txtDNS() const { return tcp_ip_->dns(); }
  QListWidget* lstGateway() const { return tcp_ip_->gateways(); }
  QListWidget* lstDNS() const { return tcp_ip_->servers(); }
  QCheckBox* chkApplyWhenRecognised() const { return recognised_; }

 protected:
  LocationDialog(EditorServices& services, QWidget* parent);

  // The name box (txtSessionName) and the adapter box (cboNIC), in `parent`.
  void NewNameAndAdapter(QWidget* parent);
  // The box that lets the location be applied when its network is recognised
  // (chkApplyWhenRecognised), unticked, in `parent`.
  QCheckBox* NewRecognisedBox(QWidget* parent);
  // Chains the tab order through `order`.
  static void SetTabChain(const std::vector<QWidget*>& order);

  // A failed check: its message, then the focus where it belongs; always false.
  bool Fail(const char* text, PromptIcon icon, QWidget* focus);
  // Brings the page holding `control` into view.
  virtual void ShowPageOf(QWidget* control);

  // The checks, each taking its value into the location when it passes.
  // The trimmed name: not empty and no other location's (`own_id`: the location's own id).
  bool ReadName(std::optional<int16_t> own_id, const char* taken, PromptIcon taken_icon);
  // The trimmed program path: not empty, then an existing program file (else `invalid`).
  bool ReadProgram(const char* invalid);
  // A valid address, then a valid mask (else `invalid_mask`); the lists as they are.
  bool ReadTcpIp(const char* invalid_mask);

  EditorServices& s_;
  store::LocationRecord location_;
  QLineEdit* name_ = nullptr;
  QComboBox* nic_ = nullptr;
  Options<ConnectionKind>* kinds_ = nullptr;
  Options<AdslType>* adsl_ = nullptr;
  ProgramPath* program_ = nullptr;
  TcpIpPage* tcp_ip_ = nullptr;
  QCheckBox* recognised_ = nullptr;
};

}  // namespace netvane::editors
