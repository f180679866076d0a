// The installer: a silent installation with what it registers, and the uninstallation, which
// keeps the user's locations; and the unattended update, in which NVEupdate, running from an
// older installation, fetches the installer from a loopback FTP server and runs it. Both change
// the machine (Program Files, HKLM), so they run only under Wine, and ctest runs them alone.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/registry_tree.h"
#include "platform/win32/win32_logon_task.h"
#include "platform/win32/win32_registry.h"
#include "registry_raw.h"
#include "update_signer.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;
using platform::kHkeyLocalMachine;

constexpr char kProgramKey[] = "SOFTWARE\\Orlenta\\Netvane 2.0";
constexpr char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Netvane.exe";
constexpr char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Netvane";
constexpr char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kLocation[] = "SOFTWARE\\Orlenta\\SessionInfo\\1";
constexpr char kDefaultFolder[] = "C:\\Program Files\\Netvane";
constexpr char kChosenFolder[] = "C:\\Tools\\Netvane";
// Guards against a hang, not measurements.
constexpr uint32_t kProgramBoundMs = 10 * 60 * 1000;
constexpr int kFolderPolls = 3000;  // of 100 ms

// A path of the build, given relative to the test program's folder.
std::string Built(std::string relative) {
  std::replace(relative.begin(), relative.end(), '/', '\\');
  return ProgramFolder() + relative;
}

std::vector<std::string> Programs() {
  std::vector<std::string> programs = {"Netvane.exe", "NVEupdate.exe", "NVEFilter.exe",
                                       "netvanectl.exe"};
#ifdef NETVANE_REG_TOOL
  programs.push_back("netvane-reg.exe");
#endif
  return programs;
}

std::string StartMenuShortcut() {
  char folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, folder))) return {};
  return std::string(folder) + "\\Netvane.lnk";
}

