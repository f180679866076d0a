// Address and route changes through rtnetlink, without starting a program for each.
#pragma once

#include <cstdint>
#include <string>

namespace netvane::standins::netlink {

// Each returns an empty string on success, else the kernel's reason.
std::string FlushAddresses(int ifindex);
std::string AddAddress(int ifindex, uint32_t address, int prefix);
std::string SetLinkUp(int ifindex);
std::string DeleteDefaultRoutes(int ifindex);
std::string AddDefaultRoute(int ifindex, uint32_t gateway, uint32_t metric);

}  // namespace netvane::standins::netlink
