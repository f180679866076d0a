// FTP sessions on Windows: the WinINet FTP functions, one internet handle per session. Names
// travel in the ANSI code page; error numbers are the system's (WinINet's 12xxx included).
//
// Every call that talks to the server runs on a thread of the session's own, while the caller
// waits for it, lets the wait hook run, and gives the call up at its time limit: WinINet under
// Wine waits for the data connection without any. A call given up fails with 12002 (time out)
// or 12017 (given up by the hook); the session is then disconnected, and the call ends on its
// own thread later.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/ftp.h"
#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

class Win32Ftp final : public Ftp {
 public:
  Win32Ftp() = default;
  ~Win32Ftp() override;
  Win32Ftp(const Win32Ftp&) = delete;
  Win32Ftp& operator=(const Win32Ftp&) = delete;

  void SetTimeLimits(const FtpTimeLimits& limits) override;
  void SetWaitHook(std::function<bool()> keep_waiting) override {
    keep_waiting_ = std::move(keep_waiting);
  }
  bool Open(const std::string& agent) override;
  bool Connect(const std::string& server, const std::string& user, const std::string& password,
               bool passive) override;
  void Disconnect() override;
  bool GetCurrentDirectory(std::string* directory) override;
  bool SetCurrentDirectory(const std::string& directory) override;
  bool FindFirst(const std::string& pattern, FtpFindData* found) override;
  bool FindNext(FtpFindData* found) override;
  void FindClose() override;
  bool OpenFile(const std::string& remote, bool write, bool binary) override;
  bool ReadFile(uint8_t* buffer, uint32_t size, uint32_t* read) override;
  bool WriteFile(const uint8_t* data, uint32_t size, uint32_t* written) override;
  bool CloseFile() override;
  bool GetFile(const std::string& remote, const std::string& local, bool binary) override;
  bool PutFile(const std::string& local, const std::string& remote, bool binary) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  bool CreateDirectory(const std::string& directory) override;
  bool RemoveDirectory(const std::string& directory) override;
  bool DeleteFile(const std::string& remote) override;
  int32_t LastError() const override { return last_error_; }
  std::string ErrorText(int32_t number) const override;
  std::string LastResponse() const override { return last_response_; }

 private:
  struct Caller;
  // Runs `call` on the caller's thread and waits for it at most `limit_ms` (0: as long as it
  // takes); its error and the server's response are kept for LastError and LastResponse.
  bool Run(std::function<bool(Caller&)> call, int32_t limit_ms);
  // Ends a call that waits too long: its handles are closed, which disconnects the session.
  bool GiveUp(int32_t error);
  // WinINet's own limits, where it keeps them.
  void ApplyTimeLimits();
  // A command on the connection naming one folder or file, limited as a reply.
  template <typename Command>
  bool NameCommand(Command command, const std::string& name);

  // HINTERNET values, kept as void* so that this header needs no Windows headers.
  void* internet_ = nullptr;
  void* connection_ = nullptr;
  void* find_ = nullptr;
  void* file_ = nullptr;
  FtpTimeLimits limits_;
  std::function<bool()> keep_waiting_;
  std::shared_ptr<Caller> caller_;
  int32_t last_error_ = 0;
  std::string last_response_;
  Win32CodePage codepage_;
};

}  // namespace netvane::platform
