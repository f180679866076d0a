#include "editors/seams.h"

#include <QDialog>
#include <QFileDialog>
#include <QPrinterInfo>

namespace netvane::editors {

QStringList QtPrinterList::InstalledPrinters() { return QPrinterInfo::availablePrinterNames(); }

QString QtFileChooser::ChooseFile(QWidget* parent) { return QFileDialog::getOpenFileName(parent); }

int ModalDialogRunner::Run(QDialog& dialog) { return dialog.exec(); }

}  // namespace netvane::editors
