#include "engine/dhcp_responder.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/dhcp_codes.h"
#include "platform/platform_error.h"

namespace netvane::engine {
namespace {

namespace dhcp = platform::dhcp;
using platform::ByteWriter;

constexpr size_t kCookieEnd = kDhcpFixedPart + 4;
// The server an OFFER comes from, and the identifier every reply has always named.
constexpr uint8_t kLoopback[4] = {127, 0, 0, 1};
constexpr uint8_t kServerId[4] = {2, 2, 2, 2};
// Routers and name servers a reply lists at the most.
constexpr int kMostListed = 3;
// A state that never settles is not waited for forever.
constexpr int kStateSpins = 1000;

bool OctetFromText(const std::string& text, uint8_t* byte) {
  if (text.empty() || text.size() > 3) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > 255) return false;
  *byte = static_cast<uint8_t>(v);
  return true;
}

bool OctetsFromTexts(const std::array<std::string, 4>& texts, uint8_t* out) {
  for (size_t i = 0; i < 4; ++i) {
    if (!OctetFromText(texts[i], &out[i])) return false;
  }
  return true;
}

void PutOption(ByteWriter& w, uint8_t code, const uint8_t* data, size_t length) {
  w.Put({code, static_cast<uint8_t>(length)});
  w.Put(data, length);
}

// Clamps `count` (and keeps it so) to the rows there are and to kMostListed.
void PutAddressList(ByteWriter& w, uint8_t code, int& count, const std::vector<Octets>& rows) {
  if (count <= 0) return;
  count = std::min({count, kMostListed, static_cast<int>(rows.size())});
  w.Put({code, static_cast<uint8_t>(4 * count)});
  for (int i = 0; i < count; ++i) {
    for (int16_t octet : rows[static_cast<size_t>(i)]) w.PutByte(static_cast<uint8_t>(octet));
  }
}

}  // namespace

void CloseUdpEndpoint(platform::UdpEndpoint& endpoint) {
  endpoint.Close();
  for (int i = 0; i < kStateSpins && endpoint.State() != platform::kSocketClosed; ++i) {
  }
}

void OpenUdpEndpoint(FrontEnd& front_end, platform::UdpEndpoint& endpoint, const std::string& host,
                     uint16_t remote_port, uint16_t local_port) {
  try {
    front_end.LetPendingEventsRun();
    if (endpoint.State() != platform::kSocketClosed) CloseUdpEndpoint(endpoint);
    endpoint.SetProtocol(platform::kProtocolUdp);
    endpoint.SetRemoteHost(host);
    endpoint.SetRemotePort(remote_port);
    endpoint.SetLocalPort(local_port);
    endpoint.Bind();
    for (int i = 0; i < kStateSpins && endpoint.State() != platform::kSocketOpen; ++i) {
    }
  } catch (const platform::PlatformError&) {
    // The caller is not told; a responder that cannot listen simply gets no messages.
  }
}

void DhcpResponder::Reopen() {
  OpenUdpEndpoint(front_end_, front_end_.MyWinsock(), client_host, client_port, server_port);
}

void DhcpResponder::OnDataArrival() {
  platform::UdpEndpoint& endpoint = front_end_.MyWinsock();
  try {
    const uint32_t waiting = endpoint.BytesWaiting();
    if (waiting > kDhcpLargestDatagram) {
      // Read and dropped, so that it neither blocks the endpoint nor comes back.
      endpoint.GetData();
      return;
    }
    const std::vector<uint8_t> datagram = endpoint.GetData();
    CloseUdpEndpoint(endpoint);
    bool answered = false;
    if (ParseDhcpRequest(datagram.data(), datagram.size())) {
      if (DhcpExchangeState == kAnswerOffer) {
        answered = BuildDhcpOffer();
      } else if (DhcpExchangeState == kAnswerAck && XidMatches()) {
        answered = BuildDhcpAck();
      }
    }
    // A message without an answer must not leave the responder deaf to the next one.
    if (!answered) Reopen();
  } catch (const platform::PlatformError&) {
    if (endpoint.State() == platform::kSocketClosed) Reopen();
  }
}

