// netvane-helper: carries out the network changes of the netsh and ipconfig stand-ins for
// members of the group netvane, so that Netvane itself need not run as root.
#include <linux/close_range.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "helper/operations.h"
#include "helper/server.h"
#include "platform/posix/helper_wire.h"
#include "standins/host_network.h"

namespace {

constexpr char kUsage[] =
    "usage: netvane-helper [--socket PATH] [--group NAME] [--state DIR] [--interface NAME]...\n"
    "                      [--dhcp-deadline SECONDS]\n"
    "  started by systemd, it serves the socket handed over; otherwise it makes PATH\n"
    "  (default /run/netvane/helper.sock), mode 0660, group NAME (default netvane).\n"
    "  It changes the Ethernet interfaces backed by a device, and those named by --interface;\n"
    "  a DHCP client it runs is ended after SECONDS (default 30).\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "netvane-helper: %s\n%s", why.c_str(), kUsage);
  return 2;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "netvane-helper: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace netvane::helper;
  // Run again by the DHCP client as its script.
  if (std::getenv(netvane::standins::kDhcpReportFdVariable) != nullptr)
    return LeaseHook(argc > 1 ? argv[1] : "");

  std::string socket_path;
  std::string group = "netvane";
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage("missing value after " + option);
    const std::string value = argv[++i];
    if (option == "--socket") {
      socket_path = value;
    } else if (option == "--group") {
      group = value;
    } else if (option == "--state") {
      settings.state_dir = value;
    } else if (option == "--interface") {
      settings.interfaces.push_back(value);
    } else if (option == "--dhcp-deadline") {
      const std::optional<long> seconds = netvane::standins::ParseNumber(value, 1, 3600);
      if (!seconds) return Usage("--dhcp-deadline takes 1 to 3600 seconds");
      settings.dhcp_deadline_s = static_cast<int>(*seconds);
    } else {
      return Usage("unknown option " + option);
    }
  }
  if (geteuid() != 0) return Fail("must run as root");
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return Fail("cannot find this program for the DHCP client's script");
  settings.self.assign(self, static_cast<size_t>(n));

  int listener = socket_path.empty() ? ActivatedSocket() : -1;
  // Nothing its starter left open stays with it or reaches the programs it starts, and it holds
  // no folder.
  syscall(SYS_close_range, listener >= 0 ? listener + 1 : 3, ~0U, 0);
  if (chdir("/") != 0) return Fail("cannot change to the root folder");
  // As the unit's UMask=: what the helper makes is its own unless it opens it up itself.
  umask(0077);

  if (const std::string why = PrepareFolder(settings.state_dir); !why.empty()) return Fail(why);
  const std::string dns = settings.state_dir + "/dns";
  if (mkdir(dns.c_str(), 0700) != 0 && errno != EEXIST) return Fail("cannot make " + dns);
  if (const std::string why = PrepareFolder(dns); !why.empty()) return Fail(why);
  if (listener < 0) {
    if (socket_path.empty()) socket_path = kDefaultSocket;
    const size_t slash = socket_path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
      return Fail("the socket needs a folder of its own");
    if (const std::string why = PrepareFolder(socket_path.substr(0, slash)); !why.empty())
      return Fail(why);
    std::string error;
    listener = MakeSocket(socket_path, group, &error);
    if (listener < 0) return Fail(error);
  }
  Serve(listener, group, settings);
  return 0;
}
