#include "platform/win32/win32_ftp.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/windows_api.h"

#include <wininet.h>

// The Windows headers map these names to their ...A/...W functions, which would rename the
// session's methods of the same names here.
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef CreateDirectory
#undef RemoveDirectory
#undef DeleteFile

namespace netvane::platform {
namespace {

HINTERNET Handle(void* handle) { return static_cast<HINTERNET>(handle); }

uint64_t Ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string TrimLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// The server's last response as WinINet keeps it for the calling thread.
std::string ThreadsLastResponse() {
  DWORD error = 0;
  char buffer[2048] = {};
  DWORD length = sizeof buffer;
  if (!InternetGetLastResponseInfoA(&error, buffer, &length)) return std::string();
  return TrimLineEnd(std::string(buffer, strnlen(buffer, sizeof buffer)));
}

// "host", "host:port" or "[v6 address]:port"; port 0 asks for the default FTP port.
void SplitServer(const std::string& server, std::string* host, INTERNET_PORT* port) {
  *host = server;
  *port = 0;
  size_t colon = std::string::npos;
  if (!server.empty() && server[0] == '[') {
    const size_t close = server.find(']');
    if (close == std::string::npos) return;
    *host = server.substr(1, close - 1);
    if (close + 1 < server.size() && server[close + 1] == ':') colon = close + 1;
  } else if (server.find(':') == server.rfind(':')) {
    colon = server.find(':');
    if (colon != std::string::npos) *host = server.substr(0, colon);
  }
  if (colon == std::string::npos) return;
  const unsigned long number = std::strtoul(server.c_str() + colon + 1, nullptr, 10);
  if (number <= 65535) *port = static_cast<INTERNET_PORT>(number);
}

}  // namespace

// One call at a time on a thread of its own. The thread keeps the state alive, so that a call
// given up can end at its own pace: it then closes the handle it opened and the thread ends.
struct Win32Ftp::Caller {
  std::mutex mutex;
  std::condition_variable changed;
  std::function<bool(Caller&)> call;  // the next call, until the thread takes it
  bool done = false;
  bool given_up = false;
  // The outcome; the last error and the last response belong to the thread that made the call.
  bool ok = false;
  DWORD error = 0;
  std::string response;
  // What calls hand back.
  HINTERNET handle = nullptr;
  WIN32_FIND_DATAA found{};
  std::vector<uint8_t> bytes;
  DWORD count = 0;

