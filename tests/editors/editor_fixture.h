// The editors' services over a real registry file, with scripted answers for everything a
// person would do in other windows (message boxes, the file dialog, the proxy and printer
// dialogs) and a printer list of the test's making.
#pragma once

#include "editors/editor_common.h"
#include "qt_doubles.h"
#include "test_support.h"

namespace netvane::testing {

class EditorFixture {
 protected:
  EditorFixture() {
    state.AdapterTable = {{"Card A", "SvcA"}, {"Card B", "SvcB"}};
    settings_store.LoadSettings(state.settings);
  }

  // The window's focus widget is `w` or inside it (an address control hands focus on).
  static bool HasFocusIn(QWidget* window, QWidget* w) {
    QWidget* f = window->focusWidget();
    return f != nullptr && (f == w || w->isAncestorOf(f));
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& s : prompt.shown) out.push_back(s.text);
    return out;
  }

  FakePlatform fake;
  store::RegistryAccess access{fake.registry.registry(), fake.registry.codepage()};
  store::LocationStore locations{access};
  store::SettingsStore settings_store{access, "/opt/netvane/Netvane", &fake.tasks};
  engine::AppState state;
  ScriptedPrompt prompt;
  ScriptedFiles files;
  ListedPrinters printers;
  ScriptedDialogs dialogs;
  editors::EditorServices services{state,  locations, settings_store, access, fake.shell,
                                   prompt, files,     printers,       dialogs};
};

}  // namespace netvane::testing
