// The Win32 services bundle. Nothing here is configured from the environment: the registry,
// code page and version are the running system's own.
#include <memory>

#include "platform/system_platform.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_device.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_iphelper.h"
#include "platform/win32/win32_logon_task.h"
#include "platform/win32/win32_network_probe.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_profile.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_udp.h"
#include "platform/win32/win32_windows_version.h"

namespace netvane::platform {
namespace {

class Win32Platform final : public SystemPlatform {
 public:
  Win32Platform()
      : services_{registry_, codepage_, winver_, iphelper_, process_, shell_,
                  device_,   profile_,  files_,  tasks_,    probe_} {}

  Platform& services() override { return services_; }
  std::unique_ptr<UdpEndpoint> CreateUdpEndpoint() override {
    return std::make_unique<Win32UdpEndpoint>();
  }
  std::vector<std::string> problems() const override { return {}; }
  bool fatal() const override { return false; }

 private:
  Win32Registry registry_;
  Win32CodePage codepage_;
  Win32WindowsVersion winver_;
  Win32IpHelper iphelper_;
  Win32Process process_;
  Win32Shell shell_;
  Win32Device device_;
  Win32Profile profile_;
  Win32FileSystem files_;
  Win32LogonTask tasks_;
  Win32NetworkProbe probe_;
  Platform services_;
};

}  // namespace

std::unique_ptr<SystemPlatform> CreateSystemPlatform() { return std::make_unique<Win32Platform>(); }

}  // namespace netvane::platform
