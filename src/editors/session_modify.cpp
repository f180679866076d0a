#include "editors/session_modify.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace netvane::editors {
namespace {

constexpr int kTabGeneral = 0;
constexpr int kTabAdsl = 1;
constexpr int kTabTcpIp = 2;
constexpr int kTabPrinter = 3;
constexpr int kTabProxy = 4;

// The proxy rows' fields, top to bottom.
struct ProxyRow {
  std::string store::ProxySettings::*address;
  std::string store::ProxySettings::*port;
};
constexpr ProxyRow kRows[5] = {
    {&store::ProxySettings::HTTPAddress, &store::ProxySettings::HTTPPort},
    {&store::ProxySettings::SecureAddress, &store::ProxySettings::SecurePort},
    {&store::ProxySettings::FTPAddress, &store::ProxySettings::FTPPort},
    {&store::ProxySettings::GopherAddress, &store::ProxySettings::GopherPort},
    {&store::ProxySettings::SocksAddress, &store::ProxySettings::SocksPort},
};

}  // namespace

frmSessionModify::frmSessionModify(EditorServices& services, QWidget* parent)
    : QDialog(parent), s_(services) {
  setObjectName(QStringLiteral("frmSessionModify"));
  setWindowTitle(QStringLiteral("Netvane 2.0 - Location Settings Modify"));
  setMinimumWidth(600);  // all five tab captions in one row
  BuildWindow();
  NoDefaultButtons(this);
  SetTabOrder();
}

