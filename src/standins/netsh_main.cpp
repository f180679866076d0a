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
#include "standins/system_record.h"

namespace netvane::standins {
namespace {

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
      return Done(name, DeleteDefaultRoutes(name), std::nullopt);
    }
    if (Is(verb, "add") && Is(object, "address")) return AddGateway(name, rest);
    if (Is(verb, "delete") && Is(object, "dns")) {
      if (rest.size() != 1 || !Is(rest[0], "all")) return Usage();
      return SetDns(name, {});
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
      return Done(name, FlushAddresses(name), true);
    }
    if (rest.size() != 3 || !Is(rest[0], "static")) return Usage();
    const std::optional<uint32_t> address = ParseIpv4(rest[1]);
    const std::optional<uint32_t> mask = ParseIpv4(rest[2]);
    if (!address || *address == 0) return Fail("\"" + rest[1] + "\" is not a valid address");
    const std::optional<int> prefix = mask ? MaskPrefix(*mask) : std::nullopt;
    if (!prefix || *prefix == 0) return Fail("\"" + rest[2] + "\" is not a valid subnet mask");
    if (const std::string why = NotAHostAddress(*address, *prefix); !why.empty())
      return Fail("\"" + rest[1] + "\" is not a valid address: " + why);
    return Done(name, standins::SetAddress(name, *address, *prefix), false);
  }

  int AddGateway(const std::string& name, const std::vector<std::string>& rest) {
    std::optional<uint32_t> gateway;
    std::optional<long> metric = 0;
    for (const std::string& word : rest) {
      if (auto g = Option(word, "gateway")) {
        gateway = ParseIpv4(*g);
        if (!gateway) return Fail("\"" + *g + "\" is not a valid gateway");
        if (const std::string why = NotAHostAddress(*gateway); !why.empty())
          return Fail("\"" + *g + "\" is not a valid gateway: " + why);
      } else if (auto m = Option(word, "gwmetric")) {
        metric = ParseNumber(*m, 0, 9999);
        if (!metric) return Fail("\"" + *m + "\" is not a valid gateway metric");
      } else {
        return Usage();
      }
    }
    if (!gateway) return Usage();
    return Done(name, AddDefaultRoute(name, FormatIpv4(*gateway), static_cast<uint32_t>(*metric)),
                std::nullopt);
  }

  int AddDns(const std::string& name, const std::vector<std::string>& rest) {
    if (rest.empty() || rest.size() > 2) return Usage();
    const std::optional<uint32_t> server = ParseIpv4(rest[0]);
    if (!server) return Fail("\"" + rest[0] + "\" is not a valid DNS server address");
    if (const std::string why = NotADnsServer(*server); !why.empty())
      return Fail("\"" + rest[0] + "\" is not a valid DNS server address: " + why);
    std::optional<long> index = 1 << 20;
    if (rest.size() == 2) {
      const std::optional<std::string> text = Option(rest[1], "index");
      if (!text) return Usage();
      index = ParseNumber(*text, 1, 9999);
      if (!index) return Fail("\"" + *text + "\" is not a valid index");
    }
    std::vector<std::string> servers = RecordedNameServers(registry_, name);
    const std::string dotted = FormatIpv4(*server);
    for (const std::string& s : servers) {
      if (s == dotted) return Fail("the DNS server " + dotted + " is already configured");
    }
    const size_t at = std::min<size_t>(servers.size(), static_cast<size_t>(*index - 1));
    servers.insert(servers.begin() + static_cast<long>(at), dotted);
    return SetDns(name, servers);
  }

  int SetDns(const std::string& name, const std::vector<std::string>& servers) {
    const std::string error =
        SetInterfaceDns(registry_, name, RecordedNameServers(registry_, name), servers);
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
