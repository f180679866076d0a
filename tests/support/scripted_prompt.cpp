#include "scripted_prompt.h"

namespace netvane::testing {

engine::PromptAnswer ScriptedPrompt::Show(const std::string& text, engine::PromptIcon icon,
                                          engine::PromptButtons buttons) {
  shown.push_back({text, icon, buttons});
  if (on_show) on_show(text);
  if (!answers.empty()) {
    const engine::PromptAnswer a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  return buttons == engine::PromptButtons::kYesNo ? engine::PromptAnswer::kYes
                                                  : engine::PromptAnswer::kOk;
}

}  // namespace netvane::testing
