// netsh on the host: the "interface ip" commands Netvane sends, carried out on the Linux
// interface of that name, after which the registry holds what the interface really carries.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"
#include "standins/host_network.h"
#include "standins/privileged.h"
#include "standins/system_record.h"

namespace netvane::standins {
namespace {

using helper::Operation;

constexpr char kUsage[] =
    "usage: netsh interface ip set address NAME static ADDRESS MASK\n"
    "       netsh interface ip set address NAME source=dhcp | dynamic\n"
    "       netsh interface ip delete address NAME gateway=all\n"
    "       netsh interface ip add address NAME gateway=ADDRESS gwmetric=METRIC\n"
    "       netsh interface ip delete dns NAME all\n"
    "       netsh interface ip add dns NAME ADDRESS [index=INDEX]\n";

bool Is(const std::string& word, const char* keyword) {
  return strcasecmp(word.c_str(), keyword) == 0;
}

// "key=value" with the key ignoring case; nullopt when `word` is not of that key.
std::optional<std::string> Option(const std::string& word, const char* key) {
  const size_t eq = word.find('=');
  if (eq == std::string::npos || !Is(word.substr(0, eq), key)) return std::nullopt;
  return word.substr(eq + 1);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "netsh: %s\n", message.c_str());
  return 1;
}

class Netsh {
 public:
  Netsh()
      : codepage_(Env("NETVANE_ANSI_CODEPAGE")),
        registry_(platform::DefaultRegistryPath(), codepage_) {}

  int Run(const std::vector<std::string>& a) {
    if (a.size() < 5 || !Is(a[0], "interface") || !Is(a[1], "ip")) return Usage();
    const std::string& verb = a[2];
    const std::string& object = a[3];
    const std::string& name = a[4];
    const std::vector<std::string> rest(a.begin() + 5, a.end());
    if (!registry_.ok()) return Fail(registry_.error());
    // Every argument is checked before anything changes.
    if (!InterfaceExists(name)) return Fail("there is no interface named \"" + name + "\"");

    if (Is(verb, "set") && Is(object, "address")) return SetAddress(name, rest);
    if (Is(verb, "delete") && Is(object, "address")) {
      if (rest.size() != 1 || !Is(Option(rest[0], "gateway").value_or(""), "all")) return Usage();
      return Done(
          name,
          Change(Operation::kDeleteGateways, {name}, [&] { return DeleteDefaultRoutes(name); }),
          std::nullopt);
    }
    if (Is(verb, "add") && Is(object, "address")) return AddGateway(name, rest);
    if (Is(verb, "delete") && Is(object, "dns")) {
      if (rest.size() != 1 || !Is(rest[0], "all")) return Usage();
      return SetDns(name, {}, Operation::kDeleteDns, {name});
    }
    if (Is(verb, "add") && Is(object, "dns")) return AddDns(name, rest);
    return Usage();
  }

 private:
  static std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
  }

  int Usage() {
    std::fputs("netsh: unknown command or bad arguments\n", stderr);
    std::fputs(kUsage, stderr);
    return 1;
  }

  // Records what the interface now carries; `error` is what the change reported.
  int Done(const std::string& name, const std::string& error, std::optional<bool> dhcp) {
    const int32_t code = RecordInterface(registry_, name, ReadInterface(name), dhcp);
    if (!error.empty()) return Fail(error);
    if (code != 0)
      return Fail("cannot record the interface in the registry (error " + std::to_string(code) +
                  ")");
    std::puts("Ok.");
    return 0;
  }

  int SetAddress(const std::string& name, const std::vector<std::string>& rest) {
    if (rest.size() == 1 &&
        (Is(rest[0], "dynamic") || Is(Option(rest[0], "source").value_or(""), "dhcp"))) {
      // The DHCP client's renew brings the address; until then the interface has none.
      return Done(name, Change(Operation::kSetDhcp, {name}, [&] { return FlushAddresses(name); }),
                  true);
    }
    if (rest.size() != 3 || !Is(rest[0], "static")) return Usage();
    uint32_t address = 0;
    int prefix = 0;
    if (const std::string why = CheckStaticAddress(rest[1], rest[2], &address, &prefix);
        !why.empty())
      return Fail(why);
    const std::string error = Change(Operation::kSetStatic, {name, rest[1], rest[2]},
                                     [&] { return standins::SetAddress(name, address, prefix); });
    return Done(name, error, false);
  }

  int AddGateway(const std::string& name, const std::vector<std::string>& rest) {
    std::optional<uint32_t> gateway;
    uint32_t metric = 0;
    for (const std::string& word : rest) {
      if (auto g = Option(word, "gateway")) {
        gateway = 0;
        if (const std::string why = CheckGateway(*g, &*gateway); !why.empty()) return Fail(why);
      } else if (auto m = Option(word, "gwmetric")) {
        if (const std::string why = CheckMetric(*m, &metric); !why.empty()) return Fail(why);
      } else {
        return Usage();
      }
    }
    if (!gateway) return Usage();
    const std::string dotted = FormatIpv4(*gateway);
    const std::string error = Change(Operation::kAddGateway, {name, dotted, std::to_string(metric)},
                                     [&] { return AddDefaultRoute(name, dotted, metric); });
    return Done(name, error, std::nullopt);
  }

  int AddDns(const std::string& name, const std::vector<std::string>& rest) {
    if (rest.empty() || rest.size() > 2) return Usage();
    uint32_t server = 0;
    if (const std::string why = CheckDnsServer(rest[0], &server); !why.empty()) return Fail(why);
    uint32_t index = 1 << 20;
    if (rest.size() == 2) {
      const std::optional<std::string> text = Option(rest[1], "index");
      if (!text) return Usage();
      if (const std::string why = CheckDnsIndex(*text, &index); !why.empty()) return Fail(why);
    }
    std::vector<std::string> servers = RecordedNameServers(registry_, name);
    const std::string dotted = FormatIpv4(server);
    for (const std::string& s : servers) {
      if (s == dotted) return Fail("the DNS server " + dotted + " is already configured");
    }
    const size_t at = std::min<size_t>(servers.size(), index - 1);
    servers.insert(servers.begin() + static_cast<long>(at), dotted);
    return SetDns(name, servers, Operation::kAddDns,
                  {name, dotted, std::to_string(std::min<uint32_t>(index, 9999))});
  }

  // The helper keeps its own account of the servers it added; the registry gets `servers`.
  int SetDns(const std::string& name, const std::vector<std::string>& servers, Operation operation,
             const std::vector<std::string>& args) {
    const std::string error = Change(operation, args, [&] {
      return SetInterfaceDns(registry_, name, RecordedNameServers(registry_, name), servers);
    });
    if (!error.empty()) return Fail(error);
    const int32_t code = RecordNameServers(registry_, name, servers);
    if (code != 0)
      return Fail("cannot record the DNS servers in the registry (error " + std::to_string(code) +
                  ")");
    std::puts("Ok.");
    return 0;
  }

  platform::IconvCodePage codepage_;
  platform::SqliteRegistry registry_;
};

}  // namespace
}  // namespace netvane::standins

int main(int argc, char** argv) {
  return netvane::standins::Netsh().Run(std::vector<std::string>(argv + 1, argv + argc));
}
