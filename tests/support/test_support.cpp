#include "test_support.h"

#include "platform/filter_driver.h"
#include "platform/platform_error.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace netvane::testing {

using platform::RegHandle;

ScratchDir::ScratchDir(const std::filesystem::path& base) {
  std::string templ = (base / "netvane-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) std::abort();
  path_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TestRegistry::TestRegistry(const std::string& codepage)
    : codepage_(codepage),
      registry_(std::make_unique<platform::SqliteRegistry>(dir_.File("registry.db"), codepage_)) {}

int32_t CountingRegistry::CreateKey(RegHandle parent, const std::string& path, RegHandle* result) {
  if (const int32_t fail = (++writes_, BeforeWrite()); fail != platform::kErrorSuccess) return fail;
  const int32_t r = inner_.CreateKey(parent, path, result);
  if (r == platform::kErrorSuccess) ++open_;
  return r;
}

int32_t CountingRegistry::OpenKeyEx(RegHandle parent, const std::string& path, uint32_t access,
                                    RegHandle* result) {
  const int32_t r = inner_.OpenKeyEx(parent, path, access, result);
  if (r == platform::kErrorSuccess) ++open_;
  return r;
}

int32_t CountingRegistry::QueryInfoKey(RegHandle key, uint32_t* subkeys, uint32_t* values) {
  return inner_.QueryInfoKey(key, subkeys, values);
}

int32_t CountingRegistry::EnumKeyEx(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                                    char* class_name, uint32_t* class_size) {
  return inner_.EnumKeyEx(key, index, name, name_size, class_name, class_size);
}

int32_t CountingRegistry::EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                                    uint32_t* type, uint8_t* data, uint32_t* data_size) {
  return inner_.EnumValue(key, index, name, name_size, type, data, data_size);
}

int32_t CountingRegistry::QueryValueEx(RegHandle key, const std::string& name, uint32_t* type,
                                       uint8_t* data, uint32_t* data_size) {
  return inner_.QueryValueEx(key, name, type, data, data_size);
}

int32_t CountingRegistry::SetValueEx(RegHandle key, const std::string& name, uint32_t type,
                                     const uint8_t* data, uint32_t size) {
  if (const int32_t fail = (++writes_, BeforeWrite()); fail != platform::kErrorSuccess) return fail;
  return inner_.SetValueEx(key, name, type, data, size);
}

int32_t CountingRegistry::DeleteKey(RegHandle parent, const std::string& path) {
  if (const int32_t fail = (++writes_, BeforeWrite()); fail != platform::kErrorSuccess) return fail;
  return inner_.DeleteKey(parent, path);
}

int32_t CountingRegistry::DeleteValue(RegHandle key, const std::string& name) {
  if (const int32_t fail = (++writes_, BeforeWrite()); fail != platform::kErrorSuccess) return fail;
  return inner_.DeleteValue(key, name);
}

int32_t CountingRegistry::CloseKey(RegHandle key) {
  const int32_t r = inner_.CloseKey(key);
  if (r == platform::kErrorSuccess && key != platform::kHkeyCurrentUser &&
      key != platform::kHkeyLocalMachine)
    --open_;
  return r;
}

bool RunInProcesses(int count, const std::function<int(int)>& body) {
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) _exit(body(i));
    children.push_back(pid);
  }
  bool ok = true;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

uint32_t FakeProcess::Start(const std::string& command_line, platform::WindowMode mode) {
  for (const std::string& name : missing) {
    if (command_line.compare(0, name.size(), name) == 0) {
      throw platform::PlatformError(missing_error,
                                    missing_error == platform::kErrorFileNotFound
                                        ? "The system cannot find the file specified."
                                        : "Address in use",
                                    "CreateProcess");
    }
  }
  if (on_start) on_start(command_line);
  started.push_back({command_line, mode, false, running_waits});
  return static_cast<uint32_t>(1000 + started.size() - 1);
}

void FakeProcess::Wait(uint32_t process_id) {
  if (process_id >= 1000 && process_id - 1000 < started.size()) {
    started[process_id - 1000].waited = true;
  }
}

bool FakeProcess::WaitFor(uint32_t process_id, uint32_t) {
  if (process_id < 1000 || process_id - 1000 >= started.size()) return true;
  Started& s = started[process_id - 1000];
  if (s.waits_left > 0) {
    --s.waits_left;
    if (on_wait) on_wait(s.command_line);
    return false;
  }
  s.waited = true;
  return true;
}

uint32_t FakeProcess::ExitCode(uint32_t process_id) {
  if (process_id < 1000 || process_id - 1000 >= started.size()) return 0;
  const std::string& line = started[process_id - 1000].command_line;
  return std::find(still_active.begin(), still_active.end(), line) != still_active.end()
             ? platform::kStillActive
             : 0;
}

std::string FakeShell::ExistingName(const std::string& path) {
  for (const std::string& p : existing) {
    if (p == path) return path.substr(path.find_last_of("\\/") + 1);
  }
  return std::string();
}

void FakeShell::InvokeDefaultVerb(const std::string& folder, const std::string& name) {
  if (verb_error != 0) {
    throw platform::PlatformError(verb_error, "The verb failed.", "Shell.Application");
  }
  if (ExistingName(folder + name).empty()) {
    throw platform::PlatformError(platform::kErrorPathNotFound,
                                  "The system cannot find the path specified.",
                                  "Shell.Application");
  }
  invoked.emplace_back(folder, name);
}

std::string FakeShell::FindFile(const std::string& pattern) {
  for (const std::string& f : files) {
    if (f == pattern) return f.substr(f.find_last_of("\\/") + 1);
  }
  return std::string();
}

