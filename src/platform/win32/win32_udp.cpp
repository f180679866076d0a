#include "platform/win32/win32_udp.h"

// Winsock 2 before windows.h, so the old winsock.h never comes in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/windows_api.h"

#include "platform/platform_error.h"
#include "platform/win32/win32_error.h"
#include "platform/win_codes.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace netvane::platform {
namespace {

static_assert(sizeof(SOCKET) == sizeof(std::uintptr_t));

constexpr char kSource[] = "Winsock";
constexpr size_t kBufferSize = 65536;

// The socket control's numbers and texts for what can go wrong.
[[noreturn]] void Raise(int err) {
  switch (err) {
    case WSAEADDRINUSE:
      throw PlatformError(kWsaAddressInUse, "Address in use", kSource);
    case WSAEACCES:
      throw PlatformError(kWsaAccessDenied, "Permission denied", kSource);
    case WSAEADDRNOTAVAIL:
      throw PlatformError(kWsaAddressNotAvailable, "Address not available from the local machine",
                          kSource);
    case WSAENETUNREACH:
      throw PlatformError(kWsaNetworkUnreachable, "Network is unreachable", kSource);
    case WSAEMSGSIZE:
      throw PlatformError(kWsaMessageTooLong,
                          "Datagram too large to fit into buffer and is truncated", kSource);
    default: {
      std::string text = SystemMessage(static_cast<uint32_t>(err));
      if (text.empty()) text = "Winsock error " + std::to_string(err);
      throw PlatformError(err, text, kSource);
    }
  }
}

[[noreturn]] void RaiseState() {
  throw PlatformError(kSocketWrongState,
                      "Wrong protocol or connection state for the requested transaction or "
                      "request",
                      kSource);
}

// Once per process; never cleaned up, as endpoints may live until exit.
void StartWinsock() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (result != 0) Raise(result);
}

SOCKET ToSocket(std::uintptr_t s) { return static_cast<SOCKET>(s); }

}  // namespace

Win32UdpEndpoint::~Win32UdpEndpoint() { Close(); }

std::intptr_t Win32UdpEndpoint::NativeHandle() const {
  return socket_ == kNoSocket ? -1 : static_cast<std::intptr_t>(socket_);
}

void Win32UdpEndpoint::Bind() {
  if (socket_ != kNoSocket || protocol_ != kProtocolUdp) {
    throw PlatformError(kSocketInvalidOperation, "Invalid operation at current state", kSource);
  }
  StartWinsock();
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) Raise(WSAGetLastError());
  const auto fail = [s](int err) {
    ::closesocket(s);
    Raise(err);
  };
  // A child process that inherited the socket would keep port 67 bound after we close it,
  // and the responder rebinds it after every datagram.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  u_long non_blocking = 1;
  if (::ioctlsocket(s, FIONBIO, &non_blocking) != 0) fail(WSAGetLastError());
  // Otherwise an ICMP "port unreachable" for a reply sent to 127.0.0.1:68 turns the next
  // receive into WSAECONNRESET; BSD sockets never report it on an unconnected socket.
  // Not every system has this control; without it the reset is skipped in GetData.
  BOOL report_reset = FALSE;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_UDP_CONNRESET, &report_reset, sizeof report_reset, nullptr, 0, &returned,
             nullptr, nullptr);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(local_port_);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    fail(WSAGetLastError());
  }
  socket_ = static_cast<std::uintptr_t>(s);
}

void Win32UdpEndpoint::Close() {
  if (socket_ != kNoSocket) ::closesocket(ToSocket(socket_));
  socket_ = kNoSocket;
}

uint32_t Win32UdpEndpoint::BytesWaiting() {
  if (socket_ == kNoSocket) return 0;
  u_long queued = 0;
  if (::ioctlsocket(ToSocket(socket_), FIONREAD, &queued) != 0 || queued == 0) return 0;
  // FIONREAD may count every queued datagram; a peek gives the size of the next one alone.
  buffer_.resize(kBufferSize);
  const int n = ::recvfrom(ToSocket(socket_), buffer_.data(), static_cast<int>(buffer_.size()),
                           MSG_PEEK, nullptr, nullptr);
  if (n >= 0) return static_cast<uint32_t>(n);
  // WSAEMSGSIZE cannot happen with this buffer; a reset report ahead of the data leaves the
  // queued count as the best answer.
  return static_cast<uint32_t>(queued);
}

std::vector<uint8_t> Win32UdpEndpoint::GetData() {
  if (socket_ == kNoSocket) RaiseState();
  buffer_.resize(kBufferSize);
  for (;;) {
    const int n = ::recvfrom(ToSocket(socket_), buffer_.data(), static_cast<int>(buffer_.size()), 0,
                             nullptr, nullptr);
    if (n >= 0) return std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + n);
    const int err = WSAGetLastError();
    if (err == WSAEWOULDBLOCK) return {};
    // A leftover report about an earlier reply, not a datagram: look at what follows it.
    if (err == WSAECONNRESET) continue;
    // Cannot happen with a 64 KB buffer; the datagram is gone either way, keep its head.
    if (err == WSAEMSGSIZE) return std::vector<uint8_t>(buffer_.begin(), buffer_.end());
    Raise(err);
  }
}

void Win32UdpEndpoint::SendData(const std::vector<uint8_t>& datagram) {
  if (socket_ == kNoSocket) RaiseState();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(remote_port_);
  if (::inet_pton(AF_INET, remote_host_.c_str(), &to.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(remote_host_.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
      throw PlatformError(kWsaHostNotFound, "Host not found", kSource);
    }
    to.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
  }
  const int n = ::sendto(ToSocket(socket_), reinterpret_cast<const char*>(datagram.data()),
                         static_cast<int>(datagram.size()), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (n == SOCKET_ERROR) Raise(WSAGetLastError());
}

bool Win32UdpEndpoint::WaitForData(int timeout_ms) {
  if (socket_ == kNoSocket) {
    Sleep(timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
    return false;
  }
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(ToSocket(socket_), &readable);
  timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  // The first argument is ignored by Winsock.
  const int n = ::select(0, &readable, nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit);
  return n > 0 && FD_ISSET(ToSocket(socket_), &readable);
}

}  // namespace netvane::platform
