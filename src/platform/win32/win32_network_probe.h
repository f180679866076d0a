// The network probes over the IP Helper API: SendARP for each gateway, the adapter's own DHCP
// lease as the DHCP server's word, the neighbour table, and NotifyIpInterfaceChange for links.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/network_probe.h"

namespace netvane::platform {

class Win32NetworkProbe final : public NetworkProbe {
 public:
  ProbeResult Probe(const ProbeRequest& request) override;
  MacText NeighbourMac(const std::string& adapter, const std::string& address) override;
  std::unique_ptr<LinkWatch> WatchLinks(LinkChanged changed) override;
};

// The adapters' links as the system's interface notifications report them. `changed` runs on
// the system's notification threads, one call at a time; it must not destroy the watcher (the
// system waits for the running notification before it lets the watcher go).
class Win32LinkWatch final : public LinkWatch {
 public:
  explicit Win32LinkWatch(LinkChanged changed) : changed_(std::move(changed)) {}
  ~Win32LinkWatch() override;
  Win32LinkWatch(const Win32LinkWatch&) = delete;
  Win32LinkWatch& operator=(const Win32LinkWatch&) = delete;

  // Takes the adapters' links as they are now and asks for the notifications; false where the
  // system has none to give.
  bool Start();
  // What a notification for the interface does: reports its adapter when the link went up or
  // down since last seen (an adapter never seen counts as down, one that is gone as down).
  void Seen(uint32_t interface_index);

 private:
  void Record(uint32_t interface_index, bool report);

  std::mutex mutex_;
  LinkChanged changed_;
  std::map<uint32_t, std::string> adapters_;  // interface index -> adapter
  std::map<std::string, bool> up_;
  void* handle_ = nullptr;
};

}  // namespace netvane::platform
