#include "editors/location_pages.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "editors/ip_address_control.h"

namespace netvane::editors {
namespace {

// The address pieces of a stored list: a piece is shown when it has three dots.
void FillAddressList(const std::string& text, QListWidget* list) {
  list->clear();
  std::string piece;
  int dots = 0;
  auto end_piece = [&] {
    if (!piece.empty() && dots == 3) list->addItem(Q(piece));
    piece.clear();
    dots = 0;
  };
  for (char c : text) {
    if (c == ',') {
      end_piece();
      continue;
    }
    if (c == '.') ++dots;
    piece.push_back(c);
  }
  end_piece();
}

}  // namespace

OptionColumn::OptionColumn(QWidget* parent, const char* name, const std::vector<QString>& captions)
    : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  auto* group = new QButtonGroup(this);
  for (const QString& caption : captions) {
    const int i = static_cast<int>(options_.size());
    auto* option = new QRadioButton(caption, this);
    option->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i));
    group->addButton(option, i);
    options_.push_back(option);
    l->addWidget(option);
  }
}

KindPage::KindPage(QWidget* parent, const QString& heading, const QString& kt_caption)
    : QWidget(parent) {
  auto* l = new QVBoxLayout(this);
  l->addWidget(NewLabel(this, "Label7", heading));
  l->addWidget(
      NewLabel(this, "Label9", QStringLiteral("Do you connect Internet by following methods?")));
  kinds_ = new Options<ConnectionKind>(
      this, "optStep1",
      {QStringLiteral("Obtain an IP address automatically"),
       QStringLiteral("Specify an IP address"), QStringLiteral("Cable Modem User (DHCP User)"),
       QStringLiteral("ADSL User"), kt_caption});
  l->addWidget(kinds_);
  l->addStretch();
}

Options<AdslType>* NewAdslOptions(QWidget* parent) {
  auto* types = new Options<AdslType>(
      parent, "optStep2",
      {QStringLiteral("Internal ADSL Modem User"), QStringLiteral("USB ADSL Modem User"),
       QStringLiteral("External ADSL Modem User (PPP)"),
       QStringLiteral("External ADSL Modem User (RAS)")});
  types->option(AdslType::kInModem)->setChecked(true);
  return types;
}

ProgramPath::ProgramPath(QWidget* parent, FileChooser& files) : QWidget(parent) {
  auto* l = new QHBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  box_ = new QLineEdit(this);
  box_->setObjectName(QStringLiteral("txtProgramName"));
  l->addWidget(box_);
  search_ = NewButton(this, "cmdSearch", QStringLiteral("Search"));
  l->addWidget(search_);
  connect(search_, &QPushButton::clicked, this,
          [this, &files] { SearchProgram(files, window(), box_); });
}

std::vector<QWidget*> ProgramPath::TabChain() const { return {box_, search_}; }

TcpIpPage::TcpIpPage(QWidget* parent, const QString& heading, int heading_columns)
    : QWidget(parent) {
  auto* l = new QGridLayout(this);
  l->addWidget(NewLabel(this, "Label12", heading), 0, 0, 1, heading_columns);
  l->addWidget(NewLabel(this, "Label2", QStringLiteral("IP Address")), 1, 0);
  ip_ = NewAddress(this, "txtIP");
  l->addWidget(ip_, 1, 1);
  l->addWidget(NewLabel(this, "Label3", QStringLiteral("Subnet Mask")), 2, 0);
  subnet_ = NewAddress(this, "txtSubnet");
  l->addWidget(subnet_, 2, 1);
  gateways_ =
      AddAddressList(l, 3, {"Label4", "txtGateway", "cmdAddGateway", "lstGateway", "cmdDelGateway"},
                     QStringLiteral("Gateway"));
  servers_ = AddAddressList(l, 5, {"Label5", "txtDNS", "cmdAddDNS", "lstDNS", "cmdDelDNS"},
                            QStringLiteral("DNS Server"));
}

TcpIpPage::AddressList TcpIpPage::AddAddressList(QGridLayout* grid, int row,
                                                 const AddressListNames& names,
                                                 const QString& caption) {
  AddressList a;
  grid->addWidget(NewLabel(this, names.label, caption), row, 0);
  a.box = NewAddress(this, names.box);
  grid->addWidget(a.box, row, 1);
  a.add = NewButton(this, names.add, QStringLiteral("Add"));
  grid->addWidget(a.add, row, 2);
  a.list = new QListWidget(this);
  a.list->setObjectName(QString::fromLatin1(names.list));
  grid->addWidget(a.list, row + 1, 1);
  a.remove = NewButton(this, names.remove, QStringLiteral("Remove"));
  grid->addWidget(a.remove, row + 1, 2, Qt::AlignTop);
  connect(a.add, &QPushButton::clicked, this, [a] { AddAddressRow(a.box, a.list); });
  connect(a.remove, &QPushButton::clicked, this, [a] { RemoveSelectedRow(a.list); });
  return a;
}

void TcpIpPage::Show(const store::LocationRecord& r) {
  QString ip = Q(r.IPAddress);
  QString mask = Q(r.SubnetMask);
  ip_->SetIP(ip);
  subnet_->SetIP(mask);
  FillAddressList(r.Gateway, gateways_.list);
  FillAddressList(r.DNS, servers_.list);
}

std::vector<QWidget*> TcpIpPage::TabChain() const {
  return {
      ip_,          subnet_,      gateways_.box, gateways_.add,  gateways_.list, gateways_.remove,
      servers_.box, servers_.add, servers_.list, servers_.remove};
}

}  // namespace netvane::editors
