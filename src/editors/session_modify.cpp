#include "editors/session_modify.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>

#include "editors/proxy_rows.h"
#include "engine/recognition.h"

namespace netvane::editors {
namespace {

constexpr int kTabGeneral = 0;
constexpr int kTabAdsl = 1;
constexpr int kTabTcpIp = 2;
constexpr int kTabPrinter = 3;
constexpr int kTabProxy = 4;

}  // namespace

frmSessionModify::frmSessionModify(EditorServices& services, QWidget* parent)
    : LocationDialog(services, parent) {
  setObjectName(QStringLiteral("frmSessionModify"));
  setWindowTitle(QStringLiteral("Netvane 2.0 - Location Settings Modify"));
  setMinimumWidth(600);  // all five tab captions in one row
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(BuildHead());
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabSession"));
  layout->addWidget(tabs_);
  tabs_->addTab(BuildGeneralTab(), QStringLiteral("General"));
  tabs_->addTab(BuildAdslTab(), QStringLiteral("ADSL User"));
  tabs_->addTab(BuildTcpIpTab(), QStringLiteral("TCP/IP Properties"));
  tabs_->addTab(BuildPrinterTab(), QStringLiteral("Printer Settings"));
  tabs_->addTab(BuildProxyTab(), QStringLiteral("Proxy Settings"));
  layout->addLayout(BuildButtons());
  SelectAllOnFocus(name_);
  NoDefaultButtons(this);
  SetTabOrder();
}

QLayout* frmSessionModify::BuildHead() {
  auto* head = new QGridLayout();
  head->addWidget(NewLabel(this, "Label1", QStringLiteral("Location Name")), 0, 0);
  NewNameAndAdapter(this);
  head->addWidget(name_, 0, 1);
  head->addWidget(NewLabel(this, "Label37", QStringLiteral("Selected Adapter")), 1, 0);
  head->addWidget(nic_, 1, 1);
  return head;
}

QWidget* frmSessionModify::BuildGeneralTab() {
  auto* tab = new KindPage(tabs_, QStringLiteral("Choose the way  how to set TCP/IP properties."),
                           QString::fromUtf8("한국통신 ADSL 방식"));
  kinds_ = tab->kinds();
  for (int i = 0; i < kConnectionKinds; ++i) {
    connect(kinds_->option(i), &QRadioButton::clicked, this,
            [this, i] { KindClicked(static_cast<ConnectionKind>(i)); });
  }
  // Below the kinds, apart from them: it holds for every kind.
  tab->layout()->addWidget(NewRecognisedBox(tab));
  return tab;
}

QWidget* frmSessionModify::BuildAdslTab() {
  auto* tab = new QWidget(tabs_);
  auto* l = new QVBoxLayout(tab);
  l->addWidget(NewLabel(tab, "Label6", QStringLiteral("Select your ADSL service type.")));
  adsl_ = NewAdslOptions(tab);
  l->addWidget(adsl_);
  for (int i = 0; i < kAdslTypes; ++i) {
    connect(adsl_->option(i), &QRadioButton::clicked, this,
            [this, i] { AdslClicked(static_cast<AdslType>(i)); });
  }
  l->addWidget(
      NewLabel(tab, "Label11", QStringLiteral("Select a program for Internet connection.")));
  program_ = new ProgramPath(tab, s_.files);
  l->addWidget(program_);
  l->addStretch();
  return tab;
}

QWidget* frmSessionModify::BuildTcpIpTab() {
  tcp_ip_ = new TcpIpPage(tabs_, QStringLiteral("Set TCP/IP properties."), 3);
  return tcp_ip_;
}

QWidget* frmSessionModify::BuildPrinterTab() {
  auto* tab = new QWidget(tabs_);
  auto* l = new QVBoxLayout(tab);
  l->addWidget(
      NewLabel(tab, "Label36", QStringLiteral("Select a  printer driver for current location.")));
  printers_ = new QTreeWidget(tab);
  printers_->setObjectName(QStringLiteral("lstPrinter"));
  printers_->setRootIsDecorated(false);
  printers_->setColumnCount(1);
  printers_->setHeaderLabels({QStringLiteral("Installed printer drivers")});
  printers_->headerItem()->setData(0, Qt::UserRole, QStringLiteral("Printer_Name"));
  printers_->header()->setStretchLastSection(true);
  l->addWidget(printers_);
  connect(printers_, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item) { PrinterChecked(item); });
  connect(printers_, &QTreeWidget::itemClicked, this, [this] { PrinterClicked(); });
  printers_->viewport()->installEventFilter(this);
  return tab;
}

