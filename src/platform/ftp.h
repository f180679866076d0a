// FTP sessions as the WinINet FTP functions offer them: one object per internet handle, with
// at most one connection, one find and one open remote file at a time. Names and texts are
// the program's own (UTF-8). A failing call returns false (or a negative number) and leaves
// its error number for LastError.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace netvane::platform {

// File attribute bits of a find result.
inline constexpr uint32_t kFileAttributeReadOnly = 0x1;
inline constexpr uint32_t kFileAttributeHidden = 0x2;
inline constexpr uint32_t kFileAttributeSystem = 0x4;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeArchive = 0x20;
inline constexpr uint32_t kFileAttributeNormal = 0x80;

// Times are file times: 100-nanosecond intervals since 1601-01-01, UTC.
struct FtpFindData {
  uint32_t attributes = 0;
  uint64_t creation_time = 0;
  uint64_t last_access_time = 0;
  uint64_t last_write_time = 0;
  uint64_t size = 0;
  std::string name;
};

// How long a call may wait for the server before it fails, in milliseconds: to connect and log
// in, for an answer to a command, and for more data of a transfer.
struct FtpTimeLimits {
  int32_t connect_ms = 30000;
  int32_t reply_ms = 30000;
  int32_t data_ms = 60000;
};

inline constexpr std::chrono::milliseconds kFtpWaitHookEvery{200};

class Ftp {
 public:
  virtual ~Ftp() = default;
  virtual void SetTimeLimits(const FtpTimeLimits& limits) = 0;
  // Called every kFtpWaitHookEvery as long as a call waits for the server, so that the
  // window's events can run. Returning false gives the call up: it fails, and the session is
  // disconnected.
  virtual void SetWaitHook(std::function<bool()> keep_waiting) = 0;
  // InternetOpen with the given agent name.
  virtual bool Open(const std::string& agent) = 0;
  // InternetConnect to an FTP server (`server` is a host name, or host:port), logged in.
  virtual bool Connect(const std::string& server, const std::string& user,
                       const std::string& password, bool passive) = 0;
  virtual void Disconnect() = 0;
  virtual bool GetCurrentDirectory(std::string* directory) = 0;
  virtual bool SetCurrentDirectory(const std::string& directory) = 0;
  // FtpFindFirstFile in the current directory; no match fails with 18 (no more files).
  virtual bool FindFirst(const std::string& pattern, FtpFindData* found) = 0;
  // InternetFindNextFile; the end fails with 18.
  virtual bool FindNext(FtpFindData* found) = 0;
  virtual void FindClose() = 0;
  // FtpOpenFile for reading or writing, then InternetReadFile / InternetWriteFile.
  virtual bool OpenFile(const std::string& remote, bool write, bool binary) = 0;
  virtual bool ReadFile(uint8_t* buffer, uint32_t size, uint32_t* read) = 0;
  virtual bool WriteFile(const uint8_t* data, uint32_t size, uint32_t* written) = 0;
  virtual bool CloseFile() = 0;
  // FtpGetFile (replacing `local`) and FtpPutFile.
  virtual bool GetFile(const std::string& remote, const std::string& local, bool binary) = 0;
  virtual bool PutFile(const std::string& local, const std::string& remote, bool binary) = 0;
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  virtual bool CreateDirectory(const std::string& directory) = 0;
  virtual bool RemoveDirectory(const std::string& directory) = 0;
  virtual bool DeleteFile(const std::string& remote) = 0;
  // The error number of the last failing call, and the system's text for a number.
  virtual int32_t LastError() const = 0;
  virtual std::string ErrorText(int32_t number) const = 0;
  // The server's last response (InternetGetLastResponseInfo).
  virtual std::string LastResponse() const = 0;
};

// WinINet's extended error: the server's response says what went wrong.
inline constexpr int32_t kFtpExtendedError = 12003;

// A new FTP session over the system's client (libcurl on the host, WinINet on Windows), not
// yet opened. In a library of its own, so that only the updater loads an FTP client.
std::unique_ptr<Ftp> CreateSystemFtp();

}  // namespace netvane::platform
