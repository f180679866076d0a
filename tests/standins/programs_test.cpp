// The netsh and ipconfig stand-ins refuse what they cannot carry out, with a message and a
// failing status, before they change anything: registry, resolver file, interfaces.
// Every run gets a scratch registry and resolv.conf, and when possible a network namespace of
// its own, so that nothing reaches the machine's interfaces; the cases that need an interface
// that exists use that namespace's loopback and are skipped without one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/engine.h"
#include "platform/posix/host_system.h"
#include "platform/posix/registry_values.h"
#include "standins/host_network.h"
#include "standins/system_record.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorSuccess;
using Strings = std::vector<std::string>;
constexpr int kNoNamespace = 99;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs `program` in `dir` with exactly `env`; with `isolate`, in a network namespace of its
// own (status kNoNamespace when the system does not allow one).
Outcome RunIn(const std::string& dir, const std::string& program, const Strings& args,
              const Strings& env, bool isolate) {
  const std::string out = dir + "/stdout.txt";
  const std::string err = dir + "/stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(dir.c_str()) != 0) _exit(98);
    if (isolate && unshare(CLONE_NEWNET) != 0) _exit(kNoNamespace);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& v : env) envp.push_back(const_cast<char*>(v.c_str()));
    envp.push_back(nullptr);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(97);
  }
  Outcome result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  result.out = ReadAll(out);
  result.err = ReadAll(err);
  return result;
}

bool PrivateNetworkAvailable() {
  static const bool available = [] {
    ScratchDir dir;
    return RunIn(dir.path().string(), "/bin/true", {}, {}, true).status == 0;
  }();
  return available;
}

// Every key and value below both roots, as text, to compare before and after.
void DumpKey(platform::Registry& reg, platform::RegHandle root, const std::string& path,
             std::string* out) {
  *out += "[" + path + "]\n";
  for (const std::string& name : ValueNames(reg, root, path)) {
    const StoredValue v = QueryRaw(reg, root, path, name);
    *out += name + "=" + std::to_string(v.type) + ":" + v.data + "\n";
  }
  for (const std::string& sub : SubkeyNames(reg, root, path)) {
    DumpKey(reg, root, path.empty() ? sub : path + "\\" + sub, out);
  }
}

class ProgramsTest : public ::testing::Test {
 protected:
  ProgramsTest() {
    std::ofstream(resolv_) << kResolv;
    // Something to lose: the system view with its filter driver, and another machine's card.
    EXPECT_EQ(platform::SyncSystemView(reg_.registry(), {}), 0);
    EXPECT_EQ(platform::SetText(reg_.registry(), platform::kHkeyLocalMachine,
                                std::string(platform::kHostNetworkCardsPath) + "\\1", "ServiceName",
                                "El90x1"),
              kErrorSuccess);
  }

  std::string Dump() {
    std::string out;
    DumpKey(reg_.registry(), platform::kHkeyLocalMachine, "", &out);
    DumpKey(reg_.registry(), platform::kHkeyCurrentUser, "", &out);
    return out;
  }

  Outcome Run(const std::string& program, const Strings& args, const Strings& extra_env = {}) {
    Strings env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "HOME=" + dir_.path().string(),
                   "NETVANE_REGISTRY=" + reg_.file(), "NETVANE_RESOLV_CONF=" + resolv_,
                   "NETVANE_DEVICE_DIR=" + dir_.path().string()};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    return RunIn(dir_.path().string(), program, args, env, PrivateNetworkAvailable());
  }

  // The program fails with `message` on standard error and leaves everything as it was.
  void ExpectRefused(const std::string& program, const Strings& args, const std::string& message,
                     const Strings& extra_env = {}) {
    std::string line;
    for (const std::string& a : args) line += " [" + a + "]";
    SCOPED_TRACE(program + line);
    const std::string before = Dump();
    ASSERT_NE(before.find("El90x1"), std::string::npos) << before;  // the dump sees the tree
    const Outcome o = Run(program, args, extra_env);
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.status, kNoNamespace);
    EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(Dump(), before);
    EXPECT_FALSE(
        testing::KeyExists(reg_.registry(), platform::kHkeyLocalMachine,
                           "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces"));
    EXPECT_EQ(ReadAll(resolv_), kResolv);
  }

  static constexpr char kResolv[] = "search corp.example\nnameserver 10.9.9.9\n";
  ScratchDir dir_;
  TestRegistry reg_;
  const std::string resolv_ = dir_.File("resolv.conf");
};

constexpr char kUsage[] = "netsh: unknown command or bad arguments";
constexpr char kNotDhcp[] =
    "ipconfig: The operation failed as no adapter is in the state permissible for this "
    "operation.\n";

