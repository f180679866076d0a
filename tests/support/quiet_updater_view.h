// The updater's window reduced to what its tests read: the messages (answered by a script), and
// a hook for the events that run while the FTP client waits. For the host and Windows alike.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scripted_prompt.h"
#include "updater/update_procedure.h"

namespace netvane::testing {

class QuietUpdaterView : public updater::UpdaterView {
 public:
  void SetLabel(updater::UpdateLabel, const std::string&) override {}
  void SetBar(updater::UpdateBar, int, int) override {}
  void ShowListing(const updater::cDirList*) override {}
  void ProcedureRunning(bool) override {}
  void SetWindowShown(bool) override {}
  void LetPendingEventsRun() override {
    if (on_events) on_events();
  }
  engine::UserPrompt& Prompt() override { return prompt; }
  void EndProgram() override {}
  std::string Server() override { return server; }
  std::string User() override { return "anonymous"; }
  std::string Password() override { return "test@netvane.example"; }

  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& s : prompt.shown) out.push_back(s.text);
    return out;
  }

  ScriptedPrompt prompt;
  std::string server;
  std::function<void()> on_events;
};

}  // namespace netvane::testing
