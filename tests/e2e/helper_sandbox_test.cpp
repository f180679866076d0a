// The privileged helper in the sandbox: it runs as root inside the client namespace on a
// scratch socket, and the programs run as an ordinary user in the group netvane (or outside
// it), as a desktop session would.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <vector>

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
    // The users write their registry file; the helper makes its own folders.
    RunShell("chmod -R a+rwX '" + dir_.path().string() + "'");
    socket_ = dir_.File("run/helper.sock");
    StartHelper("");
    As(kMember);
  }

  void TearDown() override {
    StopHelper();
    SandboxApply::TearDown();
  }

  // The helper in the client namespace, as an administrator would start it: the sandbox's
  // interface is no network card's, so it is named.
  void StartHelper(const std::string& options) {
    StopHelper();
    const Result started =
        RunShell("ip netns exec " + Namespace() + " " + Bin("netvane-helper") + " --socket '" +
                 socket_ + "' --state '" + dir_.File("state") + "' --interface nv0 " + options +
                 " >/dev/null 2>>'" + Log() + "' & echo $!");
    helper_pid_ = std::atoi(started.out.c_str());
    ASSERT_GT(helper_pid_, 0);
    ASSERT_TRUE(Eventually([&] { return fs::exists(socket_); })) << ReadFile(Log());
  }
  void StopHelper() {
    if (helper_pid_ <= 0) return;
    kill(helper_pid_, SIGTERM);
    Eventually([&] { return kill(helper_pid_, 0) != 0; });
    helper_pid_ = -1;
    fs::remove(socket_);
  }

  void As(const std::string& user) {
    runner_ = "setpriv --reuid=" + user + " --regid=" + user +
              " --init-groups env NETVANE_HELPER_SOCKET='" + socket_ + "'";
  }

  // DHCP clients running in the client namespace.
  int DhcpClients() {
    return std::atoi(
        RunShell("ip netns pids " + Namespace() + " | xargs -r ps -o comm= -p | grep -c '^udhcpc$'")
            .out.c_str());
  }
  void Run(const std::string& command) {
    EXPECT_EQ(InSandbox(command).status, 0) << command << ": " << Stderr() << ReadFile(Log());
  }

  std::string Log() const { return dir_.File("helper.log"); }
  std::string Stderr() const { return ReadFile(dir_.File("stderr.txt")); }

  // A connection to the helper's socket, or -1.
  int Connect() const {
    const int s = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socket_.c_str(), sizeof addr.sun_path - 1);
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return s;
    close(s);
    return -1;
  }

  // The reply's bytes on a connection (empty when none came).
  static std::string Reply(int s) {
    std::string reply(2048, '\0');
    const ssize_t n = recv(s, reply.data(), reply.size(), 0);
    reply.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return reply;
  }

  // One raw request over the socket; the reply's bytes.
  std::string Ask(const std::string& request) {
    const int s = Connect();
    const std::string reply =
        s >= 0 && send(s, request.data(), request.size(), 0) >= 0 ? Reply(s) : "";
    if (s >= 0) close(s);
    return reply;
  }

  // In a forked child: the member's identity in place of root's.
  static void BecomeMember() {
    const passwd* member = getpwnam(kMember);
    if (member == nullptr || initgroups(kMember, member->pw_gid) != 0 ||
        setgid(member->pw_gid) != 0 || setuid(member->pw_uid) != 0) {
      _exit(1);
    }
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

// The resolver file's own lines stay whatever the order of a lease naming one of its servers,
// an added server, a release and a deletion; an interface gets at most 16 servers, and a
// deletion leaves none of them behind.
TEST_F(HelperSandbox, TheResolverFilesOwnLinesStayAndNoAddedServerIsLeftBehind) {
  const std::string own = "search corp.example\nnameserver 10.77.0.53\n";
  const std::string file = "/etc/netns/" + Namespace() + "/resolv.conf";
  const auto run = [&](const std::string& command) {
    EXPECT_EQ(InSandbox(command).status, 0) << command << ": " << Stderr() << ReadFile(Log());
  };
  run("netsh interface ip set address nv0 source=dhcp");
  const std::string add = "netsh interface ip add dns nv0 10.77.0.54";
  const std::string drop = "netsh interface ip delete dns nv0 all";
  for (const auto& order :
       {std::vector<std::string>{"ipconfig /renew nv0", add, "ipconfig /release nv0", drop},
        std::vector<std::string>{add, "ipconfig /renew nv0", drop, "ipconfig /release nv0"}}) {
    std::ofstream(file) << own;
    for (const std::string& command : order) run(command);
    EXPECT_EQ(ResolvConf(), own) << order[0];
  }

  for (int i = 1; i <= 16; ++i) run("netsh interface ip add dns nv0 10.77.1." + std::to_string(i));
  EXPECT_EQ(InSandbox("netsh interface ip add dns nv0 10.77.1.17").status, 1);
  EXPECT_EQ(Stderr(), "netsh: netvane-helper keeps at most 16 DNS servers for an interface\n");
  run(drop);
  EXPECT_EQ(ResolvConf(), own);
}

// At start the helper makes its missing folders (root's, 0755; the DNS notes' 0700), refuses
// folders another user could put or swap a file in, keeps no descriptor it inherited and holds
// no folder.
TEST_F(HelperSandbox, ItsFoldersAreMadeSafeAndNothingInheritedIsKept) {
  for (const auto& [folder, mode] :
       {std::pair{"run", 0755}, {"state", 0755}, {"state/dns", 0700}}) {
    struct stat st {};
    ASSERT_EQ(lstat(dir_.File(folder).c_str(), &st), 0) << folder;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << folder;
    EXPECT_EQ(st.st_uid, 0u) << folder;
    EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(mode)) << folder;
  }
  StartHelper("7<" + dir_.File("run"));
  EXPECT_FALSE(fs::exists("/proc/" + std::to_string(helper_pid_) + "/fd/7"));
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(helper_pid_) + "/cwd"), "/");

  const std::string member_owned = dir_.File("theirs");
  fs::create_directory(member_owned);
  ASSERT_EQ(RunShell("chown " + std::string(kMember) + " '" + member_owned + "'").status, 0);
  fs::create_directory_symlink("/run", dir_.File("link"));
  const auto refusal = [&](const std::string& socket, const std::string& state) {
    return RunShell(Bin("netvane-helper") + " --socket '" + socket + "' --state '" + state +
                    "' 2>&1; echo \"exit $?\"")
        .out;
  };
  EXPECT_EQ(
      refusal(dir_.File("helper.sock"), dir_.File("state")),
      "netvane-helper: the folder " + dir_.path().string() + " is writable by others\nexit 1\n");
  EXPECT_EQ(refusal(socket_, member_owned),
            "netvane-helper: the folder " + member_owned + " is not owned by root\nexit 1\n");
  EXPECT_EQ(refusal(socket_, dir_.File("link")),
            "netvane-helper: " + dir_.File("link") + " is no folder\nexit 1\n");

  // A link where the helper keeps its note of an interface's servers is not followed.
  struct stat ns {};
  ASSERT_EQ(stat(("/run/netns/" + Namespace()).c_str(), &ns), 0);
  const std::string target = dir_.File("elsewhere");
  std::ofstream(target) << "kept\n";
  fs::create_symlink(target, dir_.File("state/dns/" + std::to_string(ns.st_ino) + "-nv0"));
  EXPECT_EQ(InSandbox("netsh interface ip add dns nv0 10.77.0.54").status, 1);
  EXPECT_EQ(Stderr(), "netsh: cannot keep the DNS servers of nv0\n");
  EXPECT_EQ(ReadFile(target), "kept\n");
}

