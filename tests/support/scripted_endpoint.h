// A UDP endpoint without a socket: it delivers the datagrams a test puts in its inbox, records
// what is sent and the settings it was given, and fails to bind on request.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/udp.h"

namespace netvane::testing {

class ScriptedEndpoint : public platform::UdpEndpoint {
 public:
  void SetProtocol(int p) override { protocol = p; }
  void SetRemoteHost(const std::string& h) override { host = h; }
  void SetRemotePort(uint16_t p) override { remote = p; }
  void SetLocalPort(uint16_t p) override { local = p; }
  // Opens, or raises `bind_error` when that is set.
  void Bind() override;
  void Close() override { open = false; }
  int State() const override { return open ? platform::kSocketOpen : platform::kSocketClosed; }
  uint32_t BytesWaiting() override;
  // The inbox's first datagram, taken out; nothing when it is empty.
  std::vector<uint8_t> GetData() override;
  // Recorded while open; raises the socket control's wrong-state error while closed.
  void SendData(const std::vector<uint8_t>& datagram) override;
  // No socket to watch: a window never sets up a notifier for it.
  std::intptr_t NativeHandle() const override { return -1; }
  bool WaitForData(int) override { return !inbox.empty(); }

  std::deque<std::vector<uint8_t>> inbox;
  std::vector<std::vector<uint8_t>> sent;
  bool open = false;
  int32_t bind_error = 0;
  int protocol = 0;
  std::string host;
  uint16_t remote = 0;
  uint16_t local = 0;
};

}  // namespace netvane::testing
