// ipconfig on the host: /release and /renew of an adapter's DHCP lease, recorded where Windows
// keeps it. The NT family names the adapter; Windows 98 and ME give its number in the adapter
// list. While the filter driver is on for a 98/ME adapter, its DHCP goes to the local
// responder on 127.0.0.1 instead of the network.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/host_system.h"
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/registry_values.h"
#include "platform/posix/sqlite_registry.h"
#include "platform/posix/sysfs_iphelper.h"
#include "platform/win_codes.h"
#include "standins/host_network.h"
#include "standins/loopback_dhcp.h"
#include "standins/privileged.h"
#include "standins/system_record.h"

namespace netvane::standins {
namespace {

// Set for the DHCP client's script, which is this program again: "<family> <record>".
constexpr char kHookVariable[] = "NETVANE_IPCONFIG_HOOK";
constexpr char kNotDhcp[] =
    "The operation failed as no adapter is in the state permissible for this operation.";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// What the DHCP client's script reports when it has bound a lease; else it reports why not.
constexpr char kBound[] = "bound";

// The last message Fail printed, which the DHCP client's script passes on.
std::string last_failure;

int Fail(const std::string& message) {
  last_failure = message;
  std::fprintf(stderr, "ipconfig: %s\n", message.c_str());
  return 1;
}

enum class Family { kNt4, kNt, kVxd, kNone };

Family CurrentFamily() {
  const std::string v = Env("NETVANE_WINDOWS_VERSION");
  if (v == "98" || strcasecmp(v.c_str(), "ME") == 0) return Family::kVxd;
  if (strcasecmp(v.c_str(), "NT4") == 0) return Family::kNt4;
  if (v.empty() || v == "2000") return Family::kNt;
  return Family::kNone;
}

class Ipconfig {
 public:
  Ipconfig()
      : codepage_(Env("NETVANE_ANSI_CODEPAGE")),
        registry_(platform::DefaultRegistryPath(), codepage_) {}

  int Run(const std::vector<std::string>& a) {
    if (!registry_.ok()) return Fail(registry_.error());
    const std::string hook = Env(kHookVariable);
    if (!hook.empty()) return Hook(hook, a.empty() ? "" : a[0]);
    if (a.size() < 2 || (!Is(a[0], "/release") && !Is(a[0], "/renew"))) {
      std::fputs("usage: ipconfig /release ADAPTER | /renew ADAPTER\n", stderr);
      return 1;
    }
    const bool renew = Is(a[0], "/renew");
    // The command line is not quoted, so a name with blanks arrives in pieces.
    std::string adapter;
    for (size_t i = 1; i < a.size(); ++i) adapter += (i > 1 ? " " : "") + a[i];
    switch (CurrentFamily()) {
      case Family::kVxd:
        return Numbered(adapter, renew);
      case Family::kNt:
      case Family::kNt4:
        return Named(adapter, renew);
      case Family::kNone:
        break;
    }
    return Fail("this Windows version has no ipconfig");
  }

