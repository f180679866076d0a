// Shared test doubles and helpers: a registry file in a scratch folder, registry decorators
// that count handles or fail on request, and scripted platform services.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/user_prompt.h"
#include "platform/iphelper.h"
#include "platform/platform.h"
#include "platform/posix/host_file_system.h"
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/win_codes.h"
#include "platform/winver.h"
#include "registry_raw.h"
#include "scripted_endpoint.h"
#include "scripted_prompt.h"

namespace netvane::testing {

// A folder removed with everything in it when the object goes; made in the temporary folder
// unless `base` names another.
class ScratchDir {
 public:
  explicit ScratchDir(const std::filesystem::path& base = std::filesystem::temp_directory_path());
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// What a command run by /bin/sh printed on standard output, and its exit status (-1 when it
// did not exit normally).
struct ShellResult {
  int status = -1;
  std::string out;
};
ShellResult RunShell(const std::string& command);

// A fresh registry file in its own scratch folder, with the code page it converts through.
class TestRegistry {
 public:
  explicit TestRegistry(const std::string& codepage = "");
  platform::SqliteRegistry& registry() { return *registry_; }
  platform::IconvCodePage& codepage() { return codepage_; }
  std::string file() const { return dir_.File("registry.db"); }

 private:
  ScratchDir dir_;
  platform::IconvCodePage codepage_;
  std::unique_ptr<platform::SqliteRegistry> registry_;
};

// Passes every call to another registry and keeps count of handles open.
class CountingRegistry : public platform::Registry {
 public:
  explicit CountingRegistry(platform::Registry& inner) : inner_(inner) {}
  int open_handles() const { return open_; }
  // Mutating calls made so far (create, set, delete key, delete value).
  int writes() const { return writes_; }

  int32_t CreateKey(platform::RegHandle parent, const std::string& path,
                    platform::RegHandle* result) override;
  int32_t OpenKeyEx(platform::RegHandle parent, const std::string& path, uint32_t access,
                    platform::RegHandle* result) override;
  int32_t QueryInfoKey(platform::RegHandle key, uint32_t* subkeys, uint32_t* values) override;
  int32_t EnumKeyEx(platform::RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                    char* class_name, uint32_t* class_size) override;
  int32_t EnumValue(platform::RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                    uint32_t* type, uint8_t* data, uint32_t* data_size) override;
  int32_t QueryValueEx(platform::RegHandle key, const std::string& name, uint32_t* type,
                       uint8_t* data, uint32_t* data_size) override;
  int32_t SetValueEx(platform::RegHandle key, const std::string& name, uint32_t type,
                     const uint8_t* data, uint32_t size) override;
  int32_t DeleteKey(platform::RegHandle parent, const std::string& path) override;
  int32_t DeleteValue(platform::RegHandle key, const std::string& name) override;
  int32_t CloseKey(platform::RegHandle key) override;
  void BeginGroup(bool write) override { inner_.BeginGroup(write); }
  int32_t EndGroup() override { return inner_.EndGroup(); }

 protected:
  // Called before each mutating call; a nonzero result fails the call with that code.
  virtual int32_t BeforeWrite() { return platform::kErrorSuccess; }

 private:
  platform::Registry& inner_;
  int open_ = 0;
  int writes_ = 0;
};

// Fails the k-th mutating call (counting from 1) with kErrorRegistryIoFailed, and only that one.
class FailingRegistry : public CountingRegistry {
 public:
  FailingRegistry(platform::Registry& inner, int fail_at)
      : CountingRegistry(inner), fail_at_(fail_at) {}

 protected:
  int32_t BeforeWrite() override {
    return ++seen_ == fail_at_ ? platform::kErrorRegistryIoFailed : platform::kErrorSuccess;
  }

