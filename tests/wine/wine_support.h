// What the Windows build's tests share: scratch folders, programs run with their output caught,
// files as bytes, the running system told apart from Wine, and the window side of the engine
// as a recorder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/front_end.h"
#include "engine/user_prompt.h"
#include "platform/process.h"
#include "platform/udp.h"

namespace netvane::testing {

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // A name in the folder as the program's own text (UTF-8).
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// Wine keeps a key of its own in every prefix.
bool RunningUnderWine();

// The loopback FTP server with_ftp_server.py started for this run, as "127.0.0.1:PORT", and the
// folder it serves; false when the test runs without it.
bool TestFtpServer(std::string* server, std::string* root);

// The folder of the running test program, ending in a backslash.
std::string ProgramFolder();

struct ProgramRun {
  bool started = false;
  uint32_t error = 0;  // why it could not be started
  bool ended = false;  // by itself, within the bound
  uint32_t exit_code = 0;
  std::string output;  // standard output and standard error, as written
};
inline constexpr uint32_t kNoBound = 0xFFFFFFFFu;  // INFINITE
// Starts `command_line` with no window, its standard output and error going to one file, and
// waits for it; a program still running after `bound_ms` is ended, as a guard against a hang.
ProgramRun RunProgram(const std::string& command_line, uint32_t bound_ms = kNoBound);

// The system's processes, with the ids of every program started kept, so that a test can
// wait for those the engine does not wait for.
class RecordingProcess : public platform::Process {
 public:
  explicit RecordingProcess(platform::Process& inner) : inner_(inner) {}
  std::string ProgramPath() const override { return inner_.ProgramPath(); }
  uint32_t Start(const std::string& command_line, platform::WindowMode mode) override;
  void Wait(uint32_t process_id) override { inner_.Wait(process_id); }
  bool WaitFor(uint32_t process_id, uint32_t ms) override { return inner_.WaitFor(process_id, ms); }
  uint32_t ExitCode(uint32_t process_id) override { return inner_.ExitCode(process_id); }
  void WaitForAll();

 private:
  platform::Process& inner_;
  std::vector<uint32_t> started_;
};

// The window side of the engine: records the calls in order ("enabled", "disabled", "poll",
// "stop", "refresh", "focus", "busy", "idle", "events") and every message, answering OK and
// Yes.
class RecordingFrontEnd : public engine::FrontEnd, public engine::UserPrompt {
 public:
  explicit RecordingFrontEnd(platform::UdpEndpoint& endpoint) : endpoint_(endpoint) {}
  void SetCommandsEnabled(bool enabled) override;
  void StartBindPoll() override { events.push_back("poll"); }
  void StopBindPoll() override { events.push_back("stop"); }
  void RefreshLocationTree() override { events.push_back("refresh"); }
  void FocusApplyCommand() override { events.push_back("focus"); }
  void SetBusyPointer(bool busy) override;
  void LetPendingEventsRun() override { events.push_back("events"); }
  engine::UserPrompt& Prompt() override { return *this; }
  platform::UdpEndpoint& MyWinsock() override { return endpoint_; }
  engine::PromptAnswer Show(const std::string& text, engine::PromptIcon icon,
                            engine::PromptButtons buttons) override;

  std::vector<std::string> events;
  std::vector<std::string> messages;

 private:
  platform::UdpEndpoint& endpoint_;
};

}  // namespace netvane::testing
