// The DHCP client side of a renew while the filter driver redirects an adapter's DHCP to the
// local responder: DISCOVER, OFFER, REQUEST, ACK between 127.0.0.1 port 68 and port 67.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "standins/system_record.h"

namespace netvane::standins {

// Runs the exchange, retrying each step, for at most `seconds`. nullopt when no ACK came.
std::optional<Lease> LoopbackExchange(const std::array<uint8_t, 6>& mac, int seconds,
                                      std::string* error);

// How long a DHCP client may run before it is ended (a server that only answers NAK keeps it
// going for ever).
inline constexpr int kDhcpDeadlineSeconds = 30;

// Runs the DHCP client (udhcpc, by its full path) for interface `name` until it has a lease,
// gives up, or has run `deadline_s` seconds, with `script` as its script (ours, never the
// system's, which would rewrite the machine's resolv.conf); it is ended too once `keep_waiting`
// (when given) says no. Empty on success, else the message for the user.
std::string RunDhcpClient(const std::string& name, const std::string& script, int deadline_s,
                          const std::function<bool()>& keep_waiting = nullptr);

// Set in the DHCP client's environment by RunDhcpClientWithReport: the descriptor on which its
// script reports to the program that ran the client.
inline constexpr char kDhcpReportFdVariable[] = "NETVANE_DHCP_REPORT_FD";

// RunDhcpClient with a pipe for the script's report: `*report` is what the script wrote there
// (empty when it wrote nothing). The client keeps descriptors 3 and 4 for itself, so the pipe is
// handed over above them.
std::string RunDhcpClientWithReport(const std::string& name, const std::string& script,
                                    int deadline_s, const std::function<bool()>& keep_waiting,
                                    std::string* report);

// The script's side: writes `bytes` whole where kDhcpReportFdVariable says; false when there is
// no such descriptor or the write fails.
bool ReportToDhcpCaller(const std::string& bytes);

// The lease the DHCP client hands its script in the environment; nullopt without an address.
std::optional<Lease> LeaseFromClientEnvironment();

// The prefix of the lease's mask when the lease carries a usable address.
std::optional<int> LeasePrefix(const Lease& lease);

// Why the lease may not be bound (empty when it may): its address and mask, routers and DNS
// servers are checked as netsh's static values are. A DHCP server is not trusted.
std::string CheckLease(const Lease& lease);

// Gives interface `name` the lease's address and its routers as gateways (metrics 1, 2 ...),
// once CheckLease passes; a lease the kernel refuses in part is taken back whole. Empty on
// success, else what went wrong.
std::string BindLease(const std::string& name, const Lease& lease);

}  // namespace netvane::standins
