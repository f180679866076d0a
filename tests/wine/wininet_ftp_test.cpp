// The updater's FTP client over WinINet against a real FTP server on loopback, which
// with_ftp_server.py starts for each run and names in NETVANE_TEST_FTP_SERVER and
// NETVANE_TEST_FTP_ROOT: listings, downloads and uploads in 255-byte blocks with their progress
// events, and the server's own answer as the error text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_ftp.h"
#include "updater/ftp_client.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

using updater::cFTP;
using Events = std::vector<std::pair<int32_t, int32_t>>;

// Bytes that differ from block to block, so a block read twice or skipped shows.
std::string Content(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

class WinInetFtp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFtpServer(&server_, &root_)) {
      GTEST_SKIP() << "needs the FTP server of tests/wine/with_ftp_server.py";
    }
  }

  void Serve(const std::string& name, const std::string& bytes) {
    WriteBytes(root_ + "\\" + name, bytes);
  }

  std::unique_ptr<cFTP> Connect(const std::string& user = "anonymous",
                                const std::string& password = "updater@example.com") {
    auto ftp = std::make_unique<cFTP>(std::make_unique<platform::Win32Ftp>());
    EXPECT_TRUE(ftp->OpenConnection(server_, user, password)) << ftp->GetLastErrorMessage();
    ftp->FileTransferProgress = [this](int32_t current, int32_t total) {
      events_.emplace_back(current, total);
    };
    return ftp;
  }

  bool Download(cFTP& ftp, const std::string& remote, const std::string& local) {
    std::string l = local_.File(local);
    std::string r = remote;
    return ftp.FTPDownloadFile(l, r);
  }

  std::string server_;
  std::string root_;
  TempFolder local_;
  Events events_;
};

TEST_F(WinInetFtp, ListingShowsEveryEntryWithItsKindAndSize) {
  Serve("eng.txt", "000124");
  Serve("NVE20Eng-000124.exe", Content(600, 1));
  Serve("Patches\\readme.txt", "x");
  auto ftp = Connect();
  EXPECT_EQ(ftp->GetFTPDirectory(), "/");

  const auto listing = ftp->GetDirectoryListing("*.*");
  ASSERT_TRUE(listing.has_value()) << ftp->GetLastErrorMessage();
  std::vector<std::string> names;
  for (const updater::cDirItem& item : *listing) names.push_back(item.Filename);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"NVE20Eng-000124.exe", "Patches", "eng.txt"}));

  const updater::cDirItem* folder = listing->Item("patches");
  ASSERT_NE(folder, nullptr);
  EXPECT_TRUE(folder->Directory);
  const updater::cDirItem* text = listing->Item("ENG.TXT");
  ASSERT_NE(text, nullptr);
  EXPECT_FALSE(text->Directory);
  EXPECT_EQ(text->FileSize, 6);
  EXPECT_EQ(listing->Item("NVE20Eng-000124.exe")->FileSize, 600);

  EXPECT_EQ(ftp->GetFTPFileSize("eng.txt"), 6);
  EXPECT_EQ(ftp->GetFTPFileSize("missing.txt"), -1);
  EXPECT_TRUE(ftp->SetFTPDirectory("Patches"));
  EXPECT_EQ(ftp->GetFTPDirectory(), "/Patches");
  EXPECT_EQ(ftp->GetLastErrorMessage(), "");
}