QWidget* frmSessionModify::BuildProxyTab() {
  auto* tab = new QWidget(tabs_);
  auto* l = new QGridLayout(tab);
  l->addWidget(NewLabel(tab, "Label13",
                        QStringLiteral("Enables to set proxy. (For Internet Explorer User Only)")),
               0, 0, 1, 3);
  all_ = new QCheckBox(QStringLiteral("Use the same proxy for all protocols."), tab);
  all_->setObjectName(QStringLiteral("chkExpAll"));
  l->addWidget(all_, 1, 0, 1, 3);
  l->addWidget(NewLabel(tab, "LabelType", QStringLiteral("Type")), 2, 0);
  l->addWidget(NewLabel(tab, "LabelServer", QStringLiteral("Proxy Server")), 2, 1);
  l->addWidget(NewLabel(tab, "LabelPort", QStringLiteral("Port")), 2, 2);
  for (size_t i = 0; i < kProxyRows.size(); ++i) {
    const int row = 3 + static_cast<int>(i);
    l->addWidget(new QLabel(QString::fromLatin1(kProxyRows[i].label), tab), row, 0);
    proxy_kind_[i] = new QLineEdit(tab);
    proxy_kind_[i]->setObjectName(QStringLiteral("txtExpKind(%1)").arg(i));
    l->addWidget(proxy_kind_[i], row, 1);
    proxy_port_[i] = new QLineEdit(tab);
    proxy_port_[i]->setObjectName(QStringLiteral("txtExpPort(%1)").arg(i));
    l->addWidget(proxy_port_[i], row, 2);
    SelectAllOnFocus(proxy_kind_[i]);
    SelectAllOnFocus(proxy_port_[i]);
  }
  not_use_ = new QCheckBox(QStringLiteral("Do not use proxy server."), tab);
  not_use_->setObjectName(QStringLiteral("chkExpNotUse"));
  l->addWidget(not_use_, 8, 0, 1, 3);
  l->setRowStretch(9, 1);
  connect(all_, &QCheckBox::toggled, this, [this] { ExpAllClicked(); });
  connect(not_use_, &QCheckBox::toggled, this, [this] { ExpNotUseClicked(); });
  return tab;
}

QLayout* frmSessionModify::BuildButtons() {
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  apply_ = NewButton(this, "cmdApply", QStringLiteral("Apply"));
  ok_ = NewButton(this, "cmdOK", QStringLiteral("OK"));
  cancel_ = NewButton(this, "cmdCancel", QStringLiteral("Cancel"));
  buttons->addWidget(apply_);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  connect(apply_, &QPushButton::clicked, this, [this] { SaveEditedLocation(); });
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (SaveEditedLocation()) accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  return buttons;
}

void frmSessionModify::SetTabOrder() {
  std::vector<QWidget*> order = {name_, nic_, tabs_};
  order.insert(order.end(), kinds_->options().begin(), kinds_->options().end());
  order.push_back(recognised_);
  for (QWidget* w : program_->TabChain()) order.push_back(w);
  order.insert(order.end(), adsl_->options().begin(), adsl_->options().end());
  for (QWidget* w : tcp_ip_->TabChain()) order.push_back(w);
  order.insert(order.end(), {printers_, all_});
  for (size_t i = 0; i < kProxyRows.size(); ++i) {
    order.insert(order.end(), {proxy_kind_[i], proxy_port_[i]});
  }
  order.insert(order.end(), {not_use_, apply_, ok_, cancel_});
  SetTabChain(order);
}

void frmSessionModify::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!loaded_ && !Load()) QTimer::singleShot(0, this, &QDialog::reject);
}

void frmSessionModify::KindClicked(ConnectionKind kind) {
  kind_ = kind;
  const bool adsl = kind == ConnectionKind::kAdsl;
  tabs_->setTabEnabled(kTabAdsl, LaunchesProgram(kind));
  tabs_->setTabEnabled(kTabTcpIp, kind == ConnectionKind::kStaticIp ||
                                      (adsl && adsl_->option(AdslType::kOutPppModem)->isChecked()));
  if (adsl) {
    for (QRadioButton* r : adsl_->options()) r->setEnabled(true);
  } else if (kind == ConnectionKind::kKtAdsl) {
    for (QRadioButton* r : adsl_->options()) r->setEnabled(false);
  }
}

void frmSessionModify::AdslClicked(AdslType type) {
  adsl_type_ = type;
  tabs_->setTabEnabled(kTabTcpIp, type == AdslType::kOutPppModem);
}

void frmSessionModify::SetProxyRows(int first, int last, bool enabled) {
  for (int i = first; i <= last; ++i) {
    for (QLineEdit* box :
         {proxy_kind_[static_cast<size_t>(i)], proxy_port_[static_cast<size_t>(i)]}) {
      box->setEnabled(enabled);
      QPalette p = box->palette();
      // The window background when usable, the inactive-border colour when not.
      p.setColor(QPalette::Base,
                 enabled ? palette().color(QPalette::Base) : palette().color(QPalette::Button));
      box->setPalette(p);
    }
  }
}

