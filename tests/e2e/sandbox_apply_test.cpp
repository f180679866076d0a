// Applying locations for real: netvanectl, netsh, ipconfig and NVEFilter run inside a network
// sandbox (sandbox_fixture.h), and the interface, the routes, the resolver file and the
// registry are checked afterwards.
#include "sandbox_fixture.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(SandboxApply, StaticLocationSetsAddressGatewaysWithMetricsAndDnsServers) {
  // The machine's interface is an adapter of its own.
  const Result list = InSandbox("netvanectl list");
  EXPECT_NE(list.out.find("[0] Ethernet adapter nv0 (nv0)"), std::string::npos) << list.out;

  ExpectStaticLocationApplied(Apply("1"));
  const std::string recorded = Export(kInterfaceKey);
  // 10.77.0.25; 255.255.255.0; 10.77.0.1 and 10.77.0.2, each closed by NUL, then the list.
  EXPECT_NE(recorded.find("\"IPAddress\"=hex(7):31,30,2e,37,37,2e,30,2e,32,35,00,00"),
            std::string::npos)
      << recorded;
  EXPECT_NE(recorded.find("\"SubnetMask\"=hex(7):32,35,35,2e,32,35,35,2e,32,35,35,2e,30,00,00"),
            std::string::npos);
  EXPECT_NE(recorded.find("\"DefaultGateway\"=hex(7):31,30,2e,37,37,2e,30,2e,31,00,31,30,2e,37,37,"
                          "2e,30,\\\r\n  2e,32,00,00"),
            std::string::npos)
      << recorded;
  EXPECT_NE(recorded.find("\"EnableDHCP\"=dword:00000000"), std::string::npos);
  EXPECT_NE(recorded.find("\"NameServer\"=\"10.77.0.53,10.77.0.54\""), std::string::npos);
  EXPECT_NE(Export("HKLM\\SOFTWARE\\Orlenta\\SessionInfo\\1").find("\"SessionActive\"=\"YES\""),
            std::string::npos);

  // A bad request changes nothing: the mask is not contiguous, the command unknown.
  Result bad = InSandbox("netsh interface ip set address nv0 static 10.77.0.99 255.0.255.0");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(ReadFile(dir_.File("stderr.txt")).find("not a valid subnet mask"), std::string::npos);
  bad = InSandbox("netsh interface ip set dns nv0 static 10.77.0.99");
  EXPECT_NE(bad.status, 0);
  EXPECT_EQ(Addresses(), "10.77.0.25/24\n");
  EXPECT_EQ(ResolvConf(), "nameserver 10.77.0.53\nnameserver 10.77.0.54\n");
  EXPECT_EQ(Export(kInterfaceKey), recorded);
}

TEST_F(SandboxApply, DhcpLocationTakesALeaseFromTheNetworkAndDropsTheStaticValues) {
  ASSERT_EQ(Apply("1").status, 0);
  const Result r = Apply("2");
  EXPECT_EQ(r.status, 0) << ReadFile(dir_.File("stderr.txt"));
  EXPECT_EQ(r.out, "");
  // dnsmasq hands out 10.77.0.100 to 10.77.0.199 for 600 seconds.
  std::string address;
  ASSERT_TRUE(Eventually([&] {
    const std::string text = Export(kInterfaceKey);
    const size_t at = text.find("\"DhcpIPAddress\"=\"10.77.0.1");
    if (at == std::string::npos || text.find("\"Lease\"=dword:00000258") == std::string::npos) {
      return false;
    }
    address = text.substr(at + 17, text.find('"', at + 17) - at - 17);
    return true;
  })) << Export(kInterfaceKey);
  EXPECT_EQ(Addresses(), address + "/24\n");
  EXPECT_EQ(DefaultRoutes(), "default via 10.77.0.1 dev nv0 metric 1 \n");
  EXPECT_EQ(ResolvConf(), "nameserver 10.77.0.53\n");
  const std::string recorded = Export(kInterfaceKey);
  EXPECT_NE(recorded.find("\"EnableDHCP\"=dword:00000001"), std::string::npos);
  EXPECT_NE(recorded.find("\"DhcpServer\"=\"10.77.0.1\""), std::string::npos);
  EXPECT_NE(recorded.find("\"NameServer\"=\"\""), std::string::npos);
  EXPECT_NE(
      ReadFile("/run/netvane-sandbox/" + id_ + "/leases").find("02:4e:56:00:00:01 " + address),
      std::string::npos);
}

