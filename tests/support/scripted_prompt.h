// A message box double that records every message and answers from a script; it builds for
// the host and for Windows alike.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/user_prompt.h"

namespace netvane::testing {

// Records every message and answers from a script (default: OK, and Yes to questions).
class ScriptedPrompt : public engine::UserPrompt {
 public:
  struct Shown {
    std::string text;
    engine::PromptIcon icon;
    engine::PromptButtons buttons;
  };
  engine::PromptAnswer Show(const std::string& text, engine::PromptIcon icon,
                            engine::PromptButtons buttons) override;
  std::vector<Shown> shown;
  std::vector<engine::PromptAnswer> answers;  // taken from the front
  // Runs while a message is shown, as the window's events run inside a real message box.
  std::function<void(const std::string& text)> on_show;
};

}  // namespace netvane::testing
