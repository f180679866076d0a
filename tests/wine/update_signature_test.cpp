// Signed updates over WinINet and the Win32 services, against the loopback FTP server of
// with_ftp_server.py: a signed copy update and a signed "ins" update go through; a changed byte,
// a cut file, a missing or garbled signature, a key not trusted, an edited comment, another
// build's or file's comment and another release's signed file are refused with nothing run or
// copied and the build number as it was.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
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

  // Each refused with its reason; nothing copied, the downloads gone, the build as it was.
  fs::remove(install_.File("netvane.exe"));
  const std::string name = "NVE20Eng-000126.exe";
  const std::string file = root_ + "\\" + name;
  const std::string refused = "The update " + name;
  const std::string nothing = " Nothing was installed.";
  const SigningKey stranger = MakeSigningKey();
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { WriteBytes(file, program.substr(1) + "x"); },
       refused + " is not the file its signature was made for." + nothing},
      {[&] { WriteBytes(file, program.substr(0, 4000)); },
       refused + " is not the file its signature was made for." + nothing},
      {[&] { fs::remove(file + ".minisig"); },
       refused + " has no signature (" + name + ".minisig) on the update server." + nothing},
      {[&] { WriteBytes(file + ".minisig", "untrusted comment: x\nnot base64\n"); },
       "The signature of the update " + name + " cannot be read." + nothing},
      {[&] {
         WriteBytes(file + ".minisig",
                    SignFile(stranger, program, PublisherComment("000126", name)));
       },
       refused + " is not signed by a trusted key (it names key " +
           updater::minisign::KeyIdText(stranger.public_key.id) + ")." + nothing},
      {[&] {
         std::string sig = ReadBytes(file + ".minisig");
         sig.replace(sig.find("build 000126"), 12, "build 000999");
         WriteBytes(file + ".minisig", sig);
       },
       "The signature of the update " + name + " has been altered." + nothing},
      {[&] {
         WriteBytes(file + ".minisig", SignFile(key_, program, PublisherComment("000125", name)));
       },
       refused +
           " is signed as build 000125, not as the build 000126 the update server "
           "announces." +
           nothing},
      {[&] {
         WriteBytes(file + ".minisig",
                    SignFile(key_, program, PublisherComment("000126", "NVE20Eng-000126ins.exe")));
       },
       refused + " is signed as another file (NVE20Eng-000126ins.exe)." + nothing},
      // Another release's file with its own good signature.
      {[&] {
         WriteBytes(file, "build 125");
         WriteBytes(file + ".minisig",
                    SignFile(key_, "build 125", PublisherComment("000125", "NVE20Eng-000125.exe")));
       },
       refused +
           " is signed as build 000125, not as the build 000126 the update server "
           "announces." +
           nothing},
  };
  for (const auto& [spoil, message] : cases) {
    Serve("000126", name, program, key_);
    spoil();
    EXPECT_EQ(Run(), std::vector<std::string>{message});
    EXPECT_FALSE(fs::exists(install_.File("netvane.exe"))) << message;
    EXPECT_EQ(BuildNo(), 123) << message;
    EXPECT_FALSE(fs::exists("C:\\netvane.exe")) << message;
    EXPECT_FALSE(fs::exists("C:\\netvane.exe.minisig")) << message;
  }
}

}  // namespace
}  // namespace netvane::testing
