#include "platform/posix/posix_process.h"

#include <unistd.h>

#include <climits>

namespace netvane::platform {

std::string PosixProcess::ProgramPath() const {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace netvane::platform
