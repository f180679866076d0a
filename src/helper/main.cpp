// netvane-helper: carries out the network changes of the netsh and ipconfig stand-ins for
// members of the group netvane, so that Netvane itself need not run as root.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "helper/operations.h"
#include "helper/server.h"
#include "platform/posix/helper_wire.h"

namespace {

constexpr char kUsage[] =
    "usage: netvane-helper [--socket PATH] [--group NAME] [--state DIR]\n"
    "  started by systemd, it serves the socket handed over; otherwise it makes PATH\n"
    "  (default /run/netvane/helper.sock), mode 0660, group NAME (default netvane)\n";

int Usage(const char* why) {
  std::fprintf(stderr, "netvane-helper: %s\n%s", why, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace netvane::helper;
  // Run again by the DHCP client as its script.
  if (std::getenv(kLeaseHookVariable) != nullptr) return LeaseHook(argc > 1 ? argv[1] : "");

  std::string socket_path;
  std::string group = "netvane";
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage(("missing value after " + option).c_str());
    const std::string value = argv[++i];
    if (option == "--socket") {
      socket_path = value;
    } else if (option == "--group") {
      group = value;
    } else if (option == "--state") {
      settings.state_dir = value;
    } else {
      return Usage(("unknown option " + option).c_str());
    }
  }
  if (geteuid() != 0) {
    std::fputs("netvane-helper: must run as root\n", stderr);
    return 1;
  }
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    std::fputs("netvane-helper: cannot find this program for the DHCP client's script\n", stderr);
    return 1;
  }
  settings.self.assign(self, static_cast<size_t>(n));

  int listener = socket_path.empty() ? ActivatedSocket() : -1;
  if (listener < 0) {
    std::string error;
    if (socket_path.empty()) socket_path = kDefaultSocket;
    listener = MakeSocket(socket_path, group, &error);
    if (listener < 0) {
      std::fprintf(stderr, "netvane-helper: %s\n", error.c_str());
      return 1;
    }
  }
  Serve(listener, group, settings);
  return 0;
}
