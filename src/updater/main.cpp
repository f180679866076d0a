// NVEupdate: fetches a newer build of Netvane from the update server and installs it.
#include <QApplication>
#include <QMessageBox>

#include "platform/ftp.h"
#include "platform/system_platform.h"
#include "qt_common/qt_prompt.h"
#include "updater/compiled_keys.h"
#include "updater/update_signature.h"
#include "updater/window.h"

int main(int argc, char** argv) {
  using namespace netvane;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("NVEupdate"));
  std::unique_ptr<platform::SystemPlatform> system = platform::CreateSystemPlatform();
  const QString title = QStringLiteral("Netvane 2.0 Patch loader");
  if (system->fatal()) {
    QStringList problems;
    for (const std::string& p : system->problems()) problems << QString::fromStdString(p);
    QMessageBox::critical(nullptr, title, problems.join(QLatin1Char('\n')));
    return 1;
  }
  qt_common::QtPrompt prompt(nullptr, title);
  // A key the build could not read is no key: then nothing is installed, and the updater says so.
  updater::frmMain window(platform::CreateSystemFtp(), system->services(), prompt,
                          updater::ParseTrustedKeys(updater::CompiledUpdateKeys())
                              .value_or(std::vector<updater::minisign::PublicKey>()));
  prompt.SetParent(&window);
  window.PlaceWindow();
  window.show();
  return app.exec();
}
