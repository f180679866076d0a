#include "editors/session_new.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "editors/printer_dialog.h"
#include "editors/proxy_dialog.h"

namespace netvane::editors {
namespace {

constexpr int kLastPage = 5;

// A plain drawing for the launch-program page.
QPixmap LaunchPicture() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(40, 110, 190));
  p.setPen(Qt::NoPen);
  p.drawEllipse(4, 4, 56, 56);
  p.setPen(QPen(Qt::white, 3));
  p.drawLine(20, 32, 44, 32);
  p.drawLine(34, 22, 44, 32);
  p.drawLine(34, 42, 44, 32);
  return pixmap;
}

}  // namespace

frmSessionNew::frmSessionNew(EditorServices& services, QWidget* parent)
    : QDialog(parent), s_(services) {
  setObjectName(QStringLiteral("frmSessionNew"));
  setWindowTitle(QStringLiteral("Netvane 2.0 - New Location"));
  location_.LocationId = 0;
  BuildPages();
  NoDefaultButtons(this);
  SetTabOrder();

  // Opening: page 0, no way back yet.
  step_ = 0;
  stack_->setCurrentWidget(pages_[0]);
  prev_->setEnabled(false);
  FillNicCombo(nic_, s_.state.AdapterTable);
}

void frmSessionNew::BuildPages() {
  auto* layout = new QVBoxLayout(this);
  stack_ = new QStackedWidget(this);
  layout->addWidget(stack_);
  for (int i = 0; i < 6; ++i) {
    pages_[static_cast<size_t>(i)] = new QWidget(stack_);
    pages_[static_cast<size_t>(i)]->setObjectName(QStringLiteral("pnlStep(%1)").arg(i));
    stack_->addWidget(pages_[static_cast<size_t>(i)]);
  }

  // Page 0: name and adapter.
  {
    auto* l = new QVBoxLayout(pages_[0]);
    l->addWidget(NewLabel(pages_[0], "Label6", QStringLiteral("Input location name.")));
    name_ = new QLineEdit(pages_[0]);
    name_->setObjectName(QStringLiteral("txtSessionName"));
    l->addWidget(name_);
    l->addWidget(
        NewLabel(pages_[0], "Label15", QStringLiteral("Select LAN adapter for current location.")));
    nic_ = new QComboBox(pages_[0]);
    nic_->setObjectName(QStringLiteral("cboNIC"));
    l->addWidget(nic_);
    l->addStretch();
  }
  // Page 1: connection kind.
  {
    auto* l = new QVBoxLayout(pages_[1]);
    l->addWidget(NewLabel(pages_[1], "Label7",
                          QStringLiteral("Choose the way  how to set TCP/IP properties. ")));
    l->addWidget(NewLabel(pages_[1], "Label9",
                          QStringLiteral("Do you connect Internet by following methods?")));
    const QString captions[5] = {QStringLiteral("Obtain an IP address automatically"),
                                 QStringLiteral("Specify an IP address"),
                                 QStringLiteral("Cable Modem User (DHCP User)"),
                                 QStringLiteral("ADSL User"), QString::fromUtf8("한통 ADSL 방식")};
    auto* group = new QButtonGroup(pages_[1]);
    for (int i = 0; i < 5; ++i) {
      auto* option = new QRadioButton(captions[i], pages_[1]);
      option->setObjectName(QStringLiteral("optStep1(%1)").arg(i));
      group->addButton(option, i);
      option->installEventFilter(this);
      kind_[static_cast<size_t>(i)] = option;
      l->addWidget(option);
    }
    kind_[1]->setChecked(true);
    l->addStretch();
  }
  // Page 2: ADSL modem type.
  {
    auto* l = new QVBoxLayout(pages_[2]);
    l->addWidget(NewLabel(pages_[2], "Label1", QStringLiteral("Select your ADSL service type.")));
    const QString captions[4] = {QStringLiteral("Internal ADSL Modem User"),
                                 QStringLiteral("USB ADSL Modem User"),
                                 QStringLiteral("External ADSL Modem User (PPP)"),
                                 QStringLiteral("External ADSL Modem User (RAS)")};
    auto* group = new QButtonGroup(pages_[2]);
    for (int i = 0; i < 4; ++i) {
      auto* option = new QRadioButton(captions[i], pages_[2]);
      option->setObjectName(QStringLiteral("optStep2(%1)").arg(i));
      group->addButton(option, i);
      option->installEventFilter(this);
      adsl_[static_cast<size_t>(i)] = option;
      l->addWidget(option);
    }
    adsl_[0]->setChecked(true);
    l->addStretch();
  }
  // Page 3: launch program.
  {
    auto* l = new QGridLayout(pages_[3]);
    l->addWidget(NewLabel(pages_[3], "Label11",
                          QStringLiteral("Select a launch program to connect Internet. ")),
                 0, 0, 1, 2);
    program_ = new QLineEdit(pages_[3]);
    program_->setObjectName(QStringLiteral("txtProgramName"));
    l->addWidget(program_, 1, 0);
    search_ = NewButton(pages_[3], "cmdSearch", QStringLiteral("Search"));
    l->addWidget(search_, 1, 1);
    auto* picture = new QLabel(pages_[3]);
    picture->setObjectName(QStringLiteral("imgLaunch"));
    picture->setPixmap(LaunchPicture());
    l->addWidget(picture, 2, 0, 1, 2, Qt::AlignCenter);
    l->setRowStretch(3, 1);
  }
  // Page 4: TCP/IP values.
  {
    auto* l = new QGridLayout(pages_[4]);
    l->addWidget(NewLabel(pages_[4], "Label12", QStringLiteral("Set TCP/IP Properties.")), 0, 0, 1,
                 4);
    l->addWidget(NewLabel(pages_[4], "Label2", QStringLiteral("IP Address")), 1, 0);
    ip_ = NewAddress(pages_[4], "txtIP");
    l->addWidget(ip_, 1, 1);
    l->addWidget(NewLabel(pages_[4], "Label3", QStringLiteral("Subnet Mask")), 2, 0);
    subnet_ = NewAddress(pages_[4], "txtSubnet");
    l->addWidget(subnet_, 2, 1);
    l->addWidget(NewLabel(pages_[4], "Label4", QStringLiteral("Gateway")), 3, 0);
    gateway_ = NewAddress(pages_[4], "txtGateway");
    l->addWidget(gateway_, 3, 1);
    add_gateway_ = NewButton(pages_[4], "cmdAddGateway", QStringLiteral("Add"));
    l->addWidget(add_gateway_, 3, 2);
    gateways_ = new QListWidget(pages_[4]);
    gateways_->setObjectName(QStringLiteral("lstGateway"));
    l->addWidget(gateways_, 4, 1);
    del_gateway_ = NewButton(pages_[4], "cmdDelGateway", QStringLiteral("Remove"));
    l->addWidget(del_gateway_, 4, 2, Qt::AlignTop);
    l->addWidget(NewLabel(pages_[4], "Label5", QStringLiteral("DNS Server")), 5, 0);
    dns_ = NewAddress(pages_[4], "txtDNS");
    l->addWidget(dns_, 5, 1);
    add_dns_ = NewButton(pages_[4], "cmdAddDNS", QStringLiteral("Add"));
    l->addWidget(add_dns_, 5, 2);
    servers_ = new QListWidget(pages_[4]);
    servers_->setObjectName(QStringLiteral("lstDNS"));
    l->addWidget(servers_, 6, 1);
    del_dns_ = NewButton(pages_[4], "cmdDelDNS", QStringLiteral("Remove"));
    l->addWidget(del_dns_, 6, 2, Qt::AlignTop);
  }
  // Page 5: extras and finish.
  {
    auto* l = new QVBoxLayout(pages_[5]);
    auto* frame = new QGroupBox(QStringLiteral("Miscellaneous"), pages_[5]);
    frame->setObjectName(QStringLiteral("SSFrame1"));
    auto* g = new QGridLayout(frame);
    proxy_ = NewButton(frame, "cmdProxy", QStringLiteral("Proxy Settings"));
    g->addWidget(proxy_, 0, 0);
    g->addWidget(NewLabel(frame, "Label10",
                          QStringLiteral("- If you want to set proxy server, press this botton.")),
                 0, 1);
    printer_ = NewButton(frame, "cmdPrinter", QStringLiteral("Printer Settings"));
    g->addWidget(printer_, 1, 0);
    g->addWidget(
        NewLabel(frame, "Label14",
                 QStringLiteral("- If you want to set default printer, press this button. ")),
        1, 1);
    l->addWidget(frame);
    l->addWidget(NewLabel(pages_[5], "Label13(0)",
                          QStringLiteral("New location settings were successfully completed!! ")));
    l->addWidget(
        NewLabel(pages_[5], "Label13(1)",
                 QStringLiteral("Press OK button to save and finish new location settings.")));
    l->addStretch();
  }

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  prev_ = NewButton(this, "cmdPrev", QStringLiteral("<< Previous"));
  next_ = NewButton(this, "cmdNext", QStringLiteral("Next >>"));
  cancel_ = NewButton(this, "cmdCancel", QStringLiteral("Cancel"));
  buttons->addWidget(prev_);
  buttons->addWidget(next_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  name_->installEventFilter(this);
  program_->installEventFilter(this);
  SelectAllOnFocus(name_);
  SelectAllOnFocus(program_);

  connect(next_, &QPushButton::clicked, this, &frmSessionNew::NextClicked);
  connect(prev_, &QPushButton::clicked, this, &frmSessionNew::PrevClicked);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(search_, &QPushButton::clicked, this,
          [this] { SearchProgram(s_.files, this, program_); });
  connect(add_gateway_, &QPushButton::clicked, this,
          [this] { AddAddressRow(gateway_, gateways_); });
  connect(add_dns_, &QPushButton::clicked, this, [this] { AddAddressRow(dns_, servers_); });
  connect(del_gateway_, &QPushButton::clicked, this, [this] { RemoveSelectedRow(gateways_); });
  connect(del_dns_, &QPushButton::clicked, this, [this] { RemoveSelectedRow(servers_); });
  connect(proxy_, &QPushButton::clicked, this, [this] {
    frmProxy dialog(s_.state, s_.prompt, this);
    s_.dialogs.Run(dialog);
  });
  connect(printer_, &QPushButton::clicked, this, [this] {
    frmPrinter dialog(s_.state, s_.printers, this);
    s_.dialogs.Run(dialog);
  });
}

void frmSessionNew::SetTabOrder() {
  std::vector<QWidget*> order = {name_, nic_};
  for (QRadioButton* r : kind_) order.push_back(r);
  for (QRadioButton* r : adsl_) order.push_back(r);
  order.insert(order.end(),
               {program_, search_, ip_, subnet_, gateway_, add_gateway_, gateways_, del_gateway_,
                dns_, add_dns_, servers_, del_dns_, proxy_, printer_, prev_, next_, cancel_});
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void frmSessionNew::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (first_activate_) {
    first_activate_ = false;
    stack_->setCurrentWidget(pages_[0]);
    name_->setFocus();
  }
}

bool frmSessionNew::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      NextClicked();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool frmSessionNew::Fail(const char* text, PromptIcon icon, QWidget* focus) {
  s_.prompt.Show(text, icon, PromptButtons::kOk);
  if (focus != nullptr) focus->setFocus();
  return false;
}

bool frmSessionNew::PassPage0(int* target) {
  const QString name = TrimBlanks(name_->text());
  name_->setText(name);
  if (name.isEmpty()) return Fail("Input location name.", PromptIcon::kNone, name_);
  for (const store::LocationRecord& r : s_.state.LocationTable) {
    if (Q(r.SessionName) == name) {
      return Fail("The location name is already in use.\r\nInput new location name.",
                  PromptIcon::kNone, name_);
    }
  }
  location_.SessionName = S(name);
  if (nic_->currentText().isEmpty()) {
    return Fail("Select LAN adapter for current location.", PromptIcon::kNone, nic_);
  }
  AdapterFromCombo(nic_, &location_.NIC_ID, &location_.NIC_NAME);
  *target = 1;
  return true;
}

bool frmSessionNew::PassPage1(int* target) {
  static const char* const kKinds[5] = {"USE_DHCP", "USE_STATIC_IP", "USE_CABLE_MODEM", "NEXT",
                                        "USE_KT_ADSL"};
  static const int kTargets[5] = {5, 4, 5, 2, 3};
  for (size_t i = 0; i < 5; ++i) {
    if (kind_[i]->isChecked()) {
      location_.ServiceType = kKinds[i];
      *target = kTargets[i];
    }
  }
  location_.ExecutePath.clear();
  return true;
}

bool frmSessionNew::PassPage3(int* target) {
  const QString path = TrimBlanks(program_->text());
  program_->setText(path);
  if (path.isEmpty())
    return Fail("You should choose a launch program.", PromptIcon::kNone, program_);
  if (!ProgramPathCheck(S(path), s_.shell, s_.registry)) {
    return Fail("Invalid a launch program. Please,Check it again.", PromptIcon::kNone, program_);
  }
  location_.ExecutePath = S(path);
  *target = location_.ServiceType == store::kUseHanaroOutPppModem ? 4 : 5;
  return true;
}

bool frmSessionNew::PassPage4(int* target) {
  if (!ip_->IPValidCheck()) {
    return Fail("Invalid IP address. Please, check!", PromptIcon::kInformation, ip_);
  }
  location_.IPAddress = S(ip_->GetIp());
  if (!subnet_->IPValidCheck()) {
    return Fail("Invalid Subnet Mask address. Please, check!", PromptIcon::kInformation, subnet_);
  }
  location_.SubnetMask = S(subnet_->GetIp());
  location_.Gateway = JoinRows(gateways_);
  location_.DNS = JoinRows(servers_);
  *target = 5;
  return true;
}

void frmSessionNew::NextClicked() {
  int target = step_;
  bool passed = false;
  switch (step_) {
    case 0:
      passed = PassPage0(&target);
      break;
    case 1:
      passed = PassPage1(&target);
      break;
    case 2: {
      static const char* const kAdsl[4] = {"USE_HANARO_IN_MODEM", "USE_HANARO_USB_MODEM",
                                           "USE_HANARO_OUT_PPP_MODEM", "USE_HANARO_OUT_RAS_MODEM"};
      for (size_t i = 0; i < 4; ++i) {
        if (adsl_[i]->isChecked()) location_.ServiceType = kAdsl[i];
      }
      target = 3;
      passed = true;
      break;
    }
    case 3:
      passed = PassPage3(&target);
      break;
    case 4:
      passed = PassPage4(&target);
      break;
    default:
      Finish();
      return;
  }
  if (!passed) return;
  stack_->setCurrentWidget(pages_[static_cast<size_t>(target)]);
  step_ = target;
  if (target != 0) prev_->setEnabled(true);
  if (target == kLastPage) next_->setText(QStringLiteral("OK"));
}

void frmSessionNew::PrevClicked() {
  const std::string& kind = location_.ServiceType;
  int target = step_;
  switch (step_) {
    case 1:
      target = 0;
      break;
    case 2:
      target = 1;
      break;
    case 3:
      target = kind == store::kUseKtAdsl ? 1 : 2;
      break;
    case 4:
      target = kind == store::kUseHanaroOutPppModem ? 3 : 1;
      break;
    case 5:
      if (kind == store::kUseDhcp || kind == store::kUseCableModem)
        target = 1;
      else if (store::CarriesTcpIp(kind))
        target = 4;
      else
        target = 3;
      break;
    default:
      return;
  }
  step_ = target;
  next_->setText(QStringLiteral("Next >>"));
  if (target == 0) prev_->setEnabled(false);
  stack_->setCurrentWidget(pages_[static_cast<size_t>(target)]);
}

int16_t frmSessionNew::NewLocationId() {
  if (s_.state.HighestLocationId < 32767) return ++s_.state.HighestLocationId;
  // Past the largest id, the lowest one nobody uses.
  for (int id = 1; id <= 32767; ++id) {
    if (store::FindLocationIndex(s_.state.LocationTable, static_cast<int16_t>(id)) < 0) {
      return static_cast<int16_t>(id);
    }
  }
  return 0;
}

void frmSessionNew::Finish() {
  engine::AppState& state = s_.state;
  location_.UseProxy = state.PendingProxySet;
  location_.UseIEProxy = state.PendingProxySet;
  if (state.PendingProxySet) location_.IEProxy = state.PendingProxy;
  location_.IENC_SameProxy = false;
  location_.UseNCProxy = false;
  location_.UseWinNetwork = state.PendingPrinterSet;
  location_.DefaultPrinter = state.PendingPrinterSet ? state.PendingPrinterName : std::string();
  location_.Lease = state.settings.NextLease;
  location_.SessionActive = false;

  const int16_t id = NewLocationId();
  location_.LocationId = id;
  if (id == 0 || !s_.locations.SaveLocation(id, location_)) {
    s_.prompt.Show("Error in Saving current location data.", PromptIcon::kNone, PromptButtons::kOk);
    return;
  }
  state.PendingProxySet = false;
  state.PendingProxy = store::ProxySettings{};
  state.PendingPrinterSet = false;
  state.PendingPrinterName.clear();
  s_.locations.LoadLocations(state.LocationTable);
  s_.settings.CountDownNextLease(state.settings);
  accept();
}

}  // namespace netvane::editors
