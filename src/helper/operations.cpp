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
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/iphelper.h"
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

// The DNS servers the helper put into the resolver for one interface of one network
// namespace: those added one by one, those of the lease, and those the resolver listed of its
// own before. Locked while the object lives.
class DnsBook {
 public:
  DnsBook(const Settings& settings, const std::string& name) {
    struct stat ns {};
    stat("/proc/self/ns/net", &ns);
    const std::string dir = settings.state_dir + "/dns";
    mkdir(settings.state_dir.c_str(), 0755);
    mkdir(dir.c_str(), 0700);
    const std::string path = dir + "/" + std::to_string(ns.st_ino) + "-" + name;
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0 || flock(fd_, LOCK_EX) != 0) return;
    std::string text(4096, '\0');
    const ssize_t n = read(fd_, text.data(), text.size());
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    std::istringstream in(text);
    for (std::vector<std::string>* list : {&added, &leased, &kept}) {
      std::string line;
      std::getline(in, line);
      std::istringstream words(line);
      for (std::string w; words >> w;) list->push_back(w);
    }
  }
  ~DnsBook() {
    if (fd_ >= 0) close(fd_);
  }
  DnsBook(const DnsBook&) = delete;
  DnsBook& operator=(const DnsBook&) = delete;

  // Gives the interface `servers` in place of `previous` (the stand-ins' rule), then keeps the
  // lists.
  std::string SetServers(const std::string& name, const std::vector<std::string>& previous,
                         const std::vector<std::string>& servers) {
    if (fd_ < 0) return "cannot keep the DNS servers of " + name;
    const std::string error = standins::SetDnsServers(name, previous, servers, &kept);
    std::string text;
    for (const std::vector<std::string>* list : {&added, &leased, &kept}) {
      for (const std::string& s : *list) text += s + " ";
      text += "\n";
    }
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, text.data(), text.size(), 0) < 0)
      return error.empty() ? "cannot keep the DNS servers of " + name : error;
    return error;
  }

  std::vector<std::string> Own() const {
    std::vector<std::string> own = added;
    own.insert(own.end(), leased.begin(), leased.end());
    return own;
  }

  std::vector<std::string> added, leased, kept;

 private:
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
  const std::vector<std::string> previous = book.added;
  const long at = std::min<long>(static_cast<long>(previous.size()), r.number - 1);
  book.added.insert(book.added.begin() + at, server);
  return Outcome(book.SetServers(r.interface, previous, book.added));
}

Reply DeleteDns(const Request& r, const Settings& settings) {
  DnsBook book(settings, r.interface);
  const std::vector<std::string> previous = book.added;
  book.added.clear();
  return Outcome(book.SetServers(r.interface, previous, {}));
}

// Drops the addresses and the lease's DNS servers; the interface's own servers stay.
std::string Release(const std::string& name, const Settings& settings) {
  std::string error = standins::FlushAddresses(name);
  if (!error.empty()) return error;
  DnsBook book(settings, name);
  const std::vector<std::string> previous = book.Own();
  book.leased.clear();
  return book.SetServers(name, previous, book.added);
}

// Runs the DHCP client with this program as its script, which reports the lease on a pipe.
std::optional<standins::Lease> LeaseFromClient(const std::string& name, const Settings& settings,
                                               std::string* error) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    *error = "cannot make a pipe for the DHCP client";
    return std::nullopt;
  }
  fcntl(pipe_fds[1], F_SETFD, 0);
  setenv(kLeaseHookVariable, std::to_string(pipe_fds[1]).c_str(), 1);
  *error = standins::RunDhcpClient(name, settings.self);
  close(pipe_fds[1]);
  std::vector<uint8_t> bytes(kLargestMessage);
  const ssize_t n = error->empty() ? read(pipe_fds[0], bytes.data(), bytes.size()) : -1;
  close(pipe_fds[0]);
  if (n < 0) return std::nullopt;
  const std::optional<Frame> frame = SplitFrame(bytes.data(), static_cast<size_t>(n));
  std::optional<standins::Lease> lease = frame ? standins::LeaseOfFields(frame->fields) : std::nullopt;
  if (!lease) *error = "the DHCP client gave no address";
  return lease;
}

Reply Renew(const Request& r, const Settings& settings) {
  const std::string& name = r.interface;
  std::string error;
  std::optional<standins::Lease> lease;
  if (r.operation == Operation::kRenewLocal) {
    lease = standins::LoopbackExchange(standins::ReadInterface(name).mac, 20, &error);
  } else {
    // As the DHCP client's start does: the old address goes first.
    error = Release(name, settings);
    if (error.empty()) lease = LeaseFromClient(name, settings, &error);
  }
  if (!lease) return Outcome(error);
  error = standins::BindLease(name, *lease);
  if (error.empty()) {
    DnsBook book(settings, name);
    const std::vector<std::string> previous = book.Own();
    book.leased = Dotted(lease->dns);
    error = book.SetServers(name, previous, book.added.empty() ? book.leased : book.added);
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

}  // namespace

Reply Carry(const Request& r, const Settings& settings, int* fd) {
  *fd = -1;
  if (r.operation == Operation::kResponderSocket) return ResponderSocket(fd);
  const std::string& name = r.interface;
  if (!IsEthernet(name)) return Outcome("there is no Ethernet interface named \"" + name + "\"");
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
      return Renew(r, settings);
    case Operation::kResponderSocket:
      break;
  }
  return Outcome("unknown operation");
}

int LeaseHook(const std::string& event) {
  if (event != "bound" && event != "renew") return 0;
  const std::optional<standins::Lease> lease = standins::LeaseFromClientEnvironment();
  const char* fd_text = std::getenv(kLeaseHookVariable);
  const std::optional<long> fd = standins::ParseNumber(fd_text != nullptr ? fd_text : "", 3, 65535);
  if (!lease || !fd) return 1;
  const std::vector<uint8_t> bytes = JoinFrame(0, standins::LeaseFields(*lease));
  return write(static_cast<int>(*fd), bytes.data(), bytes.size()) ==
                 static_cast<ssize_t>(bytes.size())
             ? 0
             : 1;
}

}  // namespace netvane::helper