// A lease's values are checked as netsh's static ones: a lease that fails is not applied and
// the renew fails with the reason; one the kernel takes only in part is taken back whole.
TEST_F(HelperSandbox, ALeaseFromAHostileServerIsCheckedAndNeverHalfApplied) {
  Run("netsh interface ip set address nv0 source=dhcp");
  const std::string refused = "ipconfig: the DHCP server's lease was refused: ";
  const std::pair<std::string, std::string> cases[] = {
      {"127.0.0.5 255.0.0.0 0.0.0.0 10.77.0.53",
       refused + "\"127.0.0.5\" is not a valid address: a loopback address\n"},
      {"224.1.2.3 240.0.0.0 10.77.0.1 10.77.0.53",
       refused + "\"224.1.2.3\" is not a valid address: a multicast address\n"},
      {"10.77.0.150 255.255.255.0 0.0.0.0 10.77.0.53",
       refused + "\"0.0.0.0\" is not a valid gateway: an address of this network only\n"},
      {"10.77.0.150 255.255.255.0 10.77.0.1 224.0.0.1",
       refused + "\"224.0.0.1\" is not a valid DNS server address: a multicast address\n"},
      // A router off the lease's network: the kernel refuses the route after the address.
      {"10.77.0.150 255.255.255.0 10.99.0.1 10.77.0.53", ""},
  };
  // What the interface had, from an honest lease, stays: for a member through the helper, and
  // for root, who runs the DHCP client itself.
  HostileServer("ack 10.77.0.163 255.255.255.0 10.77.0.1 10.77.0.53");
  Run("ipconfig /renew nv0");
  const std::string had[] = {Addresses(), DefaultRoutes(), ResolvConf()};
  ASSERT_EQ(had[0], "10.77.0.163/24\n");
  ASSERT_NE(had[2].find("nameserver 10.77.0.53"), std::string::npos);
  for (const std::string& runner : {runner_, std::string()}) {
    runner_ = runner;
    for (const auto& [lease, message] : cases) {
      HostileServer("ack " + lease);
      EXPECT_EQ(InSandbox("ipconfig /renew nv0").status, 1) << lease << runner;
      if (!message.empty()) {
        EXPECT_EQ(Stderr(), message) << runner;
      } else {
        EXPECT_EQ(Stderr().rfind("ipconfig: ", 0), 0u) << Stderr();
      }
      EXPECT_EQ(Addresses(), had[0]) << lease << runner;
      EXPECT_EQ(DefaultRoutes(), had[1]) << lease << runner;
      EXPECT_EQ(ResolvConf(), had[2]) << lease << runner;
    }
  }
}

