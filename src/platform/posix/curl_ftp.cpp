#include "platform/posix/curl_ftp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

// No connection, or the connection is busy with an open remote file.
constexpr CURLcode kNotReady = CURLE_FAILED_INIT;
// A download pauses once this many bytes wait unread, and resumes below half of it.
constexpr size_t kPauseAt = size_t{1} << 20;
// An upload hands its bytes to libcurl once this many are waiting.
constexpr size_t kSendAt = size_t{256} << 10;
constexpr long kReceiveBuffer = 128L << 10;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochInTicks = 116444736000000000LL;  // 1970-01-01 as a file time

void GlobalInit() {
  static const CURLcode once = curl_global_init(CURL_GLOBAL_DEFAULT);
  static_cast<void>(once);
}

std::filesystem::path LocalPath(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

int64_t DaysFromCivil(int y, int m, int d) {
  using namespace std::chrono;
  return sys_days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}}
      .time_since_epoch()
      .count();
}

constexpr int64_t kSecondsPerDay = 86400;

// Seconds since 1970 of a moment given by its calendar date and time of day (64-bit throughout).
int64_t EpochSeconds(int year, int month, int day, int hour = 0, int minute = 0) {
  return DaysFromCivil(year, month, day) * kSecondsPerDay + int64_t{hour} * 3600 +
         int64_t{minute} * 60;
}

bool ValidDate(int y, int m, int d) {
  using namespace std::chrono;
  return year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}
      .ok();
}

int MonthNumber(std::string_view name) {
  static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};
  if (name.size() != 3) return 0;
  for (int i = 0; i < 12; ++i) {
    bool same = true;
    for (int k = 0; k < 3; ++k) {
      same = same && (name[k] | 0x20) == kMonths[i][k];
    }
    if (same) return i + 1;
  }
  return 0;
}

// The date text of a listing line: "Jun 15  2003" or "Dec 07 10:09" (Unix), or
// "06-15-03  12:00PM" (DOS). Listings carry no zone; they are taken as UTC, which is what the
// test server sends. A Unix date without a year is the latest such date not in the future.
bool ParseListingTime(const char* text, int64_t now, int64_t* seconds) {
  char word[8] = {};
  int a = 0, b = 0, c = 0, hour = 0, minute = 0;
  char rest[8] = {};
  if (std::sscanf(text, "%7s %d %d:%d", word, &a, &hour, &minute) == 4 && MonthNumber(word)) {
    const int month = MonthNumber(word);
    const int64_t today = now / kSecondsPerDay;
    const int this_year = static_cast<int>(
        std::chrono::year_month_day{std::chrono::sys_days{std::chrono::days{today}}}.year());
    int year = this_year;
    if (!ValidDate(year, month, a) ||
        EpochSeconds(year, month, a, hour, minute) > now + 2 * kSecondsPerDay) {
      --year;
    }
    if (!ValidDate(year, month, a) || hour > 23 || minute > 59) return false;
    *seconds = EpochSeconds(year, month, a, hour, minute);
    return true;
  }
  if (std::sscanf(text, "%7s %d %d", word, &a, &b) == 3 && MonthNumber(word)) {
    if (!ValidDate(b, MonthNumber(word), a)) return false;
    *seconds = EpochSeconds(b, MonthNumber(word), a);
    return true;
  }
  if (std::sscanf(text, "%d-%d-%d %d:%d%7s", &a, &b, &c, &hour, &minute, rest) >= 5) {
    const int year = c >= 100 ? c : (c < 70 ? 2000 + c : 1900 + c);
    const char half = static_cast<char>(rest[0] | 0x20);
    if ((half == 'a' || half == 'p') && hour == 12) hour = 0;
    if (half == 'p') hour += 12;
    if (!ValidDate(year, a, b) || hour > 23 || minute > 59) return false;
    *seconds = EpochSeconds(year, a, b, hour, minute);
    return true;
  }
  return false;
}