TEST_F(ProgramsTest, NetshRefusesUnknownCommandsAndNamesThatAreNoInterface) {
  const std::string touched = dir_.File("X");
  ExpectRefused(NETSH_BIN, {}, kUsage);
  ExpectRefused(NETSH_BIN, {"interface", "ip", "set", "address"}, kUsage);
  ExpectRefused(NETSH_BIN, {"interface", "ipv6", "set", "address", "nvx-none0", "dynamic"}, kUsage);
  ExpectRefused(NETSH_BIN, {"routing", "ip", "add", "dns", "nvx-none0", "10.0.0.1"}, kUsage);
  for (const std::string& name :
       Strings{"nvx-none0", "Local Area Connection", "say \"hi\" 'there'",
               "$(touch " + touched + ")", "`touch X`;touch X", "nvx-far-too-long-a-name0", ""}) {
    ExpectRefused(NETSH_BIN,
                  {"interface", "ip", "set", "address", name, "static", "10.0.0.5", "255.0.0.0"},
                  "netsh: there is no interface named \"" + name + "\"");
    ExpectRefused(NETSH_BIN, {"interface", "ip", "add", "dns", name, "10.0.0.1"},
                  "there is no interface named");
  }
  EXPECT_FALSE(std::filesystem::exists(touched));
}

TEST_F(ProgramsTest, NetshChecksEveryArgumentBeforeChangingAnything) {
  if (!PrivateNetworkAvailable()) GTEST_SKIP() << "needs a network namespace of its own";
  // "lo" is the private namespace's loopback, never the machine's.
  const Strings set = {"interface", "ip", "set", "address", "lo"};
  const Strings gateway = {"interface", "ip", "add", "address", "lo"};
  const Strings dns = {"interface", "ip", "add", "dns", "lo"};
  auto with = [](Strings a, const Strings& more) {
    a.insert(a.end(), more.begin(), more.end());
    return a;
  };
  for (const char* address :
       {"10.0.0.256", "0.0.0.0", "10.0.0", "10.0.0.1.2", "10.0.0.-1", " 10.0.0.1", "1000.0.0.1"}) {
    ExpectRefused(NETSH_BIN, with(set, {"static", address, "255.0.0.0"}),
                  std::string("\"") + address + "\" is not a valid address");
  }
  for (const char* mask : {"255.0.255.0", "0.0.0.0", "255.255.255.256", "0.255.255.255"}) {
    ExpectRefused(NETSH_BIN, with(set, {"static", "10.0.0.5", mask}),
                  std::string("\"") + mask + "\" is not a valid subnet mask");
  }
  // Addresses no host can have.
  for (const auto& [address, mask, why] : std::vector<std::array<const char*, 3>>{
           {"224.0.0.1", "255.0.0.0", "a multicast address"},
           {"255.255.255.255", "255.0.0.0", "the broadcast address"},
           {"127.0.0.5", "255.0.0.0", "a loopback address"},
           {"240.0.0.1", "255.0.0.0", "a reserved address"},
           {"0.1.2.3", "255.0.0.0", "an address of this network only"},
           {"10.9.0.0", "255.255.255.0", "the network's own address"},
           {"10.9.0.255", "255.255.255.0", "the network's broadcast address"}}) {
    ExpectRefused(NETSH_BIN, with(set, {"static", address, mask}),
                  std::string("\"") + address + "\" is not a valid address: " + why);
  }
  for (const char* server : {"0.0.0.0", "255.255.255.255", "224.0.0.251"}) {
    ExpectRefused(NETSH_BIN, with(dns, {server}),
                  std::string("\"") + server + "\" is not a valid DNS server address: ");
  }
  ExpectRefused(NETSH_BIN, with(gateway, {"gateway=224.0.0.1", "gwmetric=1"}),
                "\"224.0.0.1\" is not a valid gateway: a multicast address");
  ExpectRefused(NETSH_BIN, with(set, {"static", "10.0.0.5"}), kUsage);
  ExpectRefused(NETSH_BIN, with(set, {"source=static"}), kUsage);
  for (const char* metric : {"10000", "-1", "1x", ""}) {
    ExpectRefused(NETSH_BIN, with(gateway, {"gateway=10.0.0.1", std::string("gwmetric=") + metric}),
                  std::string("\"") + metric + "\" is not a valid gateway metric");
  }
  ExpectRefused(NETSH_BIN, with(gateway, {"gateway=10.0.0.256", "gwmetric=1"}),
                "\"10.0.0.256\" is not a valid gateway");
  ExpectRefused(NETSH_BIN, with(gateway, {"gwmetric=1"}), kUsage);
  ExpectRefused(NETSH_BIN, with(gateway, {"gateway=10.0.0.1", "weight=1"}), kUsage);
  ExpectRefused(NETSH_BIN, {"interface", "ip", "delete", "address", "lo", "gateway=10.0.0.1"},
                kUsage);
  ExpectRefused(NETSH_BIN, with(dns, {"10.0.0.300"}),
                "\"10.0.0.300\" is not a valid DNS server address");
  for (const char* index : {"0", "10000", "x"}) {
    ExpectRefused(NETSH_BIN, with(dns, {"10.0.0.3", std::string("index=") + index}),
                  std::string("\"") + index + "\" is not a valid index");
  }
  ExpectRefused(NETSH_BIN, with(dns, {"10.0.0.3", "position=1"}), kUsage);
  ExpectRefused(NETSH_BIN, {"interface", "ip", "delete", "dns", "lo", "10.0.0.3"}, kUsage);
  ExpectRefused(NETSH_BIN, {"interface", "ip", "reset", "address", "lo"}, kUsage);
}

