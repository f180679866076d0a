// The proxy servers by protocol, top to bottom as the proxy dialog and the property editor's
// proxy tab list them: each row's caption and its address and port fields.
#pragma once

#include <array>
#include <string>

#include "store/location.h"

namespace netvane::editors {

struct ProxyRow {
  const char* label;
  std::string store::ProxySettings::*address;
  std::string store::ProxySettings::*port;
};

inline constexpr std::array<ProxyRow, 5> kProxyRows{{
    {"HTTP", &store::ProxySettings::HTTPAddress, &store::ProxySettings::HTTPPort},
    {"Secure", &store::ProxySettings::SecureAddress, &store::ProxySettings::SecurePort},
    {"FTP", &store::ProxySettings::FTPAddress, &store::ProxySettings::FTPPort},
    {"Gopher", &store::ProxySettings::GopherAddress, &store::ProxySettings::GopherPort},
    {"Socks", &store::ProxySettings::SocksAddress, &store::ProxySettings::SocksPort},
}};

}  // namespace netvane::editors
