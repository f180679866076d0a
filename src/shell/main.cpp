// Netvane: the location manager's window.
#include <QApplication>
#include <QSystemTrayIcon>

#include "shell/program.h"
#include "shell/single_instance.h"

int main(int argc, char** argv) {
  using namespace netvane;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Netvane"));
  // Hidden in the notification area the program still runs; the window ends it itself.
  QApplication::setQuitOnLastWindowClosed(false);

  shell::SingleInstance instance(shell::SingleInstance::DefaultKey());
  if (!instance.BecomePrimary()) return 0;

  shell::NetvaneProgram program;
  shell::StartupOptions options;
  options.tray = QSystemTrayIcon::isSystemTrayAvailable();
  int exit_code = 0;
  if (!program.Start(options, &exit_code)) return exit_code;
  shell::frmMain* window = program.window();
  QObject::connect(&instance, &shell::SingleInstance::ActivationRequested, window, [window] {
    window->showNormal();
    window->raise();
    window->activateWindow();
  });
  QObject::connect(&app, &QGuiApplication::commitDataRequest, window,
                   [window] { window->SessionEnding(); });
  return app.exec();
}
