// FTP sessions on Windows: the WinINet FTP functions, one internet handle per session. Names
// travel in the ANSI code page; error numbers are the system's (WinINet's 12xxx included).
#pragma once

#include <cstdint>
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
  std::string LastResponse() const override;

 private:
  // Keeps the calling thread's last error for LastError; false.
  bool Fail();
  // A result of a call that sets the last error when it fails.
  bool Check(bool ok) { return ok || Fail(); }

  // HINTERNET values, kept as void* so that this header needs no Windows headers.
  void* internet_ = nullptr;
  void* connection_ = nullptr;
  void* find_ = nullptr;
  void* file_ = nullptr;
  int32_t last_error_ = 0;
  Win32CodePage codepage_;
};

}  // namespace netvane::platform
