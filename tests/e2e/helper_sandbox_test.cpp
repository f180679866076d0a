// The privileged helper in the sandbox: it runs as root inside the client namespace on a
// scratch socket, and the programs run as an ordinary user in the group netvane (or outside
// it), as a desktop session would.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "platform/posix/helper_wire.h"
#include "sandbox_fixture.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kMember[] = "netvane-e2e";
constexpr char kOutsider[] = "netvane-e2e-out";

class HelperSandbox : public SandboxApply {
 protected:
  void SetUp() override {
    SandboxApply::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // Test runs in parallel must not edit the user database at once.
    const Result users = RunShell(
        "flock /run/netvane-e2e-users.lock sh -c '"
        "getent group netvane >/dev/null || groupadd --system netvane; "
        "id -u netvane-e2e >/dev/null 2>&1 || useradd --system -M -s /usr/sbin/nologin "
        "netvane-e2e; usermod -a -G netvane netvane-e2e; "
        "id -u netvane-e2e-out >/dev/null 2>&1 || useradd --system -M -s /usr/sbin/nologin "
        "netvane-e2e-out' 2>&1");
    ASSERT_EQ(users.status, 0) << users.out;
    // The users reach the socket and write their registry file.
    RunShell("chmod -R a+rwX '" + dir_.path().string() + "'");
    socket_ = dir_.File("helper.sock");
    const Result started = RunShell("ip netns exec " + Namespace() + " " + Bin("netvane-helper") +
                                    " --socket '" + socket_ + "' --state '" + dir_.File("state") +
                                    "' >/dev/null 2>'" + dir_.File("helper.log") + "' & echo $!");
    helper_pid_ = std::atoi(started.out.c_str());
    ASSERT_GT(helper_pid_, 0);
    ASSERT_TRUE(Eventually([&] { return fs::exists(socket_); })) << ReadFile(Log());
    As(kMember);
  }

  void TearDown() override {
    if (helper_pid_ > 0) kill(helper_pid_, SIGTERM);
    SandboxApply::TearDown();
  }

  void As(const std::string& user) {
    runner_ = "setpriv --reuid=" + user + " --regid=" + user +
              " --init-groups env NETVANE_HELPER_SOCKET='" + socket_ + "'";
  }

  std::string Log() const { return dir_.File("helper.log"); }
  std::string Stderr() const { return ReadFile(dir_.File("stderr.txt")); }

  // One raw request over the socket; the reply's bytes.
  std::string Ask(const std::string& request) {
    const int s = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socket_.c_str(), sizeof addr.sun_path - 1);
    std::string reply(2048, '\0');
    ssize_t n = -1;
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        send(s, request.data(), request.size(), 0) >= 0) {
      n = recv(s, reply.data(), reply.size(), 0);
    }
    close(s);
    reply.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return reply;
  }

  std::string socket_;
  pid_t helper_pid_ = -1;
};

TEST_F(HelperSandbox, AMemberOfTheGroupAppliesStaticDhcpAndWindows98Locations) {
  ExpectStaticLocationApplied(Apply("1"));
  // The stand-ins recorded the outcome in the user's registry file themselves.
  EXPECT_NE(Export(kInterfaceKey).find("\"NameServer\"=\"10.77.0.53,10.77.0.54\""),
            std::string::npos);

  Result r = Apply("2");
  EXPECT_EQ(r.status, 0) << Stderr();
  std::string address;
  ASSERT_TRUE(Eventually([&] {
    const std::string text = Export(kInterfaceKey);
    const size_t at = text.find("\"DhcpIPAddress\"=\"10.77.0.1");
    if (at == std::string::npos) return false;
    address = text.substr(at + 17, text.find('"', at + 17) - at - 17);
    return Addresses() == address + "/24\n";
  })) << Export(kInterfaceKey)
      << ReadFile(Log());
  EXPECT_EQ(DefaultRoutes(), "default via 10.77.0.1 dev nv0 metric 1 \n");
  // The static servers went with the static location; the lease's server came.
  EXPECT_EQ(ResolvConf(), "nameserver 10.77.0.53\n");
  EXPECT_NE(Export(kInterfaceKey).find("\"DhcpServer\"=\"10.77.0.1\""), std::string::npos);

  // The responder listens on the socket the helper bound to port 67 for it.
  r = Apply("3", "NETVANE_WINDOWS_VERSION=98");
  EXPECT_EQ(r.status, 0) << Stderr() << ReadFile(Log());
  EXPECT_EQ(r.out, "Network environment is successfully established.\n");
  EXPECT_EQ(Addresses(), "10.77.0.30/24\n");
  EXPECT_EQ(DefaultRoutes(), "default via 10.77.0.1 dev nv0 metric 1 \n");
  EXPECT_NE(Export("HKLM\\SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP")
                .find("\"DHCPIPAddress\"=hex:0a,4d,00,1e\r\n\"Lease\"=hex:10,0e,00,ff"),
            std::string::npos);
  EXPECT_EQ(ReadFile(Log()).find("refused"), std::string::npos) << ReadFile(Log());
}

