#include "editors/printer_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace netvane::editors {
namespace {

// The row's key: the device name, kept apart from the text shown.
constexpr int kKeyRole = Qt::UserRole;

}  // namespace

frmPrinter::frmPrinter(engine::AppState& state, PrinterList& printers, QWidget* parent)
    : QDialog(parent), state_(state) {
  setObjectName(QStringLiteral("frmPrinter"));
  setWindowTitle(QStringLiteral("Netvane 2.0 - Printer Settings"));
  setModal(true);

  auto* label = new QLabel(QStringLiteral("Choose  printer driver for current location."), this);
  label->setObjectName(QStringLiteral("Label3"));

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("lstPrinter"));
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->header()->setStretchLastSection(true);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("cmdOK"));
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cmdCancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);

  auto* outer = new QVBoxLayout(this);
  outer->addWidget(label);
  outer->addWidget(list_);
  outer->addLayout(buttons);

  connect(list_, &QTreeWidget::itemChanged, this, &frmPrinter::OnItemChanged);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &frmPrinter::OnItemDoubleClicked);
  connect(ok_, &QPushButton::clicked, this, &frmPrinter::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &frmPrinter::OnCancel);

  Load(printers);
}

void frmPrinter::Load(PrinterList& printers) {
  updating_ = true;
  list_->clear();
  list_->setColumnCount(1);
  QTreeWidgetItem* header = list_->headerItem();
  header->setText(0, QStringLiteral("Installed printer drivers"));
  header->setData(0, kKeyRole, QStringLiteral("Printer_Name"));

  const QStringList names = printers.InstalledPrinters();
  for (const QString& name : names) {
    auto* row = new QTreeWidgetItem(list_, QStringList{name});
    row->setData(0, kKeyRole, name);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Unchecked);
  }

  if (state_.PendingPrinterSet) {
    const QString pending = QString::fromStdString(state_.PendingPrinterName);
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
      QTreeWidgetItem* row = list_->topLevelItem(i);
      const bool match = row->text(0) == pending;
      row->setCheckState(0, match ? Qt::Checked : Qt::Unchecked);
      row->setSelected(match);
      if (match) list_->setCurrentItem(row);
    }
  }
  updating_ = false;
}

void frmPrinter::UntickAllBut(const QTreeWidgetItem* keep) {
  const bool was_updating = updating_;
  updating_ = true;
  const QVariant key = keep->data(0, kKeyRole);
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = list_->topLevelItem(i);
    if (row->data(0, kKeyRole) != key) row->setCheckState(0, Qt::Unchecked);
  }
  updating_ = was_updating;
}

void frmPrinter::OnItemChanged(QTreeWidgetItem* item, int /*column*/) {
  if (updating_) return;
  UntickAllBut(item);
  selected_ = item->text(0);
}

void frmPrinter::OnItemDoubleClicked(QTreeWidgetItem* item, int /*column*/) {
  updating_ = true;
  item->setCheckState(0, Qt::Checked);
  updating_ = false;
  UntickAllBut(item);
  selected_ = item->text(0);
}

void frmPrinter::OnOk() {
  state_.PendingPrinterSet = false;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = list_->topLevelItem(i);
    if (row->checkState(0) == Qt::Checked) {
      state_.PendingPrinterSet = true;
      state_.PendingPrinterName = row->text(0).toStdString();
      break;
    }
  }
  accept();
}

void frmPrinter::OnCancel() {
  state_.PendingPrinterSet = false;
  state_.PendingPrinterName.clear();
  reject();
}

}  // namespace netvane::editors