bool DhcpResponder::ParseDhcpRequest(const uint8_t* data, size_t size) {
  if (size < kCookieEnd) return false;
  std::memcpy(&record_, data, kDhcpFixedPart);
  std::memcpy(cookie_.data(), data + kDhcpFixedPart, 4);

  // The option walk stays inside the datagram: an option running past its end ends it.
  int type = -1;
  for (size_t p = kCookieEnd; p < size;) {
    const uint8_t code = data[p];
    // Pad is one byte with no length after it.
    if (code == dhcp::kOptionPad) {
      ++p;
      continue;
    }
    if (p + 1 >= size) break;
    const size_t length = data[p + 1];
    if (p + 2 + length > size) break;
    if (code == dhcp::kOptionMessageType) {
      if (length >= 1) type = data[p + 2];
      break;
    }
    p += 2 + length;
  }
  if (type < 0) return false;
  if (state_.Responder.mask[0] != "255") return false;

  std::memcpy(SavedXid.data(), record_.xid, 4);
  if (type == dhcp::kDiscover) {
    DhcpExchangeState = kAnswerOffer;
  } else if (type == dhcp::kRequest || type == dhcp::kInform) {
    DhcpExchangeState = kAnswerAck;
  } else {
    DhcpExchangeState = kAnswerNothing;
  }
  return true;
}

bool DhcpResponder::XidMatches() const { return std::memcmp(record_.xid, SavedXid.data(), 4) == 0; }

bool DhcpResponder::BuildReply(bool ack) {
  ResponderConfig& config = state_.Responder;
  uint8_t address[4];
  uint8_t mask[4];
  if (!OctetsFromTexts(config.address, address) || !OctetsFromTexts(config.mask, mask)) {
    return false;
  }
  record_.op = dhcp::kBootReply;
  std::memcpy(record_.yiaddr, address, 4);
  const uint8_t none[4] = {0, 0, 0, 0};
  std::memcpy(record_.siaddr, ack ? none : kLoopback, 4);

  ByteWriter w(record_.options);
  w.Put(cookie_.data(), cookie_.size());
  const uint8_t type = ack ? dhcp::kAck : dhcp::kOffer;
  PutOption(w, dhcp::kOptionMessageType, &type, 1);
  PutOption(w, dhcp::kOptionSubnetMask, mask, 4);
  PutOption(w, dhcp::kOptionLeaseTime, config.lease.data(), config.lease.size());
  PutOption(w, dhcp::kOptionServerId, kServerId, sizeof kServerId);
  PutAddressList(w, dhcp::kOptionRouter, config.gateway_count, config.gateways);
  PutAddressList(w, dhcp::kOptionDomainNameServer, config.dns_count, config.dns);
  // The name goes with its terminating NUL.
  PutOption(w, dhcp::kOptionDomainName, reinterpret_cast<const uint8_t*>(kDhcpDomainName),
            sizeof kDhcpDomainName);
  w.PutByte(dhcp::kOptionEnd);
  const size_t length = w.size();
  // One more zero byte, not counted.
  if (!w.PutByte(0)) return false;
  options_length_ = static_cast<uint16_t>(length);
  return true;
}

bool DhcpResponder::BuildDhcpOffer() {
  if (!BuildReply(false)) return false;
  SendDhcpReply();
  return true;
}

bool DhcpResponder::BuildDhcpAck() {
  if (!BuildReply(true)) return false;
  SendDhcpReply();
  return true;
}

std::vector<uint8_t> DhcpResponder::ReplyDatagram() const {
  std::vector<uint8_t> datagram(kDhcpReplySize, 0);
  std::memcpy(datagram.data(), &record_, kDhcpFixedPart);
  std::memcpy(datagram.data() + kDhcpFixedPart, record_.options, options_length_);
  return datagram;
}

void DhcpResponder::SendDhcpReply() {
  const std::vector<uint8_t> datagram = ReplyDatagram();
  Reopen();
  front_end_.MyWinsock().SendData(datagram);
}

}  // namespace netvane::engine
