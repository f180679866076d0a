// The updater's FTP client over libcurl against a real FTP server on loopback (pyftpdlib):
// listings, block transfers and their progress events, the error texts a user reads, and the
// remote file operations. A scripted session covers the failures a real server cannot be
// made to produce on demand.

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "ftp_server.h"
#include "platform/posix/curl_ftp.h"
#include "test_support.h"
#include "updater/ftp_client.h"

namespace netvane {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackFtpServer;
using testing::ScratchDir;
using updater::cFTP;
using Events = std::vector<std::pair<int32_t, int32_t>>;

// Bytes that differ from block to block, so a block read twice or skipped shows.
std::string Content(size_t size, unsigned seed = 1) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

void Put(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Get(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void SetModified(const fs::path& path, std::time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The local calendar day of a moment, as a day count since 1899-12-30.
int LocalDay(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  using namespace std::chrono;
  const sys_days day = year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday;
  return static_cast<int>((day - sys_days{year{1899} / 12 / 30}).count());
}

std::time_t Utc(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  using namespace std::chrono;
  const sys_days day = year{y} / m / d;
  return static_cast<std::time_t>(day.time_since_epoch().count()) * 86400 + hh * 3600 + mm * 60 +
         ss;
}

class FtpClientTest : public ::testing::Test {
 protected:
  fs::path Remote(const std::string& name) const { return scratch_.path() / "server" / name; }
  std::string Local(const std::string& name) const {
    return (scratch_.path() / "local" / name).string();
  }

  void SetUp() override {
    fs::create_directories(scratch_.path() / "server");
    fs::create_directories(scratch_.path() / "local");
  }

  // A client logged in anonymously (read only) to the server started on first use, recording
  // progress.
  std::unique_ptr<cFTP> Connect() {
    if (!server_) server_ = std::make_unique<LoopbackFtpServer>(Remote("").string());
    auto ftp = std::make_unique<cFTP>(std::make_unique<platform::CurlFtp>());
    EXPECT_TRUE(ftp->OpenConnection(server_->address(), "anonymous", "updater@example.com"))
        << ftp->GetLastErrorMessage();
    Record(*ftp);
    return ftp;
  }

  std::unique_ptr<cFTP> ConnectWritable() {
    if (!server_) server_ = std::make_unique<LoopbackFtpServer>(Remote("").string());
    auto ftp = std::make_unique<cFTP>(std::make_unique<platform::CurlFtp>());
    EXPECT_TRUE(ftp->OpenConnection(server_->address(), "netvane", "secret"))
        << ftp->GetLastErrorMessage();
    Record(*ftp);
    return ftp;
  }

  void Record(cFTP& ftp) {
    ftp.FileTransferProgress = [this](int32_t current, int32_t total) {
      events_.emplace_back(current, total);
    };
    ftp.LetPendingEventsRun = [this] { ++pending_runs_; };
  }

  bool Download(cFTP& ftp, const std::string& remote, const std::string& local) {
    std::string l = Local(local), r = remote;
    return ftp.FTPDownloadFile(l, r);
  }

  ScratchDir scratch_;
  std::unique_ptr<LoopbackFtpServer> server_;
  Events events_;
  int pending_runs_ = 0;
};

TEST_F(FtpClientTest, ListingShowsEachEntryWithAttributesSizeAndDate) {
  fs::create_directories(Remote("Patches"));
  Put(Remote("eng.txt"), "000124");
  Put(Remote("NVE20Eng-000124.exe"), Content(600));
  fs::permissions(Remote("NVE20Eng-000124.exe"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::time_t recent = std::time(nullptr) - 3 * 86400;
  // Old files are listed with their day only, which is that day's midnight.
  const std::time_t old = Utc(2003, 6, 15, 0, 0, 30);
  SetModified(Remote("eng.txt"), recent);
  SetModified(Remote("NVE20Eng-000124.exe"), old);

  auto ftp = Connect();
  const auto listing = ftp->GetDirectoryListing("*.*");
  ASSERT_TRUE(listing.has_value());
  ASSERT_EQ(listing->Count(), 3);
  EXPECT_EQ(ftp->Directory().Count(), 3);

  const updater::cDirItem* folder = listing->Item("Patches");
  ASSERT_NE(folder, nullptr);
  EXPECT_TRUE(folder->Directory);
  EXPECT_EQ(folder->AttributeText(), " -  -  D  -  -  -  -  -  - ");

  const updater::cDirItem* text = listing->Item("eng.txt");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->AttributeText(), " -  -  -  -  N  -  -  -  - ");
  EXPECT_EQ(text->FileSize, 6);
  EXPECT_EQ(static_cast<int>(std::floor(text->LastWriteTime)), LocalDay(recent));
  EXPECT_EQ(text->LastAccessTime, text->LastWriteTime);

  // Keys are found whatever their case; no owner write permission reads as read-only.
  const updater::cDirItem* update = listing->Item("nve20eng-000124.EXE");
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(update->Filename, "NVE20Eng-000124.exe");
  EXPECT_TRUE(update->ReadOnly);
  EXPECT_FALSE(update->Normal);
  EXPECT_EQ(update->AttributeText(), " -  -  -  -  -  -  R  -  - ");
  EXPECT_EQ(update->FileSize, 600);
  EXPECT_EQ(static_cast<int>(std::floor(update->LastWriteTime)), LocalDay(old));

  std::vector<std::string> names;
  for (const updater::cDirItem& item : ftp->Directory()) names.push_back(item.Filename);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"NVE20Eng-000124.exe", "Patches", "eng.txt"}));
  EXPECT_EQ(ftp->GetLastErrorMessage(), "");
}

// Another python3 first on PATH (a version manager's, or a virtual environment's without the
// system's packages) must not take the place of the one the test server needs.
TEST_F(FtpClientTest, TheTestServerRunsWhateverPython3ComesFirstOnPath) {
  const fs::path venv = scratch_.path() / "venv";
  Put(venv / "bin" / "python3", "#!/bin/sh\nexit 3\n");
  fs::permissions(venv / "bin" / "python3", fs::perms::owner_all);
  Put(venv / "pyvenv.cfg", "home = /usr/bin\ninclude-system-site-packages = false\n");
  const std::string path = std::getenv("PATH");
  setenv("PATH", ((venv / "bin").string() + ":" + path).c_str(), 1);
  server_ = std::make_unique<LoopbackFtpServer>(Remote("").string());
  setenv("PATH", path.c_str(), 1);
  ASSERT_FALSE(server_->address().empty());
  Put(Remote("eng.txt"), "000124");
  EXPECT_EQ(Connect()->GetFTPFileSize("eng.txt"), 6);
}

TEST_F(FtpClientTest, FiltersMatchAsOnWindows) {
  for (const char* name : {"eng.txt", "ENG2.TXT", "readme", "setup.exe", ".profile"}) {
    Put(Remote(name), "x");
  }
  auto ftp = Connect();
  auto names = [&](const std::string& filter) {
    std::vector<std::string> found;
    if (auto listing = ftp->GetDirectoryListing(filter)) {
      for (const updater::cDirItem& item : *listing) found.push_back(item.Filename);
    }
    std::sort(found.begin(), found.end());
    return found;
  };
  EXPECT_EQ(names("*.*").size(), 5u);
  EXPECT_EQ(names("*.txt"), (std::vector<std::string>{"ENG2.TXT", "eng.txt"}));
  EXPECT_EQ(names("?NG.txt"), (std::vector<std::string>{"eng.txt"}));
  EXPECT_EQ(names("readme.*"), (std::vector<std::string>{"readme"}));
  EXPECT_EQ(names("*."), (std::vector<std::string>{"readme"}));

  // No match: nothing, an empty Directory, and no error text.
  EXPECT_FALSE(ftp->GetDirectoryListing("*.zip").has_value());
  EXPECT_EQ(ftp->Directory().Count(), 0);
  EXPECT_EQ(ftp->GetLastErrorMessage(), "");
}

// Restores the time zone when the test ends.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

uint64_t FileTime(std::time_t utc) {
  return static_cast<uint64_t>(utc) * 10000000ULL + 116444736000000000ULL;
}

TEST(FileTimeToDateTest, GivesLocalDaysSince1899) {
  const std::time_t y2k = Utc(2000, 1, 1);
  {
    TimeZone zone("UTC0");
    EXPECT_DOUBLE_EQ(updater::FileTimeToDate(FileTime(y2k)), 36526.0);
    EXPECT_DOUBLE_EQ(updater::FileTimeToDate(FileTime(y2k + 18 * 3600)), 36526.75);
  }
  {
    TimeZone zone("KST-9");
    EXPECT_DOUBLE_EQ(updater::FileTimeToDate(FileTime(y2k)), 36526.375);
  }
  {
    TimeZone zone("EST5");
    EXPECT_DOUBLE_EQ(updater::FileTimeToDate(FileTime(y2k)), 36525.0 + 19.0 / 24.0);
  }
}

TEST_F(FtpClientTest, DownloadsWholeBlocksThenTheRemainderWithProgressAfterEach) {
  const std::string bytes510 = Content(510, 2), bytes600 = Content(600, 3);
  Put(Remote("f510.bin"), bytes510);
  Put(Remote("f600.bin"), bytes600);
  auto ftp = Connect();
  ftp->SetTransferBinary();

  ASSERT_TRUE(Download(*ftp, "f510.bin", "f510.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(Get(Local("f510.bin")), bytes510);
  // Two full blocks, no remainder, and the closing event all the same.
  EXPECT_EQ(events_, (Events{{255, 510}, {510, 510}, {510, 510}}));
  EXPECT_EQ(pending_runs_, 2);

  events_.clear();
  pending_runs_ = 0;
  ASSERT_TRUE(Download(*ftp, "f600.bin", "f600.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(Get(Local("f600.bin")), bytes600);
  EXPECT_EQ(events_, (Events{{255, 600}, {510, 600}, {600, 600}}));
  EXPECT_EQ(pending_runs_, 2);
}

TEST_F(FtpClientTest, NamesAreTrimmedAndEmptyNamesRefused) {
  Put(Remote("eng.txt"), "000124");
  auto ftp = Connect();
  std::string local = "  " + Local("eng.txt") + "  ", remote = " eng.txt ";
  ASSERT_TRUE(ftp->FTPDownloadFile(local, remote));
  EXPECT_EQ(local, Local("eng.txt"));
  EXPECT_EQ(remote, "eng.txt");
  EXPECT_EQ(Get(Local("eng.txt")), "000124");

  std::string blank = "   ";
  EXPECT_FALSE(ftp->FTPDownloadFile(local, blank));
  EXPECT_FALSE(ftp->FTPUploadFile(blank, remote));
}

TEST_F(FtpClientTest, EmptyOrMissingRemoteFileDownloadsNothing) {
  Put(Remote("empty.bin"), "");
  auto ftp = Connect();
  // An earlier failure's text, which the misses below must leave alone.
  EXPECT_FALSE(ftp->SetFTPDirectory("nowhere"));
  const std::string earlier = ftp->GetLastErrorMessage();
  ASSERT_FALSE(earlier.empty());

  EXPECT_EQ(ftp->GetFTPFileSize("empty.bin"), 0);
  EXPECT_FALSE(Download(*ftp, "empty.bin", "empty.bin"));
  EXPECT_FALSE(fs::exists(Local("empty.bin")));

  EXPECT_EQ(ftp->GetFTPFileSize("missing.bin"), -1);
  EXPECT_FALSE(Download(*ftp, "missing.bin", "missing.bin"));
  EXPECT_FALSE(fs::exists(Local("missing.bin")));
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(ftp->GetLastErrorMessage(), earlier);

  // Any other failure of the look-up is -2 with its text.
  EXPECT_EQ(ftp->GetFTPFileSize("nowhere/eng.txt"), -2);
  EXPECT_EQ(ftp->GetLastErrorMessage(),
            "FtpFindFirstFile error code: 9 Message: Access denied to remote resource");
}

TEST_F(FtpClientTest, FailedConnectionsSayWhy) {
  cFTP ftp(std::make_unique<platform::CurlFtp>());
  const std::string nobody = "127.0.0.1:" + std::to_string(testing::FreeTcpPort());
  EXPECT_FALSE(ftp.OpenConnection(nobody, "anonymous", "updater@example.com"));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "InternetConnect error code: 7 Message: Couldn't connect to server");

  auto connected = ConnectWritable();
  EXPECT_FALSE(ftp.OpenConnection(server_->address(), "netvane", "wrong"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "InternetConnect error code: 67 Message: Login denied");
  // Nothing is connected after a failed attempt.
  EXPECT_EQ(ftp.GetFTPFileSize("eng.txt"), -2);
}

TEST_F(FtpClientTest, CancelEndsTheDownloadAfterTheCurrentBlock) {
  const std::string bytes = Content(10 * 255 + 100, 4);
  Put(Remote("big.bin"), bytes);
  Put(Remote("after.bin"), Content(300, 5));
  auto ftp = Connect();
  ftp->SetTransferBinary();
  bool keep_going = true;
  ftp->ContinueFlag = &keep_going;
  ftp->FileTransferProgress = [&](int32_t current, int32_t total) {
    events_.emplace_back(current, total);
    if (current == 3 * 255) keep_going = false;  // the user's Cancel
  };

  EXPECT_TRUE(Download(*ftp, "big.bin", "big.bin"));
  EXPECT_FALSE(keep_going);
  // Three blocks, then the remainder-sized read and the closing event.
  EXPECT_EQ(events_, (Events{{255, 2650}, {510, 2650}, {765, 2650}, {865, 2650}}));
  EXPECT_EQ(Get(Local("big.bin")), bytes.substr(0, 865));

  // The abandoned transfer does not spoil the session.
  keep_going = true;
  EXPECT_TRUE(Download(*ftp, "after.bin", "after.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(Get(Local("after.bin")), Content(300, 5));
}

// The server refuses SIZE and ends each transfer after 300 bytes: the listed size counts in
// full, whatever its width, and a transfer short of it fails, leaving the local file as it was.
TEST_F(FtpClientTest, ADownloadShorterThanListedFailsAndKeepsTheLocalFile) {
  const std::pair<const char*, int64_t> files[] = {{"cut300-listed-1000.bin", 1000},
                                                   {"cut300-4g.bin", (int64_t{4} << 30) + 100},
                                                   {"cut300-2g.bin", int64_t{2} << 30}};
  for (const auto& [name, size] : files) {
    Put(Remote(name), "");
    fs::resize_file(Remote(name), static_cast<uintmax_t>(size));  // sparse
  }
  Put(Local("keep.bin"), "the old file");
  auto ftp = Connect();
  ftp->SetTransferBinary();
  EXPECT_EQ(ftp->GetDirectoryListing("cut300-4g.bin")->Item(1)->FileSize, files[1].second);
  for (const auto& [name, size] : files) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ftp->GetFTPFileSize(name), size);
    EXPECT_FALSE(Download(*ftp, name, "keep.bin"));
    EXPECT_EQ(ftp->GetLastErrorMessage(), "The download of " + std::string(name) +
                                              " ended after 300 of " + std::to_string(size) +
                                              " bytes.");
    EXPECT_EQ(Get(Local("keep.bin")), "the old file");
    EXPECT_EQ(std::distance(fs::directory_iterator(Local("")), {}), 1);  // nothing left beside
  }
}

// A server that stops answering: before its greeting, after RETR, or after "150" with no data
// (in both modes). Each wait ends at its limit with the client's usual text; the local file
// stays as it was and a new connection works.
TEST_F(FtpClientTest, WaitsForAServerThatStopsAnsweringEndAtTheirLimit) {
  Put(Remote("silent.bin"), Content(600, 15));
  Put(Remote("stall.bin"), Content(600, 16));
  Put(Local("keep.bin"), "the old file");
  const platform::FtpTimeLimits quick{2000, 2000, 2000};
  auto ftp = Connect();
  cFTP greeting(std::make_unique<platform::CurlFtp>());
  greeting.SetTimeLimits(quick);
  EXPECT_FALSE(greeting.OpenConnection(server_->silent_address(), "anonymous", "x@example.com"));
  EXPECT_EQ(greeting.GetLastErrorMessage(),
            "InternetConnect error code: 28 Message: Timeout was reached");

  ftp->SetTimeLimits(quick);
  ftp->SetTransferBinary();
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"silent.bin", true, "FtpOpenFile:GetFile"},
      {"stall.bin", false, "InternetReadFile"},
      {"stall.bin", true, "InternetReadFile"}};
  for (const auto& [remote, passive, tag] : cases) {
    SCOPED_TRACE(std::string(remote) + (passive ? " passive" : " active"));
    passive ? ftp->SetModePassive() : ftp->SetModeActive();
    ASSERT_TRUE(ftp->OpenConnection(server_->address(), "anonymous", "x@example.com"));
    EXPECT_FALSE(Download(*ftp, remote, "keep.bin"));
    EXPECT_EQ(ftp->GetLastErrorMessage(),
              std::string(tag) + " error code: 28 Message: Timeout was reached");
    EXPECT_EQ(Get(Local("keep.bin")), "the old file");
  }
}

// While the server keeps a download waiting, the window's events run, and Cancel ends the wait:
// the download is cancelled, not failed, long before its limit.
TEST_F(FtpClientTest, CancelEndsAWaitForTheServer) {
  Put(Remote("stall.bin"), Content(600, 17));
  auto ftp = Connect();
  ftp->SetTransferBinary();
  bool keep_going = true;
  ftp->ContinueFlag = &keep_going;
  ftp->LetPendingEventsRun = [&] {
    if (++pending_runs_ == 2) keep_going = false;  // the user's Cancel
  };
  EXPECT_TRUE(Download(*ftp, "stall.bin", "stall.bin")) << ftp->GetLastErrorMessage();
  EXPECT_GE(pending_runs_, 2);
  EXPECT_EQ(Get(Local("stall.bin")), "");
  // The given-up session is closed; a new connection works. Closing it from those events (the
  // window closing) ends the wait as well, as a failure.
  keep_going = true;
  ASSERT_TRUE(ftp->OpenConnection(server_->address(), "anonymous", "x@example.com"));
  ftp->LetPendingEventsRun = [&] { ftp->CloseConnection(); };
  EXPECT_FALSE(Download(*ftp, "stall.bin", "stall.bin"));
  EXPECT_NE(ftp->GetLastErrorMessage().find(" error code: 42 Message: "), std::string::npos)
      << ftp->GetLastErrorMessage();
  ftp->LetPendingEventsRun = nullptr;
  ASSERT_TRUE(ftp->OpenConnection(server_->address(), "anonymous", "x@example.com"));
  EXPECT_EQ(ftp->GetFTPFileSize("stall.bin"), 600);
}

// A local file that cannot be created or written (a full disk) is a failed download, and the
// session stays usable for the next one.
TEST_F(FtpClientTest, ALocalFileThatCannotBeWrittenFailsTheDownload) {
  Put(Remote("f600.bin"), Content(600, 7));
  auto ftp = Connect();
  ftp->SetTransferBinary();
  std::string full = "/dev/full", remote = "f600.bin";
  EXPECT_FALSE(ftp->FTPDownloadFile(full, remote));
  EXPECT_EQ(ftp->GetLastErrorMessage(), "The local file /dev/full could not be written.");
  EXPECT_FALSE(Download(*ftp, "f600.bin", "no-such-folder/f600.bin"));
  EXPECT_NE(ftp->GetLastErrorMessage().find("could not be written"), std::string::npos);
  ASSERT_TRUE(Download(*ftp, "f600.bin", "f600.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(Get(Local("f600.bin")), Content(600, 7));
}

TEST_F(FtpClientTest, DownloadsReplaceALongerLocalFile) {
  Put(Remote("f600.bin"), Content(600, 6));
  Put(Local("f600.bin"), std::string(5000, 'x'));
  Put(Local("simple.bin"), std::string(5000, 'y'));
  auto ftp = Connect();
  ftp->SetTransferBinary();
  ASSERT_TRUE(Download(*ftp, "f600.bin", "f600.bin"));
  EXPECT_EQ(Get(Local("f600.bin")), Content(600, 6));
  ASSERT_TRUE(ftp->SimpleFTPGetFile(Local("simple.bin"), "f600.bin"));
  EXPECT_EQ(Get(Local("simple.bin")), Content(600, 6));

  // A failed whole-file download leaves the local file as it was.
  EXPECT_FALSE(ftp->SimpleFTPGetFile(Local("simple.bin"), "missing.bin"));
  EXPECT_EQ(ftp->GetLastErrorMessage(),
            "SimpleFtpGetFile error code: 78 Message: Remote file not found");
  EXPECT_EQ(Get(Local("simple.bin")), Content(600, 6));
}

TEST_F(FtpClientTest, ActiveAndPassiveModesBothTransfer) {
  Put(Remote("f600.bin"), Content(600, 7));
  for (bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    auto ftp = std::make_unique<cFTP>(std::make_unique<platform::CurlFtp>());
    passive ? ftp->SetModePassive() : ftp->SetModeActive();
    if (!server_) server_ = std::make_unique<LoopbackFtpServer>(Remote("").string());
    ASSERT_TRUE(ftp->OpenConnection(server_->address(), "anonymous", "x@example.com"));
    ftp->SetTransferBinary();
    fs::remove(Local("f600.bin"));
    ASSERT_TRUE(Download(*ftp, "f600.bin", "f600.bin")) << ftp->GetLastErrorMessage();
    EXPECT_EQ(Get(Local("f600.bin")), Content(600, 7));
  }
}

TEST_F(FtpClientTest, AsciiTransfersKeepUnixLineEnds) {
  // The server sends CR LF in ASCII mode; libcurl turns them back into LF.
  Put(Remote("notes.txt"), "first\nsecond\n");
  auto ftp = Connect();
  ftp->SetTransferASCII();
  ASSERT_TRUE(Download(*ftp, "notes.txt", "notes.txt"));
  EXPECT_EQ(Get(Local("notes.txt")), "first\nsecond\n");
  ASSERT_TRUE(ftp->SimpleFTPGetFile(Local("simple.txt"), "notes.txt"));
  EXPECT_EQ(Get(Local("simple.txt")), "first\nsecond\n");
}

TEST_F(FtpClientTest, UploadsInBlocksWithProgressAfterEach) {
  Put(Local("up.bin"), Content(600, 8));
  Put(Local("empty.bin"), "");
  auto ftp = ConnectWritable();
  ftp->SetTransferBinary();
  std::string local = Local("up.bin"), remote = "up.bin";
  ASSERT_TRUE(ftp->FTPUploadFile(local, remote)) << ftp->GetLastErrorMessage();
  EXPECT_EQ(Get(Remote("up.bin")), Content(600, 8));
  EXPECT_EQ(events_, (Events{{255, 600}, {510, 600}, {600, 600}}));
  EXPECT_EQ(pending_runs_, 2);

  events_.clear();
  local = Local("empty.bin");
  remote = "empty.bin";
  ASSERT_TRUE(ftp->FTPUploadFile(local, remote));
  EXPECT_TRUE(fs::exists(Remote("empty.bin")));
  EXPECT_EQ(fs::file_size(Remote("empty.bin")), 0u);
  EXPECT_EQ(events_, (Events{{0, 0}}));

  // A local file that is not there leaves the remote file alone.
  local = Local("missing.bin");
  remote = "up.bin";
  EXPECT_FALSE(ftp->FTPUploadFile(local, remote));
  EXPECT_EQ(Get(Remote("up.bin")), Content(600, 8));

  ASSERT_TRUE(ftp->SimpleFTPPutFile(Local("up.bin"), "simple.bin"));
  EXPECT_EQ(Get(Remote("simple.bin")), Content(600, 8));
}

TEST_F(FtpClientTest, UploadsRefusedByTheServerSayWhy) {
  Put(Local("up.bin"), Content(300, 9));
  auto ftp = Connect();  // anonymous: read only
  std::string local = Local("up.bin"), remote = "up.bin";
  EXPECT_FALSE(ftp->FTPUploadFile(local, remote));
  EXPECT_EQ(
      ftp->GetLastErrorMessage(),
      "FtpOpenFile:PutFile error code: 25 Message: Upload failed (at start/before it took off)");
  EXPECT_FALSE(ftp->SimpleFTPPutFile(local, remote));
  EXPECT_EQ(ftp->GetLastErrorMessage(),
            "SimpleFtpPutFile error code: 25 Message: Upload failed (at start/before it took off)");
  EXPECT_FALSE(fs::exists(Remote("up.bin")));
}

TEST_F(FtpClientTest, RenamesCreatesAndRemovesOnTheServer) {
  Put(Local("a.bin"), Content(400, 10));
  Put(Remote("keep.bin"), "keep");
  auto ftp = ConnectWritable();
  ftp->SetTransferBinary();
  ASSERT_TRUE(ftp->CreateFTPDirectory("incoming")) << ftp->GetLastErrorMessage();
  EXPECT_TRUE(fs::is_directory(Remote("incoming")));

  // Names are taken relative to the current directory.
  ASSERT_TRUE(ftp->SetFTPDirectory("incoming"));
  ASSERT_TRUE(ftp->SimpleFTPPutFile(Local("a.bin"), "a.bin"));
  ASSERT_TRUE(ftp->RenameFTPFile("a.bin", "b.bin")) << ftp->GetLastErrorMessage();
  EXPECT_FALSE(fs::exists(Remote("incoming/a.bin")));
  EXPECT_EQ(Get(Remote("incoming/b.bin")), Content(400, 10));
  ASSERT_TRUE(ftp->CreateFTPDirectory("inner"));
  EXPECT_TRUE(fs::is_directory(Remote("incoming/inner")));
  ASSERT_TRUE(ftp->RemoveFTPDirectory("inner"));
  ASSERT_TRUE(ftp->DeleteFTPFile("b.bin"));
  EXPECT_FALSE(fs::exists(Remote("incoming/b.bin")));
  ASSERT_TRUE(ftp->SetFTPDirectory(".."));
  ASSERT_TRUE(ftp->RemoveFTPDirectory("incoming"));
  EXPECT_FALSE(fs::exists(Remote("incoming")));

  EXPECT_FALSE(ftp->DeleteFTPFile("missing.bin"));
  EXPECT_EQ(ftp->GetLastErrorMessage(),
            "DeleteFTPFile error code: 21 Message: Quote command returned error");
  EXPECT_FALSE(ftp->RemoveFTPDirectory("missing"));
  EXPECT_EQ(ftp->GetLastErrorMessage(),
            "RemoveFTPDirectory error code: 21 Message: Quote command returned error");
  EXPECT_FALSE(ftp->RenameFTPFile("missing.bin", "other.bin"));
  EXPECT_EQ(ftp->GetLastErrorMessage().rfind("RenameFTPFile error code: 21", 0), 0u);
  EXPECT_FALSE(ftp->CreateFTPDirectory("keep.bin"));
  EXPECT_EQ(ftp->GetLastErrorMessage().rfind("CreateFTPDirectory error code: 21", 0), 0u);

  // A line break in a name cannot smuggle in a second command.
  EXPECT_FALSE(ftp->CreateFTPDirectory("x\r\nDELE keep.bin"));
  EXPECT_EQ(Get(Remote("keep.bin")), "keep");
}

TEST_F(FtpClientTest, NavigatesRelativeAbsoluteAndUp) {
  Put(Remote("Patches/2024/new.bin"), Content(300, 11));
  Put(Remote("other/x.bin"), "x");
  auto ftp = Connect();
  EXPECT_EQ(ftp->GetFTPDirectory(), "/");
  ASSERT_TRUE(ftp->SetFTPDirectory("Patches"));
  EXPECT_EQ(ftp->GetFTPDirectory(), "/Patches");
  ASSERT_TRUE(ftp->SetFTPDirectory("2024"));
  EXPECT_EQ(ftp->GetFTPDirectory(), "/Patches/2024");

  const auto listing = ftp->GetDirectoryListing("*.*");
  ASSERT_TRUE(listing.has_value());
  ASSERT_EQ(listing->Count(), 1);
  EXPECT_EQ(listing->Item(1)->Filename, "new.bin");
  ftp->SetTransferBinary();
  ASSERT_TRUE(Download(*ftp, "new.bin", "new.bin"));
  EXPECT_EQ(Get(Local("new.bin")), Content(300, 11));
  EXPECT_EQ(ftp->GetFTPFileSize("../../other/x.bin"), 1);

  ASSERT_TRUE(ftp->SetFTPDirectory(".."));
  EXPECT_EQ(ftp->GetFTPDirectory(), "/Patches");
  ASSERT_TRUE(ftp->SetFTPDirectory("/other"));
  EXPECT_EQ(ftp->GetFTPDirectory(), "/other");
  ASSERT_TRUE(ftp->SetFTPDirectory("../Patches/./2024/"));
  EXPECT_EQ(ftp->GetFTPDirectory(), "/Patches/2024");
  ASSERT_TRUE(ftp->SetFTPDirectory("/"));
  ASSERT_TRUE(ftp->SetFTPDirectory(".."));
  EXPECT_EQ(ftp->GetFTPDirectory(), "/");

  EXPECT_FALSE(ftp->SetFTPDirectory("missing"));
  EXPECT_EQ(ftp->GetLastErrorMessage(),
            "FtpSetCurrentDirectory error code: 9 Message: Access denied to remote resource");
  EXPECT_EQ(ftp->GetFTPDirectory(), "/");
}

TEST_F(FtpClientTest, SessionReadsGiveWhatWasAskedThenTheRestThenNothing) {
  const std::string big = Content(3 << 20, 12);  // more than the session buffers unread
  Put(Remote("f600.bin"), Content(600, 13));
  Put(Remote("big.bin"), big);
  if (!server_) server_ = std::make_unique<LoopbackFtpServer>(Remote("").string());
  platform::CurlFtp session;
  ASSERT_TRUE(session.Open("Qorby FTP Client"));
  ASSERT_TRUE(session.Connect(server_->address(), "", "", true));

  uint8_t buffer[1000];
  uint32_t read = 0;
  ASSERT_TRUE(session.OpenFile("f600.bin", false, true));
  ASSERT_TRUE(session.ReadFile(buffer, 255, &read));
  EXPECT_EQ(read, 255u);
  ASSERT_TRUE(session.ReadFile(buffer + 255, 500, &read));
  EXPECT_EQ(read, 345u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 600), Content(600, 13));
  ASSERT_TRUE(session.ReadFile(buffer, 255, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(session.CloseFile());

  // The whole of a large file in small reads, the transfer pausing while unread bytes pile up.
  ASSERT_TRUE(session.OpenFile("big.bin", false, true));
  std::string received;
  do {
    ASSERT_TRUE(session.ReadFile(buffer, 255, &read));
    received.append(reinterpret_cast<char*>(buffer), read);
  } while (read > 0);
  EXPECT_TRUE(received == big) << received.size() << " bytes";
  EXPECT_TRUE(session.CloseFile());

  // Closed after one block: the rest is abandoned and the session carries on.
  ASSERT_TRUE(session.OpenFile("big.bin", false, true));
  ASSERT_TRUE(session.ReadFile(buffer, 255, &read));
  EXPECT_TRUE(session.CloseFile());
  EXPECT_TRUE(session.GetFile("f600.bin", Local("whole.bin"), true));
  EXPECT_EQ(Get(Local("whole.bin")), Content(600, 13));

  EXPECT_FALSE(session.OpenFile("missing.bin", false, true));
  EXPECT_EQ(session.LastError(), 78);
  EXPECT_EQ(session.LastResponse().substr(0, 4), "550 ");
}

// A session scripted by the test: every failing call fails with `error`.
class ScriptedFtp : public platform::Ftp {
 public:
  void SetTimeLimits(const platform::FtpTimeLimits&) override {}
  void SetWaitHook(std::function<bool()>) override {}
  bool Open(const std::string&) override { return true; }
  bool Connect(const std::string&, const std::string&, const std::string&, bool) override {
    return !fail_connect || Fail();
  }
  void Disconnect() override {}
  bool GetCurrentDirectory(std::string* d) override {
    *d = "/";
    return true;
  }
  bool SetCurrentDirectory(const std::string&) override { return true; }
  bool FindFirst(const std::string&, platform::FtpFindData* found) override {
    if (entries.empty()) return Fail(platform::kErrorNoMoreFiles);
    *found = entries[0];
    next = 1;
    return true;
  }
  bool FindNext(platform::FtpFindData* found) override {
    if (next < entries.size()) {
      *found = entries[next++];
      return true;
    }
    return Fail(find_end);
  }
  void FindClose() override { ++find_closes; }
  bool OpenFile(const std::string&, bool, bool) override {
    open = true;
    return true;
  }
  bool ReadFile(uint8_t* buffer, uint32_t size, uint32_t* read) override {
    if (++reads == fail_read) return Fail();
    std::fill(buffer, buffer + size, 'r');
    *read = size;
    return true;
  }
  bool WriteFile(const uint8_t*, uint32_t size, uint32_t* written) override {
    *written = size;
    return true;
  }
  bool CloseFile() override {
    open = false;
    return true;
  }
  bool GetFile(const std::string&, const std::string&, bool) override { return Fail(); }
  bool PutFile(const std::string&, const std::string&, bool) override { return Fail(); }
  bool RenameFile(const std::string&, const std::string&) override { return Fail(); }
  bool CreateDirectory(const std::string&) override { return true; }
  bool RemoveDirectory(const std::string&) override { return Fail(); }
  bool DeleteFile(const std::string&) override { return Fail(); }
  int32_t LastError() const override { return last; }
  std::string ErrorText(int32_t n) const override { return "text of " + std::to_string(n); }
  std::string LastResponse() const override { return "550 No such file."; }

  int32_t error = platform::kFtpExtendedError;
  int32_t find_end = platform::kErrorNoMoreFiles;
  bool fail_connect = false;
  int fail_read = 0;
  std::vector<platform::FtpFindData> entries;
  int reads = 0;
  int find_closes = 0;
  bool open = false;

 private:
  bool Fail(int32_t n = -1) {
    last = n >= 0 ? n : error;
    return false;
  }
  int32_t last = 0;
  size_t next = 0;
};

TEST(FtpClientErrorTextTest, ExtendedErrorShowsTheServerResponseInstead) {
  auto owned = std::make_unique<ScriptedFtp>();
  ScriptedFtp& session = *owned;
  cFTP ftp(std::move(owned));
  EXPECT_FALSE(ftp.SimpleFTPGetFile("local.bin", "remote.bin"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "550 No such file.");

  session.error = 12029;
  EXPECT_FALSE(ftp.DeleteFTPFile("remote.bin"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "DeleteFTPFile error code: 12029 Message: text of 12029");
  // Success keeps the text of the last failure.
  EXPECT_TRUE(ftp.CreateFTPDirectory("new"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "DeleteFTPFile error code: 12029 Message: text of 12029");
  session.fail_connect = true;
  EXPECT_FALSE(ftp.OpenConnection("host", "user", "password"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "InternetConnect error code: 12029 Message: text of 12029");
}

TEST(FtpClientErrorTextTest, ReadAndListingFailuresCarryTheirTags) {
  ScratchDir dir;
  auto owned = std::make_unique<ScriptedFtp>();
  ScriptedFtp& session = *owned;
  cFTP ftp(std::move(owned));
  platform::FtpFindData file;
  file.name = "f600.bin";
  file.size = 600;
  file.attributes = platform::kFileAttributeNormal;
  session.entries = {file};

  // The remainder read fails: its own tag, and the remote file is closed again.
  session.error = 12030;
  session.fail_read = 3;
  std::string local = dir.File("f600.bin"), remote = "f600.bin";
  EXPECT_FALSE(ftp.FTPDownloadFile(local, remote));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "InternetReadFile2 error code: 12030 Message: text of 12030");
  EXPECT_FALSE(session.open);

  session.reads = 0;
  session.fail_read = 1;
  EXPECT_FALSE(ftp.FTPDownloadFile(local, remote));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "InternetReadFile error code: 12030 Message: text of 12030");

  // A listing that breaks off gives nothing, with the find handle closed.
  session.entries = {file, file};
  session.find_end = 12002;
  const int closes = session.find_closes;
  EXPECT_FALSE(ftp.GetDirectoryListing("*.*").has_value());
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "InternetFindNextFile error code: 12002 Message: text of 12002");
  EXPECT_EQ(session.find_closes, closes + 1);
}

}  // namespace
}  // namespace netvane