uint64_t FileTimeFromUnix(int64_t seconds) {
  const int64_t ticks = seconds * kTicksPerSecond + kUnixEpochInTicks;
  return ticks > 0 ? static_cast<uint64_t>(ticks) : 0;
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// One character further, counting a UTF-8 sequence as one.
size_t NextChar(std::string_view s, size_t i) {
  ++i;
  while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// '*' is any run of characters, '?' exactly one; letters match in either case.
bool Glob(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n = NextChar(name, n);
    } else if (p < pattern.size() && Fold(pattern[p]) == Fold(name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      mark = NextChar(name, mark);
      n = mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Windows rules on top of the glob: "*.*" is every name, "name.*" also finds "name", and a
// pattern ending in "." finds names without an extension.
bool WindowsMatch(std::string_view pattern, std::string_view name) {
  if (pattern.empty() || pattern == "*" || pattern == "*.*") return true;
  if (Glob(pattern, name)) return true;
  if (pattern.size() > 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      Glob(pattern.substr(0, pattern.size() - 2), name)) {
    return true;
  }
  return pattern.back() == '.' && name.find('.') == std::string_view::npos &&
         Glob(pattern.substr(0, pattern.size() - 1), name);
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* out) {
  auto* file = static_cast<std::ofstream*>(out);
  file->write(data, static_cast<std::streamsize>(size * count));
  return file->good() ? size * count : 0;
}

size_t ReadFromFile(char* data, size_t size, size_t count, void* in) {
  auto* file = static_cast<std::ifstream*>(in);
  file->read(data, static_cast<std::streamsize>(size * count));
  if (file->bad()) return CURL_READFUNC_ABORT;
  return static_cast<size_t>(file->gcount());
}

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace

CurlFtp::CurlFtp() { GlobalInit(); }

CurlFtp::~CurlFtp() {
  keep_waiting_ = nullptr;
  Disconnect();
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  if (lister_ != nullptr) curl_easy_cleanup(lister_);
}

bool CurlFtp::Fail(int32_t number) {
  last_error_ = number;
  return false;
}

bool CurlFtp::Ready() {
  if (easy_ == nullptr || multi_ == nullptr || !connected_ || stream_ != Stream::kNone) {
    return Fail(kNotReady);
  }
  return true;
}

std::string CurlFtp::ErrorText(int32_t number) const {
  return curl_easy_strerror(static_cast<CURLcode>(number));
}

bool CurlFtp::Open(const std::string&) {
  // FTP sends no agent name; the handle is all this session needs.
  if (easy_ == nullptr) easy_ = curl_easy_init();
  return easy_ != nullptr || Fail(kNotReady);
}

std::string CurlFtp::Resolve(const std::string& path) const {
  std::vector<std::string> parts;
  if (path.empty() || path[0] != '/') parts = Split(current_);
  for (std::string& part : Split(path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::string resolved;
  for (const std::string& part : parts) resolved += "/" + part;
  return resolved.empty() ? "/" : resolved;
}

std::string CurlFtp::Url(const std::string& resolved, bool directory) const {
  std::string url = site_;
  for (const std::string& part : Split(resolved)) {
    char* escaped = curl_easy_escape(easy_, part.data(), static_cast<int>(part.size()));
    url += '/';
    url += escaped;
    curl_free(escaped);
  }
  if (directory || url == site_) url += '/';
  return url;
}

std::string CurlFtp::ServerPath(const std::string& resolved) const {
  if (entry_path_.back() == '/') return entry_path_ + resolved.substr(1);
  return resolved == "/" ? entry_path_ : entry_path_ + resolved;
}

void CurlFtp::Prepare(CURL* handle, const std::string& url) {
  curl_easy_reset(handle);
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp");
  if (!user_.empty()) {
    curl_easy_setopt(handle, CURLOPT_USERNAME, user_.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, password_.c_str());
  }
  curl_easy_setopt(handle, CURLOPT_FTPPORT, passive_ ? nullptr : "-");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  // No wait for the server lasts for ever; libcurl takes some of the limits in whole seconds.
  const auto seconds = [](int32_t ms) {
    return std::max(1L, (static_cast<long>(ms) + 999) / 1000);
  };
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connect_ms));
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds(limits_.reply_ms));
  curl_easy_setopt(handle, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(limits_.reply_ms));
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, seconds(limits_.data_ms));
  // The debug stream is the only place libcurl shows the server's response lines.
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, &CurlFtp::OnDebug);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, this);
}

