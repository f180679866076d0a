#include "platform/probe_facts.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/win_codes.h"

namespace netvane::platform {

MacText MacFromBytes(const uint8_t* bytes, size_t length) {
  constexpr size_t kStationAddressLength = 6;
  if (bytes == nullptr || length != kStationAddressLength) return MacText();
  bool zero = true;
  for (size_t i = 0; i < length; ++i) zero = zero && bytes[i] == 0;
  if (zero || (bytes[0] & 0x01) != 0) return MacText();
  static constexpr char kDigits[] = "0123456789abcdef";
  MacText text;
  for (size_t i = 0; i < length; ++i) {
    if (i > 0) text += ':';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

MacText NormalisedMac(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.size() != 17) return {};
  MacText mac;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i % 3 == 2) {
      if (c != ':' && c != '-') return {};
      mac += ':';
    } else if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) {
      mac += c;
    } else if (c >= 'A' && c <= 'F') {
      mac += static_cast<char>(c - 'A' + 'a');
    } else {
      return {};
    }
  }
  return mac;
}

std::optional<DhcpOffer> LeaseOffer(bool dhcp_enabled, const std::string& server,
                                    const std::string& address, const std::string& mask) {
  // The system fills the fields of an adapter without a lease with empty text, 0.0.0.0, or
  // 255.255.255.255 for the server of a lease still being sought.
  if (!dhcp_enabled) return std::nullopt;
  if (server.empty() || server == "0.0.0.0" || server == "255.255.255.255") return std::nullopt;
  if (address.empty() || address == "0.0.0.0") return std::nullopt;
  return DhcpOffer{server, address, mask};
}

namespace {

// Shared by the caller and every question's thread, so that a thread ending after the caller
// has returned still writes into memory that exists.
struct Asking {
  std::mutex mutex;
  std::condition_variable done;
  std::vector<std::optional<Reply>> replies;
  size_t waiting = 0;
};

}  // namespace

std::vector<std::optional<Reply>> AskAtOnce(std::vector<std::function<Reply()>> questions,
                                            int timeout_ms) {
  auto asking = std::make_shared<Asking>();
  asking->replies.resize(questions.size());
  asking->waiting = questions.size();
  for (size_t i = 0; i < questions.size(); ++i) {
    try {
      std::thread([asking, i, question = std::move(questions[i])] {
        Reply reply = question();
        const std::lock_guard lock(asking->mutex);
        asking->replies[i] = std::move(reply);
        --asking->waiting;
        asking->done.notify_all();
      }).detach();
    } catch (const std::system_error& e) {
      const std::lock_guard lock(asking->mutex);
      asking->replies[i] = Reply{static_cast<uint32_t>(kErrorNotEnoughMemory), e.what()};
      --asking->waiting;
    }
  }
  std::unique_lock lock(asking->mutex);
  asking->done.wait_for(lock, std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0),
                        [&] { return asking->waiting == 0; });
  return asking->replies;
}

}  // namespace netvane::platform
