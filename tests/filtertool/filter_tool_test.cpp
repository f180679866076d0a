// NVEFilter's device requests, byte for byte, and the host program against a driver stand-in.
#include "filtertool/filter_tool.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "platform/bytes.h"
#include "platform/posix/socket_device.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using filtertool::RunFilterCommand;

constexpr uint32_t kQuery = 0x80000004;
constexpr uint32_t kSet = 0x80000008;

// The block the tool sends first: zeros, "MSTCP" at 0 and the name at 32.
std::vector<uint8_t> QueryBlock(const std::string& name) {
  std::vector<uint8_t> b(126, 0);
  std::memcpy(b.data(), "MSTCP", 5);
  std::memcpy(b.data() + 32, name.data(), std::min<size_t>(name.size(), 63));
  return b;
}

TEST(FilterTool, SwitchingOnQueriesThenSetsStateOne) {
  FakeDevice device;
  RunFilterCommand("L 0000", device);
  ASSERT_EQ(device.requests.size(), 2u);
  EXPECT_EQ(device.requests[0].code, kQuery);
  EXPECT_EQ(device.requests[0].block, QueryBlock("0000"));
  EXPECT_EQ(device.requests[1].code, kSet);
  std::vector<uint8_t> set = QueryBlock("0000");
  set[108] = 1;
  EXPECT_EQ(device.requests[1].block, set);
  // A fresh device handle for each request, each closed again.
  EXPECT_EQ(device.opened_names, (std::vector<std::string>{"\\\\.\\NVEFLT", "\\\\.\\NVEFLT"}));
  EXPECT_EQ(device.open_handles, 0);
}

TEST(FilterTool, OnTreatsAnyNonzeroStateAsOnAndOffActsOnlyOnOne) {
  for (uint8_t state : {1, 2, 255}) {
    FakeDevice device;
    device.state = state;
    RunFilterCommand("l 0000", device);
    EXPECT_EQ(device.requests.size(), 1u) << int(state);
  }
  {
    FakeDevice device;
    device.state = 1;
    RunFilterCommand("U 0003", device);
    ASSERT_EQ(device.requests.size(), 2u);
    std::vector<uint8_t> set = QueryBlock("0003");
    set[108] = 0;
    EXPECT_EQ(device.requests[1].block, set);
    EXPECT_EQ(device.state, 0);
  }
  for (uint8_t state : {0, 2}) {
    FakeDevice device;
    device.state = state;
    RunFilterCommand("u 0000", device);
    EXPECT_EQ(device.requests.size(), 1u) << int(state);
  }
}

TEST(FilterTool, AnyOtherLetterMeansOff) {
  FakeDevice off;
  off.state = 1;
  RunFilterCommand("x 0000", off);
  ASSERT_EQ(off.requests.size(), 2u);
  EXPECT_EQ(off.requests[1].block[108], 0);
  FakeDevice stays;
  RunFilterCommand("x 0000", stays);
  EXPECT_EQ(stays.requests.size(), 1u);
}

TEST(FilterTool, TheSetRequestKeepsWhatTheDriverReturned) {
  // A driver that fills the reserved bytes and leaves junk after the names.
  class FillingDevice : public FakeDevice {
   public:
    bool Control(platform::DeviceHandle h, uint32_t code, uint8_t* buffer, uint32_t size) override {
      const bool ok = FakeDevice::Control(h, code, buffer, size);
      if (code == kQuery) {
        for (int i = 96; i < 108; ++i) buffer[i] = static_cast<uint8_t>(i);
        for (int i = 109; i < 126; ++i) buffer[i] = 0xEE;
        std::memset(buffer, 'Z', 32);
        std::memset(buffer + 32, 'Y', 64);
      }
      return ok;
    }
  } device;
  RunFilterCommand("L 0001", device);
  ASSERT_EQ(device.requests.size(), 2u);
  const std::vector<uint8_t>& set = device.requests[1].block;
  EXPECT_EQ(std::string(set.begin(), set.begin() + 6), std::string("MSTCP\0", 6));
  EXPECT_EQ(set[6], 'Z');  // the rest of the protocol field as the driver left it
  EXPECT_EQ(std::string(set.begin() + 32, set.begin() + 37), std::string("0001\0", 5));
  EXPECT_EQ(set[37], 'Y');
  EXPECT_EQ(set[95], 0);
  EXPECT_EQ(set[100], 100);
  EXPECT_EQ(set[108], 1);
  EXPECT_EQ(set[120], 0xEE);
}

