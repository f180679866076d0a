#include "wine_support.h"

#include "platform/win32/windows_api.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/win32/win32_process.h"

namespace netvane::testing {
namespace {

std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    const std::string name = "netvane-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64()) + "-" + std::to_string(counter++);
    std::error_code ec;
    if (std::filesystem::create_directory(base / name, ec)) {
      path_ = base / name;
      return;
    }
    if (ec) std::abort();
  }
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::File(const std::string& name) const {
  const std::u8string text = (path_ / Utf8Path(name)).u8string();
  return std::string(text.begin(), text.end());
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(Utf8Path(path).parent_path());
  std::ofstream(Utf8Path(path), std::ios::binary) << bytes;
}

bool TestFtpServer(std::string* server, std::string* root) {
  const char* s = std::getenv("NETVANE_TEST_FTP_SERVER");
  const char* r = std::getenv("NETVANE_TEST_FTP_ROOT");
  if (s == nullptr || r == nullptr) return false;
  *server = s;
  *root = r;
  return true;
}

bool RunningUnderWine() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::string ProgramFolder() {
  const std::string path = platform::Win32Process().ProgramPath();
  return path.substr(0, path.find_last_of('\\') + 1);
}

ProgramRun RunProgram(const std::string& command_line, uint32_t bound_ms) {
  ProgramRun run;
  TempFolder folder;
  const std::string output = folder.File("output");
  SECURITY_ATTRIBUTES inherit{};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  HANDLE file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    run.error = GetLastError();
    return run;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = file;
  startup.hStdError = file;
  std::string line = command_line;
  PROCESS_INFORMATION info{};
  run.started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &info) != FALSE;
  if (!run.started) run.error = GetLastError();
  CloseHandle(file);
  if (!run.started) return run;
  run.ended = WaitForSingleObject(info.hProcess, bound_ms) == WAIT_OBJECT_0;
  if (!run.ended) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, INFINITE);
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  run.exit_code = code;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  run.output = ReadBytes(output);
  return run;
}

uint32_t RecordingProcess::Start(const std::string& command_line, platform::WindowMode mode) {
  const uint32_t id = inner_.Start(command_line, mode);
  started_.push_back(id);
  return id;
}

void RecordingProcess::WaitForAll() {
  for (uint32_t id : started_) inner_.Wait(id);
}

void RecordingFrontEnd::SetCommandsEnabled(bool enabled) {
  events.push_back(enabled ? "enabled" : "disabled");
}

void RecordingFrontEnd::SetBusyPointer(bool busy) { events.push_back(busy ? "busy" : "idle"); }

engine::PromptAnswer RecordingFrontEnd::Show(const std::string& text, engine::PromptIcon,
                                             engine::PromptButtons buttons) {
  messages.push_back(text);
  return buttons == engine::PromptButtons::kYesNo ? engine::PromptAnswer::kYes
                                                  : engine::PromptAnswer::kOk;
}

}  // namespace netvane::testing