TEST_F(WinInetFtp, DownloadsWholeBlocksThenTheRemainderInBothModes) {
  const std::string odd = Content(600, 2);
  const std::string even = Content(510, 3);
  Serve("odd.bin", odd);
  Serve("even.bin", even);
  auto ftp = Connect();
  ftp->SetTransferBinary();

  ASSERT_TRUE(Download(*ftp, "odd.bin", "odd.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(ReadBytes(local_.File("odd.bin")), odd);
  EXPECT_EQ(events_, (Events{{255, 600}, {510, 600}, {600, 600}}));

  events_.clear();
  ftp->SetModePassive();
  ASSERT_TRUE(Download(*ftp, "even.bin", "even.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(ReadBytes(local_.File("even.bin")), even);
  // No remainder: the last event repeats the total.
  EXPECT_EQ(events_, (Events{{255, 510}, {510, 510}, {510, 510}}));
}

TEST_F(WinInetFtp, CancelEndsTheDownloadAfterTheCurrentBlockAndTheSessionGoesOn) {
  const std::string big = Content(10 * 255 + 100, 4);
  Serve("big.bin", big);
  Serve("after.bin", Content(300, 5));
  auto ftp = Connect();
  ftp->SetTransferBinary();
  bool keep_going = true;
  ftp->ContinueFlag = &keep_going;
  ftp->FileTransferProgress = [&](int32_t current, int32_t total) {
    events_.emplace_back(current, total);
    if (current == 3 * 255) keep_going = false;  // the user's Cancel
  };
  EXPECT_TRUE(Download(*ftp, "big.bin", "big.bin"));
  EXPECT_EQ(events_, (Events{{255, 2650}, {510, 2650}, {765, 2650}, {865, 2650}}));
  EXPECT_EQ(ReadBytes(local_.File("big.bin")), big.substr(0, 865));

  keep_going = true;
  EXPECT_TRUE(Download(*ftp, "after.bin", "after.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(ReadBytes(local_.File("after.bin")), Content(300, 5));
}

// The server refuses SIZE and ends the transfer after 300 of 1,000 bytes: the download fails
// and the local file stays as it was, until a complete one replaces it.
TEST_F(WinInetFtp, ADownloadShorterThanListedFailsAndKeepsTheLocalFile) {
  Serve("cut300-listed-1000.bin", Content(1000, 7));
  Serve("whole.bin", Content(600, 8));
  WriteBytes(local_.File("keep.bin"), "the old file");
  auto ftp = Connect();
  ftp->SetTransferBinary();
  EXPECT_FALSE(Download(*ftp, "cut300-listed-1000.bin", "keep.bin"));
  EXPECT_EQ(ftp->GetLastErrorMessage(),
            "The download of cut300-listed-1000.bin ended after 300 of 1000 bytes.");
  EXPECT_EQ(ReadBytes(local_.File("keep.bin")), "the old file");
  ASSERT_TRUE(Download(*ftp, "whole.bin", "keep.bin")) << ftp->GetLastErrorMessage();
  EXPECT_EQ(ReadBytes(local_.File("keep.bin")), Content(600, 8));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(local_.path()), {}), 1);
}

// A server that stops answering: before its greeting, after RETR, or after "150" with no data
// (WinINet under Wine waits for that one for ever). Each wait ends at its limit with the
// client's usual text, and the local file stays as it was.
TEST_F(WinInetFtp, WaitsForAServerThatStopsAnsweringEndAtTheirLimit) {
  const char* silent = std::getenv("NETVANE_TEST_FTP_SILENT");
  ASSERT_NE(silent, nullptr);
  Serve("silent.bin", Content(600, 9));
  Serve("stall.bin", Content(600, 10));
  WriteBytes(local_.File("keep.bin"), "the old file");
  const platform::FtpTimeLimits quick{2000, 2000, 2000};
  cFTP greeting(std::make_unique<platform::Win32Ftp>());
  greeting.SetTimeLimits(quick);
  EXPECT_FALSE(greeting.OpenConnection(silent, "anonymous", "x@example.com"));
  EXPECT_EQ(greeting.GetLastErrorMessage().rfind("InternetConnect error code: 12002 Message: ", 0),
            0u)
      << greeting.GetLastErrorMessage();
  const std::pair<const char*, const char*> cases[] = {{"silent.bin", "FtpOpenFile:GetFile"},
                                                       {"stall.bin", "InternetReadFile"}};
  for (const auto& [remote, tag] : cases) {
    SCOPED_TRACE(remote);
    auto ftp = Connect();
    ftp->SetTimeLimits(quick);
    ftp->SetTransferBinary();
    EXPECT_FALSE(Download(*ftp, remote, "keep.bin"));
    EXPECT_EQ(
        ftp->GetLastErrorMessage().rfind(std::string(tag) + " error code: 12002 Message: ", 0), 0u)
        << ftp->GetLastErrorMessage();
    EXPECT_EQ(ReadBytes(local_.File("keep.bin")), "the old file");
  }
}

// While the server keeps a download waiting, the window's events run, and Cancel ends the wait:
// the download is cancelled, not failed, long before its limit.
TEST_F(WinInetFtp, CancelEndsAWaitForTheServer) {
  Serve("stall.bin", Content(600, 11));
  auto ftp = Connect();
  ftp->SetTransferBinary();
  bool keep_going = true;
  ftp->ContinueFlag = &keep_going;
  int runs = 0;
  ftp->LetPendingEventsRun = [&] {
    if (++runs == 2) keep_going = false;  // the user's Cancel
  };
  EXPECT_TRUE(Download(*ftp, "stall.bin", "stall.bin")) << ftp->GetLastErrorMessage();
  EXPECT_GE(runs, 2);
}

TEST_F(WinInetFtp, UploadsInBlocksAsTheWritingUser) {
  const std::string bytes = Content(600, 6);
  WriteBytes(local_.File("up.bin"), bytes);
  auto ftp = Connect("netvane", "secret");
  ftp->SetTransferBinary();
  std::string local = local_.File("up.bin");
  std::string remote = "up.bin";
  ASSERT_TRUE(ftp->FTPUploadFile(local, remote)) << ftp->GetLastErrorMessage();
  EXPECT_EQ(ReadBytes(root_ + "\\up.bin"), bytes);
  EXPECT_EQ(events_, (Events{{255, 600}, {510, 600}, {600, 600}}));
}

TEST_F(WinInetFtp, FailuresCarryTheServersAnswer) {
  auto ftp = Connect();
  // WinINet's extended error: the text is the server's last response.
  EXPECT_FALSE(ftp->SimpleFTPGetFile(local_.File("x"), "missing.exe"));
  EXPECT_EQ(ftp->GetLastErrorMessage().substr(0, 4), "550 ") << ftp->GetLastErrorMessage();
  // Anonymous logins may not write.
  WriteBytes(local_.File("up.bin"), "x");
  std::string local = local_.File("up.bin");
  std::string remote = "up.bin";
  EXPECT_FALSE(ftp->FTPUploadFile(local, remote));
  EXPECT_EQ(ftp->GetLastErrorMessage().substr(0, 4), "550 ") << ftp->GetLastErrorMessage();
}

}  // namespace
}  // namespace netvane::testing