void CurlFtp::Start(CURL* handle) {
  done_ = false;
  result_ = CURLE_OK;
  if (curl_multi_add_handle(multi_, handle) == CURLM_OK) {
    running_ = handle;
  } else {
    done_ = true;
    result_ = CURLE_OUT_OF_MEMORY;
  }
}

template <typename Enough>
bool CurlFtp::Drive(Enough enough) {
  auto hook_due = std::chrono::steady_clock::now() + kFtpWaitHookEvery;
  while (!done_) {
    int active = 0;
    if (curl_multi_perform(multi_, &active) != CURLM_OK) {
      done_ = true;
      result_ = CURLE_OUT_OF_MEMORY;
      break;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == running_) {
        done_ = true;
        result_ = message->data.result;
      }
    }
    if (done_ || enough()) break;
    curl_multi_poll(multi_, nullptr, 0, static_cast<int>(kFtpWaitHookEvery.count()), nullptr);
    if (keep_waiting_ && std::chrono::steady_clock::now() >= hook_due) {
      if (!keep_waiting_()) {
        Disconnect();
        done_ = true;
        result_ = CURLE_ABORTED_BY_CALLBACK;
        break;
      }
      hook_due = std::chrono::steady_clock::now() + kFtpWaitHookEvery;
    }
  }
  return done_;
}

void CurlFtp::Finish() {
  // Removing a transfer that has not ended aborts it; libcurl then drops its connection.
  if (running_ != nullptr) curl_multi_remove_handle(multi_, running_);
  running_ = nullptr;
}

CURLcode CurlFtp::Perform(CURL* handle) {
  Start(handle);
  Drive([] { return false; });
  Finish();
  return result_;
}

bool CurlFtp::Connect(const std::string& server, const std::string& user,
                      const std::string& password, bool passive) {
  Disconnect();
  if (easy_ == nullptr) return Fail(kNotReady);
  // The server name becomes part of a URL: nothing in it may change the URL's meaning.
  if (server.empty() || server.find_first_of("/@?#\\ \t\r\n") != std::string::npos) {
    return Fail(CURLE_URL_MALFORMAT);
  }
  multi_ = curl_multi_init();
  if (multi_ == nullptr) return Fail(CURLE_OUT_OF_MEMORY);
  site_ = "ftp://" + server;
  user_ = user;
  password_ = password;
  passive_ = passive;
  Prepare(easy_, site_ + "/");
  curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
  const CURLcode code = Perform(easy_);
  if (code != CURLE_OK) {
    curl_multi_cleanup(multi_);
    multi_ = nullptr;
    return Fail(code);
  }
  const char* entry = nullptr;
  curl_easy_getinfo(easy_, CURLINFO_FTP_ENTRY_PATH, &entry);
  entry_path_ = entry != nullptr && entry[0] == '/' ? entry : "/";
  connected_ = true;
  current_ = "/";
  return true;
}

void CurlFtp::Disconnect() {
  // Also a request given up half-way, listings included.
  Finish();
  stream_ = Stream::kNone;
  FindClose();
  // Cleaning up the multi handle closes the cached connection with QUIT.
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
  multi_ = nullptr;
  connected_ = false;
  current_ = "/";
}

bool CurlFtp::GetCurrentDirectory(std::string* directory) {
  if (!connected_) return Fail(kNotReady);
  *directory = current_;
  return true;
}

bool CurlFtp::SetCurrentDirectory(const std::string& directory) {
  if (!Ready()) return false;
  const std::string target = Resolve(directory);
  Prepare(easy_, Url(target, true));
  curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
  const CURLcode code = Perform(easy_);
  if (code != CURLE_OK) return Fail(code);
  current_ = target;
  return true;
}

