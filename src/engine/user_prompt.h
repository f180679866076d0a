// Message boxes: every user message of the engine and the windows goes through this one
// interface (the windows show a modal box titled "Netvane 2.0"; tests script the answers).
#pragma once

#include <string>

namespace netvane::engine {

enum class PromptIcon { kNone, kInformation, kQuestion, kExclamation, kCritical };
enum class PromptButtons { kOk, kYesNo };
enum class PromptAnswer { kOk, kYes, kNo };

class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  virtual PromptAnswer Show(const std::string& text, PromptIcon icon, PromptButtons buttons) = 0;
};

}  // namespace netvane::engine
