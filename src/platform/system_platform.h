// The real services of the system the program runs on (Win32, or the host backend).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/udp.h"

namespace netvane::platform {

class SystemPlatform {
 public:
  virtual ~SystemPlatform() = default;
  virtual Platform& services() = 0;
  // A new UDP endpoint (the main window's socket control), closed.
  virtual std::unique_ptr<UdpEndpoint> CreateUdpEndpoint() = 0;
  // Problems met while setting the services up (an unusable registry file, an unknown code
  // page name ...), each a sentence for the user. `fatal` is true when the registry cannot be
  // used at all.
  virtual std::vector<std::string> problems() const = 0;
  virtual bool fatal() const = 0;
};

std::unique_ptr<SystemPlatform> CreateSystemPlatform();

}  // namespace netvane::platform
