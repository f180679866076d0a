// Test program: the host's network probe run from the command line, inside the sandbox's client
// namespace.
//   network_probe_tool probe ADAPTER dhcp|nodhcp GATEWAY...   "arp GATEWAY MAC" per answer,
//                                                             "offer SERVER ADDRESS MASK"
//   network_probe_tool neighbour ADAPTER ADDRESS              the neighbour table's MAC
//   network_probe_tool watch                                  "ready", then "ADAPTER up|down"
//                                                             per change until SIGTERM, then
//                                                             "stopped"
// A probe that could not be made prints "error: WHY" and exits with 1.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/packet_probe.h"

int main(int argc, char** argv) {
  netvane::platform::PacketNetworkProbe probe;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "probe") {
    netvane::platform::ProbeRequest request;
    request.adapter = args[1];
    request.dhcp = args[2] == "dhcp";
    request.gateways.assign(args.begin() + 3, args.end());
    const netvane::platform::ProbeResult result = probe.Probe(request);
    for (const auto& a : result.answers)
      std::printf("arp %s %s\n", a.gateway.c_str(), a.mac.c_str());
    if (result.offer) {
      std::printf("offer %s %s %s\n", result.offer->server.c_str(), result.offer->address.c_str(),
                  result.offer->mask.c_str());
    }
    if (!result.error.empty()) std::printf("error: %s\n", result.error.c_str());
    return result.error.empty() ? 0 : 1;
  }
  if (args.size() == 3 && args[0] == "neighbour") {
    const std::string mac = probe.NeighbourMac(args[1], args[2]);
    std::printf("%s\n", mac.c_str());
    return mac.empty() ? 1 : 0;
  }
  if (args.size() == 1 && args[0] == "watch") {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    // Blocked before the watch's thread starts, so that only sigwait takes them.
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    auto watch = probe.WatchLinks([](const std::string& adapter, bool up) {
      std::printf("%s %s\n", adapter.c_str(), up ? "up" : "down");
      std::fflush(stdout);
    });
    if (!watch) {
      std::printf("error: links cannot be watched\n");
      return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    watch.reset();
    std::printf("stopped\n");
    return 0;
  }
  std::fputs(
      "usage: network_probe_tool probe ADAPTER dhcp|nodhcp GATEWAY... | neighbour ADAPTER "
      "ADDRESS | watch\n",
      stderr);
  return 2;
}
