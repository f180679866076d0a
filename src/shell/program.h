// The program put together from the system's own services: what main() and the start-up
// benchmark run.
#pragma once

#include <memory>

#include "editors/seams.h"
#include "engine/ip_helper.h"
#include "platform/system_platform.h"
#include "qt_common/qt_prompt.h"
#include "shell/startup.h"
#include "store/location_store.h"
#include "store/registry_access.h"
#include "store/settings.h"

namespace netvane::shell {

class NetvaneProgram {
 public:
  NetvaneProgram();

  // Runs the start-up. Returns true when the main window is up; otherwise the program ends
  // with `exit_code`.
  bool Start(const StartupOptions& options, int* exit_code);
  frmMain* window() const { return window_.get(); }

 private:
  std::unique_ptr<platform::SystemPlatform> system_;
  qt_common::QtPrompt prompt_;
  std::unique_ptr<store::RegistryAccess> registry_;
  std::unique_ptr<store::LocationStore> locations_;
  std::unique_ptr<store::SettingsStore> settings_;
  engine::AppState state_;
  std::unique_ptr<engine::CIpHelper> iphelper_;
  editors::QtFileChooser files_;
  editors::QtPrinterList printers_;
  editors::ModalDialogRunner dialogs_;
  std::unique_ptr<platform::UdpEndpoint> winsock_;
  std::unique_ptr<ShellServices> services_;
  std::unique_ptr<frmMain> window_;
};

}  // namespace netvane::shell
