// The main window's apply command and its bind poll, without the window: netvanectl and the
// main window share them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "platform/platform_error.h"
#include "store/location_store.h"

namespace netvane::engine {

inline constexpr int kBindPollIntervalMs = 2000;
inline constexpr int16_t kBindPollTicks = 15;

// The message for an error that ended an apply.
std::string ApplyErrorText(const platform::PlatformError& error);

class ApplyCommand {
 public:
  ApplyCommand(Engine& engine, store::LocationStore& locations, AppState& state,
               FrontEnd& front_end)
      : engine_(engine), locations_(locations), state_(state), front_end_(front_end) {}

  // Applies a location once the command's checks have passed: marks it active, refreshes the
  // list and hands it to the engine; an error from the system ends the apply with its report.
  void Apply(int16_t location_id);

  // The poll's counters back at the start (the front end calls this when it starts its
  // timer).
  void ResetPoll();
  // One tick of the poll; true when the poll has ended (with its message shown).
  bool Tick();

  int16_t ApplyingLocationId = 0;
  int16_t PollTicks = 0;
  bool PollDone = false;

 private:
  void EndPoll(bool bound);

  Engine& engine_;
  store::LocationStore& locations_;
  AppState& state_;
  FrontEnd& front_end_;
};

}  // namespace netvane::engine
