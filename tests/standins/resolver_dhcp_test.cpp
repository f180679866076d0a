// The resolver file the stand-ins rewrite, and the loopback DHCP client of the 98/ME renew
// against the engine's own responder, down to the lease the engine's bind poll accepts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/engine.h"
#include "platform/dhcp_message.h"
#include "standins/loopback_dhcp.h"
#include "standins/resolver.h"
#include "standins/system_record.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using standins::RewriteResolvConf;

TEST(ResolvConf, InterfaceServersComeFirstAndEverythingElseStays) {
  const std::string text =
      "# made by hand\nsearch corp.example\nnameserver 10.9.9.9\nnameserver 192.168.1.1\n"
      "options edns0\n";
  EXPECT_EQ(RewriteResolvConf(text, {"192.168.1.1"}, {"192.168.10.1", "8.8.8.8"}),
            "# made by hand\nsearch corp.example\nnameserver 192.168.10.1\nnameserver 8.8.8.8\n"
            "nameserver 10.9.9.9\noptions edns0\n");
  // A new order of the same servers is taken as given.
  EXPECT_EQ(RewriteResolvConf("nameserver 1.1.1.1\nnameserver 2.2.2.2\nnameserver 3.3.3.3\n",
                              {"1.1.1.1", "2.2.2.2"}, {"2.2.2.2", "1.1.1.1"}),
            "nameserver 2.2.2.2\nnameserver 1.1.1.1\nnameserver 3.3.3.3\n");
  // Applying the same servers again leaves the text as it is.
  const std::string once = RewriteResolvConf(text, {"192.168.1.1"}, {"192.168.10.1"});
  EXPECT_EQ(RewriteResolvConf(once, {"192.168.10.1"}, {"192.168.10.1"}), once);
  // A commented-out server is no server.
  EXPECT_EQ(RewriteResolvConf("#nameserver 4.4.4.4\n", {"4.4.4.4"}, {}), "#nameserver 4.4.4.4\n");
}

