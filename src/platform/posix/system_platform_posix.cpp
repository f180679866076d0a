// The host backend bundle, configured from the environment.
#include <cstdlib>
#include <memory>

#include "platform/posix/env_windows_version.h"
#include "platform/posix/host_file_system.h"
#include "platform/posix/host_system.h"
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/packet_probe.h"
#include "platform/posix/posix_process.h"
#include "platform/posix/posix_shell.h"
#include "platform/posix/posix_udp.h"
#include "platform/posix/registry_profile.h"
#include "platform/posix/sqlite_registry.h"
#include "platform/posix/sysfs_iphelper.h"
#include "platform/system_platform.h"

namespace netvane::platform {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// The host's sessions start nothing from the registry file, neither the Run value nor a task:
// there is nowhere for a logon task to go.
class HostLogonTask final : public LogonTask {
 public:
  void Register(const std::string&, const std::string&, const std::string&) override {}
  void Remove(const std::string&) override {}
};

class HostPlatform final : public SystemPlatform {
 public:
  HostPlatform()
      : codepage_(Env("NETVANE_ANSI_CODEPAGE")),
        registry_(DefaultRegistryPath(), codepage_),
        winver_(Env("NETVANE_WINDOWS_VERSION")),
        shell_(process_),
        device_(registry_),
        profile_(registry_, codepage_),
        services_{registry_, codepage_, winver_, iphelper_, process_, shell_,
                  device_,   profile_,  files_,  tasks_,    probe_} {
    if (!codepage_.ok()) {
      problems_.push_back("unknown code page NETVANE_ANSI_CODEPAGE=" +
                          Env("NETVANE_ANSI_CODEPAGE") + "; using UTF-8");
    }
    if (!winver_.ok()) {
      problems_.push_back("unknown Windows version NETVANE_WINDOWS_VERSION=" +
                          Env("NETVANE_WINDOWS_VERSION") + " (expected 95, 98, ME, NT4 or 2000)");
    }
    if (!registry_.ok()) {
      problems_.push_back(registry_.error());
    } else if (Env("NETVANE_SYSTEM_VIEW") != "off") {
      // The adapters Windows would list are this machine's interfaces.
      const int32_t code = SyncSystemView(registry_, iphelper_.ReadRows());
      if (code != 0) {
        problems_.push_back("the network adapters could not be recorded in the registry (error " +
                            std::to_string(code) + ")");
      }
    }
  }

  Platform& services() override { return services_; }
  std::unique_ptr<UdpEndpoint> CreateUdpEndpoint() override {
    return std::make_unique<PosixUdpEndpoint>();
  }
  std::vector<std::string> problems() const override { return problems_; }
  bool fatal() const override { return !registry_.ok(); }

 private:
  IconvCodePage codepage_;
  SqliteRegistry registry_;
  EnvWindowsVersion winver_;
  SysfsIpHelper iphelper_;
  PosixProcess process_;
  PosixShell shell_;
  HostDevice device_;
  RegistryProfile profile_;
  HostFileSystem files_;
  HostLogonTask tasks_;
  PacketNetworkProbe probe_;
  Platform services_;
  std::vector<std::string> problems_;
};

}  // namespace

std::unique_ptr<SystemPlatform> CreateSystemPlatform() { return std::make_unique<HostPlatform>(); }

}  // namespace netvane::platform