 private:
  int fail_at_;
  int seen_ = 0;
};

class FakeWindowsVersion : public platform::WindowsVersion {
 public:
  explicit FakeWindowsVersion(platform::OsVersion v = {5, 0, 2195, 2}) : version(v) {}
  platform::OsVersion Reported() const override { return version; }
  platform::OsVersion version;
};

// An interface table from rows the test sets; `result` replaces the outcome when nonzero.
class FakeIpHelper : public platform::IpHelper {
 public:
  uint32_t GetIfTable(uint8_t* table, uint32_t* size, bool order) override;
  std::vector<platform::MibIfRow> rows;
  uint32_t result = 0;
  int calls = 0;
};

platform::MibIfRow EthernetRow(const std::string& description, std::vector<uint8_t> mac,
                               uint32_t type = 6);

// Records every command line started; no program runs. Programs named in `missing` cannot
// be started (the platform's "file not found").
class FakeProcess : public platform::Process {
 public:
  struct Started {
    std::string command_line;
    platform::WindowMode mode;
    bool waited = false;
    int waits_left = 0;  // timed waits it stays running for
  };
  std::string ProgramPath() const override { return program_path; }
  uint32_t Start(const std::string& command_line, platform::WindowMode mode) override;
  void Wait(uint32_t process_id) override;
  bool WaitFor(uint32_t process_id, uint32_t milliseconds) override;
  uint32_t ExitCode(uint32_t process_id) override;
  bool Elevated() const override { return elevated; }

  std::string program_path = "C:\\Program Files\\Netvane\\Netvane.exe";
  bool elevated = true;
  std::vector<Started> started;
  std::vector<std::string> missing;
  // The error number a missing program raises.
  int32_t missing_error = platform::kErrorFileNotFound;
  // Called as each command starts (to see what else happened before it).
  std::function<void(const std::string&)> on_start;
  // Every program started stays running for this many timed waits; `on_wait` is called at
  // each timed wait that finds it still running.
  int running_waits = 0;
  std::function<void(const std::string&)> on_wait;
  // Command lines whose process ExitCode reports as still running.
  std::vector<std::string> still_active;
};

// A file system of the test's making for the shell: paths in `existing` exist; invoked
// verbs are recorded; `verb_error` (when nonzero) makes every invocation fail with it.
class FakeShell : public platform::Shell {
 public:
  std::string ExistingName(const std::string& path) override;
  void InvokeDefaultVerb(const std::string& folder, const std::string& name) override;
  std::string FindFile(const std::string& pattern) override;
  int32_t OpenDocument(const std::string& path) override;

  std::vector<std::string> existing;
  // Paths the directory search finds as files (folders are simply not listed here).
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> invoked;
  std::vector<std::string> opened;
  int32_t verb_error = 0;
};

// Records every device request block; the driver's replies come from `state` (the filter
// state it reports in byte 108) and the switches below.
class FakeDevice : public platform::Device {
 public:
  struct Request {
    uint32_t code;
    std::vector<uint8_t> block;
  };
  platform::DeviceHandle Open(const std::string& name) override;
  bool Control(platform::DeviceHandle device, uint32_t code, uint8_t* buffer,
               uint32_t size) override;
  void Close(platform::DeviceHandle device) override;

  bool present = true;
  bool refuse_query = false;
  uint8_t state = 0;
  std::vector<Request> requests;
  std::vector<std::string> opened_names;
  int open_handles = 0;
};

// Runs `body(i)` for i = 0 .. count-1, each in a process of its own, all at once; true when
// every one returned 0.
bool RunInProcesses(int count, const std::function<int(int)>& body);

// The profile as sections of entries; broadcasts are recorded (the internet settings' as
// "Internet Settings").
class FakeProfile : public platform::Profile {
 public:
  std::string ReadEntry(const std::string& section, const std::string& key,
                        const std::string& fallback) override;
  bool WriteEntry(const std::string& section, const std::string& key,
                  const std::string& value) override;
  void BroadcastChange(const std::string& section) override { broadcasts.push_back(section); }
  void InternetSettingsChanged() override {
    broadcasts.push_back("Internet Settings");
    if (on_internet_settings) on_internet_settings();
  }

