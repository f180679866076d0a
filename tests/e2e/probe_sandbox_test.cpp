// The host's network probe in the sandbox, run by root in the client namespace: who answers for
// the far routers' addresses, what dnsmasq offers, the neighbour table and link changes; and
// that a probe changes nothing on the machine and sends nothing a DHCP server could take for a
// REQUEST.
#include <signal.h>

#include "sandbox_fixture.h"

namespace netvane::testing {
namespace {

constexpr char kRouterArp[] = "arp 10.77.0.1 02:4e:56:00:00:fe\n";

class ProbeSandbox : public SandboxApply {
 protected:
  // What a probe could change: nv0's addresses and routes, the neighbour table, the resolver.
  std::string Snapshot() {
    const std::string ip = "ip -n " + Namespace();
    return RunShell(ip + " addr show dev nv0; " + ip + " route show table all; " + ip +
                    " neigh show")
               .out +
           ResolvConf();
  }
};

TEST_F(ProbeSandbox, TheRoutersAnswerAndDnsmasqsOfferComeBackAndNothingChanges) {
  // nv0 with no address at all.
  Result r = ProbeTool("probe nv0 dhcp 10.77.0.1 10.77.0.2 | sort");
  ASSERT_EQ(r.out.rfind(std::string(kRouterArp) +
                            "arp 10.77.0.2 02:4e:56:00:00:fe\noffer 10.77.0.1 10.77.0.1",
                        0),
            0u)
      << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - 15), " 255.255.255.0\n") << r.out;

  // nv0 on another network's static address, with a route through it.
  ASSERT_EQ(RunShell("ip -n " + Namespace() + " addr add 192.168.5.7/24 dev nv0 && ip -n " +
                     Namespace() + " route add default via 192.168.5.1")
                .status,
            0);
  std::ofstream("/etc/netns/" + Namespace() + "/resolv.conf") << "nameserver 192.168.5.1\n";
  const std::string before = Snapshot();
  r = ProbeTool("probe nv0 dhcp 10.77.0.1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind(std::string(kRouterArp) + "offer 10.77.0.1 10.77.0.1", 0), 0u) << r.out;
  EXPECT_EQ(Snapshot(), before);
  // The neighbour table holds nothing of the probe's, and dnsmasq leased nothing: no REQUEST.
  EXPECT_EQ(RunShell("ip -n " + Namespace() + " neigh show").out, "");
  EXPECT_EQ(ReadFile("/run/netvane-sandbox/" + id_ + "/leases"), "");
}

TEST_F(ProbeSandbox, AGatewayAnsweringFromTwoMacsIsReportedTwice) {
  ASSERT_EQ(RunShell("ip -n nvr-" + id_ +
                     " link add link nvr0 name nvr1 address 02:4e:56:00:00:fd type macvlan && "
                     "ip -n nvr-" +
                     id_ + " link set nvr1 up")
                .status,
            0);
  // An address nobody has keeps the probe listening to its end, for every answer.
  const Result r = ProbeTool("probe nv0 nodhcp 10.77.0.1 10.77.0.99 | sort");
  EXPECT_EQ(r.out, "arp 10.77.0.1 02:4e:56:00:00:fd\n" + std::string(kRouterArp));
}

TEST_F(ProbeSandbox, CutMalformedAndForeignOffersGiveNoOffer) {
  const std::string heard = dir_.File("hostile.txt");
  HostileServer("lies", heard);
  // dnsmasq gone and the liar listening.
  ASSERT_TRUE(Eventually([&] {
    const std::string udp = RunShell("ip netns exec nvr-" + id_ + " ss -ulnp").out;
    return udp.find("hostile_dhcp") != std::string::npos &&
           udp.find("dnsmasq") == std::string::npos;
  }));
  const Result r = ProbeTool("probe nv0 dhcp 10.77.0.1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kRouterArp);
  // The server heard DISCOVERs only.
  std::istringstream lines(ReadFile(heard));
  int discovers = 0;
  for (std::string line; std::getline(lines, line); ++discovers) EXPECT_EQ(line, "got 1");
  EXPECT_GE(discovers, 1);
}

TEST_F(ProbeSandbox, TheNeighbourTableNamesOnlyAddressesItKnows) {
  const std::string neigh = "ip -n " + Namespace() + " neigh replace ";
  ASSERT_EQ(RunShell(neigh + "10.77.0.7 lladdr 02:00:00:00:00:07 dev nv0 nud permanent && " +
                     neigh + "10.77.0.8 lladdr 02:00:00:00:00:08 dev nv0 nud stale && " + neigh +
                     "10.77.0.9 dev nv0 nud failed")
                .status,
            0);
  EXPECT_EQ(ProbeTool("neighbour nv0 10.77.0.7").out, "02:00:00:00:00:07\n");
  EXPECT_EQ(ProbeTool("neighbour nv0 10.77.0.8").out, "02:00:00:00:00:08\n");
  EXPECT_EQ(ProbeTool("neighbour nv0 10.77.0.9").out, "\n");
  EXPECT_EQ(ProbeTool("neighbour nv0 10.77.0.10").out, "\n");
  EXPECT_EQ(ProbeTool("neighbour lo 10.77.0.7").out, "\n");
}

TEST_F(ProbeSandbox, EachLinkChangeIsToldOnce) {
  const std::string out = dir_.File("watch.txt");
  const pid_t watcher =
      std::atoi(RunShell("ip netns exec " + Namespace() + " " + NETWORK_PROBE_TOOL_BIN +
                         " watch >'" + out + "' 2>&1 & echo $!")
                    .out.c_str());
  ASSERT_GT(watcher, 0);
  const auto shows = [&](const std::string& text) {
    return Eventually([&] { return ReadFile(out) == text; });
  };
  ASSERT_TRUE(shows("ready\n"));
  std::string expected = "ready\n";
  // nv0 itself, its far end, and a change that is none of its state's (the MTU).
  for (const auto& [command, line] : std::vector<std::pair<std::string, std::string>>{
           {"ip -n " + Namespace() + " link set nv0 down", "nv0 down\n"},
           {"ip -n " + Namespace() + " link set nv0 mtu 1400", ""},
           {"ip -n " + Namespace() + " link set nv0 up", "nv0 up\n"},
           {"ip -n nvr-" + id_ + " link set nvr0 down", "nv0 down\n"},
           {"ip -n nvr-" + id_ + " link set nvr0 up", "nv0 up\n"}}) {
    ASSERT_EQ(RunShell(command).status, 0) << command;
    expected += line;
    EXPECT_TRUE(shows(expected)) << command << ": " << ReadFile(out);
  }
  // Stopping the watch ends its thread: the program gets to its last line.
  kill(watcher, SIGTERM);
  EXPECT_TRUE(shows(expected + "stopped\n")) << ReadFile(out);
}

}  // namespace
}  // namespace netvane::testing
