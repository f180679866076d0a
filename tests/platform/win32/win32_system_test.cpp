// The remaining Win32 services and their bundle, against the running system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/windows_family.h"
#include "platform/bytes.h"
#include "platform/platform_error.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_com.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_iphelper.h"
#include "platform/win32/win32_logon_task.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_windows_version.h"
#include "platform/win32/windows_api.h"
#include "wine_support.h"
// After windows.h.
#include <taskschd.h>

namespace netvane::platform {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

TEST(Win32WindowsVersionTest, A64BitProgramRunsOnTheNtFamily) {
  const OsVersion v = Win32WindowsVersion().Reported();
  EXPECT_EQ(v.platform_id, kPlatformWin32Nt);
  EXPECT_GE(v.major, 5u);
  EXPECT_GT(v.build, 0u);
}

// A program with the programs' manifest on Wine's default version (Wine 8 reports Windows 7,
// 6.1, whatever the manifest declares) is on the NT family past version 4: the netsh road.
TEST(Win32WindowsVersionTest, TodaysWindowsTakesTheNetshRoad) {
  const OsVersion v = Win32WindowsVersion().Reported();
  EXPECT_EQ(v.platform_id, kPlatformWin32Nt);
  EXPECT_GE(v.major, 6u) << v.major << "." << v.minor;
  Win32WindowsVersion version;
  EXPECT_EQ(engine::DetectWindowsFamily(version), engine::kOsWin2000);
}

// The manifest each program carries: the window and the updater ask for an administrator,
// netvanectl and netvane-reg run as invoked.
TEST(Win32ProcessTest, ProgramsCarryTheirManifests) {
  const std::string folder =
      std::filesystem::path(Win32Process().ProgramPath()).parent_path().string();
  std::vector<std::pair<const char*, const char*>> programs = {{"netvanectl.exe", "asInvoker"},
                                                               {"netvane-reg.exe", "asInvoker"}};
#ifdef NETVANE_WINDOWS_GUI
  programs.insert(programs.end(), {{"Netvane.exe", "requireAdministrator"},
                                   {"NVEupdate.exe", "requireAdministrator"}});
#endif
  for (const auto& [program, level] : programs) {
    SCOPED_TRACE(program);
    HMODULE module = LoadLibraryExA((folder + "\\" + program).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    const std::string manifest(text, SizeofResource(module, found));
    FreeLibrary(module);
    EXPECT_NE(manifest.find(std::string("level=\"") + level + "\""), std::string::npos);
    // Windows 10 and 11 among the versions it declares.
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
  }
}

TEST(Win32IpHelperTest, TableFollowsTheBufferProtocolAndListsLoopback) {
  Win32IpHelper helper;
  EXPECT_EQ(helper.GetIfTable(nullptr, nullptr, false), 87u);

  uint32_t size = 0;
  ASSERT_EQ(helper.GetIfTable(nullptr, &size, false), 122u);
  ASSERT_GE(size, 4u + kMibIfRowSize);
  uint32_t short_size = 3;
  std::vector<uint8_t> small(short_size);
  EXPECT_EQ(helper.GetIfTable(small.data(), &short_size, false), 122u);
  EXPECT_EQ(short_size, size);

  std::vector<uint8_t> table(size);
  ASSERT_EQ(helper.GetIfTable(table.data(), &size, true), 0u);
  const uint32_t count = GetLe32(table.data());
  ASSERT_GE(count, 1u);
  ASSERT_LE(4u + count * kMibIfRowSize, table.size());

  bool loopback = false;
  uint32_t previous_index = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* row = table.data() + 4 + i * kMibIfRowSize;
    const uint32_t index = GetLe32(row + mib_ifrow::kIndex);
    EXPECT_GT(index, previous_index) << "rows are sorted by index when asked";
    previous_index = index;
    EXPECT_LE(GetLe32(row + mib_ifrow::kDescrLen), 256u);
    EXPECT_LE(GetLe32(row + mib_ifrow::kPhysAddrLen), 8u);
    loopback |= GetLe32(row + mib_ifrow::kType) == kIfTypeLoopback;
  }
  EXPECT_TRUE(loopback);
}

TEST(Win32ProcessTest, ProgramPathNamesThisExecutable) {
  const std::string path = Win32Process().ProgramPath();
  ASSERT_GT(path.size(), 3u);
  EXPECT_TRUE(path[1] == ':' || path.rfind("\\\\", 0) == 0) << path;
  const std::string name = Lower(path.substr(path.find_last_of('\\') + 1));
  EXPECT_EQ(name, "netvane_win32_platform_tests.exe");
  // The path is UTF-8 text, whatever the ANSI code page.
  std::ifstream file(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     std::ios::binary);
  char magic[2] = {};
  file.read(magic, 2);
  EXPECT_EQ(std::string(magic, 2), "MZ");
}

TEST(Win32ProcessTest, TimedWaitSeesTheEnd) {
  Win32Process process;
  const uint32_t pid = process.Start("cmd.exe /c exit 3", WindowMode::kHidden);
  bool ended = false;
  for (int i = 0; i < 1000 && !ended; ++i) ended = process.WaitFor(pid, 10);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(process.WaitFor(0xFFFFFFF0u, 10));  // no such process: nothing to wait for
}

// A program's handle is held from its start until its end has been seen, so its id names it and
// nothing else: its exit code is there after it ended, and a program started later (which
// Windows may give the ended one's process id) has an id of its own.
TEST(Win32ProcessTest, AnIdNamesItsProgramFromStartToEnd) {
  Win32Process process;
  const uint32_t first = process.Start("cmd.exe /c exit 3", WindowMode::kHidden);
  while (!process.WaitFor(first, 10)) {
  }
  const uint32_t second = process.Start("cmd.exe /c exit 5", WindowMode::kHidden);
  EXPECT_NE(second, first);
  EXPECT_EQ(process.ExitCode(first), 3u);
  process.Wait(second);
  EXPECT_EQ(process.ExitCode(second), 5u);
  EXPECT_EQ(process.ExitCode(first), 3u);
  EXPECT_THROW(process.ExitCode(second + 1), PlatformError);
  // A process id, even of a program that runs, names nothing here: it is never reopened.
  EXPECT_THROW(process.ExitCode(GetCurrentProcessId()), PlatformError);
  EXPECT_TRUE(process.WaitFor(GetCurrentProcessId(), 0));
}

// The task's XML as the Task Scheduler gives it back, or empty when it has no such task.
std::string ScheduledTaskXml(const std::string& name) {
  ComScope com;
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> root;
  ComPtr<IRegisteredTask> task;
  VARIANT none;
  VariantInit(&none);
  const Bstr root_path("\\");
  const Bstr task_name(name);
  BSTR xml = nullptr;
  if (FAILED(CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                              __uuidof(ITaskService), service.void_out())) ||
      FAILED(service->Connect(none, none, none, none)) ||
      FAILED(service->GetFolder(root_path.get(), root.out())) ||
      FAILED(root->GetTask(task_name.get(), task.out())) || FAILED(task->get_Xml(&xml))) {
    return std::string();
  }
  const std::string text = Utf8FromWide(std::wstring_view(xml, SysStringLen(xml)));
  SysFreeString(xml);
  return text;
}