// A server that answers every REQUEST with a NAK: the DHCP client is ended at the helper's
// deadline and the renew fails with the timeout message; other requests are served while
// renews wait, and a caller that hangs up ends its own renew.
TEST_F(HelperSandbox, ADhcpServerThatOnlyNaksHoldsNobodyUp) {
  Run("netsh interface ip set address nv0 source=dhcp");
  StartHelper("--dhcp-deadline 4");
  HostileServer("nak");
  for (const char* out : {"renew1.txt", "renew2.txt"}) {
    RunShell("(ip netns exec " + Namespace() + " " + runner_ + " env NETVANE_REGISTRY='" +
             registry_ + "' " + Bin("ipconfig") + " /renew nv0; echo \"exit $?\") >'" +
             dir_.File(out) + "' 2>&1 &");
  }
  ASSERT_TRUE(Eventually([&] { return DhcpClients() == 2; })) << ReadFile(Log());
  Run("netsh interface ip add dns nv0 10.77.0.54");
  EXPECT_EQ(DhcpClients(), 2);
  for (const char* out : {"renew1.txt", "renew2.txt"}) {
    EXPECT_TRUE(
        Eventually([&] { return ReadFile(dir_.File(out)).find("exit") != std::string::npos; }));
    EXPECT_EQ(ReadFile(dir_.File(out)),
              "ipconfig: Unable to contact your DHCP server. Request has timed out.\nexit 1\n");
  }
  EXPECT_EQ(DhcpClients(), 0);

  StartHelper("--dhcp-deadline 600");
  const int s = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, socket_.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  const std::vector<uint8_t> renew = helper::EncodeRequest(helper::Operation::kRenew, {"nv0"});
  ASSERT_EQ(send(s, renew.data(), renew.size(), 0), static_cast<ssize_t>(renew.size()));
  ASSERT_TRUE(Eventually([&] { return DhcpClients() == 1; })) << ReadFile(Log());
  close(s);
  EXPECT_TRUE(Eventually([&] { return DhcpClients() == 0; })) << ReadFile(Log());
}