TEST(ResolvConf, NoServersLeavesNoTrace) {
  EXPECT_EQ(
      RewriteResolvConf("search x\nnameserver 192.168.1.1\nnameserver 192.168.1.2\noptions y\n",
                        {"192.168.1.1", "192.168.1.2"}, {}),
      "search x\noptions y\n");
  EXPECT_EQ(RewriteResolvConf("nameserver 192.168.1.1\n", {"192.168.1.1"}, {}), "");
  EXPECT_EQ(RewriteResolvConf("", {}, {}), "");
  // Without any server line the servers go after the rest.
  EXPECT_EQ(RewriteResolvConf("search x", {}, {"192.0.2.53"}), "search x\nnameserver 192.0.2.53\n");
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

TEST(ResolvConf, SetDnsServersRewritesTheFileInPlace) {
  ScratchDir dir;
  const std::string path = dir.File("resolv.conf");
  std::ofstream(path) << "search corp.example\nnameserver 10.9.9.9\n";
  // A second name for the same file sees the change only when the file is written in place.
  const std::string link = dir.File("bound");
  std::filesystem::create_hard_link(path, link);
  const ino_t before = Inode(path);
  setenv("NETVANE_RESOLV_CONF", path.c_str(), 1);
  // Never the machine's resolver: nothing is called unless the scratch file is the target.
  const bool scratch = standins::ResolvConfPath() == path;
  EXPECT_TRUE(scratch);
  if (scratch) {
    EXPECT_EQ(standins::SetDnsServers("nvx-none0", {}, {"192.0.2.53", "192.0.2.54"}), "");
    EXPECT_EQ(standins::SetDnsServers("nvx-none0", {"192.0.2.53", "192.0.2.54"}, {"192.0.2.54"}),
              "");
  }
  unsetenv("NETVANE_RESOLV_CONF");
  EXPECT_EQ(Inode(path), before);
  EXPECT_EQ(ReadAll(link), "search corp.example\nnameserver 192.0.2.54\nnameserver 10.9.9.9\n");
}

// Two interfaces' servers changed by two processes at once, as two members' requests or two
// stand-ins run as root change them: every change is made whole under one lock, the
// administrator's lines stay, and a reader never finds the file empty or cut while it is
// replaced. A file with a second name (as a bind-mounted one) is written in place instead.
TEST(ResolvConf, ChangesFromManyProcessesKeepTheFileWhole) {
  const std::string own = "search corp.example\nnameserver 10.9.9.9\noptions edns0\n";
  for (const bool linked : {false, true}) {
    ScratchDir dir;
    const std::string path = dir.File("resolv.conf");
    std::ofstream(path) << own;
    if (linked) std::filesystem::create_hard_link(path, dir.File("bound"));
    setenv("NETVANE_RESOLV_CONF", path.c_str(), 1);
    constexpr int kRounds = 200;
    const bool whole = RunInProcesses(3, [&](int i) {
      if (i == 2) {
        // The reader, until both writers are done.
        int bad = 0;
        while (!std::filesystem::exists(dir.File("done0")) ||
               !std::filesystem::exists(dir.File("done1"))) {
          const std::string text = ReadAll(path);
          if (text.find("search corp.example\n") == std::string::npos ||
              text.find("options edns0\n") == std::string::npos)
            ++bad;
        }
        return linked ? 0 : bad;
      }
      const std::string name = "nvx-w" + std::to_string(i);
      std::vector<std::string> had;
      for (int round = 0; round < kRounds; ++round) {
        const std::vector<std::string> servers = {"192.0.2." + std::to_string(10 * i + round % 3)};
        if (!standins::SetDnsServers(name, had, servers).empty()) return 1;
        had = servers;
      }
      std::ofstream(dir.File("done" + std::to_string(i)));
      return 0;
    });
    unsetenv("NETVANE_RESOLV_CONF");
    EXPECT_TRUE(whole) << "linked " << linked;
    const std::string text = ReadAll(path);
    for (const char* line : {"search corp.example\n", "nameserver 10.9.9.9\n", "options edns0\n",
                             "nameserver 192.0.2.1\n", "nameserver 192.0.2.11\n"}) {
      EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    // Written in place, the second name sees it all too.
    if (linked) {
      EXPECT_EQ(ReadAll(dir.File("bound")), text);
    }
  }
}

// The engine on Windows 98 serving one static location, over a registry file.
class LoopbackLeaseTest : public ::testing::Test {
 protected:
  LoopbackLeaseTest() {
    state_.OSKind = engine::kOsWin98;
    location_.LocationId = 4;
    location_.ServiceType = "USE_STATIC_IP";
    location_.IPAddress = "192.168.10.25";
    location_.SubnetMask = "255.255.255.0";
    location_.Gateway = "192.168.10.1,192.168.10.2";
    location_.DNS = "192.168.10.53";
    location_.Lease = 0x123456;
    state_.LocationTable.push_back(location_);
    engine_.PrepareResponder(location_);
  }

  // What the engine's responder answers to `request`, as the datagram it would send.
  std::vector<uint8_t> Answer(const std::vector<uint8_t>& request, int16_t expected_state) {
    engine::DhcpResponder& r = engine_.responder();
    EXPECT_TRUE(r.ParseDhcpRequest(request.data(), request.size()));
    EXPECT_EQ(r.DhcpExchangeState, expected_state);
    EXPECT_TRUE(r.BuildReply(expected_state == engine::kAnswerAck));
    return r.ReplyDatagram();
  }

  static constexpr uint32_t kXid = 0x1234ABCD;
  const std::array<uint8_t, 6> mac_{0x00, 0x50, 0xBA, 0x01, 0x02, 0x0F};
  FakePlatform fake_;
  store::RegistryAccess access_{fake_.registry.registry(), fake_.registry.codepage()};
  engine::AppState state_;
  FakeFrontEnd front_;
  engine::Engine engine_{fake_.services(), access_, state_, front_};
  store::LocationRecord location_;
};

void ExpectLocationLease(const standins::Lease& lease) {
  EXPECT_EQ(lease.address, 0xC0A80A19u);
  EXPECT_EQ(lease.mask, 0xFFFFFF00u);
  EXPECT_EQ(lease.routers, (std::vector<uint32_t>{0xC0A80A01, 0xC0A80A02}));
  EXPECT_EQ(lease.dns, (std::vector<uint32_t>{0xC0A80A35}));
  EXPECT_EQ(lease.seconds, 0xFF123456u);  // 255, then the location's lease stamp
}

TEST_F(LoopbackLeaseTest, TheClientTakesTheResponderOfferAndAck) {
  const std::vector<uint8_t> discover = platform::dhcp::BuildRequest(1, kXid, mac_);
  const std::vector<uint8_t> offer = Answer(discover, engine::kAnswerOffer);
  const std::optional<standins::Lease> offered =
      platform::dhcp::ParseReply(offer.data(), offer.size(), 2, kXid);
  ASSERT_TRUE(offered.has_value());
  ExpectLocationLease(*offered);

  const std::vector<uint8_t> request =
      platform::dhcp::BuildRequest(3, kXid, mac_, offered->address, offered->server);
  const std::vector<uint8_t> ack = Answer(request, engine::kAnswerAck);
  const std::optional<standins::Lease> acked =
      platform::dhcp::ParseReply(ack.data(), ack.size(), 5, kXid);
  ASSERT_TRUE(acked.has_value());
  ExpectLocationLease(*acked);

  // Replies the client must not take.
  EXPECT_FALSE(platform::dhcp::ParseReply(offer.data(), offer.size(), 5, kXid));
  EXPECT_FALSE(platform::dhcp::ParseReply(ack.data(), ack.size(), 5, kXid + 1));
  EXPECT_FALSE(platform::dhcp::ParseReply(discover.data(), discover.size(), 1, kXid));  // a request
  EXPECT_FALSE(
      platform::dhcp::ParseReply(ack.data(), 236 + 4 + 3 + 3, 5, kXid));  // inside the mask
  std::vector<uint8_t> overlong = ack;
  ASSERT_EQ(overlong[236 + 4 + 3], 1);  // the mask option follows the message type
  overlong[236 + 4 + 3 + 1] = 250;      // its length runs past the end
  EXPECT_FALSE(platform::dhcp::ParseReply(overlong.data(), 300, 5, kXid));
  std::vector<uint8_t> no_cookie = ack;
  no_cookie[236] = 0;
  EXPECT_FALSE(platform::dhcp::ParseReply(no_cookie.data(), no_cookie.size(), 5, kXid));
}

TEST_F(LoopbackLeaseTest, TheRecordedLeaseIsWhatTheBindPollAccepts) {
  const std::vector<uint8_t> ack =
      Answer(platform::dhcp::BuildRequest(3, kXid, mac_), engine::kAnswerAck);
  const std::optional<standins::Lease> lease =
      platform::dhcp::ParseReply(ack.data(), ack.size(), 5, kXid);
  ASSERT_TRUE(lease.has_value());
  EXPECT_FALSE(engine_.CheckBinding(4));
  ASSERT_EQ(standins::RecordVxdLease(fake_.registry.registry(), "0001", *lease), 0);

  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\0001";
  const StoredValue ip =
      QueryRaw(fake_.registry.registry(), platform::kHkeyLocalMachine, key, "DHCPIPAddress");
  const StoredValue seconds =
      QueryRaw(fake_.registry.registry(), platform::kHkeyLocalMachine, key, "Lease");
  EXPECT_EQ(ip.type, platform::kRegBinary);
  EXPECT_EQ(ip.data, std::string("\xC0\xA8\x0A\x19", 4));
  EXPECT_EQ(seconds.type, platform::kRegBinary);
  EXPECT_EQ(seconds.data, std::string("\x56\x34\x12\xFF", 4));
  EXPECT_TRUE(engine_.CheckBinding(4));

  // Another address under the same stamp is not the location's binding.
  standins::Lease other = *lease;
  other.address = 0xC0A80A1A;
  ASSERT_EQ(standins::RecordVxdLease(fake_.registry.registry(), "0001", other), 0);
  EXPECT_FALSE(engine_.CheckBinding(4));
}

}  // namespace
}  // namespace netvane::testing
