// The update procedure end to end against a real FTP server on loopback: what is downloaded,
// run or copied, the build number stored, the labels and messages shown, and the cases that
// must install nothing.
#include "updater/update_procedure.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/posix/curl_ftp.h"
#include "updater_fixture.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;
using updater::UpdateBar;
using updater::UpdateLabel;

constexpr platform::RegHandle kLm = platform::kHkeyLocalMachine;
using updater::kProgramKey;

// The window, recorded.
class RecordingView : public updater::UpdaterView {
 public:
  void SetLabel(UpdateLabel label, const std::string& text) override {
    labels[label] = text;
    history[label].push_back(text);
  }
  void SetBar(UpdateBar bar, int value, int maximum) override { bars[bar] = {value, maximum}; }
  void ShowListing(const updater::cDirList* listing) override {
    listed.clear();
    if (listing != nullptr) {
      for (const updater::cDirItem& item : *listing) listed.push_back(item.Filename);
    }
  }
  void ProcedureRunning(bool running) override { running_states.push_back(running); }
  void SetWindowShown(bool shown) override { shown_states.push_back(shown); }
  void LetPendingEventsRun() override {
    if (on_events) on_events();
  }
  engine::UserPrompt& Prompt() override { return prompt; }
  void EndProgram() override { ended = true; }
  std::string Server() override { return server; }
  std::string User() override { return "anonymous"; }
  std::string Password() override { return "test@netvane.example"; }

  std::map<UpdateLabel, std::string> labels;
  std::map<UpdateLabel, std::vector<std::string>> history;
  std::map<UpdateBar, std::pair<int, int>> bars;
  std::vector<std::string> listed;
  std::vector<bool> running_states;
  std::vector<bool> shown_states;
  std::function<void()> on_events;
  ScriptedPrompt prompt;
  bool ended = false;
  std::string server;
};

class UpdateProcedureTest : public ::testing::Test, public UpdaterFixture {
 protected:
  void Start() {
    StartServer();
    view_.server = server_->address();
    ftp_ = std::make_unique<updater::cFTP>(std::make_unique<platform::CurlFtp>());
    ftp_->SetTransferBinary();
    procedure_ = std::make_unique<updater::UpdateProcedure>(*ftp_, services_, view_, Trusted());
  }
  updater::basRegistry::Value BuildNo() { return ProgramValue("BuildNo"); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& s : view_.prompt.shown) out.push_back(s.text);
    return out;
  }

  RecordingView view_;
  std::unique_ptr<updater::cFTP> ftp_;
  std::unique_ptr<updater::UpdateProcedure> procedure_;
};

TEST_F(UpdateProcedureTest, ANewerBuildIsCopiedOverTheInstalledProgram) {
  ServerFile("ENG.TXT", "000124");
  ServerUpdate("nve20eng-000124.EXE", std::string(600, 'n'));
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "BuildNo", "123"));
  Installed(install_);
  std::ofstream(Drive("list.txt")) << "old listing";
  Start();
  EXPECT_TRUE(procedure_->Run());
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(Read(install_ + "/netvane.exe"), std::string(600, 'n'));
  const auto build = BuildNo();
  EXPECT_EQ(build.kind, updater::basRegistry::Value::Kind::kNumber);
  EXPECT_EQ(build.number, 124);
  EXPECT_EQ(view_.labels[UpdateLabel::kLabel4], "Program update is completed.");
  EXPECT_EQ(view_.labels[UpdateLabel::kLabel7], "100% Received");
  EXPECT_EQ(view_.labels[UpdateLabel::kLabel8], "Receiving update files..");
  EXPECT_EQ(view_.labels[UpdateLabel::kLabel9], "100% Received.");
  EXPECT_EQ(view_.bars[UpdateBar::kPb2].first, view_.bars[UpdateBar::kPb2].second);
  // The patch information stays; the downloaded program and the old listing go.
  EXPECT_EQ(Read(Drive("eng.txt")), "000124");
  EXPECT_FALSE(fs::exists(Drive("netvane.exe")));
  EXPECT_FALSE(fs::exists(Drive("list.txt")));
  EXPECT_EQ(view_.running_states, (std::vector<bool>{true, false}));
  EXPECT_TRUE(view_.listed.empty());  // disconnected at the end
}

