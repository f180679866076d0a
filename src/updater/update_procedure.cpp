#include "updater/update_procedure.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/bytes.h"
#include "platform/command_line.h"
#include "platform/platform_error.h"
#include "platform/text.h"
#include "updater/update_signature.h"

namespace netvane::updater {
namespace {

using platform::kErrorSuccess;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

constexpr char kSettingsKey[] = "Software\\Qorby FTP Client\\Settings";
constexpr char kPatchInfo[] = "eng.txt";
// Fixed places at the root of drive C, where every build of the updater has kept its files:
// the patch information stays there after a run, the update file is deleted at the end of one
// and list.txt at the end of every run. On the host drive C is a folder ($NETVANE_DRIVE_C).
constexpr char kPatchInfoPath[] = "c:\\eng.txt";
constexpr char kUpdatePath[] = "c:\\netvane.exe";
constexpr char kSignaturePath[] = "c:\\netvane.exe.minisig";
constexpr char kListPath[] = "c:\\list.txt";
constexpr auto kRunPoll = std::chrono::milliseconds(20);
constexpr char kPatchInfoFailure[] = "An error occured. Retry after quit program.";
constexpr char kFromPackageManager[] =
    "Netvane was installed from a package: its updates come from the system's package manager. "
    "Nothing was downloaded or installed.";
constexpr char kNotABuildNumber[] =
    "The patch information on the update server is not a build number. Nothing was installed.";
constexpr char kNoTrustedKey[] =
    "This NVEupdate trusts no publisher's key, so it cannot tell an update from a forgery. "
    "Nothing was downloaded or installed.";
constexpr char kNothingInstalled[] = " Nothing was installed.";
// What the publisher's trusted comment says: "netvane build NNNNNN file NAME".
constexpr std::string_view kCommentBuild = "netvane build ";
constexpr std::string_view kCommentFile = " file ";

// Runs `action` when the scope ends, however it ends.
template <typename Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action) : action_(std::move(action)) {}
  ~ScopeExit() { action_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Action action_;
};

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

std::string UpdateServerHost() {
  const char* env = std::getenv("NETVANE_UPDATE_SERVER");
  return env != nullptr && *env != '\0' ? std::string(env) : std::string(kUpdateServer);
}

bool IsNumeric(const std::string& text, double* value) {
  const std::string t(platform::TrimSpaces(text));
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  bool digits = false;
  bool dot = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits = true;
    } else if (t[i] == '.' && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  if (value != nullptr) *value = std::strtod(t.c_str(), nullptr);
  return true;
}

bool basRegistry::Value::Equals(int32_t n) const {
  double v = 0;
  return AsNumber(&v) && v == n;
}

bool basRegistry::Value::AsNumber(double* n) const {
  if (kind == Kind::kNumber) {
    *n = number;
    return true;
  }
  return kind == Kind::kText && IsNumeric(text, n);
}

basRegistry::Value basRegistry::Read(platform::RegHandle root, const std::string& key,
                                     const std::string& name) {
  Value v;
  platform::RegHandle h = 0;
  if (registry_.OpenKeyEx(root, codepage_.ToAnsi(key), platform::kKeyRead, &h) != kErrorSuccess) {
    return v;
  }
  const std::string ansi_name = codepage_.ToAnsi(name);
  uint32_t type = 0;
  uint32_t size = 0;
  if (registry_.QueryValueEx(h, ansi_name, &type, nullptr, &size) == kErrorSuccess) {
    std::string data(size, '\0');
    if (registry_.QueryValueEx(h, ansi_name, &type, reinterpret_cast<uint8_t*>(data.data()),
                               &size) == kErrorSuccess) {
      data.resize(size);
      if (type == platform::kRegSz || type == platform::kRegExpandSz) {
        v.kind = Value::Kind::kText;
        v.text = codepage_.FromAnsi(data.substr(0, data.find('\0')));
      } else if (type == platform::kRegDword && size == 4) {
        v.kind = Value::Kind::kNumber;
        v.number = static_cast<int32_t>(platform::GetLe32(data.data()));
      }
    }
  }
  registry_.CloseKey(h);
  return v;
}

bool basRegistry::Write(platform::RegHandle root, const std::string& key, const std::string& name,
                        const std::string& value) {
  platform::RegHandle h = 0;
  if (registry_.CreateKey(root, codepage_.ToAnsi(key), &h) != kErrorSuccess) return false;
  double number = 0;
  uint32_t type = platform::kRegSz;
  std::string data;
  if (IsNumeric(value, &number) && std::fabs(number) < 2147483648.0) {
    type = platform::kRegDword;
    data = platform::Le32Bytes(static_cast<uint32_t>(static_cast<int32_t>(std::nearbyint(number))));
  } else {
    data = codepage_.ToAnsi(platform::TrimSpaces(value));
    data.push_back('\0');
  }
  const int32_t r = registry_.SetValueEx(h, codepage_.ToAnsi(name), type,
                                         reinterpret_cast<const uint8_t*>(data.data()),
                                         static_cast<uint32_t>(data.size()));
  registry_.CloseKey(h);
  return r == kErrorSuccess;
}

UpdateProcedure::UpdateProcedure(cFTP& ftp, platform::Platform& platform, UpdaterView& view,
                                 std::vector<minisign::PublicKey> trusted)
    : ftp_(ftp),
      platform_(platform),
      view_(view),
      registry_(platform.registry, platform.codepage),
      trusted_(std::move(trusted)) {
  ftp_.ContinueFlag = &ContinueFlag;
  ftp_.FileTransferProgress = [this](int64_t current, int64_t total) { Progress(current, total); };
  ftp_.LetPendingEventsRun = [this] { view_.LetPendingEventsRun(); };
}

void UpdateProcedure::Message(const std::string& text, PromptIcon icon) {
  view_.Prompt().Show(text, icon, PromptButtons::kOk);
}

bool UpdateProcedure::Connect() {
  const std::string server = view_.Server();
  const std::string user = view_.User();
  const std::string password = view_.Password();
  if (!ftp_.OpenConnection(server, user, password)) return false;
  ftp_.SetFTPDirectory("/");
  RefreshListing();
  // Kept for the user's next visit; the updater itself never reads them back.
  platform::RegHandle h = 0;
  if (platform_.registry.CreateKey(kHkeyCurrentUser, kSettingsKey, &h) == kErrorSuccess) {
    for (const auto& [name, text] : {std::pair{"Server", &server}, std::pair{"User", &user},
                                     std::pair{"Password", &password}}) {
      std::string data = platform_.codepage.ToAnsi(*text);
      data.push_back('\0');
      platform_.registry.SetValueEx(h, name, platform::kRegSz,
                                    reinterpret_cast<const uint8_t*>(data.data()),
                                    static_cast<uint32_t>(data.size()));
    }
    platform_.registry.CloseKey(h);
  }
  return true;
}

void UpdateProcedure::Disconnect() {
  ftp_.CloseConnection();
  view_.ShowListing(nullptr);
}

void UpdateProcedure::RefreshListing() {
  view_.SetLabel(UpdateLabel::kDirectory,
                 "Current Directory: " + std::string(platform::TrimSpaces(ftp_.GetFTPDirectory())));
  const std::optional<cDirList> listing = ftp_.GetDirectoryListing("*.*");
  view_.ShowListing(listing ? &ftp_.Directory() : nullptr);
}

void UpdateProcedure::Open(const std::string& entry) {
  if (entry == "..") {
    ftp_.SetFTPDirectory("..");
  } else if (const cDirItem* item = ftp_.Directory().Item(entry); item != nullptr) {
    if (item->Directory) {
      ftp_.SetFTPDirectory(entry);
    } else {
      Run();
    }
  }
  RefreshListing();
}

std::string UpdateProcedure::FindInListing(const std::string& name) {
  std::string found;
  for (const cDirItem& item : ftp_.Directory()) {
    if (Lower(item.Filename) == Lower(name)) found = item.Filename;
  }
  return found;
}

void UpdateProcedure::Progress(int64_t current, int64_t total) {
  if (current >= total || !show_progress_) return;
  const UpdateBar bar = Phase == 1 ? UpdateBar::kPb : UpdateBar::kPb2;
  // The bars count in int: a file beyond 2 GiB moves them in coarser steps.
  int shift = 0;
  while ((total >> shift) > INT_MAX) ++shift;
  view_.SetBar(bar, static_cast<int>(current >> shift), static_cast<int>(total >> shift));
  const std::string percent =
      current == 0 || total == 0
          ? std::string("0% ")
          : std::to_string(static_cast<int64_t>(static_cast<double>(current) * 100.0 / total)) +
                "% ";
  view_.SetLabel(Phase == 1 ? UpdateLabel::kLabel7 : UpdateLabel::kLabel9, percent);
}

bool UpdateProcedure::Download(const std::string& remote, const std::string& local,
                               const std::string& failure) {
  std::string local_path = platform_.files.MapPath(local);
  std::string remote_name = remote;
  const bool ok = ftp_.FTPDownloadFile(local_path, remote_name);
  if (ok && ContinueFlag) {
    view_.SetLabel(UpdateLabel::kLabel4, "Download is successfully completed.");
  } else if (ok) {
    Message("Download is canceled.", PromptIcon::kInformation);
  } else {
    Message(failure.empty() ? ftp_.GetLastErrorMessage() : failure);
  }
  RefreshListing();
  Disconnect();
  return ok && ContinueFlag;
}

bool UpdateProcedure::RunAndWait(const std::string& program) {
  platform_.files.MakeRunnable(program);
  uint32_t pid = 0;
  try {
    pid = platform_.process.Start(platform::QuoteArgument(program),
                                  platform::WindowMode::kMinimizedNoFocus);
  } catch (const platform::PlatformError& e) {
    Message("The update program could not be started: " + e.description());
    return false;
  }
  try {
    while (platform_.process.ExitCode(pid) == platform::kStillActive) {
      view_.LetPendingEventsRun();
      std::this_thread::sleep_for(kRunPoll);
    }
  } catch (const platform::PlatformError&) {
    // The process can no longer be asked about: it has gone.
  }
  return true;
}

bool UpdateProcedure::PackageManaged() const {
  std::string content;
  return platform_.files.ReadAll(platform::ProgramDirectory(platform_.process) + kPackageMarker,
                                 &content);
}

UpdateProcedure::Outcome UpdateProcedure::FetchPatchInfo(PatchInfo* patch) {
  if (!Connect()) {
    Message(std::string(kPatchInfoFailure) + "\n" + ftp_.GetLastErrorMessage());
    return Outcome::kStopped;
  }
  const std::string patch_info = FindInListing(kPatchInfo);
  if (patch_info.empty()) {
    Disconnect();
    Message("The update server holds no patch information (eng.txt). Nothing was installed.");
    return Outcome::kStopped;
  }
  // An empty file holds no build number (and would not even be downloaded).
  if (ftp_.GetFTPFileSize(patch_info) == 0) {
    Disconnect();
    Message(kNotABuildNumber);
    return Outcome::kStopped;
  }
  if (!Download(patch_info, kPatchInfoPath, kPatchInfoFailure)) return Outcome::kStopped;

  std::string& content = patch->content;
  // The same file as kPatchInfoPath: drive letters know no case.
  platform_.files.ReadAll(platform_.files.MapPath("C:\\eng.txt"), &content);
  // A line end after the build number is not part of it.
  while (!content.empty() && (content.back() == '\n' || content.back() == '\r')) content.pop_back();
  return Outcome::kGoOn;
}

UpdateProcedure::Outcome UpdateProcedure::CompareBuilds(PatchInfo* patch) {
  basRegistry::Value installed = registry_.Read(kHkeyLocalMachine, kProgramKey, "BuildNo");
  if (installed.kind == basRegistry::Value::Kind::kEmpty) {
    registry_.Write(kHkeyLocalMachine, kProgramKey, "BuildNo", "000001");
    installed = registry_.Read(kHkeyLocalMachine, kProgramKey, "BuildNo");
  }
  std::string trimmed = patch->content;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  patch->external = trimmed.size() >= 3 && Lower(trimmed.substr(trimmed.size() - 3)) == "ins";
  patch->build_text = patch->external ? trimmed.substr(0, trimmed.size() - 3) : patch->content;
  if (!IsNumeric(patch->build_text, &patch->build)) {
    Message(kNotABuildNumber);
    return Outcome::kStopped;
  }
  view_.SetLabel(UpdateLabel::kLabel8,
                 patch->external ? "Receiving update files.. - External program execution type."
                                 : "Receiving update files..");
  view_.SetBar(UpdateBar::kPb, 100, 100);
  view_.SetLabel(UpdateLabel::kLabel7, "100% Received");
  Phase = 2;
  double installed_build = 0;
  installed.AsNumber(&installed_build);
  if (!(patch->build > installed_build)) {
    view_.SetLabel(UpdateLabel::kLabel8, "There is no update file.");
    view_.SetBar(UpdateBar::kPb2, 100, 100);
    return Outcome::kUpToDate;
  }
  return Outcome::kGoOn;
}

std::string UpdateProcedure::Refusal(const PatchInfo& patch, const std::string& file,
                                     const std::string& content, const std::string& signature) {
  const std::optional<minisign::Signature> sig = minisign::ParseSignature(signature);
  if (!sig) return "The signature of the update " + file + " cannot be read." + kNothingInstalled;
  switch (VerifySignature(trusted_, *sig, content)) {
    case SignatureVerdict::kUnknownKey:
      return "The update " + file + " is not signed by a trusted key (it names key " +
             minisign::KeyIdText(sig->key_id) + ")." + kNothingInstalled;
    case SignatureVerdict::kFileDoesNotMatch:
      return "The update " + file + " is not the file its signature was made for." +
             kNothingInstalled;
    case SignatureVerdict::kCommentAltered:
      return "The signature of the update " + file + " has been altered." + kNothingInstalled;
    case SignatureVerdict::kLegacyTooLarge:
      return "The update " + file +
             " is signed the legacy way (over the whole file), which this updater checks only "
             "for files of up to 60 KiB; the publisher signs it again with minisign's default." +
             kNothingInstalled;
    case SignatureVerdict::kGood:
      break;
  }
  // The publisher signed this file for this build: another release's file and signature, or
  // this file under another name, are not this update.
  const std::string& comment = sig->trusted_comment;
  const size_t digits = kCommentBuild.size();
  const bool form = comment.compare(0, digits, kCommentBuild) == 0 && comment.size() > digits + 6 &&
                    comment.find_first_not_of("0123456789", digits) == digits + 6 &&
                    comment.compare(digits + 6, kCommentFile.size(), kCommentFile) == 0;
  if (!form) {
    return "The signature of the update " + file + " does not name a build and a file." +
           kNothingInstalled;
  }
  const std::string build = comment.substr(digits, 6);
  const std::string signed_file = comment.substr(digits + 6 + kCommentFile.size());
  const double signed_build = std::strtod(build.c_str(), nullptr);
  if (signed_build != patch.build) {
    return "The update " + file + " is signed as build " + build + ", not as the build " +
           patch.build_text + " the update server announces." + kNothingInstalled;
  }
  if (Lower(signed_file) != Lower("NVE20Eng-" + patch.content + ".exe")) {
    return "The update " + file + " is signed as another file (" + signed_file + ")." +
           kNothingInstalled;
  }
  double installed = 0;
  registry_.Read(kHkeyLocalMachine, kProgramKey, "BuildNo").AsNumber(&installed);
  if (!(signed_build > installed)) {
    return "The update " + file + " is signed as build " + build +
           ", which is not newer than the installed one." + kNothingInstalled;
  }
  return "";
}

UpdateProcedure::Outcome UpdateProcedure::Install(const PatchInfo& patch) {
  if (!Connect()) {
    Message(ftp_.GetLastErrorMessage());
    return Outcome::kStopped;
  }
  const std::string wanted = "NVE20Eng-" + patch.content + ".exe";
  const std::string update_file = FindInListing(wanted);
  if (update_file.empty()) {
    Disconnect();
    Message("The update file " + wanted + " is not on the update server. Nothing was installed.");
    return Outcome::kStopped;
  }
  const std::string signature_file = FindInListing(update_file + ".minisig");
  const int64_t signature_size = signature_file.empty() ? -1 : ftp_.GetFTPFileSize(signature_file);
  if (signature_size <= 0 ||
      signature_size > static_cast<int64_t>(minisign::kLargestSignatureFile)) {
    Disconnect();
    Message(signature_file.empty()
                ? "The update " + update_file + " has no signature (" + update_file +
                      ".minisig) on the update server." + kNothingInstalled
                : "The signature of the update " + update_file + " cannot be read." +
                      kNothingInstalled);
    return Outcome::kStopped;
  }
  // A failed or cancelled download installs nothing and leaves the build number alone.
  show_progress_ = false;
  const bool signature_arrived = Download(signature_file, kSignaturePath, std::string());
  show_progress_ = true;
  if (!signature_arrived) return Outcome::kStopped;
  if (!Connect()) {
    Message(ftp_.GetLastErrorMessage());
    return Outcome::kStopped;
  }
  if (!Download(update_file, kUpdatePath, std::string())) return Outcome::kStopped;

  // Checked and then used through one hold: the bytes checked are the bytes run or copied.
  std::unique_ptr<platform::HeldFile> held =
      platform_.files.Hold(platform_.files.MapPath(kUpdatePath));
  std::string signature;
  std::string why;
  if (!held || !platform_.files.ReadAll(platform_.files.MapPath(kSignaturePath), &signature)) {
    why = "The downloaded update " + update_file + " cannot be read." + kNothingInstalled;
  } else {
    why = Refusal(patch, update_file, held->content(), signature);
  }
  if (!why.empty()) {
    // Gone before the message is read, so that nothing refused stays behind while it shows.
    held.reset();
    DeleteDownloads();
    Message(why);
    return Outcome::kStopped;
  }

  if (patch.external) {
    view_.SetWindowShown(false);
    const bool ran = RunAndWait(held->path());
    view_.SetWindowShown(true);
    if (!ran) return Outcome::kStopped;
    view_.SetLabel(UpdateLabel::kLabel8, "Program update is completed.");
    view_.SetLabel(UpdateLabel::kLabel9, "100% Received.");
  } else {
    const std::string folder = registry_.Read(kHkeyLocalMachine, kAppPathsKey, "Path").text;
    const std::string target = platform_.files.MapPath(folder + "\\netvane.exe");
    if (folder.empty() || !platform_.files.Copy(held->path(), target, true)) {
      Message("The new program could not be copied to " + target + ". Nothing was installed.");
      return Outcome::kStopped;
    }
    // Written here as the server spells the build and below once more as a number, as the
    // copy type always has; both land as the same number.
    registry_.Write(kHkeyLocalMachine, kProgramKey, "BuildNo", patch.build_text);
    view_.SetLabel(UpdateLabel::kLabel4, "Program update is completed.");
    view_.SetLabel(UpdateLabel::kLabel9, "100% Received.");
  }
  char number[32];
  std::snprintf(number, sizeof number, "%.0f", patch.build);
  registry_.Write(kHkeyLocalMachine, kProgramKey, "BuildNo", number);
  return Outcome::kInstalled;
}

void UpdateProcedure::DeleteDownloads() {
  platform_.files.Delete(platform_.files.MapPath(kUpdatePath));
  platform_.files.Delete(platform_.files.MapPath(kSignaturePath));
}

void UpdateProcedure::CleanUp(Outcome outcome) {
  // Without an update the update file's place is left alone.
  if (outcome != Outcome::kUpToDate) {
    DeleteDownloads();
    view_.SetBar(UpdateBar::kPb2, 100, 100);
  }
  last_outcome_ = outcome;
  platform_.files.Delete(platform_.files.MapPath(kListPath));
  view_.ProcedureRunning(false);
  ContinueFlag = true;
  running_ = false;
}

bool UpdateProcedure::Run() {
  if (running_) return true;
  last_outcome_ = Outcome::kStopped;
  if (PackageManaged()) {
    Message(kFromPackageManager, PromptIcon::kInformation);
    return true;
  }
  if (trusted_.empty()) {
    Message(kNoTrustedKey);
    return true;
  }
  running_ = true;
  Phase = 1;
  view_.SetBar(UpdateBar::kPb, 0, 100);
  view_.SetBar(UpdateBar::kPb2, 0, 100);
  view_.ProcedureRunning(true);
  view_.SetLabel(UpdateLabel::kLabel4, "Receiving patch information.");
  {
    // However the steps end, the clean-up follows.
    Outcome outcome = Outcome::kStopped;
    const ScopeExit clean_up([&] { CleanUp(outcome); });
    PatchInfo patch;
    outcome = FetchPatchInfo(&patch);
    if (outcome == Outcome::kGoOn) outcome = CompareBuilds(&patch);
    if (outcome == Outcome::kGoOn) outcome = Install(patch);
  }
  if (registry_.Read(kHkeyLocalMachine, kProgramKey, "AutoFinish").Equals(1)) {
    registry_.Write(kHkeyLocalMachine, kProgramKey, "AutoFinish", "00");
    view_.EndProgram();
    return false;
  }
  return true;
}

void UpdateProcedure::Activated() {
  if (running_) return;
  if (!registry_.Read(kHkeyLocalMachine, kProgramKey, "AutoUpdate").Equals(1)) return;
  // Said once: the window is activated again when the message closes.
  if (PackageManaged() || trusted_.empty()) {
    registry_.Write(kHkeyLocalMachine, kProgramKey, "AutoUpdate", "00");
    if (PackageManaged()) {
      Message(kFromPackageManager, PromptIcon::kInformation);
    } else {
      Message(kNoTrustedKey);
    }
    return;
  }
  if (!Run()) return;
  // Off also after a failure: an update that was refused is not tried again and again.
  registry_.Write(kHkeyLocalMachine, kProgramKey, "AutoUpdate", "00");
  if (last_outcome_ == Outcome::kStopped) return;
  Message("Auto update is successfully completed.", PromptIcon::kInformation);
}

}  // namespace netvane::updater