TEST_F(SandboxApply, Windows98StaticLocationIsServedByTheLocalResponder) {
  const Result r = Apply("3", "NETVANE_WINDOWS_VERSION=98");
  EXPECT_EQ(r.status, 0) << ReadFile(dir_.File("stderr.txt"));
  EXPECT_EQ(r.out, "Network environment is successfully established.\n");
  EXPECT_EQ(Addresses(), "10.77.0.30/24\n");
  EXPECT_EQ(DefaultRoutes(), "default via 10.77.0.1 dev nv0 metric 1 \n");
  EXPECT_EQ(ResolvConf(), "nameserver 10.77.0.53\n");
  // 10.77.0.30 in network order; the lease 3600 (0xE10) with the responder's FF on top.
  const std::string binding = Export("HKLM\\SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP");
  EXPECT_NE(binding.find("\"DHCPIPAddress\"=hex:0a,4d,00,1e\r\n\"Lease\"=hex:10,0e,00,ff"),
            std::string::npos)
      << binding;
  // The exchange stayed on loopback: the network's DHCP server leased nothing.
  EXPECT_EQ(ReadFile("/run/netvane-sandbox/" + id_ + "/leases"), "");
  // When the poll has ended the filter is switched off again.
  const std::string filter = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\NVEFLT\\Parameters";
  EXPECT_TRUE(Eventually([&] {
    return Export(filter).find("\"0000\"=dword:00000000") != std::string::npos;
  })) << Export(filter);
}

// The other kinds: the cable modem leases like DHCP; the ADSL kinds give the address up and
// start their connection program; the outside PPP modem is static and starts it too.
TEST_F(SandboxApply, ModemAndAdslKindsLeaseReleaseOrStartTheirProgram) {
  const std::string dialer = dir_.File("dialer");
  const std::string marker = dir_.File("dialed.txt");
  std::ofstream(dialer) << "#!/bin/sh\necho dialed >> '" << marker << "'\n";
  fs::permissions(dialer, fs::perms::owner_all);
  auto location = [&](int id, const std::string& kind) {
    return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\" + std::to_string(id) +
           "]\n\"SessionName\"=\"" + kind +
           "\"\n\"NIC_ID\"=\"nv0\"\n\"NIC_NAME\"=\"nv0\"\n"
           "\"ServiceType\"=\"" +
           kind + "\"\n\"ExecutePath\"=\"" + dialer +
           "\"\n"
           "\"UseProxy\"=\"No\"\n\"UseWinNetwork\"=\"No\"\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\" +
           std::to_string(id) +
           "\\TCP/IP]\n\"IPAddress\"=\"10.77.0.60\"\n\"SubnetMask\"=\"255.255.255.0\"\n"
           "\"Gateway\"=\"10.77.0.2\"\n\"DNS\"=\"10.77.0.54\"\n\"Lease\"=\"60\"\n";
  };
  Seed(location(7, "USE_CABLE_MODEM") + location(8, "USE_KT_ADSL") +
       location(9, "USE_HANARO_IN_MODEM") + location(10, "USE_HANARO_OUT_PPP_MODEM"));
  auto dialed = [&] { return ReadFile(marker); };

  Result r = Apply("7");
  EXPECT_EQ(r.status, 0) << ReadFile(dir_.File("stderr.txt"));
  EXPECT_TRUE(Eventually([&] { return Addresses().rfind("10.77.0.1", 0) == 0; })) << Addresses();
  EXPECT_EQ(dialed(), "");

  for (const char* id : {"8", "9"}) {
    r = Apply(id);
    EXPECT_EQ(r.status, 0) << id << ReadFile(dir_.File("stderr.txt"));
    EXPECT_EQ(Addresses(), "") << id;
    EXPECT_EQ(DefaultRoutes(), "") << id;
    EXPECT_NE(Export(kInterfaceKey).find("\"EnableDHCP\"=dword:00000001"), std::string::npos);
  }
  EXPECT_TRUE(Eventually([&] { return dialed() == "dialed\ndialed\n"; })) << dialed();

  r = Apply("10");
  EXPECT_EQ(r.status, 0) << ReadFile(dir_.File("stderr.txt"));
  EXPECT_EQ(r.out, "Network environment is successfully established.\n");
  EXPECT_EQ(Addresses(), "10.77.0.60/24\n");
  EXPECT_EQ(DefaultRoutes(), "default via 10.77.0.2 dev nv0 metric 1 \n");
  EXPECT_EQ(ResolvConf(), "nameserver 10.77.0.54\n");
  EXPECT_TRUE(Eventually([&] { return dialed() == "dialed\ndialed\ndialed\n"; })) << dialed();
}

TEST_F(SandboxApply, AResponderThatCannotAnswerEndsWithTheTimeoutMessage) {
  BrokenLegacyLocation();
  const Result r = Apply("4", "NETVANE_WINDOWS_VERSION=98");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Troubles occurred in binding selected location data to your system.\n");
  EXPECT_EQ(Addresses(), "");
  EXPECT_EQ(
      Export("HKLM\\SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\0000").find("0a,4d,00,1f"),
      std::string::npos);
}