TEST_F(UpdateProcedureTest, ProgressShowsPercentagesOfTheUpdateFile) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", std::string(600, 'x'));
  Installed(install_);
  Start();
  procedure_->Run();
  // After the blocks of 255 and 510 bytes; the last one (600 of 600) changes nothing.
  EXPECT_EQ(view_.history[UpdateLabel::kLabel9],
            (std::vector<std::string>{"42% ", "85% ", "100% Received."}));
  // The patch information is shorter than a block: its label only reaches 100% at the end.
  EXPECT_EQ(view_.history[UpdateLabel::kLabel7], std::vector<std::string>{"100% Received"});
}

TEST_F(UpdateProcedureTest, AnInstallerIsRunAndWaitedFor) {
  const std::string marker = Drive("installer-ran");
  ServerFile("eng.txt", "000124ins");
  ServerUpdate("NVE20Eng-000124ins.exe", "#!/bin/sh\nsleep 0.3\necho done > '" + marker + "'\n");
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "BuildNo", "123"));
  Start();
  procedure_->Run();
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  // The build number is written only after the installer has ended.
  EXPECT_EQ(Read(marker), "done\n");
  EXPECT_EQ(BuildNo().number, 124);
  EXPECT_EQ(view_.shown_states, (std::vector<bool>{false, true}));
  EXPECT_EQ(view_.labels[UpdateLabel::kLabel8], "Program update is completed.");
  EXPECT_FALSE(fs::exists(Drive("netvane.exe")));
}

TEST_F(UpdateProcedureTest, AnEqualBuildDownloadsNothingMore) {
  ServerFile("eng.txt", "000123");
  ServerUpdate("NVE20Eng-000123.exe", "same");
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "BuildNo", "123"));
  Installed(install_);
  std::ofstream(Drive("netvane.exe")) << "not the procedure's";
  std::ofstream(Drive("list.txt")) << "old listing";
  Start();
  procedure_->Run();
  EXPECT_EQ(view_.labels[UpdateLabel::kLabel8], "There is no update file.");
  EXPECT_FALSE(fs::exists(install_ + "/netvane.exe"));
  EXPECT_EQ(BuildNo().number, 123);
  EXPECT_TRUE(Messages().empty());
  // Without an update only the listing goes; the patch information stays as always.
  EXPECT_EQ(Read(Drive("netvane.exe")), "not the procedure's");
  EXPECT_FALSE(fs::exists(Drive("list.txt")));
  EXPECT_EQ(Read(Drive("eng.txt")), "000123");
}

TEST_F(UpdateProcedureTest, AMissingBuildNumberCountsAsOne) {
  ServerFile("eng.txt", "000002");
  ServerUpdate("NVE20Eng-000002.exe", "two");
  Installed(install_);
  Start();
  procedure_->Run();
  EXPECT_EQ(Read(install_ + "/netvane.exe"), "two");
  EXPECT_EQ(BuildNo().number, 2);
}

