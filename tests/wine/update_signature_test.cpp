// Signed updates over WinINet and the Win32 services, against the loopback FTP server of
// with_ftp_server.py: a signed copy update and a signed "ins" update go through; a changed byte
// and a key not trusted are refused with nothing run or copied and the build number as it was.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/system_platform.h"
#include "platform/win32/win32_ftp.h"
#include "quiet_updater_view.h"
#include "update_signer.h"
#include "updater/update_procedure.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;
using updater::kAppPathsKey;
using updater::kProgramKey;

class WindowsUpdateSignature : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFtpServer(&view_.server, &root_)) {
      GTEST_SKIP() << "needs the FTP server of tests/wine/with_ftp_server.py";
    }
    if (!registry_.Write(platform::kHkeyLocalMachine, kAppPathsKey, "Path",
                         install_.path().string()))
      GTEST_SKIP() << "writing below HKEY_LOCAL_MACHINE needs an administrator";
  }
  void TearDown() override {
    fs::remove("C:\\netvane.exe");
    for (const auto& [path, name] : {std::pair{kProgramKey, "BuildNo"}, {kAppPathsKey, "Path"}}) {
      platform::RegHandle key = 0;
      if (services_.registry.OpenKeyEx(platform::kHkeyLocalMachine, path, platform::kKeyAllAccess,
                                       &key) == 0) {
        services_.registry.DeleteValue(key, name);
        services_.registry.CloseKey(key);
      }
    }
  }

  // The update `content` as `name` on the server, signed by `key`, eng.txt announcing `patch`.
  void Serve(const std::string& patch, const std::string& name, const std::string& content,
             const SigningKey& key) {
    WriteBytes(root_ + "\\eng.txt", patch);
    WriteBytes(root_ + "\\" + name, content);
    WriteBytes(root_ + "\\" + name + ".minisig",
               SignFile(key, content, PublisherComment(patch.substr(0, 6), name)));
  }
  std::vector<std::string> Run() {
    registry_.Write(platform::kHkeyLocalMachine, kProgramKey, "BuildNo", "123");
    view_.prompt.shown.clear();
    updater::cFTP ftp(std::make_unique<platform::Win32Ftp>());
    ftp.SetTransferBinary();
    updater::UpdateProcedure procedure(ftp, services_, view_, {key_.public_key});
    procedure.Run();
    return view_.Messages();
  }
  double BuildNo() {
    double n = 0;
    registry_.Read(platform::kHkeyLocalMachine, kProgramKey, "BuildNo").AsNumber(&n);
    return n;
  }

  std::unique_ptr<platform::SystemPlatform> system_ = platform::CreateSystemPlatform();
  platform::Platform& services_ = system_->services();
  updater::basRegistry registry_{services_.registry, services_.codepage};
  QuietUpdaterView view_;
  SigningKey key_ = MakeSigningKey();
  TempFolder install_;
  std::string root_;
};

TEST_F(WindowsUpdateSignature, SignedUpdatesGoThroughAndOthersAreRefused) {
  const std::string program(5000, 'p');
  Serve("000124", "NVE20Eng-000124.exe", program, key_);
  EXPECT_EQ(Run(), std::vector<std::string>{});
  EXPECT_EQ(ReadBytes(install_.File("netvane.exe")), program);
  EXPECT_EQ(BuildNo(), 124);

  // The installer runs from the file that was checked, held against change meanwhile.
  TempFolder marks;
  const std::string log = marks.File("ran.log");
  ASSERT_TRUE(SetEnvironmentVariableA("NETVANE_COMMAND_LOG", log.c_str()));
  std::string marking = ProgramFolder() + MARKING_PROGRAM;
  for (char& c : marking) c = c == '/' ? '\\' : c;
  Serve("000125ins", "NVE20Eng-000125ins.exe", ReadBytes(marking), key_);
  EXPECT_EQ(Run(), std::vector<std::string>{});
  SetEnvironmentVariableA("NETVANE_COMMAND_LOG", nullptr);
  EXPECT_NE(ReadBytes(log).find("netvane.exe"), std::string::npos) << ReadBytes(log);
  EXPECT_EQ(BuildNo(), 125);
  EXPECT_FALSE(fs::exists("C:\\netvane.exe"));

  fs::remove(install_.File("netvane.exe"));
  Serve("000126", "NVE20Eng-000126.exe", program, key_);
  WriteBytes(root_ + "\\NVE20Eng-000126.exe", program.substr(1) + "x");
  EXPECT_EQ(Run(), std::vector<std::string>{"The update NVE20Eng-000126.exe is not the file its "
                                            "signature was made for. Nothing was installed."});
  const SigningKey stranger = MakeSigningKey();
  Serve("000126", "NVE20Eng-000126.exe", program, stranger);
  EXPECT_EQ(Run().at(0).rfind("The update NVE20Eng-000126.exe is not signed by a trusted key", 0),
            0u);
  EXPECT_FALSE(fs::exists(install_.File("netvane.exe")));
  EXPECT_EQ(BuildNo(), 123);
  EXPECT_FALSE(fs::exists("C:\\netvane.exe"));
  EXPECT_FALSE(fs::exists("C:\\netvane.exe.minisig"));
}

}  // namespace
}  // namespace netvane::testing
