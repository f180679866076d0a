// The update procedure of NVEupdate: fetch the patch information from the update server,
// compare its build number with the installed one, and when the server's is newer download
// the update file and its signature, check that the publisher signed that file for that build,
// and either run it (and wait) or copy it over the installed program.
// Qt-free: the window is reached through UpdaterView.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "prompt/user_prompt.h"
#include "updater/ftp_client.h"
#include "updater/minisign.h"

namespace netvane::updater {

// The deployment values: the update server and the anonymous login.
inline constexpr char kUpdateServer[] = "update.netvane.example";
inline constexpr char kAnonymousUser[] = "anonymous";
inline constexpr char kAnonymousPassword[] = "netvane-update@netvane.example";
// The update server to use: NETVANE_UPDATE_SERVER (host or host:port) when set.
std::string UpdateServerHost();

// Beside the programs when a system package installed them: the package manager owns those files
// and brings their updates.
inline constexpr char kPackageMarker[] = "package-managed";

inline constexpr char kProgramKey[] = "SOFTWARE\\Orlenta\\Netvane 2.0";
inline constexpr char kAppPathsKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Netvane.exe";

// The updater's registry module: numeric text is stored as a 32-bit number.
class basRegistry {
 public:
  struct Value {
    enum class Kind { kEmpty, kText, kNumber } kind = Kind::kEmpty;
    std::string text;
    int32_t number = 0;
    bool Equals(int32_t n) const;
    // The value as a number, when it is one.
    bool AsNumber(double* n) const;
  };

  basRegistry(platform::Registry& registry, const platform::CodePage& codepage)
      : registry_(registry), codepage_(codepage) {}
  // A text up to its first NUL, a number, or empty (missing key or value, other types).
  Value Read(platform::RegHandle root, const std::string& key, const std::string& name);
  // Creates the key when needed; numeric text becomes a number, anything else trimmed text.
  bool Write(platform::RegHandle root, const std::string& key, const std::string& name,
             const std::string& value);

 private:
  platform::Registry& registry_;
  const platform::CodePage& codepage_;
};

// Whether text is numeric as the updater's registry module judges it.
bool IsNumeric(const std::string& text, double* value = nullptr);

enum class UpdateLabel { kLabel4, kLabel7, kLabel8, kLabel9, kDirectory };
enum class UpdateBar { kPb, kPb2 };

class UpdaterView {
 public:
  virtual ~UpdaterView() = default;
  virtual void SetLabel(UpdateLabel label, const std::string& text) = 0;
  virtual void SetBar(UpdateBar bar, int value, int maximum) = 0;
  // The listing of the current server directory; null empties it.
  virtual void ShowListing(const cDirList* listing) = 0;
  // The procedure starts (Update Now off, Cancel shown and focused, Quit hidden) or ends
  // (Update Now off, Cancel hidden, Quit shown and focused).
  virtual void ProcedureRunning(bool running) = 0;
  virtual void SetWindowShown(bool shown) = 0;
  virtual void LetPendingEventsRun() = 0;
  virtual UserPrompt& Prompt() = 0;
  // Ends the program at once.
  virtual void EndProgram() = 0;
  // The connection values typed in the window.
  virtual std::string Server() = 0;
  virtual std::string User() = 0;
  virtual std::string Password() = 0;
};

class UpdateProcedure {
 public:
  // `trusted` are the publishers' keys this build trusts: an update signed by none of them is
  // never run or copied, and without any no update is tried.
  UpdateProcedure(cFTP& ftp, platform::Platform& platform, UpdaterView& view,
                  std::vector<minisign::PublicKey> trusted);

  // Connect: log in, go to "/", list it and keep the connection values.
  bool Connect();
  void Disconnect();
  void RefreshListing();
  // A double click on a listing entry: ".." and folders are entered, a file runs the update.
  void Open(const std::string& entry);
  // Update Now. Returns false when the procedure ended the program (AutoFinish).
  bool Run();
  // Every activation of the window: runs the procedure when AutoUpdate is 1.
  void Activated();
  // Cancel: the transfer stops after its current block.
  void Cancel() { ContinueFlag = false; }
  void Progress(int64_t current, int64_t total);

  bool ContinueFlag = true;
  int Phase = 1;

 private:
  // How a step of the procedure ended; only kGoOn lets the next step follow. kStopped: failed or
  // cancelled, and the user has been told.
  enum class Outcome { kGoOn, kUpToDate, kInstalled, kStopped };
  struct PatchInfo {
    std::string content;     // the patch information without its line end
    std::string build_text;  // the build number as the server writes it
    double build = 0;
    bool external = false;  // an installer to run rather than a program to copy
  };
  // Downloads the patch information and reads it.
  Outcome FetchPatchInfo(PatchInfo* patch);
  // Stores build 1 where none is installed, and compares the server's build with it.
  Outcome CompareBuilds(PatchInfo* patch);
  // Downloads the update and its signature, checks them, and runs or copies the bytes it
  // checked; then the build number is the server's.
  Outcome Install(const PatchInfo& patch);
  // Why the update `file` (the bytes `content`, signed by `signature`, the signature file's
  // text) may not be installed; empty when it may.
  std::string Refusal(const PatchInfo& patch, const std::string& file, const std::string& content,
                      const std::string& signature);
  void CleanUp(Outcome outcome);
  // The update file and its signature, wherever a step left them.
  void DeleteDownloads();
  // Downloads `remote` to the fixed local path; false (after its message) when nothing or only
  // part of it arrived. `failure` is the message for a failed download (empty: the FTP
  // client's own error text).
  bool Download(const std::string& remote, const std::string& local, const std::string& failure);
  // The name of the listing's entry equal to `name` ignoring case (the last one), or empty.
  std::string FindInListing(const std::string& name);
  bool RunAndWait(const std::string& program);
  bool PackageManaged() const;
  void Message(const std::string& text, PromptIcon icon = PromptIcon::kNone);

  cFTP& ftp_;
  platform::Platform& platform_;
  UpdaterView& view_;
  basRegistry registry_;
  std::vector<minisign::PublicKey> trusted_;
  bool running_ = false;
  // The bars and labels follow the patch information and the update file, not the signature.
  bool show_progress_ = true;
  // How the last run ended: an unattended run that failed does not say it succeeded.
  Outcome last_outcome_ = Outcome::kStopped;
};

}  // namespace netvane::updater