TEST_F(UpdateProcedureTest, AutoUpdateWithAutoFinishQuitsWithoutTheMessage) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", "new");
  Installed(install_);
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "AutoUpdate", "1"));
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "AutoFinish", "1"));
  Start();
  procedure_->Activated();
  EXPECT_TRUE(view_.ended);
  EXPECT_EQ(Read(install_ + "/netvane.exe"), "new");
  EXPECT_EQ(registry_.Read(kLm, kProgramKey, "AutoFinish").number, 0);
  EXPECT_EQ(registry_.Read(kLm, kProgramKey, "AutoFinish").kind,
            updater::basRegistry::Value::Kind::kNumber);
  EXPECT_EQ(registry_.Read(kLm, kProgramKey, "AutoUpdate").number, 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(UpdateProcedureTest, AutoUpdateAloneReportsAndSwitchesItselfOff) {
  ServerFile("eng.txt", "000001");
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "AutoUpdate", "1"));
  Start();
  procedure_->Activated();
  EXPECT_FALSE(view_.ended);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Auto update is successfully completed."});
  EXPECT_EQ(view_.prompt.shown[0].icon, engine::PromptIcon::kInformation);
  EXPECT_EQ(registry_.Read(kLm, kProgramKey, "AutoUpdate").number, 0);
  // Without AutoUpdate an activation does nothing.
  procedure_->Activated();
  EXPECT_EQ(view_.prompt.shown.size(), 1u);
}

TEST_F(UpdateProcedureTest, APackageInstallIsLeftToThePackageManager) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", "new");
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "BuildNo", "123"));
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "AutoUpdate", "1"));
  Installed(install_);
  PackageInstall();
  Start();
  const std::string message =
      "Netvane was installed from a package: its updates come from the system's package manager. "
      "Nothing was downloaded or installed.";
  EXPECT_TRUE(procedure_->Run());
  EXPECT_EQ(Messages(), std::vector<std::string>{message});
  EXPECT_EQ(view_.prompt.shown[0].icon, engine::PromptIcon::kInformation);
  EXPECT_FALSE(fs::exists(Drive("eng.txt")));
  EXPECT_FALSE(fs::exists(install_ + "/netvane.exe"));
  EXPECT_EQ(BuildNo().number, 123);
  EXPECT_TRUE(view_.running_states.empty());
  // Unattended, it says so once and switches itself off; nothing is downloaded either.
  procedure_->Activated();
  procedure_->Activated();
  EXPECT_EQ(Messages(), (std::vector<std::string>{message, message}));
  EXPECT_EQ(registry_.Read(kLm, kProgramKey, "AutoUpdate").number, 0);
  EXPECT_FALSE(fs::exists(Drive("eng.txt")));
  EXPECT_EQ(BuildNo().number, 123);
}

TEST_F(UpdateProcedureTest, CancelDuringTheUpdateFileInstallsNothing) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", std::string(100000, 'c'));
  ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "BuildNo", "123"));
  Installed(install_);
  view_.on_events = [&] {
    if (procedure_->Phase == 2) procedure_->Cancel();
  };
  Start();
  procedure_->Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{"Download is canceled."});
  EXPECT_FALSE(fs::exists(install_ + "/netvane.exe"));
  EXPECT_EQ(BuildNo().number, 123);
  EXPECT_FALSE(fs::exists(Drive("netvane.exe")));
  EXPECT_TRUE(procedure_->ContinueFlag);  // set again for the next run
}

TEST_F(UpdateProcedureTest, BrokenServersInstallNothingAndSaySo) {
  struct Case {
    const char* patch_info;  // null: no eng.txt at all
    bool update_file;
    bool update_is_folder;
    std::string message;
  };
  const Case cases[] = {
      {nullptr, false, false,
       "The update server holds no patch information (eng.txt). Nothing was installed."},
      {"", false, false,
       "The patch information on the update server is not a build number. Nothing was installed."},
      {"next", false, false,
       "The patch information on the update server is not a build number. Nothing was installed."},
      {"000124", false, false,
       "The update file NVE20Eng-000124.exe is not on the update server. Nothing was installed."},
      {"000124", true, true, ""},  // the download fails: the FTP client's own text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.patch_info ? c.patch_info : "(none)");
    fs::remove_all(ftp_root_);
    fs::create_directories(ftp_root_);
    if (c.patch_info != nullptr) ServerFile("eng.txt", c.patch_info);
    if (c.update_is_folder) {
      fs::create_directories(fs::path(ftp_root_) / "NVE20Eng-000124.exe");
      ServerFile("NVE20Eng-000124.exe.minisig",
                 SignFile(key_, "", PublisherComment("000124", "x")));
    }
    ASSERT_TRUE(registry_.Write(kLm, kProgramKey, "BuildNo", "123"));
    Installed(install_);
    view_.prompt.shown.clear();
    Start();
    procedure_->Run();
    ASSERT_EQ(view_.prompt.shown.size(), 1u);
    if (!c.message.empty()) {
      EXPECT_EQ(Messages()[0], c.message);
    } else {
      EXPECT_NE(Messages()[0].find("error code:"), std::string::npos) << Messages()[0];
    }
    EXPECT_FALSE(fs::exists(install_ + "/netvane.exe"));
    EXPECT_EQ(BuildNo().number, 123);
    EXPECT_EQ(view_.running_states.back(), false);
  }
}

