// Recognising the network for real: the far side of the sandbox becomes home, a hotel with the
// same gateway address, two offices behind one virtual router, a static lab or an unknown
// network (scripts/sandbox network), and Netvane must name the right location or none.
#include "sandbox_fixture.h"

namespace netvane::testing {
namespace {

class RecognitionSandbox : public SandboxApply {
 protected:
  void SetUp() override {
    SandboxApply::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    Import(std::string(NETVANE_SOURCE_DIR) + "/data/recognition.reg");
  }
  void Network(const std::string& name) {
    const Result r =
        RunShell(std::string(SANDBOX_SCRIPT) + " network " + id_ + " " + name + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
  }
  void Plug(const std::string& name) {
    RunShell("ip -n " + Namespace() + " link set nv0 down");
    Network(name);
    RunShell("ip -n " + Namespace() + " link set nv0 up");
  }
  // What the machine holds that a probe must not change.
  std::string Held() {
    return Addresses() + DefaultRoutes() + ResolvConf() +
           RunShell("ip -n " + Namespace() + " -4 neigh show dev nv0 nud permanent").out;
  }
};

// A location applied well remembers its network: a DHCP one its lease's, a static one its own
// gateway's; netvane-reg carries it.
TEST_F(RecognitionSandbox, ALocationAppliedWellRemembersItsNetwork) {
  Network("unknown");
  Result r = Apply("15");
  EXPECT_EQ(r.status, 0) << ReadFile(dir_.File("stderr.txt"));
  r = InSandbox("netvanectl show 15");
  EXPECT_NE(r.out.find("NetworkGateway: 192.168.77.1\nNetworkGatewayMAC: 02:00:0d:00:00:01\n"
                       "NetworkDhcpServer: 192.168.77.1\nNetworkPrefix: 192.168.77.0/24\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(Export("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\15")
                .find("\"NetworkGatewayMAC\"=\"02:00:0d:00:00:01\""),
            std::string::npos);

  // Now that it remembers the network, it is recognised there, and only there.
  Plug("unknown");
  r = InSandbox("netvanectl detect");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "LocationId: 15\nSessionName: Cafe\n");
}

// Each network named right, or none, whatever address the adapter holds meanwhile; nothing on
// the machine changes until a location is applied.
TEST_F(RecognitionSandbox, EachNetworkIsNamedRightOrNotAtAll) {
  ASSERT_EQ(Apply("1").status, 0) << ReadFile(dir_.File("stderr.txt"));  // a static address
  const struct {
    const char* network;
    const char* expected;
  } cases[] = {
      {"home", "LocationId: 11\nSessionName: Home\n"},
      {"hotel", ""},
      {"office-a", "LocationId: 12\nSessionName: Office A\n"},
      {"office-b", "LocationId: 13\nSessionName: Office B\n"},
      {"lab", "LocationId: 14\nSessionName: Lab\n"},
      {"unknown", ""},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      Plug(c.network);
      const std::string held = Held();
      const Result r = InSandbox("netvanectl detect 0");
      EXPECT_EQ(r.out, c.expected) << c.network;
      EXPECT_EQ(r.status, *c.expected == '\0' ? 3 : 0) << c.network;
      if (*c.expected == '\0') {
        EXPECT_EQ(ReadFile(dir_.File("stderr.txt")),
                  "netvanectl: no location matches the network on Ethernet adapter nv0.\n");
      }
      EXPECT_EQ(Held(), held) << c.network;
    }
  }
  // No DHCP lease was taken by a probe: a DISCOVER is never followed by a REQUEST.
  EXPECT_EQ(ReadFile("/run/netvane-sandbox/" + id_ + "/leases"), "");

  // --apply applies what it finds.
  Plug("lab");
  const Result r = InSandbox("netvanectl detect --apply");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "LocationId: 14\nSessionName: Lab\n"
            "Network environment is successfully established.\n");
  EXPECT_EQ(Addresses(), "172.16.5.20/24\n");
}

// The window's way, link changes and all: a plug-in is decided once its link has settled, and
// a flapping cable makes one decision.
TEST_F(RecognitionSandbox, ALinkThatComesUpIsDecidedOnceAndAFlappingOneToo) {
  Network("office-b");
  const std::string out = dir_.File("watch.txt");
  // Its input stays open (a sleep holds the pipe) until the decisions are in.
  const std::string watch = "(sleep 14 | ip netns exec " + Namespace() + " env NETVANE_REGISTRY='" +
                            registry_ + "' " + std::string(RECOGNITION_WATCH_BIN) + " nv0 14 > '" +
                            out + "') >/dev/null 2>&1 &";
  ASSERT_EQ(RunShell(watch).status, 0);
  ASSERT_TRUE(Eventually([&] { return ReadFile(out).rfind("ready\n", 0) == 0; }));
  for (int i = 0; i < 6; ++i) {
    RunShell("ip -n " + Namespace() + " link set nv0 down");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    RunShell("ip -n " + Namespace() + " link set nv0 up");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
  // Up again within ten seconds of the decision: not asked again.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  RunShell("ip -n " + Namespace() + " link set nv0 down; sleep 0.1; ip -n " + Namespace() +
           " link set nv0 up");
  ASSERT_TRUE(Eventually([&] { return ReadFile(out).find("end\n") != std::string::npos; }));
  const std::string lines = ReadFile(out);
  size_t decisions = 0;
  for (size_t at = lines.find("decision "); at != std::string::npos;
       at = lines.find("decision ", at + 1)) {
    ++decisions;
    EXPECT_EQ(lines.substr(lines.find(' ', at + 9) + 1, 3), "13\n") << lines;
  }
  EXPECT_EQ(decisions, 1u) << lines;
  EXPECT_NE(lines.find("link down\nlink up\n"), std::string::npos) << lines;
}

}  // namespace
}  // namespace netvane::testing