long CurlFtp::OnChunkBegin(const void* info, void* self, int) {
  const auto* file = static_cast<const curl_fileinfo*>(info);
  auto* ftp = static_cast<CurlFtp*>(self);
  FtpFindData found;
  found.name = file->filename != nullptr ? file->filename : "";
  if (found.name == "." || found.name == ".." || !WindowsMatch(ftp->find_mask_, found.name)) {
    return CURL_CHUNK_BGN_FUNC_SKIP;
  }
  if (file->filetype == CURLFILETYPE_DIRECTORY) {
    found.attributes = kFileAttributeDirectory;
  } else if ((file->flags & CURLFINFOFLAG_KNOWN_PERM) != 0 && (file->perm & 0200) == 0) {
    found.attributes = kFileAttributeReadOnly;
  } else {
    found.attributes = kFileAttributeNormal;
  }
  if ((file->flags & CURLFINFOFLAG_KNOWN_SIZE) != 0 && file->size > 0) {
    found.size = static_cast<uint64_t>(file->size);
  }
  int64_t seconds = 0;
  bool known = false;
  if ((file->flags & CURLFINFOFLAG_KNOWN_TIME) != 0) {
    seconds = static_cast<int64_t>(file->time);
    known = true;
  } else if (file->strings.time != nullptr) {
    known =
        ParseListingTime(file->strings.time, static_cast<int64_t>(std::time(nullptr)), &seconds);
  }
  // A listing line has one time; it stands for all three.
  if (known) {
    found.last_write_time = FileTimeFromUnix(seconds);
    found.creation_time = found.last_write_time;
    found.last_access_time = found.last_write_time;
  }
  ftp->found_.push_back(std::move(found));
  return CURL_CHUNK_BGN_FUNC_SKIP;
}

bool CurlFtp::FindFirst(const std::string& pattern, FtpFindData* found) {
  FindClose();
  if (!Ready()) return false;
  std::string folder = current_;
  find_mask_ = pattern;
  const size_t slash = pattern.rfind('/');
  if (slash != std::string::npos) {
    folder = Resolve(pattern.substr(0, slash + 1));
    find_mask_ = pattern.substr(slash + 1);
  }
  // libcurl lists the folder once and offers each entry; every one is skipped, so nothing is
  // downloaded, and the pattern is matched here by the Windows rules.
  // Listings have a handle of their own: libcurl 7.88 never frees the entries of a wildcard
  // transfer on a handle whose first transfer was another kind. It shares the connection.
  if (lister_ == nullptr) lister_ = curl_easy_init();
  if (lister_ == nullptr) return Fail(CURLE_OUT_OF_MEMORY);
  Prepare(lister_, Url(folder, true) + "*");
  curl_easy_setopt(lister_, CURLOPT_WILDCARDMATCH, 1L);
  curl_easy_setopt(lister_, CURLOPT_CHUNK_BGN_FUNCTION, &CurlFtp::OnChunkBegin);
  curl_easy_setopt(lister_, CURLOPT_CHUNK_DATA, this);
  curl_easy_setopt(lister_, CURLOPT_WRITEFUNCTION, &Discard);
  const CURLcode code = Perform(lister_);
  // libcurl reports an empty folder as "remote file not found"; its own 18 (a partial
  // listing) must not read as "no more files".
  if (code != CURLE_OK && code != CURLE_REMOTE_FILE_NOT_FOUND) {
    found_.clear();
    return Fail(code == CURLE_PARTIAL_FILE ? CURLE_RECV_ERROR : code);
  }
  if (found_.empty()) return Fail(kErrorNoMoreFiles);
  *found = found_[0];
  next_found_ = 1;
  return true;
}

bool CurlFtp::FindNext(FtpFindData* found) {
  if (next_found_ == 0 || next_found_ >= found_.size()) return Fail(kErrorNoMoreFiles);
  *found = found_[next_found_++];
  return true;
}

void CurlFtp::FindClose() {
  found_.clear();
  next_found_ = 0;
}

void CurlFtp::Consume(size_t count) {
  buffer_pos_ += count;
  if (buffer_pos_ == buffer_.size()) {
    buffer_.clear();
    buffer_pos_ = 0;
  } else if (buffer_pos_ >= (size_t{64} << 10) && buffer_pos_ * 2 >= buffer_.size()) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(buffer_pos_));
    buffer_pos_ = 0;
  }
}

void CurlFtp::Resume() {
  paused_ = false;
  curl_easy_pause(easy_, CURLPAUSE_CONT);
}

