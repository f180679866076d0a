#include "helper/operations.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>

#include "platform/iphelper.h"
#include "platform/posix/packet_probe.h"
#include "platform/posix/probe_wire.h"
#include "platform/posix/sysfs_iphelper.h"
#include "standins/host_network.h"
#include "standins/loopback_dhcp.h"
#include "standins/privileged.h"
#include "standins/resolver.h"

namespace netvane::helper {
namespace {

using standins::FormatIpv4;

Reply Outcome(const std::string& error, const std::string& done = "Ok.") {
  if (!error.empty()) return {Status::kFailed, error, {}};
  return {Status::kDone, done, {}};
}

bool IsEthernet(const std::string& name) {
  if (!standins::InterfaceExists(name)) return false;
  for (const platform::MibIfRow& row : platform::SysfsIpHelper().ReadRows()) {
    if (std::string(row.name.begin(), row.name.end()) == name)
      return row.type == platform::kIfTypeEthernet;
  }
  return false;
}

// Why members may not change the interface `name` (empty when they may): an Ethernet interface
// backed by a device (a network card), or one the administrator named; not a bridge, a virtual
// machine's tap or a container's veth of their own accord.
std::string NotChangeable(const std::string& name, const Settings& settings) {
  if (!IsEthernet(name)) return "there is no Ethernet interface named \"" + name + "\"";
  struct stat device {};
  if (std::find(settings.interfaces.begin(), settings.interfaces.end(), name) !=
          settings.interfaces.end() ||
      stat(("/sys/class/net/" + name + "/device").c_str(), &device) == 0) {
    return "";
  }
  return "netvane-helper changes only network cards' interfaces, and \"" + name +
         "\" is none (an administrator can name it with --interface)";
}

// At most this many DNS servers for one interface, added or leased: the note of them stays
// small, and a member cannot fill the resolver file.
constexpr size_t kMostDnsServers = 16;
// Of a lease's routers, the gateways it gives the interface.
constexpr size_t kMostRouters = 8;

// The DNS servers the helper keeps in the resolver for one interface of one network namespace:
// those added one by one, those of the lease, and those the resolver listed of its own before
// the interface named them. The added ones are in the file, else the leased ones (as Windows
// prefers an adapter's own servers to its lease's). Locked while the object lives.
class DnsBook {
 public:
  DnsBook(const Settings& settings, const std::string& name) : name_(name) {
    struct stat ns {};
    stat("/proc/self/ns/net", &ns);
    const std::string path = settings.state_dir + "/dns/" + std::to_string(ns.st_ino) + "-" + name;
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0 || flock(fd_, LOCK_EX) != 0) return;
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = read(fd_, chunk, sizeof chunk)) > 0;)
      text.append(chunk, static_cast<size_t>(n));
    std::istringstream in(text);
    for (std::vector<std::string>* list : {&added, &leased, &kept}) {
      std::string line;
      std::getline(in, line);
      std::istringstream words(line);
      for (std::string w; words >> w;) list->push_back(w);
    }
    written_ = Written();
  }
  ~DnsBook() {
    if (fd_ >= 0) close(fd_);
  }
  DnsBook(const DnsBook&) = delete;
  DnsBook& operator=(const DnsBook&) = delete;

  // What the resolver lists for the interface.
  std::vector<std::string> Written() const { return added.empty() ? leased : added; }

  // Puts the lists as they are now into the resolver in place of what it had for the
  // interface; the note is kept first, so it always names every line the helper added.
  std::string Update() {
    if (fd_ < 0) return "cannot keep the DNS servers of " + name_;
    return standins::SetDnsServers(name_, written_, Written(), &kept, [&] { return Keep(); });
  }

  std::vector<std::string> added, leased, kept;

 private:
  bool Keep() {
    std::string text;
    for (const std::vector<std::string>* list : {&added, &leased, &kept}) {
      for (const std::string& s : *list) text += s + " ";
      text += "\n";
    }
    return ftruncate(fd_, 0) == 0 &&
           pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
  }

  std::string name_;
  std::vector<std::string> written_;
  int fd_ = -1;
};

std::vector<std::string> Dotted(const std::vector<uint32_t>& list) {
  std::vector<std::string> out;
  for (const uint32_t a : list) out.push_back(FormatIpv4(a));
  return out;
}

Reply AddDns(const Request& r, const Settings& settings) {
  DnsBook book(settings, r.interface);
  const std::string server = FormatIpv4(r.address);
  if (std::find(book.added.begin(), book.added.end(), server) != book.added.end())
    return Outcome("the DNS server " + server + " is already configured");
  if (book.added.size() >= kMostDnsServers) {
    return Outcome("netvane-helper keeps at most " + std::to_string(kMostDnsServers) +
                   " DNS servers for an interface");
  }
  const long at = std::min<long>(static_cast<long>(book.added.size()), r.number - 1);
  book.added.insert(book.added.begin() + at, server);
  return Outcome(book.Update());
}

Reply DeleteDns(const Request& r, const Settings& settings) {
  DnsBook book(settings, r.interface);
  book.added.clear();
  return Outcome(book.Update());
}