// The procedure's own text, and the FTP client's on a line of its own.
TEST_F(UpdateProcedureTest, AnUnreachableServerIsReported) {
  Start();
  view_.server = "127.0.0.1:" + std::to_string(FreeTcpPort());
  procedure_->Run();
  EXPECT_EQ(Messages(), std::vector<std::string>{"An error occured. Retry after quit program.\n"
                                                 "InternetConnect error code: 7 Message: "
                                                 "Couldn't connect to server"});
}

TEST_F(UpdateProcedureTest, ConnectingListsTheRootAndKeepsTheValues) {
  ServerFile("eng.txt", "1");
  fs::create_directories(fs::path(ftp_root_) / "sub");
  ServerFile("sub/inner.bin", "abc");
  Start();
  ASSERT_TRUE(procedure_->Connect());
  EXPECT_EQ(view_.labels[UpdateLabel::kDirectory], "Current Directory: /");
  std::sort(view_.listed.begin(), view_.listed.end());
  EXPECT_EQ(view_.listed, (std::vector<std::string>{"eng.txt", "sub"}));
  procedure_->Open("sub");
  EXPECT_EQ(view_.labels[UpdateLabel::kDirectory], "Current Directory: /sub");
  EXPECT_EQ(view_.listed, std::vector<std::string>{"inner.bin"});
  procedure_->Open("..");
  EXPECT_EQ(view_.labels[UpdateLabel::kDirectory], "Current Directory: /");
  EXPECT_EQ(QueryRaw(fake_.registry.registry(), platform::kHkeyCurrentUser,
                     "Software\\Qorby FTP Client\\Settings", "Server")
                .data,
            server_->address() + std::string(1, '\0'));
  procedure_->Disconnect();
  EXPECT_TRUE(view_.listed.empty());
}

TEST(BasRegistry, StoresNumericTextAsANumber) {
  TestRegistry test;
  updater::basRegistry reg(test.registry(), test.codepage());
  ASSERT_TRUE(reg.Write(kLm, "Software\\T", "One", "000001"));
  ASSERT_TRUE(reg.Write(kLm, "Software\\T", "Zero", "00"));
  ASSERT_TRUE(reg.Write(kLm, "Software\\T", "Text", "  build 7  "));
  EXPECT_EQ(QueryRaw(test.registry(), kLm, "Software\\T", "One").type, platform::kRegDword);
  EXPECT_EQ(reg.Read(kLm, "Software\\T", "One").number, 1);
  EXPECT_EQ(reg.Read(kLm, "Software\\T", "Zero").number, 0);
  EXPECT_EQ(reg.Read(kLm, "Software\\T", "Text").text, "build 7");
  EXPECT_EQ(QueryRaw(test.registry(), kLm, "Software\\T", "Text").data,
            std::string("build 7\0", 8));
  EXPECT_EQ(reg.Read(kLm, "Software\\T", "Missing").kind,
            updater::basRegistry::Value::Kind::kEmpty);
  EXPECT_EQ(reg.Read(kLm, "Software\\None", "x").kind, updater::basRegistry::Value::Kind::kEmpty);
  EXPECT_TRUE(reg.Read(kLm, "Software\\T", "One").Equals(1));
}

}  // namespace
}  // namespace netvane::testing
