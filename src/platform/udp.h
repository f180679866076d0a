// A UDP endpoint with the behaviour of the main window's socket control: set the protocol,
// remote host and port and the local port, bind, read and send datagrams, close. Data
// arrival is announced through a native handle that the front end watches in its own event
// loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace netvane::platform {

inline constexpr int kProtocolUdp = 1;
// The control's State values the engine looks at.
inline constexpr int kSocketClosed = 0;
inline constexpr int kSocketOpen = 1;

class UdpEndpoint {
 public:
  virtual ~UdpEndpoint() = default;
  virtual void SetProtocol(int protocol) = 0;
  virtual void SetRemoteHost(const std::string& host) = 0;
  virtual void SetRemotePort(uint16_t port) = 0;
  virtual void SetLocalPort(uint16_t port) = 0;
  // Binds the local port; raises PlatformError (kWsaAddressInUse when the address is in use).
  virtual void Bind() = 0;
  virtual void Close() = 0;
  virtual int State() const = 0;
  // Bytes of the datagram waiting to be read, 0 when none.
  virtual uint32_t BytesWaiting() = 0;
  // Reads the waiting datagram.
  virtual std::vector<uint8_t> GetData() = 0;
  // Sends one datagram to the remote host and port; raises PlatformError on failure.
  virtual void SendData(const std::vector<uint8_t>& datagram) = 0;
  // Readable while a datagram waits; -1 while closed.
  virtual std::intptr_t NativeHandle() const = 0;
  // Waits up to `timeout_ms` for a datagram; true when one waits. While closed it just waits.
  virtual bool WaitForData(int timeout_ms) = 0;
};

}  // namespace netvane::platform
