#include "shell/startup.h"

#include "engine/load_all.h"
#include "engine/windows_family.h"
#include "shell/notice.h"
#include "shell/splash.h"

namespace netvane::shell {

std::unique_ptr<frmMain> NetvaneMain(ShellServices& s, const StartupOptions& options) {
  engine::AppState& state = s.state;
  state.OSKind = engine::DetectWindowsFamily(s.platform.winver);
  if (state.OSKind == engine::kOsUnknown || state.OSKind == engine::kOsWin95) {
    s.prompt.Show("Netvane 2.0 is available on Windows 98/ME/NT/2000.", PromptIcon::kNone,
                  PromptButtons::kOk);
    return nullptr;
  }
  const std::string auto_start_problem = s.settings.LoadSettings(state.settings);

  ShowSplash(options.splash_ms);

  // The notice concerns only the NT family; elsewhere it is never offered again.
  if (state.settings.IsNoticeView) {
    if (state.OSKind == engine::kOsWinNt4 || state.OSKind == engine::kOsWin2000) {
      frmNotice notice(s.settings, state.settings);
      s.dialogs.Run(notice);
    } else {
      s.settings.WriteNoticeView(false, state.settings);
    }
  }

  engine::LoadAll(state, s.registry, s.locations, s.iphelper);
  auto window = std::make_unique<frmMain>(s, options.tray);
  window->LoadWindow();
  window->show();
  if (!auto_start_problem.empty()) {
    s.prompt.Show(auto_start_problem, PromptIcon::kExclamation, PromptButtons::kOk);
  }
  return window;
}

}  // namespace netvane::shell
