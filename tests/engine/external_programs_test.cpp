// External programs: the command lines started for releases, renews and the filter switch,
// which are waited for, and the connection program with its failure report.
#include "engine/external_programs.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/platform_error.h"
#include "platform/posix/posix_process.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using engine::ExternalPrograms;
using platform::kErrorSuccess;
using platform::WindowMode;

class ExternalProgramsTest : public ::testing::Test {
 protected:
  ExternalProgramsTest() {
    fake_.process.program_path = "/opt/Net vane/bin/Netvane";
    fake_.process.on_start = [this](const std::string&) {
      // Everything the front end was asked before this start.
      events_at_start_.push_back(front_.events.size());
    };
  }
  void NetClass(std::initializer_list<const char*> names) {
    for (const char* n : names) {
      ASSERT_EQ(
          access_.CreateKey(platform::kHkeyLocalMachine,
                            std::string("System\\CurrentControlSet\\Services\\Class\\Net\\") + n),
          kErrorSuccess);
    }
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& s : fake_.process.started) out.push_back(s.command_line);
    return out;
  }

  FakePlatform fake_;
  store::RegistryAccess access_{fake_.registry.registry(), fake_.registry.codepage()};
  engine::AppState state_;
  FakeFrontEnd front_;
  ExternalPrograms programs_{fake_.services(), access_, state_, front_};
  std::vector<size_t> events_at_start_;
};

TEST_F(ExternalProgramsTest, ProgramDirectoryEndsInOneSeparator) {
  EXPECT_EQ(programs_.ProgramDirectory(), "/opt/Net vane/bin/");
  fake_.process.program_path = "/Netvane";
  EXPECT_EQ(programs_.ProgramDirectory(), "/");
}

TEST_F(ExternalProgramsTest, Win98ReleasesWaitsFiltersRenewsAndPollsByAdapterNumber) {
  state_.OSKind = engine::kOsWin98;
  state_.AdapterTable = {{"Card A", "00-50-BA-01-02-0F"}, {"Card B", "00-50-BA-01-02-10"}};
  NetClass({"0002", "0000", "0001"});
  programs_.ReleaseRenew("00-50-ba-01-02-10", false, true);

  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "ipconfig.exe /release 1",
                         "/opt/Net vane/bin/NVEFilter L 0000",
                         "/opt/Net vane/bin/NVEFilter L 0001",
                         "/opt/Net vane/bin/NVEFilter L 0002",
                         "ipconfig.exe /renew 1",
                     }));
  const auto& started = fake_.process.started;
  EXPECT_TRUE(started[0].waited);
  for (size_t i = 1; i < started.size(); ++i) EXPECT_FALSE(started[i].waited) << i;
  for (const auto& s : started) EXPECT_EQ(s.mode, WindowMode::kHidden);
  // Pending events ran before the release; the poll starts after the renew.
  EXPECT_EQ(front_.events, (std::vector<std::string>{"events", "poll"}));
  EXPECT_EQ(events_at_start_.back(), 1u);
}

TEST_F(ExternalProgramsTest, WinMeWithoutPollNeitherFiltersNorPolls) {
  state_.OSKind = engine::kOsWinMe;
  state_.AdapterTable = {{"Card A", "AA"}};
  NetClass({"0000"});
  programs_.ReleaseRenew("aa", false, false);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"ipconfig.exe /release 0", "ipconfig.exe /renew 0"}));
  EXPECT_EQ(front_.events, std::vector<std::string>{"events"});
}

TEST_F(ExternalProgramsTest, AnAdapterThatIsNotInstalledIsNumberMinusOne) {
  state_.OSKind = engine::kOsWin98;
  state_.AdapterTable = {{"Card A", "AA"}};
  programs_.ReleaseRenew("BB", false, false);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{"ipconfig.exe /release -1", "ipconfig.exe /renew -1"}));
}

TEST_F(ExternalProgramsTest, NtFamiliesUseTheIdentifierAndWaitOnlyForTheRelease) {
  for (int32_t os : {engine::kOsWinNt4, engine::kOsWin2000}) {
    fake_.process.started.clear();
    front_.events.clear();
    state_.OSKind = os;
    NetClass({"0000"});
    programs_.ReleaseRenew("{4D36E972-E325}", false, true);
    ASSERT_EQ(Lines(), (std::vector<std::string>{"ipconfig.exe /release {4D36E972-E325}",
                                                 "ipconfig.exe /renew {4D36E972-E325}"}));
    EXPECT_TRUE(fake_.process.started[0].waited);
    EXPECT_FALSE(fake_.process.started[1].waited);
    // No filter on these systems, even with the poll.
    EXPECT_EQ(front_.events, (std::vector<std::string>{"events", "poll"}));
  }
}

TEST_F(ExternalProgramsTest, WindowEventsRunWhileAProgramIsWaitedFor) {
  fake_.process.running_waits = 3;
  std::vector<int> seen;
  fake_.process.on_wait = [&](const std::string& line) {
    EXPECT_EQ(line, "netsh interface ip delete dns \"Card\" all");
    seen.push_back(front_.events_while_waiting);
  };
  programs_.RunHiddenAndWait("netsh interface ip delete dns \"Card\" all");
  // Events ran after each wait that found the program still running, and not after its end.
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(front_.events_while_waiting, 3);
  EXPECT_TRUE(fake_.process.started[0].waited);
  EXPECT_TRUE(front_.events.empty());
}

