// Netvane: the location manager's window.
#include <QApplication>
#include <QSystemTrayIcon>

#include "shell/program.h"
#include "shell/single_instance.h"

#ifdef _WIN32
#include <windows.h>

#include <QAbstractNativeEventFilter>

namespace {

// Windows says when a session that asked to end goes on after all: WM_ENDSESSION with FALSE.
class SessionWatcher : public QAbstractNativeEventFilter {
 public:
  explicit SessionWatcher(netvane::shell::frmMain* window) : window_(window) {}
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    const MSG* msg = static_cast<const MSG*>(message);
    if (type == "windows_generic_MSG" && msg->message == WM_ENDSESSION && msg->wParam == FALSE) {
      window_->SessionGoesOn();
    }
    return false;
  }

 private:
  netvane::shell::frmMain* window_;
};

}  // namespace
#endif

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
#ifdef _WIN32
  SessionWatcher watcher(window);
  app.installNativeEventFilter(&watcher);
#endif
  return app.exec();
}