void frmSessionModify::ExpAllClicked() {
  if (all_->isChecked()) {
    not_use_->setChecked(false);
    SetProxyRows(1, 4, false);
  } else {
    SetProxyRows(1, 4, true);
  }
}

void frmSessionModify::ExpNotUseClicked() {
  if (not_use_->isChecked()) {
    all_->setChecked(false);
    SetProxyRows(0, 4, false);
  } else {
    SetProxyRows(0, 4, true);
  }
}

void frmSessionModify::FillPrinters(const store::LocationRecord& r) {
  checking_ = true;
  printers_->clear();
  for (const QString& name : s_.printers.InstalledPrinters()) {
    auto* item = new QTreeWidgetItem(printers_, {name});
    item->setData(0, Qt::UserRole, name);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(
        0, r.UseWinNetwork && S(name) == r.DefaultPrinter ? Qt::Checked : Qt::Unchecked);
  }
  checking_ = false;
}

bool frmSessionModify::eventFilter(QObject* watched, QEvent* event) {
  if (watched == printers_->viewport() && event->type() == QEvent::MouseButtonPress) {
    pressed_row_ = printers_->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (pressed_row_ != nullptr) pressed_mark_ = pressed_row_->checkState(0);
  }
  return QDialog::eventFilter(watched, event);
}

void frmSessionModify::PrinterChecked(QTreeWidgetItem* item) {
  if (checking_) return;
  checking_ = true;
  for (int i = 0; i < printers_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* other = printers_->topLevelItem(i);
    if (other != item) other->setCheckState(0, Qt::Unchecked);
  }
  checking_ = false;
}