TEST_F(ExternalProgramsTest, ReleaseOnlyStopsAfterTheRelease) {
  for (int32_t os : {engine::kOsWin98, engine::kOsWin2000}) {
    fake_.process.started.clear();
    front_.events.clear();
    state_.OSKind = os;
    state_.AdapterTable = {{"Card", "X"}};
    programs_.ReleaseRenew("X", true, true);
    ASSERT_EQ(fake_.process.started.size(), 1u);
    EXPECT_NE(Lines()[0].find("/release"), std::string::npos);
    EXPECT_EQ(front_.events, std::vector<std::string>{"events"});
  }
  state_.OSKind = engine::kOsWin95;
  fake_.process.started.clear();
  programs_.ReleaseRenew("X", false, true);
  EXPECT_TRUE(fake_.process.started.empty());
}

TEST_F(ExternalProgramsTest, FilterSwitchGoesToEveryNetClassInstance) {
  programs_.UnloadDHCPFilter();
  EXPECT_TRUE(fake_.process.started.empty());  // no Class\Net key
  NetClass({"0001", "0000"});
  programs_.UnloadDHCPFilter();
  EXPECT_EQ(Lines(), (std::vector<std::string>{"/opt/Net vane/bin/NVEFilter U 0000",
                                               "/opt/Net vane/bin/NVEFilter U 0001"}));
  for (const auto& s : fake_.process.started) {
    EXPECT_EQ(s.mode, WindowMode::kHidden);
    EXPECT_FALSE(s.waited);
  }
}

TEST_F(ExternalProgramsTest, ACommandThatCannotStartReachesTheCaller) {
  state_.OSKind = engine::kOsWin2000;
  fake_.process.missing = {"ipconfig.exe"};
  EXPECT_THROW(programs_.ReleaseRenew("X", false, false), platform::PlatformError);
}

TEST_F(ExternalProgramsTest, LaunchesTheConnectionProgramThroughTheShell) {
  fake_.shell.existing = {"/opt/dialer/Dial Up.exe"};
  programs_.LaunchProgramReportingFailure("/opt/dialer/Dial Up.exe");
  ASSERT_EQ(fake_.shell.invoked.size(), 1u);
  EXPECT_EQ(fake_.shell.invoked[0],
            (std::pair<std::string, std::string>{"/opt/dialer/", "Dial Up.exe"}));
  EXPECT_TRUE(front_.prompt.shown.empty());
}

TEST_F(ExternalProgramsTest, FailureReportShowsTheShellError) {
  programs_.LaunchProgramReportingFailure("/opt/dialer/missing.exe");
  ASSERT_EQ(front_.prompt.shown.size(), 1u);
  EXPECT_EQ(front_.prompt.shown[0].text,
            "Error in executing the internet connecting program.\r\nError Code : 3\r\n"
            "Error Description : The system cannot find the path specified.[Shell.Application]");
  EXPECT_EQ(front_.prompt.shown[0].icon, engine::PromptIcon::kNone);
  EXPECT_EQ(front_.prompt.shown[0].buttons, engine::PromptButtons::kOk);
}

TEST_F(ExternalProgramsTest, APathOfBlanksStartsNothingAndReportsErrorZero) {
  EXPECT_FALSE(programs_.LaunchProgram("   "));
  programs_.LaunchProgramReportingFailure("   ");
  ASSERT_EQ(front_.prompt.shown.size(), 1u);
  EXPECT_EQ(front_.prompt.shown[0].text,
            "Error in executing the internet connecting program.\r\nError Code : 0\r\n"
            "Error Description : []");
  EXPECT_TRUE(fake_.shell.invoked.empty());
}

// With real processes: a renew that never ends does not hold the apply up.
TEST(ExternalProgramsReal, ARenewThatNeverEndsDoesNotBlock) {
  ScratchDir dir;
  const std::string tool = dir.File("ipconfig");
  const std::string pid_file = dir.File("renew.pid");
  std::ofstream(tool) << "#!/bin/sh\n"
                      << "[ \"$1\" = /renew ] || exit 0\n"
                      << "echo $$ > '" << pid_file << ".tmp' && mv '" << pid_file << ".tmp' '"
                      << pid_file << "'\n"
                      << "exec sleep 600\n";
  std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  // A program of this folder: the tool beside it is found first.
  class InScratch : public platform::PosixProcess {
   public:
    explicit InScratch(std::string path) : path_(std::move(path)) {}
    std::string ProgramPath() const override { return path_; }

   private:
    std::string path_;
  };

  FakePlatform fake;
  InScratch process(dir.File("Netvane"));
  platform::Platform services{fake.ServicesWith(process)};
  store::RegistryAccess access(fake.registry.registry(), fake.registry.codepage());
  engine::AppState state;
  state.OSKind = engine::kOsWin2000;
  FakeFrontEnd front;
  ExternalPrograms programs(services, access, state, front);
  programs.ReleaseRenew("eth0", false, true);
  EXPECT_EQ(front.events, (std::vector<std::string>{"events", "poll"}));

  // ReleaseRenew has returned while the renew is still running.
  for (int tries = 0; tries < 500 && !std::filesystem::exists(pid_file); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream in(pid_file);
  pid_t renew = 0;
  ASSERT_TRUE(in >> renew);
  EXPECT_EQ(kill(renew, 0), 0);
  kill(renew, SIGTERM);
}

}  // namespace
}  // namespace netvane::testing
