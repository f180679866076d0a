// Processes on the host, with real children: what arguments they receive, how the program is
// found, waiting, exit codes, and that no child is left a zombie.
#include "platform/posix/posix_process.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/command_line.h"
#include "platform/platform_error.h"
#include "platform/posix/posix_shell.h"
#include "test_support.h"

namespace netvane::testing {
namespace {

using platform::kErrorFileNotFound;
using platform::kErrorPathNotFound;
using platform::PlatformError;
using platform::WindowMode;
using Args = std::vector<std::string>;

// The argument lists the dump program wrote, one per run.
std::vector<Args> ReadDumps(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<Args> runs;
  std::string line;
  while (std::getline(in, line)) {
    Args args;
    std::string current;
    for (char c : line) {
      if (c == '\0') {
        args.push_back(current);
        current.clear();
      } else {
        current.push_back(c);
      }
    }
    runs.push_back(args);
  }
  return runs;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    had_ = std::getenv(name) != nullptr;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

class PosixProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dump_ = dir_.File("dump");
    // The dump program is built beside this test.
    dump_program_ =
        (std::filesystem::path(process_.ProgramPath()).parent_path() / "argv_dump").string();
    ASSERT_TRUE(std::filesystem::exists(dump_program_));
  }

  // Copies the dump program to `path` (creating folders).
  void InstallDump(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(dump_program_, path,
                               std::filesystem::copy_options::overwrite_existing);
  }

  ScratchDir dir_;
  platform::PosixProcess process_;
  std::string dump_;
  std::string dump_program_;
};

TEST_F(PosixProcessTest, AwkwardArgumentsReachTheChildAsPlainData) {
  ScopedEnv file("ARGV_DUMP_FILE", dump_);
  const Args awkward = {"Local Area Connection",
                        "quote\"d",
                        "a;b",
                        "$(touch " + dir_.File("pwned") + ")",
                        "`touch " + dir_.File("pwned2") + "`",
                        "trail\\",
                        "*",
                        "",
                        "x  y"};
  std::string line = "argv_dump";
  for (const std::string& a : awkward) line += " " + platform::QuoteArgument(a);
  process_.Wait(process_.Start(line, WindowMode::kHidden));
  const std::vector<Args> runs = ReadDumps(dump_);
  ASSERT_EQ(runs.size(), 1u);
  Args expected = {"argv_dump"};
  expected.insert(expected.end(), awkward.begin(), awkward.end());
  EXPECT_EQ(runs[0], expected);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("pwned")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("pwned2")));
}

TEST_F(PosixProcessTest, TheEngineCommandTextsSplitAsOnWindows) {
  ScopedEnv file("ARGV_DUMP_FILE", dump_);
  process_.Wait(
      process_.Start("argv_dump interface ip set address \"Local Area Connection 2\"  source=dhcp",
                     WindowMode::kHidden));
  // An adapter name holding a quote goes in unchanged, and splits as Windows splits it.
  process_.Wait(process_.Start("argv_dump interface ip set address \"My \"Card\"  source=dhcp",
                               WindowMode::kHidden));
  const std::vector<Args> runs = ReadDumps(dump_);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0], (Args{"argv_dump", "interface", "ip", "set", "address",
                           "Local Area Connection 2", "source=dhcp"}));
  EXPECT_EQ(runs[1],
            (Args{"argv_dump", "interface", "ip", "set", "address", "My Card  source=dhcp"}));
}

TEST_F(PosixProcessTest, FindsProgramsBesideItselfThenOnThePath) {
  ScopedEnv file("ARGV_DUMP_FILE", dump_);
  // Beside the running program, with or without the Windows ending.
  process_.Wait(process_.Start("argv_dump.exe one", WindowMode::kHidden));
  EXPECT_EQ(process_.FindProgram("argv_dump.exe"), dump_program_);
  // On the PATH: a program that is not beside this one.
  InstallDump(dir_.File("onpath/pathtool"));
  {
    ScopedEnv path("PATH", dir_.File("onpath") + ":/usr/bin:/bin");
    process_.Wait(process_.Start("pathtool.exe two", WindowMode::kHidden));
    EXPECT_EQ(process_.FindProgram("pathtool"), dir_.File("onpath/pathtool"));
  }
  // A folder with blanks, unquoted: the shortest name that is a program wins.
  InstallDump(dir_.File("Program Files/Net vane/tool"));
  process_.Wait(process_.Start(dir_.File("Program Files/Net vane/tool") + " three  four",
                               WindowMode::kHidden));
  const std::vector<Args> runs = ReadDumps(dump_);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0], (Args{"argv_dump.exe", "one"}));
  EXPECT_EQ(runs[1], (Args{"pathtool.exe", "two"}));
  EXPECT_EQ(runs[2], (Args{dir_.File("Program Files/Net vane/tool"), "three", "four"}));
}

