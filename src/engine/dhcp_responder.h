// The local DHCP responder: on Windows 98, ME and NT 4 a static location reaches the system
// through its own DHCP client, which the program answers on the loopback address. A DISCOVER
// gets an OFFER and a REQUEST or INFORM an ACK, both carrying the location's address, mask,
// up to three gateways and DNS servers, and a lease time marked with the location's stamp.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/app_state.h"
#include "engine/front_end.h"

namespace netvane::engine {

// A DHCP message: the fixed part, then a short option area (cookie and options).
struct DhcpMessage {
  uint8_t op;
  uint8_t htype;
  uint8_t hlen;
  uint8_t hops;
  uint8_t xid[4];
  uint8_t secs[2];
  uint8_t flags[2];
  uint8_t ciaddr[4];
  uint8_t yiaddr[4];
  uint8_t siaddr[4];
  uint8_t giaddr[4];
  uint8_t chaddr[16];
  uint8_t sname[64];
  uint8_t file[128];
  uint8_t options[101];
};
static_assert(sizeof(DhcpMessage) == 337);

inline constexpr size_t kDhcpFixedPart = 236;
inline constexpr size_t kDhcpReplySize = 549;
inline constexpr uint32_t kDhcpLargestDatagram = 400;
// The domain name every reply carries: 13 characters.
inline constexpr char kDhcpDomainName[] = "netvane.local";
static_assert(sizeof(kDhcpDomainName) == 14);

// DhcpExchangeState values.
inline constexpr int16_t kAnswerOffer = 0;
inline constexpr int16_t kAnswerAck = 1;
inline constexpr int16_t kAnswerNothing = 3;

// Opens the endpoint towards `host`:`remote_port` on `local_port`, after letting pending
// events run. Errors end it silently; the endpoint then stays closed.
void OpenUdpEndpoint(FrontEnd& front_end, platform::UdpEndpoint& endpoint, const std::string& host,
                     uint16_t remote_port, uint16_t local_port);

// Closes the endpoint and waits until it reads closed.
void CloseUdpEndpoint(platform::UdpEndpoint& endpoint);

class DhcpResponder {
 public:
  DhcpResponder(AppState& state, FrontEnd& front_end) : state_(state), front_end_(front_end) {}

  // The endpoint's data-arrival event: reads the datagram, closes the endpoint and answers
  // from it. The endpoint is open again afterwards, answered or not.
  void OnDataArrival();

  // Takes a received datagram into the record. True when it is a DHCP message that can be
  // classified: long enough, with a message type option, while the location's mask begins
  // with 255. Sets SavedXid and DhcpExchangeState.
  bool ParseDhcpRequest(const uint8_t* data, size_t size);
  // Turns the record into the reply of its kind; false when the responder's values cannot
  // be put in bytes.
  bool BuildReply(bool ack);
  // BuildReply and SendDhcpReply.
  bool BuildDhcpOffer();
  bool BuildDhcpAck();
  // The 549-byte datagram of the record as it stands.
  std::vector<uint8_t> ReplyDatagram() const;
  // Reopens the endpoint towards the client and sends the reply.
  void SendDhcpReply();

  const DhcpMessage& record() const { return record_; }
  uint16_t options_length() const { return options_length_; }

  int16_t DhcpExchangeState = kAnswerOffer;
  std::array<uint8_t, 4> SavedXid{};

  // Where the exchange takes place: the client on 127.0.0.1 port 68, this side on port 67.
  std::string client_host = "127.0.0.1";
  uint16_t client_port = 68;
  uint16_t server_port = 67;

 private:
  bool XidMatches() const;
  void Reopen();

  AppState& state_;
  FrontEnd& front_end_;
  DhcpMessage record_{};
  std::array<uint8_t, 4> cookie_{};
  uint16_t options_length_ = 0;
};

}  // namespace netvane::engine
