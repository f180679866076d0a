// FTP sessions on the host through libcurl. One easy handle per session (and one more for
// listings), always driven by the session's own multi handle, so every request (whole or
// streamed) shares one connection cache and reuses the logged-in control connection.
//
// Paths are relative to the login directory, which the session shows as "/"; the current
// directory is kept here, as libcurl keeps none between requests. Error numbers are libcurl's
// CURLcode values, except 18 for "no more files" at the end of a find.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ftp.h"

namespace netvane::platform {

class CurlFtp final : public Ftp {
 public:
  CurlFtp();
  ~CurlFtp() override;
  CurlFtp(const CurlFtp&) = delete;
  CurlFtp& operator=(const CurlFtp&) = delete;

  void SetTimeLimits(const FtpTimeLimits& limits) override { limits_ = limits; }
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
  enum class Stream { kNone, kRead, kWrite };

  bool Fail(int32_t number);
  // Whether a request can start now; fails the call otherwise.
  bool Ready();
  // `path` against the current directory: absolute, without ".", ".." or empty parts.
  std::string Resolve(const std::string& path) const;
  std::string Url(const std::string& resolved, bool directory) const;
  // The server's own absolute name for a resolved path, for raw commands.
  std::string ServerPath(const std::string& resolved) const;
  // Resets the handle's options to those every request of the session uses.
  void Prepare(CURL* handle, const std::string& url);
  // Runs the prepared request to its end.
  CURLcode Perform(CURL* handle);
  // Drives the running request until `enough()` holds or it ends; true once it has ended.
  template <typename Enough>
  bool Drive(Enough enough);
  void Start(CURL* handle);
  void Finish();
  // A NOBODY request on the root carrying raw commands (rename, mkdir ...).
  bool Command(const std::vector<std::string>& commands);
  size_t Buffered() const { return buffer_.size() - buffer_pos_; }
  void Consume(size_t count);
  void Resume();

  static size_t OnStreamWrite(char* data, size_t size, size_t count, void* self);
  static size_t OnStreamRead(char* data, size_t size, size_t count, void* self);
  static long OnChunkBegin(const void* info, void* self, int remains);
  static int OnDebug(CURL* handle, curl_infotype type, char* data, size_t size, void* self);

  CURL* easy_ = nullptr;
  CURL* lister_ = nullptr;
  CURLM* multi_ = nullptr;
  bool connected_ = false;
  std::string site_;  // "ftp://host[:port]"
  std::string user_;
  std::string password_;
  bool passive_ = true;
  std::string current_ = "/";
  std::string entry_path_ = "/";
  FtpTimeLimits limits_;
  std::function<bool()> keep_waiting_;
  int32_t last_error_ = 0;
  std::string last_response_;
  std::string response_line_;

  // The entries of the last listing that matched the mask, and the next one FindNext gives.
  std::string find_mask_;
  std::vector<FtpFindData> found_;
  size_t next_found_ = 0;

  // The running request, and for a streamed file the bytes between libcurl and the caller.
  CURL* running_ = nullptr;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
  Stream stream_ = Stream::kNone;
  bool paused_ = false;
  size_t wanted_ = 0;  // bytes a ReadFile waits for
  curl_off_t received_ = 0;
  bool upload_ended_ = false;
  bool upload_started_ = false;
  std::vector<uint8_t> buffer_;
  size_t buffer_pos_ = 0;
};

}  // namespace netvane::platform