TEST_F(PosixProcessTest, AProgramThatCannotStartRaisesThePlatformError) {
  try {
    process_.Start("no_such_program_anywhere /renew 0", WindowMode::kHidden);
    FAIL() << "no error raised";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.number(), kErrorFileNotFound);
    EXPECT_EQ(e.description(), "The system cannot find the file specified.");
    EXPECT_EQ(e.source(), "CreateProcess");
  }
  // A file that is there but cannot be run is not a program.
  std::ofstream(dir_.File("notes.txt")) << "text";
  EXPECT_THROW(process_.Start(dir_.File("notes.txt"), WindowMode::kHidden), PlatformError);
  EXPECT_THROW(process_.Start("", WindowMode::kHidden), PlatformError);
}

TEST_F(PosixProcessTest, WaitsForTheEndAndReportsExitCodes) {
  ScopedEnv file("ARGV_DUMP_FILE", dump_);
  ScopedEnv sleep("ARGV_DUMP_SLEEP_MS", "300");
  ScopedEnv code("ARGV_DUMP_EXIT", "7");
  const uint32_t pid = process_.Start("argv_dump", WindowMode::kMinimizedNoFocus);
  EXPECT_EQ(process_.ExitCode(pid), platform::kStillActive);
  EXPECT_FALSE(process_.WaitFor(pid, 10));  // a timed wait ends while it runs
  process_.Wait(pid);
  EXPECT_EQ(process_.ExitCode(pid), 7u);
  EXPECT_EQ(ReadDumps(dump_).size(), 1u);
  process_.Wait(pid);  // an ended process: returns at once
  EXPECT_TRUE(process_.WaitFor(pid, 0));
  process_.Wait(1);  // not ours: returns at once
  EXPECT_TRUE(process_.WaitFor(1, 0));
  EXPECT_THROW(process_.ExitCode(1), PlatformError);
}

// Children of this process that have ended but were not reaped.
int Zombies() {
  int count = 0;
  const std::string me = std::to_string(getpid());
  DIR* proc = opendir("/proc");
  while (dirent* e = readdir(proc)) {
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string text;
    if (!std::getline(stat, text)) continue;
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    std::string state, ppid;
    rest >> state >> ppid;
    if (state == "Z" && ppid == me) ++count;
  }
  closedir(proc);
  return count;
}

TEST_F(PosixProcessTest, ChildrenNotWaitedForLeaveNoZombies) {
  std::vector<uint32_t> pids;
  for (int i = 0; i < 5; ++i) pids.push_back(process_.Start("argv_dump", WindowMode::kHidden));
  // They end on their own; nobody waits.
  for (int tries = 0; tries < 200; ++tries) {
    bool all_done = true;
    for (uint32_t pid : pids)
      all_done = all_done && process_.ExitCode(pid) != platform::kStillActive;
    if (all_done) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (uint32_t pid : pids) EXPECT_EQ(process_.ExitCode(pid), 0u);
  EXPECT_EQ(Zombies(), 0);
}

TEST_F(PosixProcessTest, ShellRunsExecutablesAndNamesExistingFiles) {
  platform::PosixShell shell(process_);
  InstallDump(dir_.File("Dialer Folder/dialer"));
  EXPECT_EQ(shell.ExistingName(dir_.File("Dialer Folder/dialer")), "dialer");
  EXPECT_EQ(shell.ExistingName(dir_.File("Dialer Folder")), "Dialer Folder");
  EXPECT_EQ(shell.ExistingName(dir_.File("Dialer Folder/")), "");
  EXPECT_EQ(shell.ExistingName(dir_.File("missing")), "");

  ScopedEnv file("ARGV_DUMP_FILE", dump_);
  shell.InvokeDefaultVerb(dir_.File("Dialer Folder/"), "dialer");
  for (int tries = 0; tries < 200 && ReadDumps(dump_).empty(); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(ReadDumps(dump_).size(), 1u);
  EXPECT_EQ(ReadDumps(dump_)[0], (Args{dir_.File("Dialer Folder/dialer")}));

  try {
    shell.InvokeDefaultVerb(dir_.File("No Folder/"), "dialer");
    FAIL();
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.number(), kErrorPathNotFound);
    EXPECT_EQ(e.source(), "Shell.Application");
  }
  try {
    shell.InvokeDefaultVerb(dir_.File("Dialer Folder/"), "gone");
    FAIL();
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.number(), kErrorFileNotFound);
  }
  EXPECT_EQ(shell.OpenDocument(dir_.File("missing.chm")), platform::kShellErrorFileNotFound);

  // A web address (anything with a scheme) goes to the desktop's opener unchecked.
  InstallDump(dir_.File("desktop/xdg-open"));
  ScopedEnv path("PATH", dir_.File("desktop") + ":" + std::getenv("PATH"));
  EXPECT_GT(shell.OpenDocument("https://www.netvane.example/help?x=1"),
            platform::kShellExecuteLastError);
  EXPECT_GT(shell.OpenDocument("mailto:help@netvane.example"), platform::kShellExecuteLastError);
  for (int tries = 0; tries < 1000 && ReadDumps(dump_).size() < 3; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::vector<Args> runs = ReadDumps(dump_);
  ASSERT_EQ(runs.size(), 3u);
  // The two openers run side by side: either may write first.
  std::vector<std::string> opened = {runs[1].back(), runs[2].back()};
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened, (std::vector<std::string>{"https://www.netvane.example/help?x=1",
                                              "mailto:help@netvane.example"}));
}

}  // namespace
}  // namespace netvane::testing