size_t CurlFtp::OnStreamWrite(char* data, size_t size, size_t count, void* self) {
  auto* ftp = static_cast<CurlFtp*>(self);
  // Held back data is offered again on resume, so nothing is taken while pausing.
  if (ftp->Buffered() >= std::max(kPauseAt, ftp->wanted_)) {
    ftp->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  ftp->buffer_.insert(ftp->buffer_.end(), data, data + size * count);
  ftp->received_ += static_cast<curl_off_t>(size * count);
  return size * count;
}

size_t CurlFtp::OnStreamRead(char* data, size_t size, size_t count, void* self) {
  auto* ftp = static_cast<CurlFtp*>(self);
  ftp->upload_started_ = true;
  const size_t n = std::min(size * count, ftp->Buffered());
  if (n == 0) {
    if (ftp->upload_ended_) return 0;
    ftp->paused_ = true;
    return CURL_READFUNC_PAUSE;
  }
  std::memcpy(data, ftp->buffer_.data() + ftp->buffer_pos_, n);
  ftp->Consume(n);
  return n;
}

bool CurlFtp::OpenFile(const std::string& remote, bool write, bool binary) {
  if (!Ready()) return false;
  if (remote.empty()) return Fail(CURLE_URL_MALFORMAT);
  buffer_.clear();
  buffer_pos_ = 0;
  paused_ = false;
  received_ = 0;
  upload_started_ = false;
  upload_ended_ = false;
  Prepare(easy_, Url(Resolve(remote), false));
  curl_easy_setopt(easy_, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
  if (write) {
    curl_easy_setopt(easy_, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy_, CURLOPT_READFUNCTION, &CurlFtp::OnStreamRead);
    curl_easy_setopt(easy_, CURLOPT_READDATA, this);
  } else {
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlFtp::OnStreamWrite);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  }
  stream_ = write ? Stream::kWrite : Stream::kRead;
  Start(easy_);
  // Opening waits until the server has taken the transfer on (or refused it), so a missing
  // file or a refused upload fails here; a download's data may still be to come.
  if (write) {
    Drive([this] { return upload_started_; });
  } else {
    Drive([this] {
      long code = 0;
      curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
      return Buffered() > 0 || code == 150 || code == 125;
    });
  }
  if (done_ && result_ != CURLE_OK) {
    const CURLcode code = result_;
    Finish();
    stream_ = Stream::kNone;
    return Fail(code);
  }
  return true;
}

bool CurlFtp::ReadFile(uint8_t* buffer, uint32_t size, uint32_t* read) {
  *read = 0;
  if (stream_ != Stream::kRead) return Fail(kNotReady);
  if (Buffered() < size) {
    wanted_ = size;
    if (paused_) Resume();
    Drive([this, size] { return Buffered() >= size; });
    wanted_ = 0;
  }
  if (done_ && result_ != CURLE_OK) return Fail(result_);
  const size_t n = std::min<size_t>(size, Buffered());
  if (n > 0) std::memcpy(buffer, buffer_.data() + buffer_pos_, n);
  Consume(n);
  if (paused_ && Buffered() < kPauseAt / 2) Resume();
  *read = static_cast<uint32_t>(n);
  return true;
}

bool CurlFtp::WriteFile(const uint8_t* data, uint32_t size, uint32_t* written) {
  *written = 0;
  if (stream_ != Stream::kWrite) return Fail(kNotReady);
  if (done_) return Fail(result_ != CURLE_OK ? result_ : CURLE_SEND_ERROR);
  buffer_.insert(buffer_.end(), data, data + size);
  if (Buffered() >= kSendAt) {
    if (paused_) Resume();
    Drive([this] { return Buffered() < kSendAt / 2; });
    if (done_) return Fail(result_ != CURLE_OK ? result_ : CURLE_SEND_ERROR);
  }
  *written = size;
  return true;
}

bool CurlFtp::CloseFile() {
  if (stream_ == Stream::kNone) return Fail(kNotReady);
  CURLcode code = CURLE_OK;
  if (stream_ == Stream::kWrite) {
    if (!done_) {
      upload_ended_ = true;
      if (paused_) Resume();
      Drive([] { return false; });
    }
    code = result_;
  } else if (!done_) {
    // With every byte in, waiting for the server's closing reply keeps the connection for
    // the next request; anything less is abandoned.
    curl_off_t length = -1;
    curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length >= 0 && received_ >= length) Drive([] { return false; });
  }
  // A download closed before its end is aborted here.
  Finish();
  stream_ = Stream::kNone;
  buffer_.clear();
  buffer_pos_ = 0;
  paused_ = false;
  return code == CURLE_OK || Fail(code);
}