// A member who opens 100 connections and sends nothing: four are let in and dropped within a
// second, the rest are turned away at once with a message, and another user's request is
// served meanwhile. The delay it sees and the time an idle connection is kept are written to
// the test's output (figures, not limits).
TEST_F(HelperSandbox, AMemberWhoFloodsShutsNobodyElseOut) {
  using Clock = std::chrono::steady_clock;
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t flooder = fork();
  if (flooder == 0) {
    BecomeMember();
    std::vector<int> open;
    const auto start = Clock::now();
    for (int i = 0; i < 100; ++i) open.push_back(Connect());
    char reply[2048] = {};
    const ssize_t n = recv(open[4], reply, sizeof reply, 0);
    recv(open[0], reply + 1024, 1, 0);  // until the helper drops the idle one
    const long dropped_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const std::string text =
        std::string(reply, n > 0 ? static_cast<size_t>(n) : 0) + "|" + std::to_string(dropped_ms);
    if (write(report[1], text.data(), text.size()) < 0) _exit(1);
    pause();
    _exit(0);
  }
  ASSERT_GT(flooder, 0);
  close(report[1]);
  // Another user's request while the member's connections are open.
  Eventually([&] { return RunShell("ss -x | grep -c '" + socket_ + "'").out != "0\n"; });
  const auto asked = Clock::now();
  EXPECT_EQ(Ask(std::string("\x01\x05nv0\0", 6)), std::string("\x01\x00Ok.\0", 6));
  const long delay_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked).count();
  char text[2048] = {};
  const ssize_t n = read(report[0], text, sizeof text - 1);
  kill(flooder, SIGKILL);
  waitpid(flooder, nullptr, 0);
  close(report[0]);
  ASSERT_GT(n, 0);
  const std::string got(text, static_cast<size_t>(n));
  const uid_t uid = getpwnam(kMember)->pw_uid;
  EXPECT_EQ(got.substr(0, got.find('|')),
            "\x01\x02uid " + std::to_string(uid) +
                " has 4 connections to netvane-helper open already; try again when they have "
                "ended" +
                std::string(1, '\0'));
  std::printf(
      "figures: another user's request served in %ld ms under 100 idle connections; an "
      "idle connection dropped after %s ms\n",
      delay_ms, got.substr(got.find('|') + 1).c_str());
  RecordProperty("delay_ms", static_cast<int>(delay_ms));
}

TEST_F(HelperSandbox, AUserOutsideTheGroupIsRefusedAndNothingChanges) {
  As(kOutsider);
  // The socket's mode keeps them out, and they are told why and what to do.
  Result r = Apply("1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(Stderr().find("netsh: changing the network needs root or netvane-helper, and "
                          "netvane-e2e-out may not use netvane-helper (" +
                          socket_ +
                          "): an administrator adds them to group netvane (usermod -aG netvane "
                          "netvane-e2e-out), and they log in again. Nothing was changed.\n"),
            std::string::npos)
      << Stderr();
  // With no helper listening, a member is told that.
  As(kMember);
  StopHelper();
  r = InSandbox("netsh interface ip delete address nv0 gateway=all");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Stderr(),
            "netsh: changing the network needs root or netvane-helper, and no "
            "netvane-helper listens on " +
                socket_ +
                ": an administrator starts it (systemctl enable --now "
                "netvane-helper.socket). Nothing was changed.\n");
  StartHelper("");
  As(kOutsider);
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
  // An interface of no network card that the administrator did not name.
  ASSERT_EQ(RunShell("ip -n " + Namespace() + " link add nv1 type veth peer name nv2").status, 0);
  std::string seventeen = "\x01\x0bnv0\0nodhcp\0"s;
  for (int i = 1; i <= 17; ++i) seventeen += "10.77.0." + std::to_string(i) + "\0"s;
  const std::pair<std::string, std::string> cases[] = {
      {"\x01\x0bnv0\0dhcp\0"s
       "10.77.0.1\0"s
       "224.0.0.1\0"s,
       "\x01\x02\"224.0.0.1\" is not a valid gateway: a multicast address\0"s},
      {seventeen,
       "\x01\x02"
       "at most 16 gateways can be probed at once\0"s},
      {"\x01\x0bnv0\0maybe\0"s, "\x01\x02\"maybe\" is neither dhcp nor nodhcp\0"s},
      {"\x01\x0bnv0\0"s, "\x01\x02wrong number of arguments\0"s},
      {"\x01\x0bnv1\0nodhcp\0"s
       "10.77.0.1\0"s,
       "\x01\x01netvane-helper changes only network cards' interfaces, and \"nv1\" is none (an "
       "administrator can name it with --interface)\0"s},
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
      {"\x01\x02nv1\0"s,
       "\x01\x01netvane-helper changes only network cards' interfaces, and \"nv1\" is none (an "
       "administrator can name it with --interface)\0"s},
      // Nothing of the caller's reaches the log or the reply unescaped or uncut.
      {"\x01\x02nv0\nFORGED log line\0"s,
       "\x01\x02there is no interface named \"nv0\\x0aFORGED log line\"\0"s},
      {"\x01\x02"s + std::string(1000, 'y') + "\0"s,
       "\x01\x02there is no interface named \""s + std::string(64, 'y') + "...\"\0"s},
  };
  for (const auto& [request, reply] : cases) EXPECT_EQ(Ask(request), reply) << request;
  EXPECT_EQ(ReadFile(Log()).find("\nFORGED"), std::string::npos) << ReadFile(Log());
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

