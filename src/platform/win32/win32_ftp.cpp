#include "platform/win32/win32_ftp.h"

#include <cstdlib>
#include <cstring>

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

Win32Ftp::~Win32Ftp() {
  Disconnect();
  if (internet_ != nullptr) InternetCloseHandle(Handle(internet_));
}

bool Win32Ftp::Fail() {
  last_error_ = static_cast<int32_t>(GetLastError());
  return false;
}

bool Win32Ftp::Open(const std::string& agent) {
  internet_ = InternetOpenA(codepage_.ToAnsi(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                            nullptr, 0);
  return Check(internet_ != nullptr);
}

bool Win32Ftp::Connect(const std::string& server, const std::string& user,
                       const std::string& password, bool passive) {
  Disconnect();
  std::string host;
  INTERNET_PORT port = 0;
  SplitServer(server, &host, &port);
  connection_ = InternetConnectA(Handle(internet_), codepage_.ToAnsi(host).c_str(), port,
                                 codepage_.ToAnsi(user).c_str(), codepage_.ToAnsi(password).c_str(),
                                 INTERNET_SERVICE_FTP, passive ? INTERNET_FLAG_PASSIVE : 0, 0);
  return Check(connection_ != nullptr);
}

void Win32Ftp::Disconnect() {
  FindClose();
  if (file_ != nullptr) InternetCloseHandle(Handle(file_));
  file_ = nullptr;
  if (connection_ != nullptr) InternetCloseHandle(Handle(connection_));
  connection_ = nullptr;
}

bool Win32Ftp::GetCurrentDirectory(std::string* directory) {
  char buffer[1024] = {};
  DWORD length = sizeof buffer;
  if (!FtpGetCurrentDirectoryA(Handle(connection_), buffer, &length)) return Fail();
  *directory = codepage_.FromAnsi(buffer);
  return true;
}

bool Win32Ftp::SetCurrentDirectory(const std::string& directory) {
  const std::string name = codepage_.ToAnsi(directory);
  return Check(FtpSetCurrentDirectoryA(Handle(connection_), name.c_str()));
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
  const std::string mask = codepage_.ToAnsi(pattern);
  WIN32_FIND_DATAA data{};
  find_ = FtpFindFirstFileA(Handle(connection_), mask.c_str(), &data, 0, 0);
  if (find_ == nullptr) {
    Fail();
    // Wine reports "no match" without an error number; Windows says no more files.
    if (last_error_ == 0) last_error_ = ERROR_NO_MORE_FILES;
    return false;
  }
  *found = FromFindData(data, codepage_);
  return true;
}

bool Win32Ftp::FindNext(FtpFindData* found) {
  WIN32_FIND_DATAA data{};
  if (!InternetFindNextFileA(Handle(find_), &data)) return Fail();
  *found = FromFindData(data, codepage_);
  return true;
}

void Win32Ftp::FindClose() {
  if (find_ != nullptr) InternetCloseHandle(Handle(find_));
  find_ = nullptr;
}

bool Win32Ftp::OpenFile(const std::string& remote, bool write, bool binary) {
  const std::string name = codepage_.ToAnsi(remote);
  file_ = FtpOpenFileA(Handle(connection_), name.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       binary ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII, 0);
  return Check(file_ != nullptr);
}

bool Win32Ftp::ReadFile(uint8_t* buffer, uint32_t size, uint32_t* read) {
  DWORD done = 0;
  const BOOL ok = InternetReadFile(Handle(file_), buffer, size, &done);
  if (!ok) return Fail();
  *read = done;
  return true;
}

bool Win32Ftp::WriteFile(const uint8_t* data, uint32_t size, uint32_t* written) {
  DWORD done = 0;
  const BOOL ok = InternetWriteFile(Handle(file_), data, size, &done);
  if (!ok) return Fail();
  *written = done;
  return true;
}

bool Win32Ftp::CloseFile() {
  const BOOL ok = InternetCloseHandle(Handle(file_));
  file_ = nullptr;
  return Check(ok);
}

bool Win32Ftp::GetFile(const std::string& remote, const std::string& local, bool binary) {
  const std::string from = codepage_.ToAnsi(remote);
  const std::string to = codepage_.ToAnsi(local);
  const DWORD type = binary ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII;
  return Check(FtpGetFileA(Handle(connection_), from.c_str(), to.c_str(), FALSE,
                           FILE_ATTRIBUTE_NORMAL, type | INTERNET_FLAG_RELOAD, 0));
}

bool Win32Ftp::PutFile(const std::string& local, const std::string& remote, bool binary) {
  const std::string from = codepage_.ToAnsi(local);
  const std::string to = codepage_.ToAnsi(remote);
  return Check(FtpPutFileA(Handle(connection_), from.c_str(), to.c_str(),
                           binary ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII, 0));
}

bool Win32Ftp::RenameFile(const std::string& from, const std::string& to) {
  const std::string old_name = codepage_.ToAnsi(from);
  const std::string new_name = codepage_.ToAnsi(to);
  return Check(FtpRenameFileA(Handle(connection_), old_name.c_str(), new_name.c_str()));
}

bool Win32Ftp::CreateDirectory(const std::string& directory) {
  const std::string name = codepage_.ToAnsi(directory);
  return Check(FtpCreateDirectoryA(Handle(connection_), name.c_str()));
}

bool Win32Ftp::RemoveDirectory(const std::string& directory) {
  const std::string name = codepage_.ToAnsi(directory);
  return Check(FtpRemoveDirectoryA(Handle(connection_), name.c_str()));
}

bool Win32Ftp::DeleteFile(const std::string& remote) {
  const std::string name = codepage_.ToAnsi(remote);
  return Check(FtpDeleteFileA(Handle(connection_), name.c_str()));
}

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

std::string Win32Ftp::LastResponse() const {
  DWORD error = 0;
  char buffer[2048] = {};
  DWORD length = sizeof buffer;
  if (!InternetGetLastResponseInfoA(&error, buffer, &length)) return std::string();
  return codepage_.FromAnsi(TrimLineEnd(std::string(buffer, strnlen(buffer, sizeof buffer))));
}

std::unique_ptr<Ftp> CreateSystemFtp() { return std::make_unique<Win32Ftp>(); }

}  // namespace netvane::platform
