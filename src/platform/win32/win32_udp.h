// The main window's socket control on Windows: a Winsock 2 datagram socket.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/udp.h"

namespace netvane::platform {

class Win32UdpEndpoint final : public UdpEndpoint {
 public:
  Win32UdpEndpoint() = default;
  ~Win32UdpEndpoint() override;
  Win32UdpEndpoint(const Win32UdpEndpoint&) = delete;
  Win32UdpEndpoint& operator=(const Win32UdpEndpoint&) = delete;

  void SetProtocol(int protocol) override { protocol_ = protocol; }
  void SetRemoteHost(const std::string& host) override { remote_host_ = host; }
  void SetRemotePort(uint16_t port) override { remote_port_ = port; }
  void SetLocalPort(uint16_t port) override { local_port_ = port; }
  // Errors carry the WSA error number and the source "Winsock".
  void Bind() override;
  void Close() override;
  int State() const override { return socket_ != kNoSocket ? kSocketOpen : kSocketClosed; }
  uint32_t BytesWaiting() override;
  std::vector<uint8_t> GetData() override;
  void SendData(const std::vector<uint8_t>& datagram) override;
  // The SOCKET value.
  std::intptr_t NativeHandle() const override;
  bool WaitForData(int timeout_ms) override;

 private:
  // SOCKET is a UINT_PTR; this is INVALID_SOCKET, kept here so the header needs no Winsock.
  static constexpr std::uintptr_t kNoSocket = ~std::uintptr_t{0};

  std::uintptr_t socket_ = kNoSocket;
  int protocol_ = 0;
  std::string remote_host_;
  uint16_t remote_port_ = 0;
  uint16_t local_port_ = 0;
  // Large enough for any datagram, so nothing is ever truncated.
  std::vector<char> buffer_;
};

}  // namespace netvane::platform