TEST_F(SandboxApply, AStaticLocationThatDoesNotTakeIsRestoredToTheDhcpOneBeforeIt) {
  ASSERT_EQ(Apply("2").status, 0);
  ASSERT_TRUE(Eventually([&] { return !Addresses().empty(); }));
  // The network's own address: netsh refuses it, so the read-back finds the old values.
  Seed(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\6]\n"
      "\"SessionName\"=\"Typo\"\n\"NIC_ID\"=\"nv0\"\n\"NIC_NAME\"=\"nv0\"\n"
      "\"ServiceType\"=\"USE_STATIC_IP\"\n\"ExecutePath\"=\"\"\n"
      "\"UseProxy\"=\"No\"\n\"UseWinNetwork\"=\"No\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\6\\TCP/IP]\n"
      "\"IPAddress\"=\"10.77.0.0\"\n\"SubnetMask\"=\"255.255.255.0\"\n\"Gateway\"=\"10.77.0.2\"\n"
      "\"DNS\"=\"10.77.0.54\"\n\"Lease\"=\"3600\"\n");
  const Result r = InSandbox("netvanectl apply 6 --restore-on-failure");
  EXPECT_EQ(r.status, 1) << ReadFile(dir_.File("stderr.txt"));
  EXPECT_EQ(r.out,
            "Troubles occurred in binding selected location data to your system.\n"
            "Restoring the previous location \"Home (DHCP)\".\n"
            "netvanectl: the previous location \"Home (DHCP)\" was restored.\n");
  // Leased again, with the network's route and server instead of the failed location's.
  ASSERT_TRUE(Eventually([&] {
    return Addresses().rfind("10.77.0.1", 0) == 0 &&
           Export(kInterfaceKey).find("\"EnableDHCP\"=dword:00000001") != std::string::npos &&
           DefaultRoutes() == "default via 10.77.0.1 dev nv0 metric 1 \n";
  })) << Addresses()
      << DefaultRoutes() << Export(kInterfaceKey);
  EXPECT_EQ(ResolvConf(), "nameserver 10.77.0.53\n");
  EXPECT_NE(Export("HKLM\\SOFTWARE\\Orlenta\\SessionInfo\\2").find("\"SessionActive\"=\"YES\""),
            std::string::npos);
  EXPECT_NE(Export("HKLM\\SOFTWARE\\Orlenta\\SessionInfo\\6").find("\"SessionActive\"=\"NO\""),
            std::string::npos);
}

TEST_F(SandboxApply, OnWindows98APollThatRunsOutIsRestoredToTheDhcpLocationBeforeIt) {
  BrokenLegacyLocation();
  Seed(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\7]\n"
      "\"SessionName\"=\"Home 98\"\n\"NIC_ID\"=\"02-4E-56-00-00-01\"\n\"NIC_NAME\"=\"nv0\"\n"
      "\"ServiceType\"=\"USE_DHCP\"\n\"SessionActive\"=\"YES\"\n");
  const Result r =
      InSandbox("netvanectl apply 4 --restore-on-failure", "NETVANE_WINDOWS_VERSION=98");
  EXPECT_EQ(r.status, 1) << ReadFile(dir_.File("stderr.txt"));
  EXPECT_EQ(r.out,
            "Troubles occurred in binding selected location data to your system.\n"
            "Restoring the previous location \"Home 98\".\n"
            "netvanectl: the previous location \"Home 98\" was restored.\n");
  // The network's DHCP server leases the adapter again.
  EXPECT_TRUE(Eventually([&] { return Addresses().rfind("10.77.0.1", 0) == 0; })) << Addresses();
  EXPECT_NE(Export("HKLM\\SOFTWARE\\Orlenta\\SessionInfo\\7").find("\"SessionActive\"=\"YES\""),
            std::string::npos);
}

TEST_F(SandboxApply, AnAdapterNameWithBlanksAndQuotesDoesNoHarm) {
  const std::string marker = "/tmp/netvane-e2e-" + id_;
  Seed(
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\5]\n"
      "\"SessionName\"=\"Odd\"\n"
      "\"NIC_ID\"=\"nv0 \\\"x\\\"; touch " +
      marker + "-a; $(touch " + marker + "-b) `touch " + marker +
      "-c`\"\n"
      "\"NIC_NAME\"=\"nv0\"\n\"ServiceType\"=\"USE_STATIC_IP\"\n\"ExecutePath\"=\"\"\n"
      "\"UseProxy\"=\"No\"\n\"UseWinNetwork\"=\"No\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\5\\TCP/IP]\n"
      "\"IPAddress\"=\"10.77.0.40\"\n\"SubnetMask\"=\"255.255.255.0\"\n\"Gateway\"=\"10.77.0.1\"\n"
      "\"DNS\"=\"10.77.0.53\"\n\"Lease\"=\"3600\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlenta\\SessionInfo\\6]\n"
      "\"SessionName\"=\"Odd DHCP\"\n"
      "\"NIC_ID\"=\"nv0; touch " +
      marker +
      "-d\"\n"
      "\"NIC_NAME\"=\"nv0\"\n\"ServiceType\"=\"USE_DHCP\"\n");
  Result r = Apply("5");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Troubles occurred in binding selected location data to your system.\n");
  r = Apply("6");
  EXPECT_EQ(r.status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  for (const char* suffix : {"-a", "-b", "-c", "-d"}) {
    EXPECT_FALSE(fs::exists(marker + suffix)) << marker + suffix;
  }
  // The real interface was not touched.
  EXPECT_EQ(Addresses(), "");
  EXPECT_EQ(DefaultRoutes(), "");
  EXPECT_EQ(ResolvConf(), "");
  EXPECT_EQ(Export(kInterfaceKey).find("IPAddress"), std::string::npos);
}

}  // namespace
}  // namespace netvane::testing