// The program a shortcut starts, as the shell reads it.
std::string ShortcutTarget(const std::string& link) {
  std::string target;
  CoInitialize(nullptr);
  IShellLinkA* shell_link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shell_link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      const std::wstring wide(link.begin(), link.end());
      char path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
          shell_link->GetPath(path, MAX_PATH, nullptr, 0) == S_OK) {
        target = path;
      }
      file->Release();
    }
    shell_link->Release();
  }
  CoUninitialize();
  return target;
}

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RunningUnderWine()) GTEST_SKIP() << "it would replace this machine's installation";
    RemoveInstallation();
  }
  void TearDown() override {
    if (RunningUnderWine()) RemoveInstallation();
  }

  void RemoveInstallation() {
    std::error_code ec;
    for (const char* folder : {kDefaultFolder, kChosenFolder}) fs::remove_all(folder, ec);
    fs::remove(fs::path(kChosenFolder).parent_path(), ec);  // when empty
    fs::remove(StartMenuShortcut(), ec);
    fs::remove("C:\\netvane.exe", ec);
    for (const char* key : {kProgramKey, kAppPaths, kUninstall, kLocation}) {
      platform::DeleteKeyTree(registry_, kHkeyLocalMachine, key);
    }
    platform::RegHandle run = 0;
    if (registry_.OpenKeyEx(kHkeyLocalMachine, kRun, platform::kKeyAllAccess, &run) == 0) {
      registry_.DeleteValue(run, "Netvane 2.0");
      registry_.CloseKey(run);
    }
  }

  StoredValue Value(const char* key, const std::string& name) {
    return QueryRaw(registry_, kHkeyLocalMachine, key, name);
  }
  // A string value's text, without its terminator.
  std::string Text(const char* key, const std::string& name) {
    const StoredValue v = Value(key, name);
    EXPECT_EQ(v.code, platform::kErrorSuccess) << key << " " << name;
    EXPECT_EQ(v.type, platform::kRegSz) << key << " " << name;
    return v.data.substr(0, v.data.find('\0'));
  }
  void SetText(const char* key, const std::string& name, const std::string& text) {
    ASSERT_EQ(SetRaw(registry_, kHkeyLocalMachine, key, name, platform::kRegSz,
                     std::string(text.c_str(), text.size() + 1)),
              platform::kErrorSuccess);
  }
  void SetNumber(const char* key, const std::string& name, uint32_t number) {
    ASSERT_EQ(SetRaw(registry_, kHkeyLocalMachine, key, name, platform::kRegDword,
                     platform::Le32Bytes(number)),
              platform::kErrorSuccess);
  }
  // "BuildNo" and the like: the updater stores numbers, the installer six-digit text.
  double Number(const char* key, const std::string& name) {
    const StoredValue v = Value(key, name);
    if (v.code != platform::kErrorSuccess) return -1;
    if (v.type == platform::kRegDword && v.data.size() == 4)
      return platform::GetLe32(v.data.data());
    return std::strtod(v.data.c_str(), nullptr);
  }

  // The programs, the help file and the uninstaller in `folder`, and what is registered.
  void ExpectInstalledIn(const std::string& folder) {
    const std::string stage = Built(NETVANE_INSTALLER_STAGE "/");
    for (const std::string& program : Programs()) {
      const std::string installed = ReadBytes(folder + "\\" + program);
      EXPECT_TRUE(installed == ReadBytes(stage + program)) << program << " is not the build's";
      EXPECT_LT(installed.size(), fs::file_size(ProgramFolder() + program))
          << program << " still has its debug information";
    }
    EXPECT_FALSE(ReadBytes(folder + "\\NetvaneHelp.chm").empty());
    EXPECT_TRUE(fs::exists(folder + "\\Uninstall.exe"));

    EXPECT_EQ(Text(kAppPaths, ""), folder + "\\Netvane.exe");
    EXPECT_EQ(Text(kAppPaths, "Path"), folder);
    EXPECT_EQ(Text(kUninstall, "DisplayName"), "Netvane 2.0");
    EXPECT_EQ(Text(kUninstall, "DisplayVersion"), NETVANE_VERSION);
    EXPECT_EQ(Text(kUninstall, "Publisher"), "Orlenta");
    EXPECT_EQ(Text(kUninstall, "InstallLocation"), folder);
    EXPECT_EQ(Text(kUninstall, "QuietUninstallString"), "\"" + folder + "\\Uninstall.exe\" /S");
    EXPECT_GT(Number(kUninstall, "EstimatedSize"), 0);
  }

  platform::Win32Registry registry_;
  const std::string installer_ = Built(NETVANE_INSTALLER);
};

TEST_F(InstallerTest, SilentInstallationAndUninstallationThatKeepsTheLocations) {
  SetText(kLocation, "LocationName", "Office");
  const ProgramRun install = RunProgram("\"" + installer_ + "\" /S", kProgramBoundMs);
  ASSERT_TRUE(install.started) << installer_ << ": error " << install.error;
  ASSERT_TRUE(install.ended) << "the installer did not finish";
  ASSERT_EQ(install.exit_code, 0u) << install.output;

  ExpectInstalledIn(kDefaultFolder);
  EXPECT_EQ(Text(kProgramKey, "BuildNo"), NETVANE_BUILD_TEXT);
  const std::string shortcut = StartMenuShortcut();
  EXPECT_EQ(ShortcutTarget(shortcut), std::string(kDefaultFolder) + "\\Netvane.exe") << shortcut;

  const ProgramRun list =
      RunProgram("\"" + std::string(kDefaultFolder) + "\\netvanectl.exe\" list", kProgramBoundMs);
  ASSERT_TRUE(list.ended);
  EXPECT_EQ(list.exit_code, 0u) << list.output;
  const size_t adapters = list.output.find("Adapters:");
  EXPECT_NE(list.output.find("  [0] ", adapters), std::string::npos) << list.output;

  // Netvane set to start with Windows (its Run value and its logon task); the uninstaller runs
  // as Add/Remove Programs runs it.
  SetText(kRun, "Netvane 2.0", "\"" + std::string(kDefaultFolder) + "\\Netvane.exe\"");
  platform::Win32LogonTask().Register("Netvane 2.0", std::string(kDefaultFolder) + "\\Netvane.exe",
                                      "");
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string task = std::string(system) + "\\Tasks\\Netvane 2.0";
  ASSERT_TRUE(fs::exists(task)) << task;
  const std::string uninstall = Text(kUninstall, "QuietUninstallString");
  const ProgramRun run = RunProgram(uninstall, kProgramBoundMs);
  ASSERT_TRUE(run.started) << uninstall << ": error " << run.error;
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exit_code, 0u);
  // It goes on in a copy of itself, and removes the folder last.
  for (int i = 0; i < kFolderPolls && fs::exists(kDefaultFolder); ++i) Sleep(100);
  EXPECT_FALSE(fs::exists(kDefaultFolder)) << "the uninstaller did not finish";

  EXPECT_FALSE(fs::exists(shortcut));
  for (const char* key : {kAppPaths, kUninstall, kProgramKey}) {
    EXPECT_FALSE(KeyExists(registry_, kHkeyLocalMachine, key)) << key;
  }
  EXPECT_EQ(Value(kRun, "Netvane 2.0").code, platform::kErrorFileNotFound);
  EXPECT_FALSE(fs::exists(task));
  EXPECT_EQ(Text(kLocation, "LocationName"), "Office");
}

