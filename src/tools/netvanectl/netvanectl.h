// netvanectl: the headless front end over the engine.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "engine/user_prompt.h"
#include "platform/platform.h"

namespace netvane::tools {

// Shows every message box as lines of text on `out`. A question gets the answer No, so a
// command without a user never starts anything it would have asked about.
class ConsolePrompt final : public engine::UserPrompt {
 public:
  explicit ConsolePrompt(std::ostream& out) : out_(out) {}
  engine::PromptAnswer Show(const std::string& text, engine::PromptIcon icon,
                            engine::PromptButtons buttons) override;

 private:
  std::ostream& out_;
};

// Runs one command (`args` without the program name); returns the exit status: 0 done,
// 1 the command could not be carried out, 2 a usage error or an unknown location.
int RunNetvanectl(const std::vector<std::string>& args, platform::Platform& platform,
                  std::ostream& out, std::ostream& err);

}  // namespace netvane::tools