void frmSessionModify::BuildWindow() {
  auto* layout = new QVBoxLayout(this);
  auto* head = new QGridLayout();
  head->addWidget(NewLabel(this, "Label1", QStringLiteral("Location Name")), 0, 0);
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("txtSessionName"));
  head->addWidget(name_, 0, 1);
  head->addWidget(NewLabel(this, "Label37", QStringLiteral("Selected Adapter")), 1, 0);
  nic_ = new QComboBox(this);
  nic_->setObjectName(QStringLiteral("cboNIC"));
  head->addWidget(nic_, 1, 1);
  layout->addLayout(head);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabSession"));
  layout->addWidget(tabs_);

  // Tab 0: connection kind.
  auto* general = new QWidget(tabs_);
  {
    auto* l = new QVBoxLayout(general);
    l->addWidget(NewLabel(general, "Label7",
                          QStringLiteral("Choose the way  how to set TCP/IP properties.")));
    l->addWidget(NewLabel(general, "Label9",
                          QStringLiteral("Do you connect Internet by following methods?")));
    const QString captions[5] = {
        QStringLiteral("Obtain an IP address automatically"),
        QStringLiteral("Specify an IP address"), QStringLiteral("Cable Modem User (DHCP User)"),
        QStringLiteral("ADSL User"), QString::fromUtf8("한국통신 ADSL 방식")};
    auto* group = new QButtonGroup(general);
    for (int i = 0; i < 5; ++i) {
      auto* option = new QRadioButton(captions[i], general);
      option->setObjectName(QStringLiteral("optStep1(%1)").arg(i));
      group->addButton(option, i);
      kind_[static_cast<size_t>(i)] = option;
      l->addWidget(option);
      connect(option, &QRadioButton::clicked, this, [this, i] { KindClicked(i); });
    }
    l->addStretch();
  }
  tabs_->addTab(general, QStringLiteral("General"));

  // Tab 1: ADSL type and program.
  auto* adsl = new QWidget(tabs_);
  {
    auto* l = new QGridLayout(adsl);
    l->addWidget(NewLabel(adsl, "Label6", QStringLiteral("Select your ADSL service type.")), 0, 0,
                 1, 2);
    const QString captions[4] = {QStringLiteral("Internal ADSL Modem User"),
                                 QStringLiteral("USB ADSL Modem User"),
                                 QStringLiteral("External ADSL Modem User (PPP)"),
                                 QStringLiteral("External ADSL Modem User (RAS)")};
    auto* group = new QButtonGroup(adsl);
    for (int i = 0; i < 4; ++i) {
      auto* option = new QRadioButton(captions[i], adsl);
      option->setObjectName(QStringLiteral("optStep2(%1)").arg(i));
      group->addButton(option, i);
      adsl_[static_cast<size_t>(i)] = option;
      l->addWidget(option, 1 + i, 0, 1, 2);
      connect(option, &QRadioButton::clicked, this, [this, i] { AdslClicked(i); });
    }
    adsl_[0]->setChecked(true);
    l->addWidget(
        NewLabel(adsl, "Label11", QStringLiteral("Select a program for Internet connection.")), 5,
        0, 1, 2);
    program_ = new QLineEdit(adsl);
    program_->setObjectName(QStringLiteral("txtProgramName"));
    l->addWidget(program_, 6, 0);
    search_ = NewButton(adsl, "cmdSearch", QStringLiteral("Search"));
    l->addWidget(search_, 6, 1);
    l->setRowStretch(7, 1);
  }
  tabs_->addTab(adsl, QStringLiteral("ADSL User"));

  // Tab 2: TCP/IP values.
  auto* tcp = new QWidget(tabs_);
  {
    auto* l = new QGridLayout(tcp);
    l->addWidget(NewLabel(tcp, "Label12", QStringLiteral("Set TCP/IP properties.")), 0, 0, 1, 3);
    l->addWidget(NewLabel(tcp, "Label2", QStringLiteral("IP Address")), 1, 0);
    ip_ = NewAddress(tcp, "txtIP");
    l->addWidget(ip_, 1, 1);
    l->addWidget(NewLabel(tcp, "Label3", QStringLiteral("Subnet Mask")), 2, 0);
    subnet_ = NewAddress(tcp, "txtSubnet");
    l->addWidget(subnet_, 2, 1);
    l->addWidget(NewLabel(tcp, "Label4", QStringLiteral("Gateway")), 3, 0);
    gateway_ = NewAddress(tcp, "txtGateway");
    l->addWidget(gateway_, 3, 1);
    add_gateway_ = NewButton(tcp, "cmdAddGateway", QStringLiteral("Add"));
    l->addWidget(add_gateway_, 3, 2);
    gateways_ = new QListWidget(tcp);
    gateways_->setObjectName(QStringLiteral("lstGateway"));
    l->addWidget(gateways_, 4, 1);
    del_gateway_ = NewButton(tcp, "cmdDelGateway", QStringLiteral("Remove"));
    l->addWidget(del_gateway_, 4, 2, Qt::AlignTop);
    l->addWidget(NewLabel(tcp, "Label5", QStringLiteral("DNS Server")), 5, 0);
    dns_ = NewAddress(tcp, "txtDNS");
    l->addWidget(dns_, 5, 1);
    add_dns_ = NewButton(tcp, "cmdAddDNS", QStringLiteral("Add"));
    l->addWidget(add_dns_, 5, 2);
    servers_ = new QListWidget(tcp);
    servers_->setObjectName(QStringLiteral("lstDNS"));
    l->addWidget(servers_, 6, 1);
    del_dns_ = NewButton(tcp, "cmdDelDNS", QStringLiteral("Remove"));
    l->addWidget(del_dns_, 6, 2, Qt::AlignTop);
  }
  tabs_->addTab(tcp, QStringLiteral("TCP/IP Properties"));

  // Tab 3: default printer.
  auto* printer = new QWidget(tabs_);
  {
    auto* l = new QVBoxLayout(printer);
    l->addWidget(NewLabel(printer, "Label36",
                          QStringLiteral("Select a  printer driver for current location.")));
    printers_ = new QTreeWidget(printer);
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
  }
  tabs_->addTab(printer, QStringLiteral("Printer Settings"));

  // Tab 4: proxy.
  auto* proxy = new QWidget(tabs_);
  {
    auto* l = new QGridLayout(proxy);
    l->addWidget(
        NewLabel(proxy, "Label13",
                 QStringLiteral("Enables to set proxy. (For Internet Explorer User Only)")),
        0, 0, 1, 3);
    all_ = new QCheckBox(QStringLiteral("Use the same proxy for all protocols."), proxy);
    all_->setObjectName(QStringLiteral("chkExpAll"));
    l->addWidget(all_, 1, 0, 1, 3);
    l->addWidget(NewLabel(proxy, "LabelType", QStringLiteral("Type")), 2, 0);
    l->addWidget(NewLabel(proxy, "LabelServer", QStringLiteral("Proxy Server")), 2, 1);
    l->addWidget(NewLabel(proxy, "LabelPort", QStringLiteral("Port")), 2, 2);
    const QString rows[5] = {QStringLiteral("HTTP"), QStringLiteral("Secure"),
                             QStringLiteral("FTP"), QStringLiteral("Gopher"),
                             QStringLiteral("Socks")};
    for (int i = 0; i < 5; ++i) {
      l->addWidget(new QLabel(rows[i], proxy), 3 + i, 0);
      proxy_kind_[static_cast<size_t>(i)] = new QLineEdit(proxy);
      proxy_kind_[static_cast<size_t>(i)]->setObjectName(QStringLiteral("txtExpKind(%1)").arg(i));
      l->addWidget(proxy_kind_[static_cast<size_t>(i)], 3 + i, 1);
      proxy_port_[static_cast<size_t>(i)] = new QLineEdit(proxy);
      proxy_port_[static_cast<size_t>(i)]->setObjectName(QStringLiteral("txtExpPort(%1)").arg(i));
      l->addWidget(proxy_port_[static_cast<size_t>(i)], 3 + i, 2);
      SelectAllOnFocus(proxy_kind_[static_cast<size_t>(i)]);
      SelectAllOnFocus(proxy_port_[static_cast<size_t>(i)]);
    }
    not_use_ = new QCheckBox(QStringLiteral("Do not use proxy server."), proxy);
    not_use_->setObjectName(QStringLiteral("chkExpNotUse"));
    l->addWidget(not_use_, 8, 0, 1, 3);
    l->setRowStretch(9, 1);
    connect(all_, &QCheckBox::toggled, this, [this] { ExpAllClicked(); });
    connect(not_use_, &QCheckBox::toggled, this, [this] { ExpNotUseClicked(); });
  }
  tabs_->addTab(proxy, QStringLiteral("Proxy Settings"));

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  apply_ = NewButton(this, "cmdApply", QStringLiteral("Apply"));
  ok_ = NewButton(this, "cmdOK", QStringLiteral("OK"));
  cancel_ = NewButton(this, "cmdCancel", QStringLiteral("Cancel"));
  buttons->addWidget(apply_);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  SelectAllOnFocus(name_);
  connect(apply_, &QPushButton::clicked, this, [this] { SaveEditedLocation(); });
  connect(ok_, &QPushButton::clicked, this, [this] {
    if (SaveEditedLocation()) accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(search_, &QPushButton::clicked, this,
          [this] { SearchProgram(s_.files, this, program_); });
  connect(add_gateway_, &QPushButton::clicked, this,
          [this] { AddAddressRow(gateway_, gateways_); });
  connect(add_dns_, &QPushButton::clicked, this, [this] { AddAddressRow(dns_, servers_); });
  connect(del_gateway_, &QPushButton::clicked, this, [this] { RemoveSelectedRow(gateways_); });
  connect(del_dns_, &QPushButton::clicked, this, [this] { RemoveSelectedRow(servers_); });
}

void frmSessionModify::SetTabOrder() {
  std::vector<QWidget*> order = {name_, nic_, tabs_};
  for (QRadioButton* r : kind_) order.push_back(r);
  order.insert(order.end(), {program_, search_});
  for (QRadioButton* r : adsl_) order.push_back(r);
  order.insert(order.end(), {ip_, subnet_, gateway_, add_gateway_, gateways_, del_gateway_, dns_,
                             add_dns_, servers_, del_dns_, printers_, all_});
  for (size_t i = 0; i < 5; ++i) order.insert(order.end(), {proxy_kind_[i], proxy_port_[i]});
  order.insert(order.end(), {not_use_, apply_, ok_, cancel_});
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void frmSessionModify::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!loaded_ && !Load()) QTimer::singleShot(0, this, &QDialog::reject);
}