  std::map<std::string, std::map<std::string, std::string>> sections;
  std::vector<std::string> broadcasts;
  // Runs when the internet settings' change is told, to see what was written by then.
  std::function<void()> on_internet_settings;
};

// Logon tasks by name; `error` (when nonzero) makes every call fail with it.
class FakeLogonTask : public platform::LogonTask {
 public:
  struct Task {
    std::string program;
    std::string arguments;
  };
  void Register(const std::string& name, const std::string& program,
                const std::string& arguments) override;
  void Remove(const std::string& name) override;

  std::map<std::string, Task> tasks;
  int32_t error = 0;
};

// Probes answered from a script: `results` by adapter (an adapter not in it gets an empty
// result); every request is kept, and `on_probe` runs at each.
class FakeNetworkProbe : public platform::NetworkProbe {
 public:
  platform::ProbeResult Probe(const platform::ProbeRequest& request) override;
  platform::MacText NeighbourMac(const std::string& adapter, const std::string& address) override;
  std::unique_ptr<platform::LinkWatch> WatchLinks(platform::LinkChanged changed) override;

  std::map<std::string, platform::ProbeResult> results;
  // "adapter address" -> hardware address.
  std::map<std::string, platform::MacText> neighbours;
  std::vector<platform::ProbeRequest> requests;
  std::function<void(const platform::ProbeRequest&)> on_probe;
  // What WatchLinks was handed (the test calls it as the system would).
  platform::LinkChanged link_changed;
};

// Every platform service as a double, over a real registry file.
class FakePlatform {
 public:
  explicit FakePlatform(const std::string& codepage = "") : registry(codepage) {}
  platform::Platform& services() { return services_; }
  // The same services with the system's processes (or another double) instead of `process`.
  platform::Platform ServicesWith(platform::Process& other) {
    return {registry.registry(),
            registry.codepage(),
            winver,
            iphelper,
            other,
            shell,
            device,
            profile,
            files,
            tasks,
            probe};
  }

  TestRegistry registry;
  FakeWindowsVersion winver;
  FakeIpHelper iphelper;
  FakeProcess process;
  FakeShell shell;
  FakeDevice device;
  FakeProfile profile;
  ScratchDir drive_c;  // the folder standing for c:\ (declared before `files`, which uses it)
  platform::HostFileSystem files{drive_c.path().string()};
  FakeLogonTask tasks;
  FakeNetworkProbe probe;

 private:
  platform::Platform services_{registry.registry(),
                               registry.codepage(),
                               winver,
                               iphelper,
                               process,
                               shell,
                               device,
                               profile,
                               files,
                               tasks,
                               probe};
};

}  // namespace netvane::testing

namespace netvane::store {
struct LocationRecord;
// Readable failure messages for records.
void PrintTo(const LocationRecord& record, std::ostream* os);
}  // namespace netvane::store

#include "engine/front_end.h"

namespace netvane::testing {

// The window side of the engine, recording what the engine asks of it; `events` lists the
// calls in order ("enabled", "disabled", "poll", "stop", "refresh", "focus", "busy", "idle",
// "events").
class FakeFrontEnd : public engine::FrontEnd {
 public:
  void SetCommandsEnabled(bool enabled) override;
  void StartBindPoll() override;
  void StopBindPoll() override { events.push_back("stop"); }
  void RefreshLocationTree() override { events.push_back("refresh"); }
  void FocusApplyCommand() override { events.push_back("focus"); }
  void SetBusyPointer(bool busy) override;
  void LetPendingEventsRun() override;
  void LetEventsRunWhileWaiting() override { ++events_while_waiting; }
  engine::UserPrompt& Prompt() override { return prompt; }
  platform::UdpEndpoint& MyWinsock() override;
  bool ShuttingDown() const override { return shutting_down; }

  ScriptedPrompt prompt;
  bool shutting_down = false;
  std::vector<std::string> events;
  int events_while_waiting = 0;
  platform::UdpEndpoint* winsock = nullptr;
};

}  // namespace netvane::testing