bool CurlFtp::GetFile(const std::string& remote, const std::string& local, bool binary) {
  if (!Ready()) return false;
  // The download goes to a file beside the target, which it replaces only when complete.
  const std::filesystem::path target = LocalPath(local);
  std::filesystem::path partial = target;
  partial += ".download";
  std::ofstream out(partial, std::ios::binary | std::ios::trunc);
  if (!out) return Fail(CURLE_WRITE_ERROR);
  Prepare(easy_, Url(Resolve(remote), false));
  curl_easy_setopt(easy_, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &WriteToFile);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &out);
  CURLcode code = Perform(easy_);
  out.close();
  if (code == CURLE_OK && out.fail()) code = CURLE_WRITE_ERROR;
  std::error_code error;
  if (code == CURLE_OK) {
    std::filesystem::rename(partial, target, error);
    if (error) code = CURLE_WRITE_ERROR;
  }
  if (code != CURLE_OK) {
    std::filesystem::remove(partial, error);
    return Fail(code);
  }
  return true;
}

bool CurlFtp::PutFile(const std::string& local, const std::string& remote, bool binary) {
  if (!Ready()) return false;
  std::error_code error;
  const std::filesystem::path source = LocalPath(local);
  const auto size = std::filesystem::file_size(source, error);
  std::ifstream in(source, std::ios::binary);
  if (error || !in) return Fail(CURLE_READ_ERROR);
  Prepare(easy_, Url(Resolve(remote), false));
  curl_easy_setopt(easy_, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(easy_, CURLOPT_READFUNCTION, &ReadFromFile);
  curl_easy_setopt(easy_, CURLOPT_READDATA, &in);
  curl_easy_setopt(easy_, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
  // In ASCII mode line ends change length on the way, so the size is left unsaid.
  if (binary) {
    curl_easy_setopt(easy_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
  }
  const CURLcode code = Perform(easy_);
  return code == CURLE_OK || Fail(code);
}

bool CurlFtp::Command(const std::vector<std::string>& commands) {
  if (!Ready()) return false;
  for (const std::string& command : commands) {
    // A line break would smuggle a second command to the server.
    if (command.find_first_of("\r\n") != std::string::npos) return Fail(CURLE_URL_MALFORMAT);
  }
  curl_slist* list = nullptr;
  for (const std::string& command : commands) list = curl_slist_append(list, command.c_str());
  Prepare(easy_, site_ + "/");
  curl_easy_setopt(easy_, CURLOPT_QUOTE, list);
  curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
  const CURLcode code = Perform(easy_);
  curl_slist_free_all(list);
  return code == CURLE_OK || Fail(code);
}

// Raw commands run before libcurl changes directory, so they name absolute server paths.
bool CurlFtp::RenameFile(const std::string& from, const std::string& to) {
  return Command({"RNFR " + ServerPath(Resolve(from)), "RNTO " + ServerPath(Resolve(to))});
}

bool CurlFtp::CreateDirectory(const std::string& directory) {
  return Command({"MKD " + ServerPath(Resolve(directory))});
}

bool CurlFtp::RemoveDirectory(const std::string& directory) {
  return Command({"RMD " + ServerPath(Resolve(directory))});
}

bool CurlFtp::DeleteFile(const std::string& remote) {
  return Command({"DELE " + ServerPath(Resolve(remote))});
}

int CurlFtp::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* ftp = static_cast<CurlFtp*>(self);
  ftp->response_line_.append(data, size);
  size_t end;
  while ((end = ftp->response_line_.find('\n')) != std::string::npos) {
    std::string line = ftp->response_line_.substr(0, end);
    ftp->response_line_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) ftp->last_response_ = std::move(line);
  }
  return 0;
}

std::unique_ptr<Ftp> CreateSystemFtp() { return std::make_unique<CurlFtp>(); }

}  // namespace netvane::platform
