// Adapter discovery: the installed adapters as (description, identifier) pairs.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/ip_helper.h"
#include "store/location.h"
#include "store/registry_access.h"

namespace netvane::engine {

inline constexpr std::string_view kNetworkCardsPath =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";

// Windows NT 4 and 2000: the NetworkCards subkeys that have both a "Description" and a
// "ServiceName", in listing order. Windows 98 and ME: the Ethernet rows of the interface table,
// in table order on 98 and reversed on ME; Windows 95 gets one empty entry per Ethernet row.
store::AdapterTable LoadAdapters(int32_t os_kind, store::RegistryAccess& registry,
                                 CIpHelper& iphelper);

// Index of the first adapter whose identifier equals `id` ignoring case, or -1.
int FindAdapterIndex(const store::AdapterTable& adapters, std::string_view id);

}  // namespace netvane::engine