TEST(FilterTool, LongNamesAreCutToSixtyThreeCharacters) {
  FakeDevice device;
  const std::string name(70, 'n');
  RunFilterCommand("L " + name, device);
  ASSERT_FALSE(device.requests.empty());
  const std::vector<uint8_t>& b = device.requests[0].block;
  EXPECT_EQ(std::string(b.begin() + 32, b.begin() + 95), std::string(63, 'n'));
  EXPECT_EQ(b[95], 0);
  EXPECT_EQ(b[96], 0);
}

TEST(FilterTool, NothingIsSentWithoutANameOrWithoutADriver) {
  for (const char* line : {"", "L", "L ", "U"}) {
    FakeDevice device;
    RunFilterCommand(line, device);
    EXPECT_TRUE(device.opened_names.empty()) << '"' << line << '"';
  }
  FakeDevice missing;
  missing.present = false;
  RunFilterCommand("L 0000", missing);
  EXPECT_TRUE(missing.requests.empty());
  FakeDevice refusing;
  refusing.refuse_query = true;
  RunFilterCommand("L 0000", refusing);
  EXPECT_EQ(refusing.requests.size(), 1u);  // the query only
}

// A driver stand-in on the host's device socket: answers the tool's requests and keeps them.
class DriverStandIn {
 public:
  explicit DriverStandIn(const std::string& socket_path, uint8_t state) : state_(state) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socket_path.c_str(), sizeof addr.sun_path - 1);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd_, 4);
    thread_ = std::thread([this] { Serve(); });
  }
  ~DriverStandIn() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::vector<FakeDevice::Request> requests;

 private:
  void Serve() {
    while (true) {
      const int c = accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      uint8_t header[8];
      if (recv(c, header, 8, MSG_WAITALL) == 8) {
        const uint32_t code = platform::GetLe32(header);
        std::vector<uint8_t> block(126);
        recv(c, block.data(), block.size(), MSG_WAITALL);
        requests.push_back({code, block});
        if (code == kQuery) block[108] = state_;
        if (code == kSet) state_ = block[108];
        uint8_t reply[8] = {1, 0, 0, 0, 126, 0, 0, 0};
        send(c, reply, 8, 0);
        send(c, block.data(), block.size(), 0);
      }
      close(c);
    }
  }
  int fd_;
  uint8_t state_;
  std::thread thread_;
};

TEST(NVEFilterProgram, SendsItsRequestsToTheDriverAndEndsSilently) {
  ScratchDir dir;
  const std::string out = dir.File("out.txt");
  // A registry of its own, where the host's built-in driver is not registered.
  const std::string command = "NETVANE_DEVICE_DIR=" + dir.path().string() +
                              " NETVANE_REGISTRY=" + dir.File("registry.db") + " " + NVEFILTER_BIN;
  {
    DriverStandIn driver(dir.File("NVEFLT"), 0);
    EXPECT_EQ(std::system((command + " L 0000 >" + out + " 2>&1").c_str()), 0);
    ASSERT_EQ(driver.requests.size(), 2u);
    EXPECT_EQ(driver.requests[0].block, QueryBlock("0000"));
    EXPECT_EQ(driver.requests[1].code, kSet);
    EXPECT_EQ(driver.requests[1].block[108], 1);
  }
  // No driver: silent, exit status 0.
  EXPECT_EQ(std::system((command + " L 0000 >" + out + " 2>&1").c_str()), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 0u);
  EXPECT_EQ(std::system((command + " >" + out + " 2>&1").c_str()), 0);
}

TEST(SocketDevice, MapsDeviceNamesToSocketsInItsFolder) {
  platform::SocketDevice device("/run/x");
  EXPECT_EQ(device.SocketPath("\\\\.\\NVEFLT"), "/run/x/NVEFLT");
  EXPECT_EQ(device.SocketPath("NVEFLT"), "");
  EXPECT_EQ(device.SocketPath("\\\\.\\a/b"), "");
  EXPECT_EQ(device.Open("\\\\.\\NVEFLT"), platform::kInvalidDevice);
}

}  // namespace
}  // namespace netvane::testing
