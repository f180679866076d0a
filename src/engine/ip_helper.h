// The interface table as objects: CIpHelper reads the system's table (GetIfTable) into a
// CInterfaces collection of CInterface rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/user_prompt.h"
#include "platform/codepage.h"
#include "platform/iphelper.h"

namespace netvane::engine {

// One row of the interface table.
class CInterface {
 public:
  std::string InterfaceDescription;
  int32_t OutputQueueLength = 0;
  int32_t OutgoingErrors = 0;
  int32_t DiscardedOutgoingPackets = 0;
  int32_t NonunicastPacketsSent = 0;
  int32_t UnicastPacketsSent = 0;
  int32_t OctetsSent = 0;
  int32_t UnknownProtocolPackets = 0;
  int32_t IncomingErrors = 0;
  int32_t DiscardedIncomingPackets = 0;
  int32_t NonunicastPacketsReceived = 0;
  int32_t MaximumTransmissionUnit = 0;
  int32_t UnicastPacketsReceived = 0;
  int32_t OctetsReceived = 0;
  double LastChange = 0;  // a date: the row's counter taken as days
  int32_t OperationalStatus = 0;
  int32_t AdminStatus = 0;
  std::string AdapterAddress;
  int32_t Speed = 0;
  int32_t InterfaceType = 0;
  int32_t InterfaceIndex = 0;
  std::string InterfaceName;
};

// A collection of rows in insertion order, addressed by position (from 1) or key.
class CInterfaces {
 public:
  CInterface& Add(const std::string& key = std::string());
  // Null when there is no such item.
  CInterface* Item(int position);
  CInterface* Item(const std::string& key);
  int Count() const { return static_cast<int>(items_.size()); }
  bool Remove(int position);
  bool Remove(const std::string& key);

  // Enumeration in insertion order.
  std::vector<const CInterface*> NewEnum() const;

 private:
  struct Entry {
    std::string key;
    std::unique_ptr<CInterface> row;
  };
  std::vector<Entry> items_;
};

class CIpHelper {
 public:
  CIpHelper(platform::IpHelper& iphelper, const platform::CodePage& codepage, UserPrompt& prompt)
      : iphelper_(iphelper), codepage_(codepage), prompt_(prompt) {}

  // Loads the table afresh on every read.
  CInterfaces Interfaces();
  void SetInterfaces(CInterfaces interfaces) { held_ = std::move(interfaces); }
  // Octet sums over the rows of the last load (64-bit: the 32-bit counters add up beyond
  // the range of a 32-bit number on a busy machine).
  int64_t BytesReceived() const { return bytes_received_; }
  int64_t BytesSent() const { return bytes_sent_; }

 private:
  platform::IpHelper& iphelper_;
  const platform::CodePage& codepage_;
  UserPrompt& prompt_;
  CInterfaces held_;
  int64_t bytes_received_ = 0;
  int64_t bytes_sent_ = 0;
};

// The text of a hardware address: each byte as two upper-case hexadecimal digits, joined by
// "-"; empty for no bytes.
std::string HardwareAddressText(const uint8_t* bytes, uint32_t length);

}  // namespace netvane::engine
