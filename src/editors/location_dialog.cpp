#include "editors/location_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace netvane::editors {

LocationDialog::LocationDialog(EditorServices& services, QWidget* parent)
    : QDialog(parent), s_(services) {}

void LocationDialog::NewNameAndAdapter(QWidget* parent) {
  name_ = new QLineEdit(parent);
  name_->setObjectName(QStringLiteral("txtSessionName"));
  nic_ = new QComboBox(parent);
  nic_->setObjectName(QStringLiteral("cboNIC"));
}

QCheckBox* LocationDialog::NewRecognisedBox(QWidget* parent) {
  recognised_ = new QCheckBox(
      QStringLiteral("Apply automatically when Netvane recognises this network"), parent);
  recognised_->setObjectName(QStringLiteral("chkApplyWhenRecognised"));
  // Ticking it before the first apply is allowed: it waits for a network to recognise.
  recognised_->setToolTip(
      QStringLiteral("Netvane remembers a network when this location has been applied "
                     "successfully."));
  return recognised_;
}

void LocationDialog::SetTabChain(const std::vector<QWidget*>& order) {
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

bool LocationDialog::Fail(const char* text, PromptIcon icon, QWidget* focus) {
  s_.prompt.Show(text, icon, PromptButtons::kOk);
  ShowPageOf(focus);
  focus->setFocus();
  return false;
}

void LocationDialog::ShowPageOf(QWidget*) {}

bool LocationDialog::ReadName(std::optional<int16_t> own_id, const char* taken,
                              PromptIcon taken_icon) {
  const QString name = TrimBlanks(name_->text());
  name_->setText(name);
  if (name.isEmpty()) return Fail("Input location name.", PromptIcon::kNone, name_);
  for (const store::LocationRecord& r : s_.state.LocationTable) {
    if (r.LocationId != own_id && Q(r.SessionName) == name) {
      return Fail(taken, taken_icon, name_);
    }
  }
  location_.SessionName = S(name);
  return true;
}

bool LocationDialog::ReadProgram(const char* invalid) {
  QLineEdit* box = program_->box();
  const QString path = TrimBlanks(box->text());
  box->setText(path);
  if (path.isEmpty()) return Fail("You should choose a launch program.", PromptIcon::kNone, box);
  if (!ProgramPathCheck(S(path), s_.shell, s_.registry)) {
    return Fail(invalid, PromptIcon::kNone, box);
  }
  location_.ExecutePath = S(path);
  return true;
}

bool LocationDialog::ReadTcpIp(const char* invalid_mask) {
  if (!txtIP()->IPValidCheck()) {
    return Fail("Invalid IP address. Please, check!", PromptIcon::kInformation, txtIP());
  }
  location_.IPAddress = S(txtIP()->GetIp());
  if (!txtSubnet()->IPValidCheck()) {
    return Fail(invalid_mask, PromptIcon::kInformation, txtSubnet());
  }
  location_.SubnetMask = S(txtSubnet()->GetIp());
  location_.Gateway = JoinRows(lstGateway());
  location_.DNS = JoinRows(lstDNS());
  return true;
}

}  // namespace netvane::editors