void frmSessionModify::KindClicked(int i) {
  kind_index_ = i;
  const bool adsl = i == 3;
  tabs_->setTabEnabled(kTabAdsl, i == 3 || i == 4);
  tabs_->setTabEnabled(kTabTcpIp, i == 1 || (adsl && adsl_[2]->isChecked()));
  if (i == 3) {
    for (QRadioButton* r : adsl_) r->setEnabled(true);
  } else if (i == 4) {
    for (QRadioButton* r : adsl_) r->setEnabled(false);
  }
}

void frmSessionModify::AdslClicked(int i) {
  adsl_index_ = i;
  tabs_->setTabEnabled(kTabTcpIp, i == 2);
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

void frmSessionModify::FillAddressLists(const store::LocationRecord& r) {
  for (const auto& [text, list] : {std::pair{&r.Gateway, gateways_}, std::pair{&r.DNS, servers_}}) {
    list->clear();
    std::string piece;
    int dots = 0;
    auto end_piece = [&] {
      if (!piece.empty() && dots == 3) list->addItem(Q(piece));
      piece.clear();
      dots = 0;
    };
    for (char c : *text) {
      if (c == ',') {
        end_piece();
        continue;
      }
      if (c == '.') ++dots;
      piece.push_back(c);
    }
    end_piece();
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

  int kind = 0;
  int adsl = 0;
  if (KindIndexesFor(r.ServiceType, &kind, &adsl)) {
    kind_[static_cast<size_t>(kind)]->setChecked(true);
    adsl_[static_cast<size_t>(adsl)]->setChecked(true);
    adsl_index_ = adsl;
    KindClicked(kind);
    // Only the ADSL kinds have a modem type whose click decides the TCP/IP tab.
    if (kind == 3) AdslClicked(adsl);
  }

  if (store::CarriesTcpIp(r.ServiceType)) {
    QString ip = Q(r.IPAddress);
    QString mask = Q(r.SubnetMask);
    ip_->SetIP(ip);
    subnet_->SetIP(mask);
    FillAddressLists(r);
  }
  if (kind == 3 || kind == 4) program_->setText(Q(r.ExecutePath));

  if (!r.UseProxy) {
    not_use_->setChecked(true);
  } else if (r.UseIEProxy) {
    if (r.IEProxy.AllProtocolSameProxy) {
      all_->setChecked(true);
      proxy_kind_[0]->setText(Q(r.IEProxy.DefaultAddress));
      proxy_port_[0]->setText(Q(r.IEProxy.DefaultPort));
    } else {
      for (size_t row = 0; row < 5; ++row) {
        proxy_kind_[row]->setText(Q(r.IEProxy.*kRows[row].address));
        proxy_port_[row]->setText(Q(r.IEProxy.*kRows[row].port));
      }
    }
  }
  FillPrinters(r);
  tabs_->setCurrentIndex(kTabGeneral);
  return true;
}

bool frmSessionModify::Fail(const char* text, PromptIcon icon, int tab, QWidget* focus) {
  s_.prompt.Show(text, icon, PromptButtons::kOk);
  if (tab >= 0) tabs_->setCurrentIndex(tab);
  if (focus != nullptr) focus->setFocus();
  return false;
}

bool frmSessionModify::CollectLocation() {
  store::ClearLocationRecord(location_);
  const QString name = TrimBlanks(name_->text());
  name_->setText(name);
  if (name.isEmpty()) return Fail("Input location name.", PromptIcon::kNone, -1, name_);
  for (const store::LocationRecord& r : s_.state.LocationTable) {
    if (r.LocationId != SelectedSessionID && Q(r.SessionName) == name) {
      return Fail("This location name is already in use.\r\nInput new location name.",
                  PromptIcon::kInformation, -1, name_);
    }
  }
  location_.SessionName = S(name);
  AdapterFromCombo(nic_, &location_.NIC_ID, &location_.NIC_NAME);
  location_.ServiceType = ServiceTypeFor(kind_index_, adsl_index_);

  if (kind_index_ == 3 || kind_index_ == 4) {
    const QString path = TrimBlanks(program_->text());
    program_->setText(path);
    if (path.isEmpty() || !ProgramPathCheck(S(path), s_.shell, s_.registry)) {
      return Fail("You should choose a launch program.", PromptIcon::kNone, kTabAdsl, program_);
    }
    location_.ExecutePath = S(path);
  }

  if (store::CarriesTcpIp(location_.ServiceType)) {
    if (!ip_->IPValidCheck()) {
      return Fail("Invalid IP address. Please, check!", PromptIcon::kInformation, kTabTcpIp, ip_);
    }
    location_.IPAddress = S(ip_->GetIp());
    if (!subnet_->IPValidCheck()) {
      return Fail("Invalid Subnet Mask. Please, check!", PromptIcon::kInformation, kTabTcpIp,
                  subnet_);
    }
    location_.SubnetMask = S(subnet_->GetIp());
    location_.Gateway = JoinRows(gateways_);
    location_.DNS = JoinRows(servers_);
  }

  bool any = false;
  if (!not_use_->isChecked()) {
    for (size_t row = 0; row < 5; ++row) {
      for (QLineEdit* box : {proxy_kind_[row], proxy_port_[row]}) {
        box->setText(TrimBlanks(box->text()));
        any = any || !box->text().isEmpty();
      }
    }
  }
  if (!not_use_->isChecked() && any) {
    location_.UseProxy = true;
    location_.UseIEProxy = true;
    store::ProxySettings& p = location_.IEProxy;
    if (all_->isChecked()) {
      const bool address = !proxy_kind_[0]->text().isEmpty();
      const bool port = !proxy_port_[0]->text().isEmpty();
      if (!address && port) {
        return Fail("Input proxy server address.", PromptIcon::kNone, kTabProxy, proxy_kind_[0]);
      }
      if (address && !port) {
        return Fail("Input port number.", PromptIcon::kNone, kTabProxy, proxy_port_[0]);
      }
      p.AllProtocolSameProxy = true;
      p.DefaultAddress = S(proxy_kind_[0]->text());
      p.DefaultPort = S(proxy_port_[0]->text());
    } else {
      for (size_t row = 0; row < 5; ++row) {
        if (proxy_kind_[row]->text().isEmpty() && !proxy_port_[row]->text().isEmpty()) {
          return Fail("Input porxy server address.", PromptIcon::kNone, kTabProxy,
                      proxy_kind_[row]);
        }
      }
      for (size_t row = 0; row < 5; ++row) {
        if (!proxy_kind_[row]->text().isEmpty() && proxy_port_[row]->text().isEmpty()) {
          return Fail("Input port number.", PromptIcon::kNone, kTabProxy, proxy_port_[row]);
        }
      }
      for (size_t row = 0; row < 5; ++row) {
        p.*kRows[row].address = S(proxy_kind_[row]->text());
        p.*kRows[row].port = S(proxy_port_[row]->text());
      }
    }
  }

  for (int i = 0; i < printers_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = printers_->topLevelItem(i);
    if (item->checkState(0) == Qt::Checked) {
      location_.UseWinNetwork = true;
      location_.DefaultPrinter = S(item->text(0));
      break;
    }
  }
  return true;
}

bool frmSessionModify::SaveEditedLocation() {
  if (!CollectLocation()) return false;
  location_.LocationId = SelectedSessionID;
  location_.Lease = s_.state.settings.NextLease;
  const int i = store::FindLocationIndex(s_.state.LocationTable, SelectedSessionID);
  // Editing never changes which location is active.
  location_.SessionActive = i >= 0 && s_.state.LocationTable[static_cast<size_t>(i)].SessionActive;
  if (!s_.locations.SaveLocation(SelectedSessionID, location_)) {
    s_.prompt.Show("Error in saving location data.", PromptIcon::kCritical, PromptButtons::kOk);
    return false;
  }
  s_.settings.CountDownNextLease(s_.state.settings);
  return true;
}

}  // namespace netvane::editors
