// Where the host's resolver takes DNS servers, and how one interface's servers get there.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace netvane::standins {

// The resolv.conf that applies to this process: $NETVANE_RESOLV_CONF when set; inside a named
// network namespace (one of /run/netns) that namespace's /etc/netns/<name>/resolv.conf, which
// "ip netns exec" shows as /etc/resolv.conf; otherwise /etc/resolv.conf. Empty when
// systemd-resolved should be told instead (it runs, and we are not in a named namespace).
std::string ResolvConfPath();

// Replaces the servers `previous` (what the interface had) with `servers` in resolv.conf text:
// the interface's servers come first, in order; every other line stays. `kept` are servers the
// file listed of its own before the interface took them: their lines stay when the interface
// lets them go.
std::string RewriteResolvConf(const std::string& text, const std::vector<std::string>& previous,
                              const std::vector<std::string>& servers,
                              const std::vector<std::string>& kept = {});

// Gives interface `name` the DNS servers `servers`, in that order. `kept` (when given) is read
// as above and updated to those of `servers` the resolver listed of its own. Every change of
// the file, from any interface and any process, is made under one lock and written whole;
// `before` (when given) runs under that lock once `kept` is known and before the file changes,
// and a false from it leaves the file alone. Empty on success, else what went wrong.
std::string SetDnsServers(const std::string& name, const std::vector<std::string>& previous,
                          const std::vector<std::string>& servers,
                          std::vector<std::string>* kept = nullptr,
                          const std::function<bool()>& before = nullptr);

}  // namespace netvane::standins
