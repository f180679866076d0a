// The pages the new-location wizard and the property editor share, each one widget under the
// control names both windows use: the connection kinds, the ADSL modem types, the connection
// program with its Search command, and the TCP/IP values with their address lists.
#pragma once

#include <QWidget>
#include <vector>

#include "editors/editor_common.h"

class QGridLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace netvane::editors {

class IpAddressControl;

// Radio buttons in one button group, one a caption, named `name`(0), `name`(1) ...
class OptionColumn : public QWidget {
  Q_OBJECT

 public:
  OptionColumn(QWidget* parent, const char* name, const std::vector<QString>& captions);

  QRadioButton* option(int i) const { return options_[static_cast<size_t>(i)]; }
  const std::vector<QRadioButton*>& options() const { return options_; }

 private:
  std::vector<QRadioButton*> options_;
};

// An option column indexed by an enum listing its options in order.
template <typename Index>
class Options : public OptionColumn {
 public:
  using OptionColumn::option;
  using OptionColumn::OptionColumn;
  QRadioButton* option(Index i) const { return option(static_cast<int>(i)); }
};

// The connection kinds (optStep1) under their two headings (Label7, Label9).
class KindPage : public QWidget {
  Q_OBJECT

 public:
  // The windows word the first heading and the last kind's caption each their own way.
  KindPage(QWidget* parent, const QString& heading, const QString& kt_caption);

  Options<ConnectionKind>* kinds() const { return kinds_; }

 private:
  Options<ConnectionKind>* kinds_ = nullptr;
};

// The ADSL modem types (optStep2), the first one chosen.
Options<AdslType>* NewAdslOptions(QWidget* parent);

// The connection program's path (txtProgramName) and the Search command (cmdSearch) that fills
// it from the file dialog.
class ProgramPath : public QWidget {
  Q_OBJECT

 public:
  ProgramPath(QWidget* parent, FileChooser& files);

  QLineEdit* box() const { return box_; }
  std::vector<QWidget*> TabChain() const;

 private:
  QLineEdit* box_ = nullptr;
  QPushButton* search_ = nullptr;
};

// The TCP/IP values: address, mask, and the gateway and DNS server lists with their Add and
// Remove commands.
class TcpIpPage : public QWidget {
  Q_OBJECT

 public:
  // The wizard's heading spans one empty column more than the editor's, which widens its page
  // by a spacing; `heading_columns` keeps each window as it looks.
  TcpIpPage(QWidget* parent, const QString& heading, int heading_columns);

  // Shows a location's address, mask and lists (pieces of the lists that are no address are
  // left out).
  void Show(const store::LocationRecord& r);
  std::vector<QWidget*> TabChain() const;

  IpAddressControl* ip() const { return ip_; }
  IpAddressControl* subnet() const { return subnet_; }
  IpAddressControl* gateway() const { return gateways_.box; }
  IpAddressControl* dns() const { return servers_.box; }
  QListWidget* gateways() const { return gateways_.list; }
  QListWidget* servers() const { return servers_.list; }

 private:
  // An address box with its Add command, and the list below it with its Remove command.
  struct AddressList {
    IpAddressControl* box = nullptr;
    QPushButton* add = nullptr;
    QListWidget* list = nullptr;
    QPushButton* remove = nullptr;
  };
  // The object names of an address list's caption and controls.
  struct AddressListNames {
    const char* label;
    const char* box;
    const char* add;
    const char* list;
    const char* remove;
  };
  AddressList AddAddressList(QGridLayout* grid, int row, const AddressListNames& names,
                             const QString& caption);

  IpAddressControl* ip_ = nullptr;
  IpAddressControl* subnet_ = nullptr;
  AddressList gateways_;
  AddressList servers_;
};

}  // namespace netvane::editors