TEST_F(HelperSandbox, AUserOutsideTheGroupIsRefusedAndNothingChanges) {
  As(kOutsider);
  // The socket's mode keeps them out; without root the kernel refuses the change too.
  Result r = Apply("1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(Stderr().find("Operation not permitted"), std::string::npos) << Stderr();
  // With the socket open to all, the helper's own check refuses them.
  fs::permissions(socket_, fs::perms::all);
  r = InSandbox("netsh interface ip set address nv0 static 10.77.0.99 255.255.255.0");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Stderr(),
            "netsh: not permitted: user netvane-e2e-out is not a member of group netvane\n");
  EXPECT_NE(ReadFile(Log()).find("refused uid "), std::string::npos) << ReadFile(Log());
  EXPECT_EQ(Addresses(), "");
  EXPECT_EQ(DefaultRoutes(), "");
  EXPECT_EQ(ResolvConf(), "");
}

TEST_F(HelperSandbox, MalformedAndHostileRequestsAreRefusedWithNothingChanged) {
  using namespace std::string_literals;
  const std::string marker = dir_.File("touched");
  const std::pair<std::string, std::string> cases[] = {
      {"\x01\x01nv0\0"s
       "10.77.0.9\0"s
       "255.0.255.0\0"s,
       "\x01\x02\"255.0.255.0\" is not a valid subnet mask\0"s},
      {"\x01\x01nv0\0"s
       "10.77.0.255\0"s
       "255.255.255.0\0"s,
       "\x01\x02\"10.77.0.255\" is not a valid address: the network's broadcast address\0"s},
      {"\x01\x04nv0\0"s
       "10.77.0.1\0"s
       "10000\0"s,
       "\x01\x02\"10000\" is not a valid gateway metric\0"s},
      {"\x01\x06nv0\0"s
       "224.0.0.1\0"s
       "1\0"s,
       "\x01\x02\"224.0.0.1\" is not a valid DNS server address: a multicast address\0"s},
      {"\x01\x02nv0;touch "s + marker + "\0"s,
       "\x01\x02there is no interface named \"nv0;touch "s + marker + "\"\0"s},
      {"\x01\x02../../etc/passwd\0"s,
       "\x01\x02there is no interface named \"../../etc/passwd\"\0"s},
      {"\x01\x02lo\0"s, "\x01\x01there is no Ethernet interface named \"lo\"\0"s},
      {"\x01\x02nv0\0"s
       "extra\0"s,
       "\x01\x02wrong number of arguments\0"s},
      {"\x01\x63"s, "\x01\x02unknown operation 99\0"s},
      {"\x02\x02nv0\0"s, "\x01\x02malformed request\0"s},
      {"\x01\x02nv0"s, "\x01\x02malformed request\0"s},
      {"\x01\x02"s + std::string(4000, 'x') + "\0"s, "\x01\x02malformed request\0"s},
  };
  for (const auto& [request, reply] : cases) EXPECT_EQ(Ask(request), reply) << request;
  EXPECT_FALSE(fs::exists(marker));
  EXPECT_EQ(Addresses(), "");
  EXPECT_EQ(ResolvConf(), "");

  // The responder's socket arrives bound to 127.0.0.1:67.
  setenv("NETVANE_HELPER_SOCKET", socket_.c_str(), 1);
  int fd = -1;
  const std::optional<helper::Reply> got =
      helper::CallHelper(helper::EncodeRequest(helper::Operation::kResponderSocket, {}), &fd);
  ASSERT_TRUE(got.has_value());
  ASSERT_GE(fd, 0) << got->message;
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size), 0);
  EXPECT_EQ(ntohs(bound.sin_port), 67);
  EXPECT_EQ(ntohl(bound.sin_addr.s_addr), INADDR_LOOPBACK);
  close(fd);
}

}  // namespace
}  // namespace netvane::testing