int32_t FakeShell::OpenDocument(const std::string& path) {
  opened.push_back(path);
  return ExistingName(path).empty() ? platform::kShellErrorFileNotFound : 42;
}

platform::DeviceHandle FakeDevice::Open(const std::string& name) {
  opened_names.push_back(name);
  if (!present) return platform::kInvalidDevice;
  ++open_handles;
  return 7;
}

bool FakeDevice::Control(platform::DeviceHandle, uint32_t code, uint8_t* buffer, uint32_t size) {
  requests.push_back({code, std::vector<uint8_t>(buffer, buffer + size)});
  namespace driver = platform::filter_driver;
  if (code == driver::kQueryState) {
    if (refuse_query) return false;
    buffer[driver::kStateOffset] = state;
    return true;
  }
  if (code == driver::kSetState) state = buffer[driver::kStateOffset];
  return true;
}

void FakeDevice::Close(platform::DeviceHandle) { --open_handles; }

std::string FakeProfile::ReadEntry(const std::string& section, const std::string& key,
                                   const std::string& fallback) {
  const auto s = sections.find(section);
  if (s == sections.end()) return fallback;
  const auto e = s->second.find(key);
  return e == s->second.end() ? fallback : e->second;
}

bool FakeProfile::WriteEntry(const std::string& section, const std::string& key,
                             const std::string& value) {
  sections[section][key] = value;
  return true;
}

void FakeLogonTask::Register(const std::string& name, const std::string& program,
                             const std::string& arguments) {
  if (error != 0) throw platform::PlatformError(error, "Access is denied.", "Task Scheduler");
  tasks[name] = {program, arguments};
}

void FakeLogonTask::Remove(const std::string& name) {
  if (error != 0) throw platform::PlatformError(error, "Access is denied.", "Task Scheduler");
  tasks.erase(name);
}

platform::ProbeResult FakeNetworkProbe::Probe(const platform::ProbeRequest& request) {
  requests.push_back(request);
  if (on_probe) on_probe(request);
  const auto it = results.find(request.adapter);
  return it == results.end() ? platform::ProbeResult{} : it->second;
}

platform::MacText FakeNetworkProbe::NeighbourMac(const std::string& adapter,
                                                 const std::string& address) {
  const auto it = neighbours.find(adapter + " " + address);
  return it == neighbours.end() ? std::string() : it->second;
}

std::unique_ptr<platform::LinkWatch> FakeNetworkProbe::WatchLinks(platform::LinkChanged changed) {
  link_changed = std::move(changed);
  return std::make_unique<platform::LinkWatch>();
}

uint32_t FakeIpHelper::GetIfTable(uint8_t* table, uint32_t* size, bool) {
  ++calls;
  if (result != platform::kErrorSuccess) return result;
  return platform::CopyIfTable(platform::EncodeIfTable(rows), table, size);
}

platform::MibIfRow EthernetRow(const std::string& description, std::vector<uint8_t> mac,
                               uint32_t type) {
  platform::MibIfRow row;
  row.type = type;
  row.descr = description;
  row.descr_len = static_cast<uint32_t>(description.size() + 1);
  row.phys_addr_len = static_cast<uint32_t>(mac.size());
  for (size_t i = 0; i < mac.size() && i < 8; ++i) row.phys_addr[i] = mac[i];
  return row;
}

}  // namespace netvane::testing

#include <ostream>

#include "store/location.h"

namespace netvane::store {

void PrintTo(const LocationRecord& r, std::ostream* os) {
  auto proxy = [&](const ProxySettings& p) {
    *os << "{all=" << p.AllProtocolSameProxy << " " << p.DefaultAddress << ":" << p.DefaultPort
        << " http=" << p.HTTPAddress << ":" << p.HTTPPort << " https=" << p.SecureAddress << ":"
        << p.SecurePort << " ftp=" << p.FTPAddress << ":" << p.FTPPort
        << " gopher=" << p.GopherAddress << ":" << p.GopherPort << " socks=" << p.SocksAddress
        << ":" << p.SocksPort << "}";
  };
  *os << "{id=" << r.LocationId << " name=" << r.SessionName << " nic=" << r.NIC_NAME << "/"
      << r.NIC_ID << " active=" << r.SessionActive << " kind=" << r.ServiceType
      << " exec=" << r.ExecutePath << " ip=" << r.IPAddress << "/" << r.SubnetMask
      << " gw=" << r.Gateway << " dns=" << r.DNS << " lease=" << r.Lease << " proxy=" << r.UseProxy
      << r.IENC_SameProxy << r.UseIEProxy << r.UseNCProxy << " ie=";
  proxy(r.IEProxy);
  *os << " nc=";
  proxy(r.NCProxy);
  *os << " printer=" << r.UseWinNetwork << " " << r.DefaultPrinter << "}";
}

}  // namespace netvane::store

namespace netvane::testing {

void FakeFrontEnd::SetCommandsEnabled(bool enabled) {
  events.push_back(enabled ? "enabled" : "disabled");
}
void FakeFrontEnd::StartBindPoll() { events.push_back("poll"); }
void FakeFrontEnd::SetBusyPointer(bool busy) { events.push_back(busy ? "busy" : "idle"); }
void FakeFrontEnd::LetPendingEventsRun() { events.push_back("events"); }
platform::UdpEndpoint& FakeFrontEnd::MyWinsock() {
  if (winsock == nullptr) std::abort();
  return *winsock;
}

ShellResult RunShell(const std::string& command) {
  ShellResult r;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace netvane::testing