TEST_F(InstallerTest, UnattendedUpdateInstallsSilentlyOverTheRunningUpdater) {
  std::string server, root;
  if (!TestFtpServer(&server, &root)) {
    GTEST_SKIP() << "needs the FTP server of tests/wine/with_ftp_server.py";
  }
  // The installer as its publisher uploads it: signed, here by this build's own test key.
  const std::string patch = NETVANE_BUILD_TEXT "ins";
  const std::string name = "NVE20Eng-" + patch + ".exe";
  const std::string installer = ReadBytes(installer_);
  WriteBytes(root + "\\eng.txt", patch);
  WriteBytes(root + "\\" + name, installer);
  WriteBytes(root + "\\" + name + ".minisig",
             SignFile(SigningKeyOfSecretFile(ReadBytes(Built(NETVANE_TEST_UPDATE_SECRET))),
                      installer, PublisherComment(NETVANE_BUILD_TEXT, name)));

  // An older installation in a folder of the administrator's choosing, with its updater (one
  // that trusts the test key) set to run unattended.
  const std::string folder = kChosenFolder;
  const std::string updater = folder + "\\NVEupdate.exe";
  fs::create_directories(folder);
  ASSERT_TRUE(CopyFileA((ProgramFolder() + "NVEupdate-test.exe").c_str(), updater.c_str(), FALSE));
  SetText(kAppPaths, "Path", folder);
  SetNumber(kProgramKey, "BuildNo", NETVANE_BUILD_NUMBER - 1);
  SetNumber(kProgramKey, "AutoUpdate", 1);
  SetNumber(kProgramKey, "AutoFinish", 1);

  ASSERT_TRUE(SetEnvironmentVariableA("NETVANE_UPDATE_SERVER", server.c_str()));
  const ProgramRun run = RunProgram("\"" + updater + "\" -platform offscreen", kProgramBoundMs);
  SetEnvironmentVariableA("NETVANE_UPDATE_SERVER", nullptr);
  ASSERT_TRUE(run.started) << updater << ": error " << run.error;
  ASSERT_TRUE(run.ended) << "NVEupdate did not finish";
  EXPECT_EQ(run.exit_code, 0u) << run.output;

  ExpectInstalledIn(folder);
  EXPECT_EQ(Number(kProgramKey, "BuildNo"), NETVANE_BUILD_NUMBER);
  EXPECT_EQ(Number(kProgramKey, "AutoFinish"), 0);
  EXPECT_FALSE(fs::exists("C:\\netvane.exe"));
}

}  // namespace
}  // namespace netvane::testing
