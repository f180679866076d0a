// The main window's apply command and its bind poll, without the window: netvanectl and the
// main window share them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "engine/network_memory.h"
#include "platform/platform_error.h"
#include "store/location_store.h"

namespace netvane::engine {

inline constexpr int kBindPollIntervalMs = 2000;
inline constexpr int16_t kBindPollTicks = 15;

// The message for an error that ended an apply.
std::string ApplyErrorText(const platform::PlatformError& error);

// What happens after a failed apply when another location was active on the same adapter.
enum class RestorePolicy { kAsk, kAlways, kNever };

// The question after a failed apply, and what is said instead when the restore is not asked.
std::string RestoreQuestion(const std::string& session_name);
std::string RestoringText(const std::string& session_name);

class ApplyCommand {
 public:
  ApplyCommand(Engine& engine, store::LocationStore& locations, AppState& state,
               FrontEnd& front_end)
      : engine_(engine), locations_(locations), state_(state), front_end_(front_end) {}

  // Applies a location once the command's checks have passed: marks it active, refreshes the
  // list and hands it to the engine; an error from the system ends the apply with its report.
  // When the apply fails (its error report, a failed read-back, or later the poll running out)
  // and another location was active on the adapter, that one is offered back, as
  // `restore_policy` says; a restore that fails too is not offered again. From the failure
  // until the restore's own apply has ended the commands stay disabled, and a restore is
  // offered only once every step of the failed apply has ended.
  void Apply(int16_t location_id);

  // The poll's counters back at the start (the front end calls this when it starts its
  // timer).
  void ResetPoll();
  // One tick of the poll; true when the poll has ended (with its message shown).
  bool Tick();

  int16_t ApplyingLocationId = 0;
  int16_t PollTicks = 0;
  bool PollDone = false;
  RestorePolicy restore_policy = RestorePolicy::kAsk;
  // The location put back after the last failed apply, or -1.
  int16_t RestoredLocationId = -1;
  // Where a location that was applied well remembers its network; none when null.
  NetworkMemory* memory = nullptr;

 private:
  // How a poll ended while the apply that started it was still under way.
  enum class PollEnd { kNone, kBound, kRanOut };

  void EndPoll(bool bound);
  // The location active on the adapter of `location_id` before it, or -1.
  int16_t PreviousLocationOn(int16_t location_id) const;
  // After a failure: offers the restore, and applies the previous location when it is taken.
  // False when there is nothing to offer; the commands are then the caller's to give back.
  bool OfferRestore();
  void GiveCommandsBack();

  Engine& engine_;
  store::LocationStore& locations_;
  AppState& state_;
  FrontEnd& front_end_;
  int16_t restore_candidate_ = -1;
  bool restoring_ = false;
  // The engine is applying: a poll that ends meanwhile (its ticks run inside a message box of
  // the apply) leaves its end to the apply.
  bool in_apply_ = false;
  PollEnd poll_end_ = PollEnd::kNone;
};

}  // namespace netvane::engine
