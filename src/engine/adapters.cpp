#include "engine/adapters.h"

#include "engine/windows_family.h"
#include "platform/text.h"
#include "platform/win_codes.h"

namespace netvane::engine {

store::AdapterTable LoadAdapters(int32_t os_kind, store::RegistryAccess& registry,
                                 CIpHelper& iphelper) {
  store::AdapterTable table;
  if (!IsWin9xFamily(os_kind)) {
    platform::RegistryGroup group(registry.registry(), false);
    const store::KeyList cards = registry.EnumKeys(platform::kHkeyLocalMachine, kNetworkCardsPath);
    if (cards.code != platform::kErrorSuccess) return table;
    for (const std::string& name : cards.names) {
      const std::string key = store::JoinKeyPath(kNetworkCardsPath, name);
      const store::ReadResult description =
          registry.ReadValue(platform::kHkeyLocalMachine, key, "Description");
      const store::ReadResult service =
          registry.ReadValue(platform::kHkeyLocalMachine, key, "ServiceName");
      // Incomplete cards are left out, so that the table has no empty entries.
      if (description.code == platform::kErrorSuccess && service.code == platform::kErrorSuccess) {
        table.push_back({description.text, service.text});
      }
    }
    return table;
  }

  // One read of the interface table serves both the count and the rows.
  const CInterfaces rows = iphelper.Interfaces();
  store::AdapterTable ethernet;
  for (const CInterface* row : rows.NewEnum()) {
    if (row->InterfaceType == static_cast<int32_t>(platform::kIfTypeEthernet)) {
      ethernet.push_back({std::string(platform::TrimSpaces(row->InterfaceDescription)),
                          std::string(platform::TrimSpaces(row->AdapterAddress))});
    }
  }
  switch (os_kind) {
    case kOsWin98:
      return ethernet;
    case kOsWinMe:
      return store::AdapterTable(ethernet.rbegin(), ethernet.rend());
    default:
      return store::AdapterTable(ethernet.size());
  }
}

int FindAdapterIndex(const store::AdapterTable& adapters, std::string_view id) {
  const std::string wanted = store::AsciiUpper(id);
  for (size_t i = 0; i < adapters.size(); ++i) {
    if (store::AsciiUpper(adapters[i].AdapterId) == wanted) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace netvane::engine
