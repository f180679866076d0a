#include "engine/apply_command.h"

#include "engine/windows_family.h"
#include "platform/text.h"
#include "platform/win_codes.h"

namespace netvane::engine {

std::string ApplyErrorText(const platform::PlatformError& e) {
  if (e.number() == platform::kWsaAddressInUse)
    return "DHCP Server is running.\r\nPlease, refer to Help[Tip].";
  return "Please, check if gateway or DNS Configuration is valid.\r\nError Number : " +
         std::to_string(e.number()) + "\r\nError Description : " + e.description() + "\r\n";
}

std::string RestoreQuestion(const std::string& session_name) {
  return "Restore the previous location \"" + session_name + "\"?";
}

std::string RestoringText(const std::string& session_name) {
  return "Restoring the previous location \"" + session_name + "\".";
}

int16_t ApplyCommand::PreviousLocationOn(int16_t location_id) const {
  const int i = store::FindLocationIndex(state_.LocationTable, location_id);
  if (i < 0) return -1;
  const std::string adapter =
      store::AsciiUpper(platform::TrimSpaces(state_.LocationTable[static_cast<size_t>(i)].NIC_ID));
  for (const store::ActiveLocationEntry& entry : state_.ActiveLocationTable) {
    if (store::AsciiUpper(platform::TrimSpaces(entry.AdapterId)) == adapter &&
        entry.ActiveLocationId != location_id &&
        store::FindLocationIndex(state_.LocationTable, entry.ActiveLocationId) >= 0) {
      return entry.ActiveLocationId;
    }
  }
  return -1;
}

void ApplyCommand::Apply(int16_t location_id) {
  if (!restoring_) RestoredLocationId = -1;
  restore_candidate_ = restoring_ ? -1 : PreviousLocationOn(location_id);
  ApplyingLocationId = location_id;
  front_end_.SetCommandsEnabled(false);
  locations_.SetActiveLocation(location_id, state_.LocationTable, state_.ActiveLocationTable);
  front_end_.RefreshLocationTree();
  bool failed = false;
  in_apply_ = true;
  poll_end_ = PollEnd::kNone;
  try {
    engine_.ApplyLocation(location_id);
    failed = engine_.ReadBackFailed();
  } catch (const platform::PlatformError& e) {
    // The legacy road may have opened the responder's port before the error.
    CloseUdpEndpoint(front_end_.MyWinsock());
    front_end_.SetBusyPointer(false);
    front_end_.Prompt().Show(ApplyErrorText(e), PromptIcon::kNone, PromptButtons::kOk);
    GiveCommandsBack();
    failed = true;
  }
  in_apply_ = false;
  // Every step of the apply has ended: now a poll that ended inside it has its say.
  if (poll_end_ == PollEnd::kRanOut) failed = true;
  // The network is remembered where the system keeps the adapter's values by its identifier.
  if (!failed && memory != nullptr && state_.OSKind == kOsWin2000) {
    memory->AfterApply(location_id, engine_.programs().TakeRenew());
  }
  if (failed && OfferRestore()) return;
  if (poll_end_ != PollEnd::kNone) GiveCommandsBack();
}

void ApplyCommand::GiveCommandsBack() {
  front_end_.SetCommandsEnabled(true);
  front_end_.FocusApplyCommand();
}

bool ApplyCommand::OfferRestore() {
  const int16_t previous = restore_candidate_;
  restore_candidate_ = -1;
  if (previous < 0 || restore_policy == RestorePolicy::kNever || front_end_.ShuttingDown()) {
    return false;
  }
  const int i = store::FindLocationIndex(state_.LocationTable, previous);
  if (i < 0) return false;
  const std::string name = state_.LocationTable[static_cast<size_t>(i)].SessionName;
  // The question and the waits below let the window's events run: nothing else may start.
  front_end_.SetCommandsEnabled(false);
  if (restore_policy == RestorePolicy::kAsk &&
      front_end_.Prompt().Show(RestoreQuestion(name), PromptIcon::kQuestion,
                               PromptButtons::kYesNo) != PromptAnswer::kYes) {
    GiveCommandsBack();
    return true;
  }
  if (restore_policy == RestorePolicy::kAlways) {
    front_end_.Prompt().Show(RestoringText(name), PromptIcon::kInformation, PromptButtons::kOk);
  }
  // A renew must not start while the failed apply's filter is still being switched off.
  engine_.programs().WaitForFilterSwitch();
  if (front_end_.ShuttingDown()) {
    GiveCommandsBack();
    return true;
  }
  RestoredLocationId = previous;
  restoring_ = true;
  Apply(previous);
  restoring_ = false;
  return true;
}

void ApplyCommand::ResetPoll() {
  PollTicks = 0;
  PollDone = false;
}

bool ApplyCommand::Tick() {
  if (engine_.CheckBinding(ApplyingLocationId)) {
    EndPoll(true);
    return true;
  }
  if (++PollTicks < kBindPollTicks) return false;
  EndPoll(false);
  return true;
}

void ApplyCommand::EndPoll(bool bound) {
  front_end_.StopBindPoll();
  PollDone = true;
  front_end_.SetBusyPointer(false);
  CloseUdpEndpoint(front_end_.MyWinsock());
  front_end_.Prompt().Show(bound ? kBindSucceeded : kBindFailed, PromptIcon::kInformation,
                           PromptButtons::kOk);
  if (!bound) {
    ApplyingLocationId = -1;
    front_end_.RefreshLocationTree();
  }
  try {
    engine_.programs().UnloadDHCPFilter();
  } catch (const platform::PlatformError&) {
    // A filter tool that cannot start must not leave the commands disabled for good.
  }
  if (in_apply_) {
    poll_end_ = bound ? PollEnd::kBound : PollEnd::kRanOut;
    return;
  }
  if (!bound && OfferRestore()) return;
  GiveCommandsBack();
}

}  // namespace netvane::engine
