// netvanectl apply as a black box: the real program, copied with its companions into a folder
// of its own where recording stand-ins for netsh and ipconfig.exe wait, over a seeded
// registry file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;

using Result = ShellResult;

class NetvanectlApply : public ::testing::Test {
 protected:
  void SetUp() override {
    bin_ = dir_.path() / "Net vane";
    fs::create_directories(bin_);
    for (const char* program : {NETVANECTL_BIN, NETVANE_REG_BIN, DHCP_PROBE_BIN, NVEFILTER_BIN}) {
      fs::copy_file(program, bin_ / fs::path(program).filename());
    }
    log_ = dir_.File("commands.log");
    // Each stand-in writes its arguments, one per line, then a blank line.
    Script("netsh", "");
    Script("ipconfig",
           "if [ \"$1\" = /renew ] && [ -n \"$RENEW_SERVES_DHCP\" ]; then\n"
           "  set -- $(\"$HERE/dhcp_probe\") || exit 1\n"
           "  printf 'REGEDIT4\\n\\n[HKEY_LOCAL_MACHINE\\\\SYSTEM\\\\CurrentControlSet\\\\Services"
           "\\\\VxD\\\\DHCP\\\\0000]\\n\"DHCPIPAddress\"=%s\\n\"Lease\"=%s\\n' \"$1\" \"$2\" > "
           "\"$HERE/bind.reg\"\n"
           "  \"$HERE/netvane-reg\" import \"$HERE/bind.reg\"\n"
           "fi\n");
    Seed(
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\1]\n"
        "\"Description\"=\"Test Card\"\n"
        "\"ServiceName\"=\"Card \\\"A\\\"; $(x)\"\n");
  }

  void Script(const std::string& name, const std::string& extra) {
    const fs::path path = bin_ / name;
    std::ofstream(path)
        << "#!/bin/sh\n"
        << "HERE=$(dirname \"$0\")\n"
        << "{ echo \"$(basename \"$0\")\"; for a in \"$@\"; do echo \"[$a]\"; done; echo; } >> \""
        << log_ << "\"\n"
        << extra << "exit 0\n";
    fs::permissions(path, fs::perms::owner_all);
  }

  void Seed(const std::string& reg) {
    const std::string file = dir_.File("seed.reg");
    std::ofstream(file) << "REGEDIT4\n\n" << reg;
    ASSERT_EQ(Run(std::string(NETVANE_REG_BIN) + " import '" + file + "'").status, 0);
  }

  void StaticLocation(const std::string& kind = "USE_STATIC_IP") {
    Seed(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\3]\n"
        "\"SessionName\"=\"Office\"\n"
        "\"NIC_ID\"=\"Card \\\"A\\\"; $(x)\"\n"
        "\"NIC_NAME\"=\"Test Card\"\n"
        "\"SessionActive\"=\"No\"\n"
        "\"ServiceType\"=\"" +
        kind +
        "\"\n"
        "\"ExecutePath\"=\"\"\n"
        "\"UseProxy\"=\"No\"\n"
        "\"UseWinNetwork\"=\"No\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\3\\TCP/IP]\n"
        "\"IPAddress\"=\"192.168.10.25\"\n"
        "\"SubnetMask\"=\"255.255.255.0\"\n"
        "\"Gateway\"=\"192.168.10.1\"\n"
        "\"DNS\"=\"192.168.10.2,192.168.10.3\"\n"
        "\"Lease\"=\"1193046\"\n");
  }

  Result Run(const std::string& command, const std::string& env = "") {
    const std::string full =
        "NETVANE_REGISTRY='" + dir_.File("registry.db") + "' " + env + " " + command + " 2>&1";
    return RunShell(full);
  }

  Result Apply(const std::string& which, const std::string& env = "") {
    return Run("'" + (bin_ / "netvanectl").string() + "' apply '" + which + "'", env);
  }

  std::string Log() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string Export(const std::string& key) {
    return Run(std::string(NETVANE_REG_BIN) + " export '" + key + "'").out;
  }

  ScratchDir dir_;
  fs::path bin_;
  std::string log_;
};

TEST_F(NetvanectlApply, StaticLocationOnWindows2000RunsNetshAndReportsTheReadBack) {
  StaticLocation();
  Seed(
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\"
      "Card \"A\"; $(x)]\n"
      "\"IPAddress\"=hex(7):31,39,32,2e,31,36,38,2e,31,30,2e,32,35,00,00\n"
      "\"SubnetMask\"=hex(7):32,35,35,2e,32,35,35,2e,32,35,35,2e,30,00,00\n"
      "\"DefaultGateway\"=hex(7):31,39,32,2e,31,36,38,2e,31,30,2e,31,00,00\n");
  const Result r = Apply("Office");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "Network environment is successfully established.\n");
  // The adapter name with quotes and ";" reaches netsh as data, split as Windows splits it.
  EXPECT_EQ(
      Log(),
      "netsh\n[interface]\n[ip]\n[set]\n[address]\n[Card A; "
      "$(x)]\n[static]\n[192.168.10.25]\n[255.255.255.0]\n\n"
      "netsh\n[interface]\n[ip]\n[delete]\n[address]\n[Card A; $(x)]\n[gateway=all]\n\n"
      "netsh\n[interface]\n[ip]\n[add]\n[address]\n[Card A; "
      "$(x)]\n[gateway=192.168.10.1]\n[gwmetric=1]\n\n"
      "netsh\n[interface]\n[ip]\n[delete]\n[dns]\n[Card A; $(x)]\n[all]\n\n"
      "netsh\n[interface]\n[ip]\n[add]\n[dns]\n[Card A; $(x)]\n[192.168.10.2]\n[index=1]\n\n"
      "netsh\n[interface]\n[ip]\n[add]\n[dns]\n[Card A; $(x)]\n[192.168.10.3]\n[index=2]\n\n");
  EXPECT_NE(Export("HKLM\\SOFTWARE\\Orlenta\\SessionInfo\\3").find("\"SessionActive\"=\"YES\""),
            std::string::npos);
  // The proxy was switched off.
  EXPECT_NE(Export("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings")
                .find("\"ProxyEnable\"=dword:00000000"),
            std::string::npos);
}