// A server the resolver listed of its own stays when the interface lets it go; a server added
// at index 1 comes first.
TEST_F(ProgramsTest, NetshDnsRemovesOnlyWhatItAdded) {
  if (!PrivateNetworkAvailable()) GTEST_SKIP() << "needs a network namespace of its own";
  const Strings dns = {"interface", "ip", "add", "dns", "lo"};
  auto with = [](Strings a, const Strings& more) {
    a.insert(a.end(), more.begin(), more.end());
    return a;
  };
  EXPECT_EQ(Run(NETSH_BIN, with(dns, {"10.9.9.9"})).status, 0);
  const Outcome o = Run(NETSH_BIN, with(dns, {"10.0.0.1", "index=1"}));
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(platform::GetText(reg_.registry(), platform::kHkeyLocalMachine,
                              standins::InterfaceKey("lo"), "NameServer"),
            "10.0.0.1,10.9.9.9");
  EXPECT_EQ(ReadAll(resolv_), "search corp.example\nnameserver 10.0.0.1\nnameserver 10.9.9.9\n");
  EXPECT_EQ(Run(NETSH_BIN, {"interface", "ip", "delete", "dns", "lo", "all"}).status, 0);
  EXPECT_EQ(ReadAll(resolv_), kResolv);
  EXPECT_EQ(platform::GetText(reg_.registry(), platform::kHkeyLocalMachine,
                              standins::InterfaceKey("lo"), "NameServer"),
            "");
}

// A change the kernel refuses half-way leaves the interface as it was: addresses and gateways.
TEST(HostNetwork, ARefusedChangePutsTheOldAddressesAndGatewaysBack) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(kNoNamespace);
    const std::string lo = "lo";
    standins::SetAddress(lo, 0x0A010203, 24);  // 10.1.2.3/24
    if (!standins::AddDefaultRoute(lo, "10.1.2.1", 5).empty()) _exit(2);
    const standins::InterfaceState before = standins::ReadInterface(lo);
    bool emptied = false;
    const std::string error = standins::ChangeOrRestore(lo, [&] {
      standins::FlushAddresses(lo);
      emptied = standins::ReadInterface(lo).addresses.empty();
      return std::string("refused");
    });
    const standins::InterfaceState after = standins::ReadInterface(lo);
    if (error != "refused" || !emptied) _exit(3);
    if (after.addresses != before.addresses || after.addresses.empty()) _exit(4);
    if (after.gateways.size() != 1 || after.gateways[0].address != "10.1.2.1" ||
        after.gateways[0].metric != 5) {
      _exit(5);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kNoNamespace) GTEST_SKIP() << "needs a network namespace of its own";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2 no gateway, 3 not refused, 4 addresses, 5 gateways";
}

