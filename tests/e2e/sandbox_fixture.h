// The network sandbox for the end-to-end runs (scripts/sandbox: a client namespace whose
// interface nv0 is joined by a veth pair to a far namespace with routers, DNS addresses and
// dnsmasq), with the programs run inside it and the interface, routes, resolver file and
// registry read back. The programs come from $NETVANE_E2E_BIN when set (an installed package),
// else from the build's bin folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "test_support.h"

namespace netvane::testing {

using Result = ShellResult;

// The programs under test: the build's own, or those in NETVANE_E2E_BIN (an installed package).
inline std::string BinDir() {
  const char* dir = std::getenv("NETVANE_E2E_BIN");
  return dir != nullptr && *dir != '\0' ? dir : BIN_DIR;
}

inline std::string Bin(const std::string& program) { return BinDir() + "/" + program; }

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SandboxApply : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) {
      GTEST_SKIP() << "needs root: the sandbox creates network namespaces and a veth pair";
    }
    id_ = "e" + std::to_string(getpid() % 10000000);
    const Result up = RunShell(std::string(SANDBOX_SCRIPT) + " up " + id_ + " 2>&1");
    ASSERT_EQ(up.status, 0) << up.out;
    sandbox_up_ = true;
    registry_ = dir_.File("registry.db");
    Import(std::string(NETVANE_SOURCE_DIR) + "/data/sandbox.reg");
  }

  void TearDown() override {
    if (sandbox_up_) RunShell(std::string(SANDBOX_SCRIPT) + " down " + id_ + " 2>&1");
  }

  std::string Namespace() const { return "nvc-" + id_; }

  void Import(const std::string& file) {
    const Result r = RunShell("NETVANE_REGISTRY='" + registry_ + "' " + Bin("netvane-reg") +
                              " import '" + file + "' 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
  }

  void Seed(const std::string& text) {
    const std::string file = dir_.File("seed.reg");
    std::ofstream(file) << "REGEDIT4\n\n" << text;
    Import(file);
  }

  // Location 4, for Windows 98: the responder answers nothing for a mask that does not begin
  // with 255, so the bind poll runs out.
  void BrokenLegacyLocation() {
    Seed(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\4]\n"
        "\"SessionName\"=\"Broken\"\n\"NIC_ID\"=\"02-4E-56-00-00-01\"\n\"NIC_NAME\"=\"nv0\"\n"
        "\"ServiceType\"=\"USE_STATIC_IP\"\n\"ExecutePath\"=\"\"\n"
        "\"UseProxy\"=\"No\"\n\"UseWinNetwork\"=\"No\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\4\\TCP/IP]\n"
        "\"IPAddress\"=\"10.77.0.31\"\n\"SubnetMask\"=\"254.0.0.0\"\n\"Gateway\"=\"10.77.0.1\"\n"
        "\"DNS\"=\"10.77.0.53\"\n\"Lease\"=\"3600\"\n");
  }

  // A program of the build folder inside the client namespace; standard output only.
  Result InSandbox(const std::string& command, const std::string& env = "") {
    return RunShell("ip netns exec " + Namespace() + " " + runner_ + " env NETVANE_REGISTRY='" +
                    registry_ + "' " + env + " " + Bin(command) + " 2>'" + dir_.File("stderr.txt") +
                    "'");
  }

  Result Apply(const std::string& id, const std::string& env = "") {
    return InSandbox("netvanectl apply " + id, env);
  }

  std::string Addresses() {
    return RunShell("ip -n " + Namespace() + " -4 -o addr show dev nv0 | awk '{print $4}'").out;
  }
  std::string DefaultRoutes() {
    return RunShell("ip -n " + Namespace() + " -4 route show default").out;
  }
  std::string ResolvConf() { return ReadFile("/etc/netns/" + Namespace() + "/resolv.conf"); }
  std::string Export(const std::string& key) {
    return RunShell("NETVANE_REGISTRY='" + registry_ + "' " + Bin("netvane-reg") + " export '" +
                    key + "'")
        .out;
  }

  // Location 1 of data/sandbox.reg: its address, two gateways and two DNS servers.
  void ExpectStaticLocationApplied(const Result& r) {
    EXPECT_EQ(r.status, 0) << ReadFile(dir_.File("stderr.txt"));
    EXPECT_EQ(r.out, "Network environment is successfully established.\n");
    EXPECT_EQ(Addresses(), "10.77.0.25/24\n");
    EXPECT_EQ(DefaultRoutes(),
              "default via 10.77.0.1 dev nv0 metric 1 \n"
              "default via 10.77.0.2 dev nv0 metric 2 \n");
    EXPECT_EQ(ResolvConf(), "nameserver 10.77.0.53\nnameserver 10.77.0.54\n");
  }

  // The far side's DHCP server replaced by the test's own, started with `args`; what it prints
  // goes to `out`.
  void HostileServer(const std::string& args, const std::string& out = "/dev/null") {
    // Whatever serves there now is found by its namespace: a process id kept from before may
    // name another program by now, a parallel test's among them.
    RunShell(std::string(SANDBOX_SCRIPT) + " quiet " + id_ + " >/dev/null 2>&1");
    RunShell("ip netns exec nvr-" + id_ + " " + HOSTILE_DHCP_BIN + " nvr0 " + args + " >'" + out +
             "' 2>&1 &");
  }

  // The host's network probe (tests/e2e/network_probe_tool) inside the client namespace, as
  // `runner_` runs it: what it prints, and its status.
  Result ProbeTool(const std::string& args) {
    return RunShell("ip netns exec " + Namespace() + " " + runner_ + " " + NETWORK_PROBE_TOOL_BIN +
                    " " + args + " 2>&1");
  }

  // The renew runs on after netvanectl has finished; waits until `done` holds, up to 15 s.
  template <typename Done>
  bool Eventually(Done done) {
    for (int i = 0; i < 150; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
  }

  ScratchDir dir_;
  std::string id_;
  std::string registry_;
  bool sandbox_up_ = false;
  // Put before the program inside the namespace (another user, say).
  std::string runner_;
};

inline constexpr char kInterfaceKey[] =
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\nv0";

}  // namespace netvane::testing