void frmSessionModify::PrinterClicked() {
  // A click on the tick box itself has already toggled that row.
  if (pressed_row_ != nullptr && pressed_row_->checkState(0) != pressed_mark_) return;
  QTreeWidgetItem* selected = printers_->currentItem();
  if (selected == nullptr || !selected->isSelected()) return;
  checking_ = true;
  selected->setCheckState(0, selected->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  for (int i = 0; i < printers_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* other = printers_->topLevelItem(i);
    if (other != selected) other->setCheckState(0, Qt::Unchecked);
  }
  checking_ = false;
}

bool frmSessionModify::Load() {
  loaded_ = true;
  const int i = store::FindLocationIndex(s_.state.LocationTable, SelectedSessionID);
  if (i < 0) return false;
  const store::LocationRecord r = s_.state.LocationTable[static_cast<size_t>(i)];
  name_->setText(Q(r.SessionName));

  FillNicCombo(nic_, s_.state.AdapterTable);
  int match = -1;
  for (int k = 0; k < nic_->count(); ++k) {
    if (store::EqualsIgnoreCase(AdapterIdFromKey(nic_->itemData(k).toString()), r.NIC_ID))
      match = k;
  }
  nic_->setCurrentIndex(match);

  LoadKind(r);
  recognised_->setChecked(r.ApplyWhenRecognised);
  LoadProxy(r);
  FillPrinters(r);
  tabs_->setCurrentIndex(kTabGeneral);
  return true;
}

void frmSessionModify::LoadKind(const store::LocationRecord& r) {
  ConnectionKind kind = ConnectionKind::kDhcp;
  AdslType adsl = AdslType::kInModem;
  if (KindIndexesFor(r.ServiceType, &kind, &adsl)) {
    kinds_->option(kind)->setChecked(true);
    adsl_->option(adsl)->setChecked(true);
    adsl_type_ = adsl;
    KindClicked(kind);
    // Only the ADSL kinds have a modem type whose click decides the TCP/IP tab.
    if (kind == ConnectionKind::kAdsl) AdslClicked(adsl);
  }
  if (store::CarriesTcpIp(r.ServiceType)) tcp_ip_->Show(r);
  if (LaunchesProgram(kind)) txtProgramName()->setText(Q(r.ExecutePath));
}

void frmSessionModify::LoadProxy(const store::LocationRecord& r) {
  if (!r.UseProxy) {
    not_use_->setChecked(true);
  } else if (r.UseIEProxy) {
    if (r.IEProxy.AllProtocolSameProxy) {
      all_->setChecked(true);
      proxy_kind_[0]->setText(Q(r.IEProxy.DefaultAddress));
      proxy_port_[0]->setText(Q(r.IEProxy.DefaultPort));
    } else {
      for (size_t row = 0; row < kProxyRows.size(); ++row) {
        proxy_kind_[row]->setText(Q(r.IEProxy.*kProxyRows[row].address));
        proxy_port_[row]->setText(Q(r.IEProxy.*kProxyRows[row].port));
      }
    }
  }
}

void frmSessionModify::ShowPageOf(QWidget* control) {
  for (int i = 0; i < tabs_->count(); ++i) {
    if (tabs_->widget(i)->isAncestorOf(control)) tabs_->setCurrentIndex(i);
  }
}

bool frmSessionModify::CollectLocation() {
  store::ClearLocationRecord(location_);
  if (!ReadName(SelectedSessionID,
                "This location name is already in use.\r\nInput new location name.",
                PromptIcon::kInformation)) {
    return false;
  }
  AdapterFromCombo(nic_, &location_.NIC_ID, &location_.NIC_NAME);
  location_.ServiceType = ServiceTypeFor(kind_, adsl_type_);
  location_.ApplyWhenRecognised = recognised_->isChecked();
  // A program that is missing gets the same message as none.
  if (LaunchesProgram(kind_) && !ReadProgram("You should choose a launch program.")) return false;
  if (store::CarriesTcpIp(location_.ServiceType) &&
      !ReadTcpIp("Invalid Subnet Mask. Please, check!")) {
    return false;
  }
  if (!CollectProxy()) return false;
  CollectPrinter();
  return true;
}

bool frmSessionModify::CollectProxy() {
  bool any = false;
  if (!not_use_->isChecked()) {
    for (size_t row = 0; row < kProxyRows.size(); ++row) {
      for (QLineEdit* box : {proxy_kind_[row], proxy_port_[row]}) {
        box->setText(TrimBlanks(box->text()));
        any = any || !box->text().isEmpty();
      }
    }
  }
  if (not_use_->isChecked() || !any) return true;
  location_.UseProxy = true;
  location_.UseIEProxy = true;
  store::ProxySettings& p = location_.IEProxy;
  if (!all_->isChecked()) return CollectProxyRows(p);
  const bool address = !proxy_kind_[0]->text().isEmpty();
  const bool port = !proxy_port_[0]->text().isEmpty();
  if (!address && port) {
    return Fail("Input proxy server address.", PromptIcon::kNone, proxy_kind_[0]);
  }
  if (address && !port) return Fail("Input port number.", PromptIcon::kNone, proxy_port_[0]);
  p.AllProtocolSameProxy = true;
  p.DefaultAddress = S(proxy_kind_[0]->text());
  p.DefaultPort = S(proxy_port_[0]->text());
  return true;
}

bool frmSessionModify::CollectProxyRows(store::ProxySettings& p) {
  // Every row's missing address is reported before any row's missing port.
  for (size_t row = 0; row < kProxyRows.size(); ++row) {
    if (proxy_kind_[row]->text().isEmpty() && !proxy_port_[row]->text().isEmpty()) {
      return Fail("Input porxy server address.", PromptIcon::kNone, proxy_kind_[row]);
    }
  }
  for (size_t row = 0; row < kProxyRows.size(); ++row) {
    if (!proxy_kind_[row]->text().isEmpty() && proxy_port_[row]->text().isEmpty()) {
      return Fail("Input port number.", PromptIcon::kNone, proxy_port_[row]);
    }
  }
  for (size_t row = 0; row < kProxyRows.size(); ++row) {
    p.*kProxyRows[row].address = S(proxy_kind_[row]->text());
    p.*kProxyRows[row].port = S(proxy_port_[row]->text());
  }
  return true;
}

void frmSessionModify::CollectPrinter() {
  for (int i = 0; i < printers_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = printers_->topLevelItem(i);
    if (item->checkState(0) == Qt::Checked) {
      location_.UseWinNetwork = true;
      location_.DefaultPrinter = S(item->text(0));
      break;
    }
  }
}

bool frmSessionModify::SaveEditedLocation() {
  if (!CollectLocation()) return false;
  location_.LocationId = SelectedSessionID;
  location_.Lease = s_.state.settings.NextLease;
  const int i = store::FindLocationIndex(s_.state.LocationTable, SelectedSessionID);
  if (i >= 0) {
    const store::LocationRecord& stored = s_.state.LocationTable[static_cast<size_t>(i)];
    // Editing never changes which location is active.
    location_.SessionActive = stored.SessionActive;
    // The save rewrites the whole key, so the remembered network is carried over (the table's
    // copy, which the engine keeps current) -- unless another adapter was chosen: the print
    // is of the old adapter's network.
    if (engine::SameAdapter(stored.NIC_ID, location_.NIC_ID)) location_.Network = stored.Network;
  }
  if (!s_.locations.SaveLocation(SelectedSessionID, location_)) {
    s_.prompt.Show("Error in saving location data.", PromptIcon::kCritical, PromptButtons::kOk);
    return false;
  }
  s_.settings.CountDownNextLease(s_.state.settings);
  return true;
}

}  // namespace netvane::editors
