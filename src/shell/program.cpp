#include "shell/program.h"

#include <QMessageBox>
#include <QStringList>

namespace netvane::shell {

NetvaneProgram::NetvaneProgram() : system_(platform::CreateSystemPlatform()) {}

bool NetvaneProgram::Start(const StartupOptions& options, int* exit_code) {
  *exit_code = 0;
  if (system_->fatal()) {
    QStringList problems;
    for (const std::string& p : system_->problems()) problems << QString::fromStdString(p);
    QMessageBox::critical(nullptr, QStringLiteral("Netvane 2.0"), problems.join(QLatin1Char('\n')));
    *exit_code = 1;
    return false;
  }
  platform::Platform& p = system_->services();
  registry_ = std::make_unique<store::RegistryAccess>(p.registry, p.codepage);
  locations_ = std::make_unique<store::LocationStore>(*registry_);
  settings_ = std::make_unique<store::SettingsStore>(*registry_, p.process.ProgramPath(), &p.tasks);
  iphelper_ = std::make_unique<engine::CIpHelper>(p.iphelper, p.codepage, prompt_);
  winsock_ = system_->CreateUdpEndpoint();
  services_ = std::make_unique<ShellServices>(ShellServices{p, *registry_, *locations_, *settings_,
                                                            state_, *iphelper_, prompt_, files_,
                                                            printers_, dialogs_, *winsock_});
  window_ = NetvaneMain(*services_, options);
  if (!window_) return false;
  prompt_.SetParent(window_.get());
  return true;
}

}  // namespace netvane::shell
