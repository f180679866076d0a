// The editors' seams as test doubles, for the host and for Windows alike: a printer list of
// the test's making, a file dialog that answers from the script, and dialogs handed to the
// test's script instead of a modal loop.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <functional>

#include "editors/seams.h"

namespace netvane::testing {

class ListedPrinters : public editors::PrinterList {
 public:
  QStringList InstalledPrinters() override { return names; }
  QStringList names;
};

class ScriptedFiles : public editors::FileChooser {
 public:
  QString ChooseFile(QWidget*) override {
    ++asked;
    return answer;
  }
  QString answer;
  int asked = 0;
};

// Runs a dialog by handing it to the test's script instead of a modal loop.
class ScriptedDialogs : public editors::DialogRunner {
 public:
  int Run(QDialog& dialog) override {
    dialog.show();
    QApplication::processEvents();
    if (script) script(dialog);
    ran.push_back(dialog.objectName().isEmpty()
                      ? QString::fromLatin1(dialog.metaObject()->className())
                      : dialog.objectName());
    return dialog.result();
  }
  std::function<void(QDialog&)> script;
  QStringList ran;
};

}  // namespace netvane::testing
