// Message boxes: every user message of the engine, the windows and the updater goes through this
// one interface (the windows show a modal box titled "Netvane 2.0"; netvanectl prints them; tests
// script the answers). Plain C++ and used by every layer, so it sits in the project's namespace.
#pragma once

#include <string>

namespace netvane {

enum class PromptIcon { kNone, kInformation, kQuestion, kExclamation, kCritical };
enum class PromptButtons { kOk, kYesNo };
enum class PromptAnswer { kOk, kYes, kNo };

class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  virtual PromptAnswer Show(const std::string& text, PromptIcon icon, PromptButtons buttons) = 0;
};

}  // namespace netvane
