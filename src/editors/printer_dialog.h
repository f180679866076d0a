// frmPrinter: the printer that becomes the Windows default when the new location is applied,
// kept in the pending printer choice of the application state.
#pragma once

#include <QDialog>

#include "editors/seams.h"
#include "engine/app_state.h"

class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace netvane::editors {

class frmPrinter : public QDialog {
  Q_OBJECT

 public:
  frmPrinter(engine::AppState& state, PrinterList& printers, QWidget* parent = nullptr);

  QTreeWidget* lstPrinter() const { return list_; }
  QPushButton* cmdOK() const { return ok_; }
  QPushButton* cmdCancel() const { return cancel_; }
  // The text of the row last double-clicked, ticked or unticked.
  QString SelectedPrinter() const { return selected_; }

 private:
  void Load(PrinterList& printers);
  // Unticks every row but `keep`; these changes are not the user's and raise no check event.
  void UntickAllBut(const QTreeWidgetItem* keep);
  void OnItemChanged(QTreeWidgetItem* item, int column);
  void OnItemDoubleClicked(QTreeWidgetItem* item, int column);
  void OnOk();
  void OnCancel();

  engine::AppState& state_;
  QTreeWidget* list_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QString selected_;
  // Set while the dialog itself changes check marks, so only the user's toggles count.
  bool updating_ = false;
};

}  // namespace netvane::editors
