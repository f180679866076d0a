#include "updater/ftp_client.h"

#include <cctype>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/text.h"
#include "platform/win_codes.h"

namespace netvane::updater {
namespace {

constexpr char kAgent[] = "Qorby FTP Client";

// Attribute bits the platform header leaves out.
constexpr uint32_t kAttributeTemporary = 0x100;
constexpr uint32_t kAttributeCompressed = 0x800;
constexpr uint32_t kAttributeOffline = 0x1000;

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = 864000000000LL;
constexpr int64_t kUnixEpochInTicks = 116444736000000000LL;
constexpr int64_t kDaysFrom1601To1899 = 109205;  // 1601-01-01 to 1899-12-30

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::filesystem::path LocalPath(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

std::string cDirItem::AttributeText() const {
  const std::pair<bool, const char*> groups[] = {
      {Archive, " A "}, {Compressed, " C "}, {Directory, " D "}, {Hidden, " H "},   {Normal, " N "},
      {Offline, " O "}, {ReadOnly, " R "},   {System, " S "},    {Temporary, " T "}};
  std::string text;
  for (const auto& [set, group] : groups) text += set ? group : " - ";
  return text;
}

cDirItem& cDirList::Add(uint32_t attributes, double creation, double last_access, double last_write,
                        int64_t size, const std::string& name) {
  cDirItem item;
  item.ReadOnly = (attributes & platform::kFileAttributeReadOnly) != 0;
  item.Hidden = (attributes & platform::kFileAttributeHidden) != 0;
  item.System = (attributes & platform::kFileAttributeSystem) != 0;
  item.Directory = (attributes & platform::kFileAttributeDirectory) != 0;
  item.Archive = (attributes & platform::kFileAttributeArchive) != 0;
  item.Normal = (attributes & platform::kFileAttributeNormal) != 0;
  item.Temporary = (attributes & kAttributeTemporary) != 0;
  item.Compressed = (attributes & kAttributeCompressed) != 0;
  item.Offline = (attributes & kAttributeOffline) != 0;
  item.CreationTime = creation;
  item.LastAccessTime = last_access;
  item.LastWriteTime = last_write;
  item.FileSize = size;
  item.Filename = name;
  items_.push_back(std::move(item));
  return items_.back();
}

// Keys compare without regard to case, as the collection's keys always have.
const cDirItem* cDirList::Item(const std::string& key) const {
  for (const cDirItem& item : items_) {
    if (SameName(item.Filename, key)) return &item;
  }
  return nullptr;
}

const cDirItem* cDirList::Item(int position) const {
  if (position < 1 || position > Count()) return nullptr;
  return &items_[static_cast<size_t>(position - 1)];
}

double FileTimeToDate(uint64_t file_time) {
  const auto ticks = static_cast<int64_t>(file_time);
  if (ticks < 0) return 0;
  const std::time_t utc =
      static_cast<std::time_t>(FloorDiv(ticks - kUnixEpochInTicks, kTicksPerSecond));
  // The zone's offset at that moment, from the C++ library's own local-time rules.
  const std::tm* local = std::localtime(&utc);
  if (local == nullptr) return 0;
  using namespace std::chrono;
  const sys_days date = year{local->tm_year + 1900} /
                        month{static_cast<unsigned>(local->tm_mon + 1)} /
                        day{static_cast<unsigned>(local->tm_mday)};
  const int64_t local_seconds = int64_t{date.time_since_epoch().count()} * 86400 +
                                int64_t{local->tm_hour} * 3600 + int64_t{local->tm_min} * 60 +
                                local->tm_sec;
  const int64_t local_ticks = ticks + (local_seconds - static_cast<int64_t>(utc)) * kTicksPerSecond;
  // Whole days and the fraction apart, so that the date keeps its time to the second.
  const int64_t days = FloorDiv(local_ticks, kTicksPerDay);
  const int64_t rest = local_ticks - days * kTicksPerDay;
  return static_cast<double>(days - kDaysFrom1601To1899) +
         static_cast<double>(rest) / static_cast<double>(kTicksPerDay);
}

cFTP::cFTP(std::unique_ptr<platform::Ftp> session) : session_(std::move(session)) {
  session_->SetWaitHook([this] { return KeepWaiting(); });
  if (!session_->Open(kAgent)) SetError("InternetOpen");
}

cFTP::~cFTP() { session_->SetWaitHook(nullptr); }

bool cFTP::KeepWaiting() {
  waiting_ = true;
  PendingEvents();
  waiting_ = false;
  // A connection closed meanwhile: giving up the call disconnects the session.
  const bool close = close_requested_;
  close_requested_ = false;
  return !close && !(cancellable_ && Cancelled());
}

void cFTP::SetError(const char* tag) {
  const int32_t number = session_->LastError();
  // The extended error's own text is only "see the server's response".
  if (number == platform::kFtpExtendedError) {
    error_ = session_->LastResponse();
    return;
  }
  error_ = std::string(tag) + " error code: " + std::to_string(number) +
           " Message: " + session_->ErrorText(number);
}

bool cFTP::OpenConnection(const std::string& server, const std::string& user,
                          const std::string& password) {
  if (waiting_) return false;
  session_->Disconnect();
  if (session_->Connect(server, user, password, passive_)) return true;
  SetError("InternetConnect");
  return false;
}

void cFTP::CloseConnection() {
  if (waiting_) {
    close_requested_ = true;
    return;
  }
  session_->Disconnect();
}

std::string cFTP::GetFTPDirectory() {
  if (waiting_) return std::string();
  std::string directory;
  if (!session_->GetCurrentDirectory(&directory)) {
    SetError("FtpGetCurrentDirectory");
    return std::string();
  }
  return directory.substr(0, directory.find('\0'));
}

bool cFTP::SetFTPDirectory(const std::string& directory) {
  if (waiting_) return false;
  if (session_->SetCurrentDirectory(directory)) return true;
  SetError("FtpSetCurrentDirectory");
  return false;
}

int64_t cFTP::GetFTPFileSize(const std::string& file) {
  if (waiting_) return -2;
  platform::FtpFindData found;
  const bool ok = session_->FindFirst(file, &found);
  if (!ok && session_->LastError() == platform::kErrorNoMoreFiles) return -1;
  if (!ok) {
    SetError("FtpFindFirstFile");
    return -2;
  }
  session_->FindClose();
  return static_cast<int64_t>(found.size);
}

namespace {

void AddEntry(cDirList& list, const platform::FtpFindData& found) {
  list.Add(found.attributes, FileTimeToDate(found.creation_time),
           FileTimeToDate(found.last_access_time), FileTimeToDate(found.last_write_time),
           static_cast<int64_t>(found.size), found.name.substr(0, found.name.find('\0')));
}

}  // namespace

std::optional<cDirList> cFTP::GetDirectoryListing(const std::string& filter) {
  if (waiting_) return std::nullopt;
  directory_.reset();
  platform::FtpFindData found;
  if (!session_->FindFirst(filter, &found)) {
    if (session_->LastError() != platform::kErrorNoMoreFiles) SetError("FtpFindFirstFile");
    return std::nullopt;
  }
  AddEntry(Directory(), found);
  for (;;) {
    found = platform::FtpFindData();
    if (!session_->FindNext(&found)) break;
    AddEntry(Directory(), found);
  }
  const bool complete = session_->LastError() == platform::kErrorNoMoreFiles;
  if (!complete) SetError("InternetFindNextFile");
  session_->FindClose();
  if (!complete) return std::nullopt;
  return Directory();
}

cDirList& cFTP::Directory() {
  if (!directory_) directory_.emplace();
  return *directory_;
}

void cFTP::Progress(int64_t current, int64_t total) {
  if (FileTransferProgress) FileTransferProgress(current, total);
}

void cFTP::PendingEvents() {
  if (LetPendingEventsRun) LetPendingEventsRun();
}

namespace {

// Where a download's bytes go: a file beside the target, which replaces it only at the end, so
// a failed download leaves the old file as it was. What is not a regular file (a device) is
// written as it is.
class DownloadTarget {
 public:
  explicit DownloadTarget(const std::filesystem::path& target) : target_(target) {
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    in_place_ = std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
    partial_ = target;
    if (!in_place_) partial_ += ".download";
    // Truncating: a longer old file must not leave its tail behind.
    out_.open(partial_, std::ios::binary | std::ios::trunc);
  }

  bool is_open() const { return static_cast<bool>(out_); }
  std::ostream& out() { return out_; }
  void Close() { out_.close(); }
  // Closes, and removes what has arrived.
  void Discard() {
    out_.close();
    Remove();
  }
  // Puts the closed file in place; false when not all of it was written (a full disk must not
  // pass for a complete download).
  bool Commit() {
    std::error_code error;
    if (out_ && !in_place_) std::filesystem::rename(partial_, target_, error);
    if (out_ && !error) return true;
    Remove();
    return false;
  }

 private:
  void Remove() {
    std::error_code error;
    if (!in_place_) std::filesystem::remove(partial_, error);
  }

  std::filesystem::path target_;
  std::filesystem::path partial_;
  bool in_place_ = false;
  std::ofstream out_;
};

}  // namespace

std::optional<cFTP::Received> cFTP::ReceiveBlocks(std::ostream& out, int64_t size) {
  auto read = [&](uint8_t* block, uint32_t wanted) {
    uint32_t got = 0;
    if (!session_->ReadFile(block, wanted, &got)) return -1;
    out.write(reinterpret_cast<const char*>(block), got);
    return static_cast<int>(got);
  };
  uint8_t block[kBlockSize];
  Received received;
  bool ended = false;  // no more data comes (the server ended short, or Cancel a wait)
  const int64_t blocks = size / kBlockSize;
  for (int64_t i = 0; i < blocks; ++i) {
    const int got = read(block, kBlockSize);
    if (got < 0) {
      // Cancel ended the wait for this block: what came is kept, as after any Cancel.
      if (Cancelled()) {
        received.cancelled = ended = true;
        break;
      }
      SetError("InternetReadFile");
      cancellable_ = false;
      return std::nullopt;
    }
    PendingEvents();
    received.count += got;
    Progress(received.count, size);
    ended = got < static_cast<int>(kBlockSize);
    received.cancelled = Cancelled();
    if (ended || received.cancelled) break;
  }
  cancellable_ = false;
  const auto remainder = static_cast<uint32_t>(size % kBlockSize);
  if (remainder != 0 && !ended) {
    const int got = read(block, remainder);
    if (got < 0) {
      SetError("InternetReadFile2");
      return std::nullopt;
    }
    received.count += got;
  }
  return received;
}

bool cFTP::FTPDownloadFile(std::string& local, std::string& remote) {
  local = std::string(platform::TrimSpaces(local));
  remote = std::string(platform::TrimSpaces(remote));
  if (local.empty() || remote.empty() || waiting_) return false;
  const int64_t size = GetFTPFileSize(remote);
  if (size <= 0) return false;
  cancellable_ = true;
  if (!session_->OpenFile(remote, false, binary_)) {
    cancellable_ = false;
    // Cancel ended the wait for the server's answer: nothing came, nothing is replaced.
    if (Cancelled()) return true;
    SetError("FtpOpenFile:GetFile");
    return false;
  }
  DownloadTarget target(LocalPath(local));
  if (!target.is_open()) {
    cancellable_ = false;
    session_->CloseFile();
    error_ = "The local file " + local + " could not be written.";
    return false;
  }
  const std::optional<Received> received = ReceiveBlocks(target.out(), size);
  const bool whole = received && (received->count >= size || received->cancelled);
  if (received && !whole) {
    error_ = "The download of " + remote + " ended after " + std::to_string(received->count) +
             " of " + std::to_string(size) + " bytes.";
  }
  // The remote file is closed on a failure too, so the session stays usable.
  if (!whole) {
    target.Discard();
    session_->CloseFile();
    return false;
  }
  Progress(received->count, size);
  target.Close();
  session_->CloseFile();
  if (!target.Commit()) {
    error_ = "The local file " + local + " could not be written.";
    return false;
  }
  return true;
}

bool cFTP::FTPUploadFile(std::string& local, std::string& remote) {
  local = std::string(platform::TrimSpaces(local));
  remote = std::string(platform::TrimSpaces(remote));
  if (local.empty() || remote.empty() || waiting_) return false;
  // The local file is opened first: opening the remote one for writing already replaces it.
  std::ifstream in(LocalPath(local), std::ios::binary);
  std::error_code error;
  const auto length = std::filesystem::file_size(LocalPath(local), error);
  if (!in || error) return false;
  if (!session_->OpenFile(remote, true, binary_)) {
    SetError("FtpOpenFile:PutFile");
    return false;
  }
  auto fail = [&](const char* tag) {
    SetError(tag);
    session_->CloseFile();
    return false;
  };
  const auto size = static_cast<int64_t>(length);
  uint8_t block[kBlockSize];
  int64_t count = 0;
  const int64_t blocks = size / kBlockSize;
  for (int64_t i = 0; i < blocks; ++i) {
    in.read(reinterpret_cast<char*>(block), kBlockSize);
    uint32_t written = 0;
    if (!session_->WriteFile(block, kBlockSize, &written)) return fail("InternetWriteFile");
    PendingEvents();
    count += kBlockSize;
    Progress(count, size);
  }
  const auto remainder = static_cast<uint32_t>(size % kBlockSize);
  if (remainder != 0) {
    in.read(reinterpret_cast<char*>(block), remainder);
    uint32_t written = 0;
    if (!session_->WriteFile(block, remainder, &written)) return fail("InternetWriteFile2");
    count += remainder;
  }
  Progress(count, size);
  // The server may still refuse the data when the upload ends.
  if (!session_->CloseFile()) {
    SetError("InternetWriteFile");
    return false;
  }
  return true;
}

bool cFTP::SimpleFTPGetFile(const std::string& local, const std::string& remote) {
  if (waiting_) return false;
  if (session_->GetFile(remote, local, binary_)) return true;
  SetError("SimpleFtpGetFile");
  return false;
}

bool cFTP::SimpleFTPPutFile(const std::string& local, const std::string& remote) {
  if (waiting_) return false;
  if (session_->PutFile(local, remote, binary_)) return true;
  SetError("SimpleFtpPutFile");
  return false;
}

bool cFTP::RenameFTPFile(const std::string& existing, const std::string& new_name) {
  if (waiting_) return false;
  if (session_->RenameFile(existing, new_name)) return true;
  SetError("RenameFTPFile");
  return false;
}

bool cFTP::CreateFTPDirectory(const std::string& directory) {
  if (waiting_) return false;
  if (session_->CreateDirectory(directory)) return true;
  SetError("CreateFTPDirectory");
  return false;
}

bool cFTP::RemoveFTPDirectory(const std::string& directory) {
  if (waiting_) return false;
  if (session_->RemoveDirectory(directory)) return true;
  SetError("RemoveFTPDirectory");
  return false;
}

bool cFTP::DeleteFTPFile(const std::string& remote) {
  if (waiting_) return false;
  if (session_->DeleteFile(remote)) return true;
  SetError("DeleteFTPFile");
  return false;
}

}  // namespace netvane::updater