TEST_F(NetvanectlApply, AFailedReadBackEndsWithStatusOne) {
  StaticLocation();
  const Result r = Apply("3");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Troubles occurred in binding selected location data to your system.\n");
}

TEST_F(NetvanectlApply, RestoreOnFailurePutsBackTheLocationThatWasActive) {
  StaticLocation();
  Seed(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\5]\n"
      "\"SessionName\"=\"Home\"\n\"NIC_ID\"=\"Card \\\"A\\\"; $(x)\"\n"
      "\"ServiceType\"=\"USE_DHCP\"\n\"SessionActive\"=\"YES\"\n");
  // Without the option the failure stands as before.
  Result r = Apply("3");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Troubles occurred in binding selected location data to your system.\n");
  Seed(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\5]\n\"SessionActive\"=\"YES\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\3]\n\"SessionActive\"=\"NO\"\n");
  std::filesystem::remove(log_);

  r = Run("'" + (bin_ / "netvanectl").string() + "' apply 3 --restore-on-failure");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "Troubles occurred in binding selected location data to your system.\n"
            "Restoring the previous location \"Home\".\n"
            "netvanectl: the previous location \"Home\" was restored.\n");
  const std::string log = Log();
  EXPECT_NE(log.find("[Card A; $(x)]\n[source=dhcp]\n\nipconfig\n[/release]\n"), std::string::npos)
      << log;
  EXPECT_NE(Export("HKLM\\SOFTWARE\\Orlenta\\SessionInfo\\5").find("\"SessionActive\"=\"YES\""),
            std::string::npos);
  EXPECT_EQ(Run("'" + (bin_ / "netvanectl").string() + "' apply 3 --restore").status, 2);
}

TEST_F(NetvanectlApply, DhcpLocationReportsNothingAndEndsWithStatusZero) {
  Seed(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\5]\n"
      "\"SessionName\"=\"Home\"\n\"NIC_ID\"=\"El90x1\"\n\"ServiceType\"=\"USE_DHCP\"\n");
  const Result r = Apply("Home");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(Log(),
            "netsh\n[interface]\n[ip]\n[delete]\n[dns]\n[El90x1]\n[all]\n\n"
            "netsh\n[interface]\n[ip]\n[set]\n[address]\n[El90x1]\n[source=dhcp]\n\n"
            "ipconfig\n[/release]\n[El90x1]\n\n"
            "ipconfig\n[/renew]\n[El90x1]\n\n");
}

TEST_F(NetvanectlApply, AMissingSystemToolEndsWithTheErrorReport) {
  StaticLocation();
  fs::remove(bin_ / "netsh");
  const Result r = Apply("Office", "PATH=/usr/bin:/bin");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "Please, check if gateway or DNS Configuration is valid.\n"
            "Error Number : 2\n"
            "Error Description : The system cannot find the file specified.\n");
}

TEST_F(NetvanectlApply, UnknownLocationsAndUsageErrorsEndWithStatusTwo) {
  StaticLocation();
  EXPECT_EQ(Apply("Nowhere").status, 2);
  EXPECT_EQ(Apply("99").status, 2);
  EXPECT_EQ(Run("'" + (bin_ / "netvanectl").string() + "' apply").status, 2);
  EXPECT_EQ(Log(), "");
}

TEST_F(NetvanectlApply, StaticLocationOnWindows98IsServedByTheResponderUntilTheBindPollSeesIt) {
  if (geteuid() != 0) GTEST_SKIP() << "the DHCP ports 67 and 68 need root";
  StaticLocation();
  Seed("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Net\\0000]\n");
  // The 98 family finds its adapters in the interface table; none is needed here: the
  // adapter of the location is then number -1.
  const Result r = Apply("Office", "NETVANE_WINDOWS_VERSION=98 RENEW_SERVES_DHCP=1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "Network environment is successfully established.\n");
  const std::string log = Log();
  EXPECT_NE(log.find("ipconfig\n[/release]\n[-1]\n"), std::string::npos) << log;
  EXPECT_NE(log.find("ipconfig\n[/renew]\n[-1]\n"), std::string::npos) << log;
  // The system's binding now carries the address and the stamp.
  const std::string binding = Export("HKLM\\SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\0000");
  EXPECT_NE(binding.find("\"DHCPIPAddress\"=hex:c0,a8,0a,19"), std::string::npos) << binding;
  EXPECT_NE(binding.find("\"Lease\"=hex:56,34,12,ff"), std::string::npos) << binding;
}

}  // namespace
}  // namespace netvane::testing