// A member who may not open a packet socket probes through the helper and hears what root
// hears; without a helper, or outside the group, they are told why. Nothing changes either way.
TEST_F(HelperSandbox, AMemberProbesThroughTheHelperAndOthersAreToldWhy) {
  const std::string probe = "probe nv0 dhcp 10.77.0.1 10.77.0.2 | sort";
  runner_.clear();
  const Result as_root = ProbeTool(probe);
  ASSERT_EQ(as_root.out.rfind("arp 10.77.0.1 02:4e:56:00:00:fe\narp 10.77.0.2 02:4e:56:00:00:fe\n"
                              "offer 10.77.0.1 10.77.0.1",
                              0),
            0u)
      << as_root.out;
  As(kMember);
  EXPECT_EQ(ProbeTool(probe).out, as_root.out) << ReadFile(Log());

  StopHelper();
  EXPECT_EQ(ProbeTool("probe nv0 nodhcp 10.77.0.1").out,
            "error: probing the network needs root or netvane-helper, and no netvane-helper "
            "listens on " +
                socket_ +
                ": an administrator starts it (systemctl enable --now "
                "netvane-helper.socket).\n");
  StartHelper("");
  As(kOutsider);
  const Result outsider = ProbeTool("probe nv0 nodhcp 10.77.0.1");
  EXPECT_EQ(outsider.status, 1);
  EXPECT_EQ(outsider.out,
            "error: probing the network needs root or netvane-helper, and netvane-e2e-out may not "
            "use netvane-helper (" +
                socket_ +
                "): an administrator adds them to group netvane (usermod -aG netvane "
                "netvane-e2e-out), and they log in again.\n");
  EXPECT_EQ(Addresses(), "");
  EXPECT_EQ(RunShell("ip -n " + Namespace() + " neigh show").out, "");
  EXPECT_EQ(ReadFile("/run/netvane-sandbox/" + id_ + "/leases"), "");
}

// Probes count against a member's connections: with four of theirs running, a fifth is turned
// away at once, while another user's probe (with a gateway named twice) is served; the four are
// answered in turn.
TEST_F(HelperSandbox, AMemberFloodingProbesShutsNobodyElseOut) {
  using namespace std::string_literals;
  // Nobody has the address: each probe runs to the helper's own end.
  const std::vector<uint8_t> slow =
      helper::EncodeRequest(helper::Operation::kProbe, {"nv0", "nodhcp", "10.77.0.99"});
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t member = fork();
  if (member == 0) {
    BecomeMember();
    std::vector<int> open;
    for (int i = 0; i < 5; ++i) {
      open.push_back(Connect());
      if (send(open.back(), slow.data(), slow.size(), 0) < 0) _exit(1);
    }
    std::string text = Reply(open[4]) + "|";
    if (write(report[1], text.data(), text.size()) < 0) _exit(1);
    text.clear();
    for (int i = 0; i < 4; ++i) text += Reply(open[static_cast<size_t>(i)]) + "|";
    if (write(report[1], text.data(), text.size()) < 0) _exit(1);
    _exit(0);
  }
  ASSERT_GT(member, 0);
  close(report[1]);
  char turned_away[2048] = {};
  const ssize_t n = read(report[0], turned_away, sizeof turned_away);
  EXPECT_EQ(Ask("\x01\x0bnv0\0nodhcp\0"s
                "10.77.0.1\0"s
                "10.77.0.1\0"s),
            "\x01\x00\0arp 10.77.0.1 02:4e:56:00:00:fe\0"s);
  std::string served;
  char chunk[2048];
  for (ssize_t m; (m = read(report[0], chunk, sizeof chunk)) > 0;)
    served.append(chunk, static_cast<size_t>(m));
  waitpid(member, nullptr, 0);
  close(report[0]);
  const uid_t uid = getpwnam(kMember)->pw_uid;
  EXPECT_EQ(std::string(turned_away, n > 0 ? static_cast<size_t>(n) : 0),
            "\x01\x02uid " + std::to_string(uid) +
                " has 4 connections to netvane-helper open already; try again when they have "
                "ended\0|"s);
  EXPECT_EQ(served, "\x01\x00\0|\x01\x00\0|\x01\x00\0|\x01\x00\0|"s) << ReadFile(Log());
}

}  // namespace
}  // namespace netvane::testing