  static void Loop(std::shared_ptr<Caller> self) {
    std::unique_lock lock(self->mutex);
    for (;;) {
      self->changed.wait(lock, [&] { return self->call || self->given_up; });
      if (self->given_up) return;
      const std::function<bool(Caller&)> next = std::move(self->call);
      self->call = nullptr;
      lock.unlock();
      const bool ok = next(*self);
      const DWORD error = ok ? 0 : GetLastError();
      std::string response = ThreadsLastResponse();
      lock.lock();
      self->ok = ok;
      self->error = error;
      self->response = std::move(response);
      self->done = true;
      if (self->given_up) {
        if (self->handle != nullptr) InternetCloseHandle(self->handle);
        return;
      }
      self->changed.notify_all();
    }
  }
};

Win32Ftp::~Win32Ftp() {
  keep_waiting_ = nullptr;
  Disconnect();
  if (internet_ != nullptr) InternetCloseHandle(Handle(internet_));
  if (caller_ != nullptr) {
    std::lock_guard lock(caller_->mutex);
    caller_->given_up = true;
    caller_->changed.notify_all();
  }
}

bool Win32Ftp::Run(std::function<bool(Caller&)> call, int32_t limit_ms) {
  if (caller_ == nullptr) {
    caller_ = std::make_shared<Caller>();
    std::thread(&Caller::Loop, caller_).detach();
  }
  const std::shared_ptr<Caller> caller = caller_;
  std::unique_lock lock(caller->mutex);
  caller->done = false;
  caller->handle = nullptr;
  caller->call = std::move(call);
  caller->changed.notify_all();
  const auto now = std::chrono::steady_clock::now;
  const auto deadline = limit_ms > 0 ? now() + std::chrono::milliseconds(limit_ms)
                                     : std::chrono::steady_clock::time_point::max();
  auto hook_due = now() + kFtpWaitHookEvery;
  while (!caller->changed.wait_until(lock, std::min(deadline, hook_due),
                                     [&] { return caller->done; })) {
    if (now() >= deadline) {
      lock.unlock();
      return GiveUp(ERROR_INTERNET_TIMEOUT);
    }
    if (keep_waiting_) {
      lock.unlock();
      const bool go_on = keep_waiting_();
      lock.lock();
      if (!go_on) {
        lock.unlock();
        return GiveUp(ERROR_INTERNET_OPERATION_CANCELLED);
      }
    }
    hook_due = now() + kFtpWaitHookEvery;
  }
  last_error_ = static_cast<int32_t>(caller->error);
  last_response_ = codepage_.FromAnsi(caller->response);
  return caller->ok;
}

bool Win32Ftp::GiveUp(int32_t error) {
  {
    std::lock_guard lock(caller_->mutex);
    caller_->given_up = true;
    // Done meanwhile: its handle is not wanted any more either.
    if (caller_->done && caller_->handle != nullptr) InternetCloseHandle(caller_->handle);
    caller_->changed.notify_all();
  }
  caller_ = nullptr;
  // On Windows closing the handles also ends the call that waits on them.
  for (void** handle : {&file_, &find_, &connection_}) {
    if (*handle != nullptr) InternetCloseHandle(Handle(*handle));
    *handle = nullptr;
  }
  last_error_ = error;
  last_response_.clear();
  return false;
}

template <typename Command>
bool Win32Ftp::NameCommand(Command command, const std::string& name) {
  const HINTERNET connection = Handle(connection_);
  return Run([command, connection, name = codepage_.ToAnsi(name)](
                 Caller&) { return command(connection, name.c_str()) != FALSE; },
             limits_.reply_ms);
}

void Win32Ftp::SetTimeLimits(const FtpTimeLimits& limits) {
  limits_ = limits;
  ApplyTimeLimits();
}

void Win32Ftp::ApplyTimeLimits() {
  if (internet_ == nullptr) return;
  const std::pair<DWORD, int32_t> options[] = {
      {INTERNET_OPTION_CONNECT_TIMEOUT, limits_.connect_ms},
      {INTERNET_OPTION_RECEIVE_TIMEOUT, limits_.reply_ms},
      {INTERNET_OPTION_SEND_TIMEOUT, limits_.reply_ms},
      {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, limits_.data_ms},
      {INTERNET_OPTION_DATA_SEND_TIMEOUT, limits_.data_ms}};
  for (const auto& [option, ms] : options) {
    DWORD value = static_cast<DWORD>(ms);
    InternetSetOptionA(Handle(internet_), option, &value, sizeof value);
  }
}

bool Win32Ftp::Open(const std::string& agent) {
  internet_ = InternetOpenA(codepage_.ToAnsi(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                            nullptr, 0);
  if (internet_ == nullptr) {
    last_error_ = static_cast<int32_t>(GetLastError());
    return false;
  }
  ApplyTimeLimits();
  return true;
}

bool Win32Ftp::Connect(const std::string& server, const std::string& user,
                       const std::string& password, bool passive) {
  Disconnect();
  std::string host;
  INTERNET_PORT port = 0;
  SplitServer(server, &host, &port);
  const HINTERNET internet = Handle(internet_);
  const DWORD flags = passive ? INTERNET_FLAG_PASSIVE : 0;
  const bool ok = Run(
      [internet, host = codepage_.ToAnsi(host), port, user = codepage_.ToAnsi(user),
       password = codepage_.ToAnsi(password), flags](Caller& caller) {
        caller.handle = InternetConnectA(internet, host.c_str(), port, user.c_str(),
                                         password.c_str(), INTERNET_SERVICE_FTP, flags, 0);
        return caller.handle != nullptr;
      },
      limits_.connect_ms);
  if (ok) connection_ = caller_->handle;
  return ok;
}

void Win32Ftp::Disconnect() {
  FindClose();
  if (file_ != nullptr) CloseFile();
  if (connection_ == nullptr) return;
  // Closing the connection says QUIT and waits for the answer.
  const HINTERNET connection = Handle(connection_);
  connection_ = nullptr;
  const int32_t error = last_error_;
  const std::string response = last_response_;
  Run([connection](Caller&) { return InternetCloseHandle(connection) != FALSE; }, limits_.reply_ms);
  last_error_ = error;
  last_response_ = response;
}

bool Win32Ftp::GetCurrentDirectory(std::string* directory) {
  const HINTERNET connection = Handle(connection_);
  if (!Run(
          [connection](Caller& caller) {
            caller.bytes.assign(1024, 0);
            DWORD length = 1024;
            return FtpGetCurrentDirectoryA(connection, reinterpret_cast<char*>(caller.bytes.data()),
                                           &length) != FALSE;
          },
          limits_.reply_ms)) {
    return false;
  }
  *directory = codepage_.FromAnsi(reinterpret_cast<const char*>(caller_->bytes.data()));
  return true;
}

bool Win32Ftp::SetCurrentDirectory(const std::string& directory) {
  return NameCommand(FtpSetCurrentDirectoryA, directory);
}

namespace {

FtpFindData FromFindData(const WIN32_FIND_DATAA& data, const Win32CodePage& codepage) {
  FtpFindData found;
  found.attributes = data.dwFileAttributes;
  found.creation_time = Ticks(data.ftCreationTime);
  found.last_access_time = Ticks(data.ftLastAccessTime);
  found.last_write_time = Ticks(data.ftLastWriteTime);
  found.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  found.name = codepage.FromAnsi(std::string(data.cFileName, strnlen(data.cFileName, MAX_PATH)));
  return found;
}

}  // namespace

bool Win32Ftp::FindFirst(const std::string& pattern, FtpFindData* found) {
  FindClose();
  const HINTERNET connection = Handle(connection_);
  const bool ok = Run(
      [connection, mask = codepage_.ToAnsi(pattern)](Caller& caller) {
        caller.found = WIN32_FIND_DATAA{};
        caller.handle = FtpFindFirstFileA(connection, mask.c_str(), &caller.found, 0, 0);
        return caller.handle != nullptr;
      },
      limits_.reply_ms + limits_.data_ms);  // a command, and the listing's transfer
  if (!ok) {
    // Wine reports "no match" without an error number; Windows says no more files.
    if (last_error_ == 0) last_error_ = ERROR_NO_MORE_FILES;
    return false;
  }
  find_ = caller_->handle;
  *found = FromFindData(caller_->found, codepage_);
  return true;
}

bool Win32Ftp::FindNext(FtpFindData* found) {
  const HINTERNET find = Handle(find_);
  if (!Run(
          [find](Caller& caller) {
            caller.found = WIN32_FIND_DATAA{};
            return InternetFindNextFileA(find, &caller.found) != FALSE;
          },
          limits_.reply_ms)) {
    return false;
  }
  *found = FromFindData(caller_->found, codepage_);
  return true;
}

void Win32Ftp::FindClose() {
  if (find_ != nullptr) InternetCloseHandle(Handle(find_));
  find_ = nullptr;
}

bool Win32Ftp::OpenFile(const std::string& remote, bool write, bool binary) {
  const HINTERNET connection = Handle(connection_);
  const DWORD access = write ? GENERIC_WRITE : GENERIC_READ;
  const DWORD type = binary ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII;
  const bool ok = Run(
      [connection, name = codepage_.ToAnsi(remote), access, type](Caller& caller) {
        caller.handle = FtpOpenFileA(connection, name.c_str(), access, type, 0);
        return caller.handle != nullptr;
      },
      limits_.reply_ms);
  if (ok) file_ = caller_->handle;
  return ok;
}

bool Win32Ftp::ReadFile(uint8_t* buffer, uint32_t size, uint32_t* read) {
  *read = 0;
  const HINTERNET file = Handle(file_);
  if (!Run(
          [file, size](Caller& caller) {
            caller.bytes.resize(size);
            caller.count = 0;
            return InternetReadFile(file, caller.bytes.data(), size, &caller.count) != FALSE;
          },
          limits_.data_ms)) {
    return false;
  }
  *read = caller_->count;
  std::memcpy(buffer, caller_->bytes.data(), *read);
  return true;
}

bool Win32Ftp::WriteFile(const uint8_t* data, uint32_t size, uint32_t* written) {
  *written = 0;
  const HINTERNET file = Handle(file_);
  if (!Run(
          [file, bytes = std::vector<uint8_t>(data, data + size)](Caller& caller) {
            caller.count = 0;
            return InternetWriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                     &caller.count) != FALSE;
          },
          limits_.data_ms)) {
    return false;
  }
  *written = caller_->count;
  return true;
}

bool Win32Ftp::CloseFile() {
  // Closing waits for the server's word on the transfer.
  const HINTERNET file = Handle(file_);
  file_ = nullptr;
  return Run([file](Caller&) { return InternetCloseHandle(file) != FALSE; }, limits_.reply_ms);
}

// Whole files take as long as they take: WinINet's own limits apply, where it keeps them.
bool Win32Ftp::GetFile(const std::string& remote, const std::string& local, bool binary) {
  const HINTERNET connection = Handle(connection_);
  const DWORD type = binary ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII;
  return Run(
      [connection, from = codepage_.ToAnsi(remote), to = codepage_.ToAnsi(local), type](Caller&) {
        return FtpGetFileA(connection, from.c_str(), to.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL,
                           type | INTERNET_FLAG_RELOAD, 0) != FALSE;
      },
      0);
}

bool Win32Ftp::PutFile(const std::string& local, const std::string& remote, bool binary) {
  const HINTERNET connection = Handle(connection_);
  const DWORD type = binary ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII;
  return Run(
      [connection, from = codepage_.ToAnsi(local), to = codepage_.ToAnsi(remote), type](Caller&) {
        return FtpPutFileA(connection, from.c_str(), to.c_str(), type, 0) != FALSE;
      },
      0);
}

bool Win32Ftp::RenameFile(const std::string& from, const std::string& to) {
  const HINTERNET connection = Handle(connection_);
  return Run(
      [connection, old_name = codepage_.ToAnsi(from), new_name = codepage_.ToAnsi(to)](Caller&) {
        return FtpRenameFileA(connection, old_name.c_str(), new_name.c_str()) != FALSE;
      },
      limits_.reply_ms);
}

bool Win32Ftp::CreateDirectory(const std::string& directory) {
  return NameCommand(FtpCreateDirectoryA, directory);
}

bool Win32Ftp::RemoveDirectory(const std::string& directory) {
  return NameCommand(FtpRemoveDirectoryA, directory);
}

bool Win32Ftp::DeleteFile(const std::string& remote) { return NameCommand(FtpDeleteFileA, remote); }

std::string Win32Ftp::ErrorText(int32_t number) const {
  // WinINet's own numbers (12xxx) live in its module; the system has the rest.
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                         FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     GetModuleHandleA("wininet.dll"), static_cast<DWORD>(number), 0,
                     reinterpret_cast<char*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return std::string();
  std::string message(text, length);
  LocalFree(text);
  return codepage_.FromAnsi(TrimLineEnd(message));
}

std::unique_ptr<Ftp> CreateSystemFtp() { return std::make_unique<Win32Ftp>(); }

}  // namespace netvane::platform
