// What netvane-snapshots draws the windows over: the tests' platform doubles around a scratch
// registry, the stores and the program's state, so nothing on this machine is read or changed.
#pragma once

#include "editors/editor_common.h"
#include "engine/ip_helper.h"
#include "qt_doubles.h"
#include "shell/main_window.h"
#include "test_support.h"

namespace netvane::snapshots {

// The connection program of the pictures; the shell double knows it, so the wizard takes it.
inline constexpr char kDialProgram[] = "/usr/bin/true";

struct Scene {
  testing::FakePlatform fake;
  store::RegistryAccess access{fake.registry.registry(), fake.registry.codepage()};
  store::LocationStore locations{access};
  store::SettingsStore settings{access, fake.process.ProgramPath()};
  engine::AppState state;
  testing::ScriptedPrompt prompt;
  testing::ScriptedFiles files;
  testing::ListedPrinters printers;
  testing::ScriptedDialogs dialogs;
  testing::ScriptedEndpoint endpoint;
  engine::CIpHelper iphelper{fake.iphelper, fake.registry.codepage(), prompt};
  editors::EditorServices editor_services{state,  locations, settings, access, fake.shell,
                                          prompt, files,     printers, dialogs};
  shell::ShellServices shell_services{fake.services(), access,   locations, settings,
                                      state,           iphelper, prompt,    files,
                                      printers,        dialogs,  endpoint};
};

// Puts what the pictures show into the scene: two adapters, three locations on them (one
// active) in the registry and loaded, three printers and the connection program.
void Seed(Scene& scene);

}  // namespace netvane::snapshots
