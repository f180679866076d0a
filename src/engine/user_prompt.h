// The message-box interface under the engine's names. It lives apart (prompt/user_prompt.h), so
// that the updater reports through it without the engine.
#pragma once

#include "prompt/user_prompt.h"

namespace netvane::engine {

using netvane::PromptAnswer;
using netvane::PromptButtons;
using netvane::PromptIcon;
using netvane::UserPrompt;

}  // namespace netvane::engine
