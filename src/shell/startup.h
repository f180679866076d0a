// The program's start: the Windows version check, the settings, the splash window, the
// notice for NT and 2000 users, the location data, and the main window.
#pragma once

#include <memory>

#include "shell/main_window.h"

namespace netvane::shell {

struct StartupOptions {
  int splash_ms = 3000;
  bool tray = false;
};

// Runs the start-up steps; returns the shown main window, or null when the program must end
// (an unsupported Windows version, after its message).
std::unique_ptr<frmMain> NetvaneMain(ShellServices& services, const StartupOptions& options);

}  // namespace netvane::shell
