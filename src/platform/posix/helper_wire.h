// The privileged helper's messages and the caller's side of its socket. One request, one reply,
// each a single packet on a SOCK_SEQPACKET Unix socket:
//   request: version (1), operation code, then each argument as text closed by a NUL byte;
//   reply:   version (1), status, then the message and any further fields, each closed by NUL;
//            a socket handed to the caller travels beside it (SCM_RIGHTS).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace netvane::helper {

inline constexpr char kDefaultSocket[] = "/run/netvane/helper.sock";
inline constexpr uint8_t kVersion = 1;
inline constexpr size_t kLargestMessage = 1024;

enum class Operation : uint8_t {
  kSetStatic = 1,       // NAME ADDRESS MASK
  kSetDhcp = 2,         // NAME: its addresses go until the lease brings one
  kDeleteGateways = 3,  // NAME
  kAddGateway = 4,      // NAME GATEWAY METRIC
  kDeleteDns = 5,       // NAME: the servers added for it
  kAddDns = 6,          // NAME SERVER INDEX
  kRelease = 7,         // NAME
  kRenew = 8,           // NAME: from the network's DHCP server
  kRenewLocal = 9,      // NAME: from the responder on 127.0.0.1:67
  kResponderSocket = 10,
  kProbe = 11,  // NAME "dhcp"|"nodhcp" GATEWAY...: changes nothing (see packet_probe.h)
};

enum class Status : uint8_t { kDone = 0, kFailed = 1, kRefused = 2 };

struct Reply {
  Status status = Status::kFailed;
  std::string message;
  // A renew's lease (see LeaseFields), or the error number of a socket that could not be bound.
  std::vector<std::string> fields;
};

// A frame's code (operation or status) and its fields; nullopt when the bytes are not one
// (another version, a field without its NUL, too large).
struct Frame {
  uint8_t code = 0;
  std::vector<std::string> fields;
};
std::optional<Frame> SplitFrame(const uint8_t* data, size_t size);
std::vector<uint8_t> JoinFrame(uint8_t code, const std::vector<std::string>& fields);

std::vector<uint8_t> EncodeRequest(Operation operation, const std::vector<std::string>& args);
std::vector<uint8_t> EncodeReply(const Reply& reply);

// $NETVANE_HELPER_SOCKET, else the default.
std::string SocketPath();

// Why no helper could be reached.
enum class Unreachable {
  kNotListening,  // no socket at the path, or nobody listens on it
  kNotAllowed,    // the socket refuses this user (not in the group)
  kOther,
};

// What a user who may not `what` ("change the network" ...) themselves is told when no helper
// could be reached, and what to do: one sentence.
std::string NoHelperMessage(const std::string& what, Unreachable why);

// Sends the request to the helper and waits for its reply; a socket it hands over lands in
// `*fd` (else -1). nullopt when no helper can be reached, and why in `*why` (when given).
std::optional<Reply> CallHelper(const std::vector<uint8_t>& request, int* fd = nullptr,
                                Unreachable* why = nullptr);

}  // namespace netvane::helper
