#include "engine/apply_command.h"

namespace netvane::engine {

std::string ApplyErrorText(const platform::PlatformError& e) {
  if (e.number() == 10048) return "DHCP Server is running.\r\nPlease, refer to Help[Tip].";
  return "Please, check if gateway or DNS Configuration is valid.\r\nError Number : " +
         std::to_string(e.number()) + "\r\nError Description : " + e.description() + "\r\n";
}

void ApplyCommand::Apply(int16_t location_id) {
  ApplyingLocationId = location_id;
  front_end_.SetCommandsEnabled(false);
  locations_.SetActiveLocation(location_id, state_.LocationTable, state_.ActiveLocationTable);
  front_end_.RefreshLocationTree();
  try {
    engine_.ApplyLocation(location_id);
  } catch (const platform::PlatformError& e) {
    // The legacy road may have opened the responder's port before the error.
    CloseUdpEndpoint(front_end_.MyWinsock());
    front_end_.SetBusyPointer(false);
    front_end_.Prompt().Show(ApplyErrorText(e), PromptIcon::kNone, PromptButtons::kOk);
    front_end_.SetCommandsEnabled(true);
    front_end_.FocusApplyCommand();
  }
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
  front_end_.SetCommandsEnabled(true);
  front_end_.FocusApplyCommand();
}

}  // namespace netvane::engine