// Drops the addresses and the lease's DNS servers; the interface's own servers stay.
std::string Release(const std::string& name, const Settings& settings) {
  std::string error = standins::FlushAddresses(name);
  if (!error.empty()) return error;
  DnsBook book(settings, name);
  book.leased.clear();
  return book.Update();
}

// Runs the DHCP client with this program as its script, which reports the lease on a pipe; the
// client is ended at the deadline, or when the caller no longer waits.
std::optional<standins::Lease> LeaseFromClient(const std::string& name, const Settings& settings,
                                               const std::function<bool()>& caller_waits,
                                               std::string* error) {
  std::string report;
  *error = standins::RunDhcpClientWithReport(name, settings.self, settings.dhcp_deadline_s,
                                             caller_waits, &report);
  if (!error->empty()) return std::nullopt;
  const std::optional<Frame> frame =
      SplitFrame(reinterpret_cast<const uint8_t*>(report.data()), report.size());
  std::optional<standins::Lease> lease =
      frame ? standins::LeaseOfFields(frame->fields) : std::nullopt;
  if (!lease) *error = "the DHCP client gave no address";
  return lease;
}

Reply Renew(const Request& r, const Settings& settings, const std::function<bool()>& caller_waits) {
  const std::string& name = r.interface;
  std::string error;
  std::optional<standins::Lease> lease;
  if (r.operation == Operation::kRenewLocal) {
    lease = standins::LoopbackExchange(standins::ReadInterface(name).mac, 20, &error);
  } else {
    lease = LeaseFromClient(name, settings, caller_waits, &error);
    // No lease: the old address goes, as when the client starts on an interface it gives up.
    if (!lease) {
      const std::string released = Release(name, settings);
      return Outcome(released.empty() ? error : released);
    }
    // A lease that is refused changes nothing: the interface keeps what it had.
    if (const std::string why = standins::CheckLease(*lease); !why.empty()) return Outcome(why);
    // The first ones serve; all of them might not fit in the reply.
    if (lease->routers.size() > kMostRouters) lease->routers.resize(kMostRouters);
    if (lease->dns.size() > kMostDnsServers) lease->dns.resize(kMostDnsServers);
  }
  if (!lease) return Outcome(error);
  error = standins::BindLease(name, *lease);
  if (error.empty()) {
    DnsBook book(settings, name);
    book.leased = Dotted(lease->dns);
    if (book.leased.size() > kMostDnsServers) book.leased.resize(kMostDnsServers);
    error = book.Update();
  }
  if (!error.empty()) return Outcome(error);
  return {Status::kDone, "", standins::LeaseFields(*lease)};
}

Reply ResponderSocket(int* fd) {
  const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(67);
  if (s < 0 || bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = errno;
    if (s >= 0) close(s);
    return {Status::kFailed,
            std::string("cannot bind 127.0.0.1:67: ") + std::strerror(err),
            {std::to_string(err)}};
  }
  *fd = s;
  return {Status::kDone, "", {}};
}

// Asks the network without changing anything; the caller cannot make the helper wait longer.
Reply Probe(const Request& r) {
  constexpr int kProbeTimeoutMs = 1000;
  const platform::ProbeResult result =
      platform::ProbeOnPacketSocket(r.interface, r.gateways, r.dhcp, kProbeTimeoutMs);
  if (!result.error.empty()) return Outcome(result.error);
  std::string why;
  std::vector<std::string> fields = platform::probe::ResultFields(result, &why);
  if (!why.empty()) return Outcome(why);
  return {Status::kDone, "", std::move(fields)};
}

}  // namespace

Reply Carry(const Request& r, const Settings& settings, const std::function<bool()>& caller_waits,
            int* fd) {
  *fd = -1;
  if (r.operation == Operation::kResponderSocket) return ResponderSocket(fd);
  const std::string& name = r.interface;
  if (const std::string why = NotChangeable(name, settings); !why.empty()) return Outcome(why);
  switch (r.operation) {
    case Operation::kSetStatic:
      return Outcome(standins::SetAddress(name, r.address, r.prefix));
    case Operation::kSetDhcp:
      return Outcome(standins::FlushAddresses(name));
    case Operation::kDeleteGateways:
      return Outcome(standins::DeleteDefaultRoutes(name));
    case Operation::kAddGateway:
      return Outcome(standins::AddDefaultRoute(name, FormatIpv4(r.address), r.number));
    case Operation::kDeleteDns:
      return DeleteDns(r, settings);
    case Operation::kAddDns:
      return AddDns(r, settings);
    case Operation::kRelease:
      return Outcome(Release(name, settings), "");
    case Operation::kRenew:
    case Operation::kRenewLocal:
      return Renew(r, settings, caller_waits);
    case Operation::kProbe:
      return Probe(r);
    case Operation::kResponderSocket:
      break;
  }
  return Outcome("unknown operation");
}

int LeaseHook(const std::string& event) {
  if (event != "bound" && event != "renew") return 0;
  const std::optional<standins::Lease> lease = standins::LeaseFromClientEnvironment();
  if (!lease) return 1;
  const std::vector<uint8_t> bytes = JoinFrame(0, standins::LeaseFields(*lease));
  return standins::ReportToDhcpCaller(std::string(bytes.begin(), bytes.end())) ? 0 : 1;
}

}  // namespace netvane::helper
