// The logon task through the Task Scheduler's COM interface (ITaskService).
#pragma once

#include "platform/logon_task.h"

namespace netvane::platform {

class Win32LogonTask final : public LogonTask {
 public:
  // LogonTaskXml for the account this program runs as, registered with the scheduler. Errors
  // carry the source "Task Scheduler".
  void Register(const std::string& name, const std::string& program,
                const std::string& arguments) override;
  void Remove(const std::string& name) override;
};

}  // namespace netvane::platform
