// The main window's socket control on the host: a BSD datagram socket.
#pragma once

#include "platform/udp.h"

namespace netvane::platform {

class PosixUdpEndpoint final : public UdpEndpoint {
 public:
  PosixUdpEndpoint() = default;
  ~PosixUdpEndpoint() override;
  PosixUdpEndpoint(const PosixUdpEndpoint&) = delete;
  PosixUdpEndpoint& operator=(const PosixUdpEndpoint&) = delete;

  void SetProtocol(int protocol) override { protocol_ = protocol; }
  void SetRemoteHost(const std::string& host) override { remote_host_ = host; }
  void SetRemotePort(uint16_t port) override { remote_port_ = port; }
  void SetLocalPort(uint16_t port) override { local_port_ = port; }
  void Bind() override;
  void Close() override;
  int State() const override { return fd_ >= 0 ? kSocketOpen : kSocketClosed; }
  uint32_t BytesWaiting() override;
  std::vector<uint8_t> GetData() override;
  void SendData(const std::vector<uint8_t>& datagram) override;
  std::intptr_t NativeHandle() const override { return fd_; }
  bool WaitForData(int timeout_ms) override;

 private:
  int fd_ = -1;
  int protocol_ = 0;
  std::string remote_host_;
  uint16_t remote_port_ = 0;
  uint16_t local_port_ = 0;
};

}  // namespace netvane::platform