// The logon task as the scheduler keeps it: registered, registered again over itself, removed,
// and removed again without an error. Wine 8's scheduler keeps of a task's XML only its
// description and settings (it writes <Triggers/>, an empty <Principal> and <Exec/> back, and
// starts nothing at a logon); the trigger, run level and program are the XML's own test's.
TEST(Win32LogonTaskTest, TheSchedulerKeepsWhatWasRegistered) {
  Win32LogonTask tasks;
  const std::string name = "Netvane test " + std::to_string(GetCurrentProcessId());
  tasks.Register(name, "C:\\Old\\Netvane.exe", "");
  tasks.Register(name, "C:\\Program Files\\Netvane\\Netvane.exe", "");
  const std::string xml = ScheduledTaskXml(name);
  tasks.Remove(name);
  for (const std::string& part : {"<Description>Starts " + name + " when you log on.</Description>",
                                  std::string("<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"),
                                  std::string("<StopIfGoingOnBatteries>false<"),
                                  std::string("<MultipleInstancesPolicy>IgnoreNew<")}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part << " in\n" << xml;
  }
  EXPECT_EQ(ScheduledTaskXml(name), "");
  EXPECT_NO_THROW(tasks.Remove(name));
}

// The downloaded update as the updater holds it for its check: read through the handle, and
// nobody can change, rename or remove it until it is let go; copying it still works.
TEST(Win32FileSystemTest, AHeldFileCannotBeChangedMovedOrDeleted) {
  netvane::testing::TempFolder folder;
  const std::string path = folder.File("update.exe");
  netvane::testing::WriteBytes(path, "checked");
  Win32FileSystem files;
  std::unique_ptr<HeldFile> held = files.Hold(path);
  ASSERT_TRUE(held);
  EXPECT_EQ(held->content(), "checked");
  EXPECT_EQ(held->path(), path);
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileA(path.c_str(), folder.File("other.exe").c_str()));
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_TRUE(CopyFileA(path.c_str(), folder.File("copy.exe").c_str(), FALSE));
  held.reset();
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(Win32SystemPlatformTest, BundleIsUsableWithoutProblems) {
  auto system = CreateSystemPlatform();
  EXPECT_TRUE(system->problems().empty());
  EXPECT_FALSE(system->fatal());
  Platform& services = system->services();
  RegHandle key = 0;
  EXPECT_EQ(services.registry.OpenKeyEx(kHkeyLocalMachine, "Software", kKeyRead, &key),
            kErrorSuccess);
  services.registry.CloseKey(key);
  EXPECT_EQ(services.codepage.ToAnsi("netvane"), "netvane");
  EXPECT_EQ(services.winver.Reported().platform_id, kPlatformWin32Nt);
  EXPECT_EQ(services.process.ProgramPath(), Win32Process().ProgramPath());
}

}  // namespace
}  // namespace netvane::platform