TEST_F(ProgramsTest, IpconfigRefusesBadCommandLinesAndUnknownAdapters) {
  const std::string touched = dir_.File("X");
  const char* usage = "usage: ipconfig /release ADAPTER | /renew ADAPTER";
  ExpectRefused(IPCONFIG_BIN, {}, usage);
  ExpectRefused(IPCONFIG_BIN, {"/renew"}, usage);
  ExpectRefused(IPCONFIG_BIN, {"/all", "nvx-none0"}, usage);
  ExpectRefused(IPCONFIG_BIN, {"/renew", "nvx-none0"},
                "ipconfig: there is no adapter named \"nvx-none0\"");
  // The command line is not quoted: a name with blanks arrives in pieces.
  ExpectRefused(IPCONFIG_BIN, {"/release", "Local", "Area", "Connection"},
                "there is no adapter named \"Local Area Connection\"");
  ExpectRefused(IPCONFIG_BIN, {"/renew", "$(touch " + touched + ")"}, "there is no adapter named");
  for (const char* version : {"98", "ME"}) {
    const Strings env = {std::string("NETVANE_WINDOWS_VERSION=") + version};
    for (const char* number : {"999", "-1", "x", "1000"}) {
      ExpectRefused(IPCONFIG_BIN, {"/renew", number},
                    std::string("there is no adapter number ") + number, env);
      ExpectRefused(IPCONFIG_BIN, {"/release", number}, "there is no adapter number", env);
    }
  }
  ExpectRefused(IPCONFIG_BIN, {"/renew", "nvx-none0"}, "this Windows version has no ipconfig",
                {"NETVANE_WINDOWS_VERSION=95"});
  EXPECT_FALSE(std::filesystem::exists(touched));
}

TEST_F(ProgramsTest, IpconfigTouchesOnlyAdaptersOnDhcp) {
  if (!PrivateNetworkAvailable()) GTEST_SKIP() << "needs a network namespace of its own";
  for (const char* version : {"2000", "NT4"}) {
    for (const char* command : {"/renew", "/release"}) {
      const std::string before = Dump();
      const Outcome o =
          Run(IPCONFIG_BIN, {command, "lo"}, {std::string("NETVANE_WINDOWS_VERSION=") + version});
      EXPECT_EQ(o.status, 1) << version << command;
      EXPECT_EQ(o.err, kNotDhcp) << version << command;
      EXPECT_EQ(Dump(), before);
      EXPECT_EQ(ReadAll(resolv_), kResolv);
    }
  }
  // Recorded as static: still refused.
  ASSERT_EQ(platform::SetDword(reg_.registry(), platform::kHkeyLocalMachine,
                               standins::InterfaceKey("lo"), "EnableDHCP", 0),
            kErrorSuccess);
  const Outcome o = Run(IPCONFIG_BIN, {"/renew", "lo"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, kNotDhcp);
  // NT 4 keeps an adapter's DHCP switch under its own service key, where its leases go too.
  const std::string nt4 = standins::Nt4Key("lo");
  ASSERT_EQ(platform::SetDword(reg_.registry(), platform::kHkeyLocalMachine, nt4, "EnableDHCP", 1),
            kErrorSuccess);
  const Outcome released = Run(IPCONFIG_BIN, {"/release", "lo"}, {"NETVANE_WINDOWS_VERSION=NT4"});
  EXPECT_EQ(released.status, 0) << released.err;
  EXPECT_EQ(platform::GetText(reg_.registry(), platform::kHkeyLocalMachine, nt4, "DhcpIPAddress"),
            "0.0.0.0");
}

// The DHCP client's script records the lease as the engine's bind poll reads it on NT 4: the
// responder's lease time carries 0xFF in its top byte, so the whole 32-bit range must come
// through.
TEST_F(ProgramsTest, TheDhcpClientScriptRecordsTheWholeLeaseTime) {
  if (!PrivateNetworkAvailable()) GTEST_SKIP() << "needs a network namespace of its own";
  const std::string key = standins::Nt4Key("lo");
  const Outcome o =
      Run(IPCONFIG_BIN, {"bound"},
          {"NETVANE_IPCONFIG_HOOK=nt " + key, "interface=lo", "ip=192.168.10.25",
           "subnet=255.255.255.0", "dns=192.168.10.53", "serverid=2.2.2.2", "lease=4279383126"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(platform::GetText(reg_.registry(), platform::kHkeyLocalMachine, key, "DhcpIPAddress"),
            "192.168.10.25");
  EXPECT_EQ(platform::GetDword(reg_.registry(), platform::kHkeyLocalMachine, key, "Lease"),
            0xFF123456u);
  EXPECT_EQ(ReadAll(resolv_),
            "search corp.example\nnameserver 192.168.10.53\nnameserver 10.9.9.9\n");

  FakePlatform fake;
  store::RegistryAccess access(reg_.registry(), reg_.codepage());
  engine::AppState state;
  state.OSKind = engine::kOsWinNt4;
  store::LocationRecord r;
  r.LocationId = 3;
  r.NIC_ID = "lo";
  r.IPAddress = "192.168.10.25";
  r.Lease = 0x123456;
  state.LocationTable.push_back(r);
  FakeFrontEnd front;
  EXPECT_TRUE(engine::Engine(fake.services(), access, state, front).CheckBinding(3));
}

}  // namespace
}  // namespace netvane::testing
