// What the editors ask of the desktop besides their own widgets, behind small interfaces so
// that tests can answer: the installed printers, the file-open dialog, and running a dialog
// modally.
#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace netvane::editors {

// The installed printers' device names, in the system's order.
class PrinterList {
 public:
  virtual ~PrinterList() = default;
  virtual QStringList InstalledPrinters() = 0;
};

// The printers Qt PrintSupport knows.
class QtPrinterList : public PrinterList {
 public:
  QStringList InstalledPrinters() override;
};

// The common file-open dialog: no title, filter or start folder; the chosen file, or an
// empty text when the user cancels.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  virtual QString ChooseFile(QWidget* parent) = 0;
};

class QtFileChooser : public FileChooser {
 public:
  QString ChooseFile(QWidget* parent) override;
};

// Shows a dialog modally and returns its result code.
class DialogRunner {
 public:
  virtual ~DialogRunner() = default;
  virtual int Run(QDialog& dialog) = 0;
};

class ModalDialogRunner : public DialogRunner {
 public:
  int Run(QDialog& dialog) override;
};

}  // namespace netvane::editors