 private:
  static bool Is(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

  // Windows NT 4 and 2000: the adapter by name, and only while it takes DHCP.
  int Named(const std::string& name, bool renew) {
    if (!InterfaceExists(name)) return Fail("there is no adapter named \"" + name + "\"");
    // NT 4 keeps the adapter's DHCP switch under its own service key.
    const std::string key = CurrentFamily() == Family::kNt4 ? Nt4Key(name) : InterfaceKey(name);
    if (RecordedEnableDhcp(registry_, key).value_or(0) != 1) return Fail(kNotDhcp);
    if (!renew) return Release(name, "nt " + key);
    return Renew(name, "nt " + key, helper::Operation::kRenew);
  }

  // Windows 98 and ME: the adapter by its number among the Ethernet adapters.
  int Numbered(const std::string& number, bool renew) {
    const std::optional<long> n = ParseNumber(number, 0, 999);
    std::vector<std::string> ethernet;
    for (const platform::MibIfRow& row : platform::SysfsIpHelper().ReadRows()) {
      if (row.type == platform::kIfTypeEthernet)
        ethernet.emplace_back(row.name.begin(), row.name.end());
    }
    if (CurrentFamily() == Family::kVxd &&
        strcasecmp(Env("NETVANE_WINDOWS_VERSION").c_str(), "ME") == 0) {
      std::reverse(ethernet.begin(), ethernet.end());
    }
    if (!n || static_cast<size_t>(*n) >= ethernet.size()) {
      return Fail("there is no adapter number " + number);
    }
    const std::string name = ethernet[static_cast<size_t>(*n)];
    std::string entry = platform::NetClassInstanceOf(registry_, name);
    if (entry.empty()) {
      char text[8];
      std::snprintf(text, sizeof text, "%04ld", *n);
      entry = text;
    }
    if (!renew) return Release(name, "vxd " + entry);
    if (FilterOn(entry)) return Renew(name, "vxd " + entry, helper::Operation::kRenewLocal);
    return Renew(name, "vxd " + entry, helper::Operation::kRenew);
  }

  // NVEFilter is started beside the renew, so its switch may arrive a moment later.
  bool FilterOn(const std::string& instance) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (true) {
      if (platform::FilterState(registry_, instance) == 1) return true;
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  int Release(const std::string& name, const std::string& record) {
    const std::string error = Change(helper::Operation::kRelease, {name}, [&] {
      std::string e = FlushAddresses(name);
      if (e.empty()) e = SetInterfaceDns(registry_, name, OwnDns(name), StaticDns(name));
      return e;
    });
    Lease none;
    int32_t code = RecordLease(record, none);
    if (code == 0) code = RecordInterface(registry_, name, ReadInterface(name), std::nullopt);
    if (!error.empty()) return Fail(error);
    if (code != 0) return Fail("cannot record the release (error " + std::to_string(code) + ")");
    return 0;
  }

  // Without root the helper takes the lease and configures the interface; its lease is
  // recorded here.
  int Renew(const std::string& name, const std::string& record, helper::Operation operation) {
    const std::optional<helper::Reply> reply = ViaHelper(operation, {name});
    if (reply) {
      if (reply->status != helper::Status::kDone) {
        // No lease now: the address the helper kept (a lease it refused) or gave up (none
        // came) is recorded as it is.
        if (operation == helper::Operation::kRenew) {
          RecordLease(record, Lease{});
          RecordInterface(registry_, name, ReadInterface(name), std::nullopt);
        }
        return Fail(reply->message);
      }
      const std::optional<Lease> lease = LeaseOfFields(reply->fields);
      if (!lease) return Fail("the privileged helper's lease is malformed");
      return Record(name, record, *lease, "");
    }
    if (const std::string why = WithoutPrivileges(); !why.empty()) return Fail(why);
    if (operation == helper::Operation::kRenew) return RunDhcpClient(name, record);
    std::string error;
    const std::optional<Lease> lease = LoopbackExchange(ReadInterface(name).mac, 20, &error);
    if (!lease) return Fail(error);
    return Bind(name, record, *lease);
  }

  int RunDhcpClient(const std::string& name, const std::string& record) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return Fail("cannot find this program for the DHCP client's script");
    self[n] = '\0';
    setenv(kHookVariable, record.c_str(), 1);
    std::string report;
    const std::string error =
        standins::RunDhcpClientWithReport(name, self, kDhcpDeadlineSeconds, nullptr, &report);
    if (!error.empty()) {
      // No lease: the old address goes, as when the client starts on an interface it gives up.
      Release(name, record);
      return Fail(error);
    }
    // The script bound the lease, or says why not (the client itself ends well either way).
    if (report != kBound) return Fail(report.empty() ? "the DHCP client gave no address" : report);
    return 0;
  }

  // The DHCP client's script: called with the event, the lease in the environment. What became
  // of a lease is reported to the ipconfig that ran the client. The old address stays until a
  // lease is bound: one that is refused must not have cost it.
  int Hook(const std::string& record, const std::string& event) {
    const std::string name = Env("interface");
    if (!InterfaceExists(name)) return Fail("the DHCP client names no interface");
    if (event != "bound" && event != "renew") return 0;
    const std::optional<Lease> lease = LeaseFromClientEnvironment();
    const int status = lease ? Bind(name, record, *lease) : Fail("the DHCP client gave no address");
    ReportToDhcpCaller(status == 0 ? kBound : last_failure);
    return status;
  }

  // Configures the interface with the lease and records it. A lease the interface does not take
  // (refused, or taken back whole) leaves no lease recorded and the interface as it was.
  int Bind(const std::string& name, const std::string& record, const Lease& lease) {
    if (!LeasePrefix(lease)) return Fail("the lease has no usable address");
    std::string error = BindLease(name, lease);
    if (!error.empty()) {
      RecordLease(record, Lease{});
      RecordInterface(registry_, name, ReadInterface(name), std::nullopt);
      return Fail(error);
    }
    std::vector<std::string> dns;
    for (uint32_t d : lease.dns) dns.push_back(FormatIpv4(d));
    const std::vector<std::string> wanted = StaticDns(name).empty() ? dns : StaticDns(name);
    error = SetInterfaceDns(registry_, name, OwnDns(name), wanted);
    return Record(name, record, lease, error);
  }

  // Records what the interface carries after a lease; `error` is what configuring it reported.
  int Record(const std::string& name, const std::string& record, const Lease& lease,
             const std::string& error) {
    std::vector<std::string> dns;
    for (uint32_t d : lease.dns) dns.push_back(FormatIpv4(d));
    int32_t code = platform::SetText(registry_, platform::kHkeyLocalMachine, InterfaceKey(name),
                                     "DhcpNameServer", Joined(dns));
    if (code == 0) code = RecordInterface(registry_, name, ReadInterface(name), std::nullopt);
    // The lease is recorded last: the program's bind poll takes it as the sign of success.
    if (code == 0 && error.empty()) code = RecordLease(record, lease);
    if (!error.empty()) return Fail(error);
    if (code != 0) return Fail("cannot record the lease (error " + std::to_string(code) + ")");
    return 0;
  }

  int32_t RecordLease(const std::string& record, const Lease& lease) {
    const size_t blank = record.find(' ');
    const std::string family = record.substr(0, blank);
    const std::string where = blank == std::string::npos ? "" : record.substr(blank + 1);
    if (family == "vxd") return RecordVxdLease(registry_, where, lease);
    return RecordNtLease(registry_, where, lease);
  }

  std::vector<std::string> StaticDns(const std::string& name) {
    return RecordedNameServers(registry_, name);
  }

  // Every server this interface put into the resolver, static or from DHCP.
  std::vector<std::string> OwnDns(const std::string& name) {
    std::vector<std::string> own = StaticDns(name);
    const std::optional<std::string> dhcp = platform::GetText(
        registry_, platform::kHkeyLocalMachine, InterfaceKey(name), "DhcpNameServer");
    if (dhcp) {
      for (uint32_t a : ParseIpv4List(*dhcp)) own.push_back(FormatIpv4(a));
    }
    return own;
  }

  static std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& i : items) text += (text.empty() ? "" : " ") + i;
    return text;
  }

  platform::IconvCodePage codepage_;
  platform::SqliteRegistry registry_;
};

}  // namespace
}  // namespace netvane::standins

int main(int argc, char** argv) {
  return netvane::standins::Ipconfig().Run(std::vector<std::string>(argv + 1, argv + argc));
}
