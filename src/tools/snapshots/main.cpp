// netvane-snapshots OUTDIR: renders the main window, every page of the new-location wizard,
// every tab of the property editor, the proxy and printer dialogs, the splash and the notice
// to PNG files (offscreen), so that a person can look at them. What they show comes from
// scene.cpp.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <cstdio>

#include "editors/printer_dialog.h"
#include "editors/proxy_dialog.h"
#include "editors/session_modify.h"
#include "editors/session_new.h"
#include "scene.h"
#include "shell/notice.h"
#include "shell/splash.h"

namespace {

using namespace netvane;
using snapshots::Scene;

constexpr int kWizardPages = 6;

bool Save(QWidget& widget, const QString& dir, const QString& name) {
  widget.adjustSize();
  const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
  const bool ok = widget.grab().save(file);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.toUtf8().constData());
  return ok;
}

// Types an address into `box` and, when `add` is named, presses that button beside it.
void EnterAddress(editors::frmSessionNew& wizard, editors::IpAddressControl* box,
                  const char* address, const char* add = nullptr) {
  QString text = QString::fromLatin1(address);
  box->SetIP(text);
  if (add != nullptr) wizard.findChild<QPushButton*>(QLatin1String(add))->click();
}

// What a user enters on each page of the wizard, choosing the one connection kind that visits
// every page: an external ADSL modem over PPP.
void FillPage(editors::frmSessionNew& wizard, int page) {
  switch (page) {
    case 0:
      wizard.txtSessionName()->setText(QStringLiteral("Travel"));
      break;
    case 1:
      wizard.optStep1(3)->setChecked(true);  // ADSL User
      break;
    case 2:
      wizard.optStep2(2)->setChecked(true);  // External ADSL Modem User (PPP)
      break;
    case 3:
      wizard.txtProgramName()->setText(QString::fromLatin1(snapshots::kDialProgram));
      break;
    case 4:
      EnterAddress(wizard, wizard.txtIP(), "192.168.20.7");
      EnterAddress(wizard, wizard.txtSubnet(), "255.255.255.0");
      EnterAddress(wizard, wizard.txtGateway(), "192.168.20.1", "cmdAddGateway");
      EnterAddress(wizard, wizard.txtDNS(), "192.168.20.2", "cmdAddDNS");
      break;
    default:
      break;
  }
}

// Each page is reached with Next, as a user reaches it, so the navigation buttons are drawn
// as they are on that page; the last page is not confirmed, so nothing is saved.
bool RenderWizard(Scene& s, const QString& out) {
  editors::frmSessionNew wizard(s.editor_services);
  wizard.show();
  bool ok = true;
  for (int page = 0; page < kWizardPages; ++page) {
    if (wizard.m_Step() != page) {
      const std::string why = s.prompt.shown.empty() ? "" : s.prompt.shown.back().text;
      std::printf("FAILED the wizard stayed on page %d instead of %d: %s\n", wizard.m_Step(), page,
                  why.c_str());
      return false;
    }
    FillPage(wizard, page);
    ok = Save(wizard, out, QStringLiteral("wizard-page-%1").arg(page)) && ok;
    if (page + 1 < kWizardPages) wizard.cmdNext()->click();
  }
  return ok;
}

bool RenderEditor(Scene& s, const QString& out) {
  editors::frmSessionModify editor(s.editor_services);
  editor.SelectedSessionID = 1;
  editor.Load();
  editor.show();
  bool ok = true;
  for (int tab = 0; tab < editor.tabSession()->count(); ++tab) {
    editor.tabSession()->setCurrentIndex(tab);
    ok = Save(editor, out, QStringLiteral("editor-tab-%1").arg(tab)) && ok;
  }
  return ok;
}

bool RenderMainWindow(Scene& s, const QString& out) {
  shell::frmMain main_window(s.shell_services, false);
  main_window.LoadWindow();
  main_window.show();
  return Save(main_window, out, QStringLiteral("main-window"));
}

// The splash, the notice and the proxy and printer dialogs.
bool RenderSmallWindows(Scene& s, const QString& out) {
  shell::frmSplash splash;
  splash.show();
  bool ok = Save(splash, out, QStringLiteral("splash"));
  shell::frmNotice notice(s.settings, s.state.settings);
  notice.show();
  ok = Save(notice, out, QStringLiteral("notice")) && ok;
  editors::frmProxy proxy(s.state, s.prompt);
  proxy.show();
  ok = Save(proxy, out, QStringLiteral("proxy-dialog")) && ok;
  editors::frmPrinter printer(s.state, s.printers);
  printer.show();
  return Save(printer, out, QStringLiteral("printer-dialog")) && ok;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: netvane-snapshots OUTDIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  Scene scene;
  snapshots::Seed(scene);
  bool ok = RenderWizard(scene, out);
  ok = RenderEditor(scene, out) && ok;
  ok = RenderMainWindow(scene, out) && ok;
  ok = RenderSmallWindows(scene, out) && ok;
  return ok ? 0 : 1;
}
