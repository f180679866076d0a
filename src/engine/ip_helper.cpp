#include "engine/ip_helper.h"

#include <algorithm>
#include <vector>

#include "platform/bytes.h"
#include "platform/win_codes.h"

namespace netvane::engine {
namespace {

using platform::GetLe32;

int32_t I32(const uint8_t* p) { return static_cast<int32_t>(GetLe32(p)); }

}  // namespace

std::string HardwareAddressText(const uint8_t* bytes, uint32_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint32_t i = 0; i < length; ++i) {
    if (i > 0) text += '-';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

CInterface& CInterfaces::Add(const std::string& key) {
  items_.push_back(Entry{key, std::make_unique<CInterface>()});
  return *items_.back().row;
}

CInterface* CInterfaces::Item(int position) {
  if (position < 1 || position > Count()) return nullptr;
  return items_[static_cast<size_t>(position - 1)].row.get();
}

CInterface* CInterfaces::Item(const std::string& key) {
  for (Entry& e : items_) {
    if (!key.empty() && e.key == key) return e.row.get();
  }
  return nullptr;
}

bool CInterfaces::Remove(int position) {
  if (position < 1 || position > Count()) return false;
  items_.erase(items_.begin() + (position - 1));
  return true;
}

bool CInterfaces::Remove(const std::string& key) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [&](const Entry& e) { return !key.empty() && e.key == key; });
  if (it == items_.end()) return false;
  items_.erase(it);
  return true;
}

std::vector<const CInterface*> CInterfaces::NewEnum() const {
  std::vector<const CInterface*> out;
  out.reserve(items_.size());
  for (const Entry& e : items_) out.push_back(e.row.get());
  return out;
}

CInterfaces CIpHelper::Interfaces() {
  CInterfaces rows;
  bytes_received_ = 0;
  bytes_sent_ = 0;
  uint32_t size = 0;
  const uint32_t probe = iphelper_.GetIfTable(nullptr, &size, false);
  if (probe == static_cast<uint32_t>(platform::kErrorNotSupported)) {
    prompt_.Show("IP Helper is not supported by this system.", PromptIcon::kNone,
                 PromptButtons::kOk);
    return rows;
  }
  std::vector<uint8_t> buffer(size);
  if (size < 4 || iphelper_.GetIfTable(buffer.data(), &size, false) != platform::kErrorSuccess)
    return rows;
  // Never read past what the system filled in, whatever count it claims.
  const uint32_t claimed = GetLe32(buffer.data());
  const uint32_t fits =
      static_cast<uint32_t>((std::min<size_t>(size, buffer.size()) - 4) / platform::kMibIfRowSize);
  const uint32_t n = std::min(claimed, fits);
  namespace o = platform::mib_ifrow;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* row = buffer.data() + 4 + static_cast<size_t>(i) * platform::kMibIfRowSize;
    CInterface& it = rows.Add();
    const uint32_t descr_len = std::min<uint32_t>(GetLe32(row + o::kDescrLen), 256);
    const size_t descr_bytes = descr_len > 0 ? descr_len - 1 : 0;
    std::string descr(reinterpret_cast<const char*>(row + o::kDescr), descr_bytes);
    it.InterfaceDescription = codepage_.FromAnsi(descr);
    it.OutputQueueLength = I32(row + o::kOutQLen);
    it.OutgoingErrors = I32(row + o::kOutErrors);
    it.DiscardedOutgoingPackets = I32(row + o::kOutDiscards);
    it.NonunicastPacketsSent = I32(row + o::kOutNUcastPkts);
    it.UnicastPacketsSent = I32(row + o::kOutUcastPkts);
    it.OctetsSent = I32(row + o::kOutOctets);
    it.UnknownProtocolPackets = I32(row + o::kInUnknownProtos);
    it.IncomingErrors = I32(row + o::kInErrors);
    it.DiscardedIncomingPackets = I32(row + o::kInDiscards);
    it.NonunicastPacketsReceived = I32(row + o::kInNUcastPkts);
    it.MaximumTransmissionUnit = I32(row + o::kMtu);
    it.UnicastPacketsReceived = I32(row + o::kInUcastPkts);
    it.OctetsReceived = I32(row + o::kInOctets);
    it.LastChange = static_cast<double>(GetLe32(row + o::kLastChange));
    it.OperationalStatus = I32(row + o::kOperStatus);
    it.AdminStatus = I32(row + o::kAdminStatus);
    const uint32_t phys_len = std::min<uint32_t>(GetLe32(row + o::kPhysAddrLen), 8);
    it.AdapterAddress = HardwareAddressText(row + o::kPhysAddr, phys_len);
    it.Speed = I32(row + o::kSpeed);
    it.InterfaceType = I32(row + o::kType);
    it.InterfaceIndex = I32(row + o::kIndex);
    // The name is UTF-16 up to its terminator; interface names are ASCII in practice and
    // anything else shows as '?'.
    for (size_t u = 0; u < 256; ++u) {
      const unsigned c = platform::GetLe16(row + o::kName + 2 * u);
      if (c == 0) break;
      it.InterfaceName += c < 0x80 ? static_cast<char>(c) : '?';
    }
    bytes_received_ += GetLe32(row + o::kInOctets);
    bytes_sent_ += GetLe32(row + o::kOutOctets);
  }
  return rows;
}

}  // namespace netvane::engine
