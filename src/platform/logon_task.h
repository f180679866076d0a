// The task that starts a program when the user logs on (Windows' Task Scheduler). Windows does
// not start a program that asks for administrator rights from the Run key under user account
// control; a task that runs with the highest privileges it does start.
#pragma once

#include <string>
#include <string_view>

namespace netvane::platform {

class LogonTask {
 public:
  virtual ~LogonTask() = default;
  // Registers, or replaces, the task `name` in the scheduler's root folder: when the current
  // user logs on, `program` starts with `arguments`, with the highest privileges, and runs for as
  // long as it likes. Failure raises PlatformError (the HRESULT and the system's text for it).
  virtual void Register(const std::string& name, const std::string& program,
                        const std::string& arguments) = 0;
  // Removes the task `name`; a task that is not there is no error. Failure raises
  // PlatformError.
  virtual void Remove(const std::string& name) = 0;
};

// The task's definition in the Task Scheduler's XML: a logon trigger for `user` ("DOMAIN\name"),
// that user's interactive token at the highest run level, no time limit, on battery too, one
// instance at a time, and `program` with `arguments` (none when empty) as its action.
std::string LogonTaskXml(std::string_view user, std::string_view program,
                         std::string_view arguments, std::string_view description);

}  // namespace netvane::platform
