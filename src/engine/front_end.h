// What the engine asks of the window it works for (the main window, or netvanectl): the
// commands' enabled state, the bind poll, message boxes, the busy pointer, a chance for
// pending window events to run (also while a program is waited for), and the window's UDP
// endpoint.
#pragma once

#include "engine/user_prompt.h"
#include "platform/udp.h"

namespace netvane::engine {

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // Enables or disables the apply, add, modify, delete, exit and help commands and the
  // location list; while disabled, closing the window is refused.
  virtual void SetCommandsEnabled(bool enabled) = 0;
  // Starts the bind poll: a tick every 2000 ms from now, the tick count back at 0
  // (ApplyCommand::ResetPoll).
  virtual void StartBindPoll() = 0;
  // Stops the bind poll's ticks.
  virtual void StopBindPoll() = 0;
  // Rebuilds the location list from the application state.
  virtual void RefreshLocationTree() = 0;
  // Puts the focus on the apply command.
  virtual void FocusApplyCommand() = 0;
  // The hourglass pointer while busy, the normal one otherwise.
  virtual void SetBusyPointer(bool busy) = 0;
  // Lets the window's pending events run once.
  virtual void LetPendingEventsRun() = 0;
  // Called again and again while the engine waits for a program, so that the window repaints
  // and answers meanwhile; a front end without a window has nothing to do.
  virtual void LetEventsRunWhileWaiting() {}
  // Whether the program is ending (a close waits for the engine's call to return): nothing new
  // may start then.
  virtual bool ShuttingDown() const { return false; }
  virtual UserPrompt& Prompt() = 0;
  // The endpoint the local DHCP responder answers on.
  virtual platform::UdpEndpoint& MyWinsock() = 0;
};

}  // namespace netvane::engine
