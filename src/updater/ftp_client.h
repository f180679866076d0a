// cFTP: the updater's FTP client over the platform's FTP session. Every operation returns a
// result instead of raising an error and keeps a readable text of the last failure.
// Downloads and uploads move 255-byte blocks and report progress after each one; a download
// stops after the current block once the continue flag is cleared. Every wait for the server
// has a time limit, and lets the window's pending events run while it lasts.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ftp.h"

namespace netvane::updater {

inline constexpr uint32_t kBlockSize = 255;

// One directory entry.
struct cDirItem {
  bool ReadOnly = false;
  bool Hidden = false;
  bool System = false;
  bool Directory = false;
  bool Archive = false;
  bool Normal = false;
  bool Temporary = false;
  bool Compressed = false;
  bool Offline = false;
  double CreationTime = 0;  // dates: days since 1899-12-30, local time
  double LastAccessTime = 0;
  double LastWriteTime = 0;
  int64_t FileSize = 0;
  std::string Filename;

  // " A ", " C ", " D ", " H ", " N ", " O ", " R ", " S ", " T " for the flags set
  // (in that order), " - " for each one that is not.
  std::string AttributeText() const;
};

// Directory entries keyed by file name, in the order they were added.
class cDirList {
 public:
  cDirItem& Add(uint32_t attributes, double creation, double last_access, double last_write,
                int64_t size, const std::string& name);
  const cDirItem* Item(const std::string& key) const;
  const cDirItem* Item(int position) const;  // from 1
  int Count() const { return static_cast<int>(items_.size()); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<cDirItem> items_;
};

// A file time (100 ns since 1601, UTC) as a local date: days since 1899-12-30.
double FileTimeToDate(uint64_t file_time);

class cFTP {
 public:
  // Creates the session (InternetOpen with the agent "Qorby FTP Client").
  explicit cFTP(std::unique_ptr<platform::Ftp> session);
  ~cFTP();

  bool OpenConnection(const std::string& server, const std::string& user,
                      const std::string& password);
  void CloseConnection();
  // The limits of each wait for the server (the session's defaults until set).
  void SetTimeLimits(const platform::FtpTimeLimits& limits) { session_->SetTimeLimits(limits); }
  void SetModeActive() { passive_ = false; }
  void SetModePassive() { passive_ = true; }
  void SetTransferASCII() { binary_ = false; }
  void SetTransferBinary() { binary_ = true; }
  std::string GetFTPDirectory();
  bool SetFTPDirectory(const std::string& directory);
  // The size of the matching file; -1 when no file matches, -2 on any other failure.
  int64_t GetFTPFileSize(const std::string& file);
  // The entries matching `filter` (also kept as Directory()); empty when nothing matches or
  // on failure.
  std::optional<cDirList> GetDirectoryListing(const std::string& filter);
  // `local` and `remote` are trimmed (the caller's variables too). A download replaces `local`
  // only once the listed size has arrived (or the user cancelled); a transfer that ends short of
  // it fails and leaves `local` as it was.
  bool FTPDownloadFile(std::string& local, std::string& remote);
  bool FTPUploadFile(std::string& local, std::string& remote);
  bool SimpleFTPGetFile(const std::string& local, const std::string& remote);
  bool SimpleFTPPutFile(const std::string& local, const std::string& remote);
  bool RenameFTPFile(const std::string& existing, const std::string& new_name);
  bool CreateFTPDirectory(const std::string& directory);
  bool RemoveFTPDirectory(const std::string& directory);
  bool DeleteFTPFile(const std::string& remote);
  const std::string& GetLastErrorMessage() const { return error_; }
  // The last listing, empty before the first.
  cDirList& Directory();

  // FileTransferProgress(current, total) after every block.
  std::function<void(int64_t current, int64_t total)> FileTransferProgress;
  // Lets the window's pending events run between blocks, and while the server is waited for.
  // While it runs during such a wait, the client refuses every other operation (a connection
  // closed meanwhile is closed once the wait has been given up).
  std::function<void()> LetPendingEventsRun;
  // Cleared by the user's Cancel: a download stops after the current block, or at once while it
  // waits for the server.
  bool* ContinueFlag = nullptr;

 private:
  // What a download's blocks came to.
  struct Received {
    int64_t count = 0;
    bool cancelled = false;
  };
  // Reads the open remote file's `size` bytes into `out` block by block; nullopt (after
  // SetError) when a read fails.
  std::optional<Received> ReceiveBlocks(std::ostream& out, int64_t size);
  void SetError(const char* tag);
  void Progress(int64_t current, int64_t total);
  void PendingEvents();
  bool Cancelled() const { return ContinueFlag != nullptr && !*ContinueFlag; }
  // The session's wait hook: false gives up the call that waits.
  bool KeepWaiting();

  std::unique_ptr<platform::Ftp> session_;
  bool passive_ = false;
  bool binary_ = false;
  std::string error_;
  std::optional<cDirList> directory_;
  bool waiting_ = false;          // the session waits, and events run meanwhile
  bool close_requested_ = false;  // by those events
  bool cancellable_ = false;      // Cancel ends the wait of a download
};

}  // namespace netvane::updater
