// Signed updates: what the publisher signs goes through, on both of minisign's signature
// algorithms and with either of two trusted keys; everything else a server or the path to it
// could hand over is refused with its reason, with nothing run or copied, the downloaded files
// gone and the build number as it was. Also the signature files themselves, and the minisign
// program's own keys and signatures (the publisher's scripts/sign-update).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/posix/curl_ftp.h"
#include "quiet_updater_view.h"
#include "updater/update_signature.h"
#include "updater_fixture.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;
using updater::minisign::ParsePublicKey;
using updater::minisign::ParseSignature;

// Holds as the host does, then puts other bytes where the download was: what is run or copied
// must be what was checked.
class SwappingFiles : public platform::FileSystem {
 public:
  explicit SwappingFiles(platform::FileSystem& inner) : inner_(inner) {}
  std::string MapPath(const std::string& p) const override { return inner_.MapPath(p); }
  bool ReadAll(const std::string& p, std::string* c) const override { return inner_.ReadAll(p, c); }
  bool Copy(const std::string& f, const std::string& t, bool o) override {
    return inner_.Copy(f, t, o);
  }
  bool Delete(const std::string& p) override { return inner_.Delete(p); }
  void MakeRunnable(const std::string& p) override { inner_.MakeRunnable(p); }
  std::unique_ptr<platform::HeldFile> Hold(const std::string& p) override {
    std::unique_ptr<platform::HeldFile> held = inner_.Hold(p);
    std::ofstream(p, std::ios::binary | std::ios::trunc) << swapped;
    return held;
  }
  std::string swapped;

 private:
  platform::FileSystem& inner_;
};

class UpdateSignatureTest : public ::testing::Test, public UpdaterFixture {
 protected:
  UpdateSignatureTest() {
    Program("BuildNo", "123");
    Installed(install_);
    StartServer();
    view_.server = server_->address();
  }

  // One run of the procedure trusting `trusted`; the messages it showed.
  std::vector<std::string> Run(const std::vector<updater::minisign::PublicKey>& trusted) {
    view_.prompt.shown.clear();
    updater::cFTP ftp(std::make_unique<platform::CurlFtp>());
    ftp.SetTransferBinary();
    updater::UpdateProcedure procedure(ftp, services_, view_, trusted);
    procedure.Run();
    return view_.Messages();
  }
  std::string InstalledProgram() { return Read(install_ + "/netvane.exe"); }
  void ExpectNothingInstalled(const std::string& what, int build = 123) {
    EXPECT_FALSE(fs::exists(install_ + "/netvane.exe")) << what;
    EXPECT_EQ(ProgramValue("BuildNo").number, build) << what;
    EXPECT_FALSE(fs::exists(Drive("netvane.exe"))) << what;
    EXPECT_FALSE(fs::exists(Drive("netvane.exe.minisig"))) << what;
  }

  QuietUpdaterView view_;
  const std::string update_ = std::string(3000, 'u') + "the new program";
  const std::string name_ = "NVE20Eng-000124.exe";
};

TEST_F(UpdateSignatureTest, WhatThePublisherSignedGoesThroughOnBothAlgorithmsAndEitherKey) {
  ServerFile("eng.txt", "000124");
  const SigningKey second = MakeSigningKey();
  struct Case {
    const SigningKey* key;
    bool legacy;
  } cases[] = {{&key_, false}, {&key_, true}, {&second, false}};
  for (const Case& c : cases) {
    Program("BuildNo", "123");
    fs::remove(install_ + "/netvane.exe");
    ServerFile(name_, update_);
    ServerFile(name_ + ".minisig",
               SignFile(*c.key, update_, PublisherComment("000124", name_), c.legacy));
    EXPECT_EQ(Run({key_.public_key, second.public_key}), std::vector<std::string>{});
    EXPECT_EQ(InstalledProgram(), update_);
    EXPECT_EQ(ProgramValue("BuildNo").number, 124);
    EXPECT_FALSE(fs::exists(Drive("netvane.exe.minisig")));
  }

  // An installer leaves its mark when it runs.
  const std::string marker = Drive("installer-ran");
  const std::string installer = "#!/bin/sh\necho ran > '" + marker + "'\n";
  Program("BuildNo", "123");
  ServerFile("eng.txt", "000125ins");
  ServerFile("NVE20Eng-000125ins.exe", installer);
  ServerFile("NVE20Eng-000125ins.exe.minisig",
             SignFile(key_, installer, PublisherComment("000125", "NVE20Eng-000125ins.exe")));
  EXPECT_EQ(Run({key_.public_key}), std::vector<std::string>{});
  EXPECT_EQ(Read(marker), "ran\n");
  EXPECT_EQ(ProgramValue("BuildNo").number, 125);
}

TEST_F(UpdateSignatureTest, EverythingElseIsRefusedWithItsReason) {
  ServerFile("eng.txt", "000124");
  const SigningKey stranger = MakeSigningKey();
  const std::string good = SignFile(key_, update_, PublisherComment("000124", name_));
  std::string edited = good;
  edited.replace(edited.find("build 000124"), 12, "build 000999");
  const std::string old_release = "the program of build 123";
  const std::string large(updater::kLargestLegacySigned + 1, 'L');
  const std::string refused = "The update " + name_;
  const std::string nothing = " Nothing was installed.";
  struct Case {
    const char* what;
    std::string file;
    std::string signature;  // empty: none on the server
    std::string message;
    std::function<void()> during = nullptr;
  };
  const Case cases[] = {
      {"a byte changed", update_.substr(0, 100) + "U" + update_.substr(101), good,
       refused + " is not the file its signature was made for." + nothing},
      {"cut short", update_.substr(0, 2000), good,
       refused + " is not the file its signature was made for." + nothing},
      {"no signature", update_, "",
       refused + " has no signature (" + name_ + ".minisig) on the update server." + nothing},
      {"a garbled signature", update_, good.substr(0, 60) + "#" + good.substr(61),
       "The signature of the update " + name_ + " cannot be read." + nothing},
      {"a key not trusted", update_, SignFile(stranger, update_, PublisherComment("000124", name_)),
       refused + " is not signed by a trusted key (it names key " +
           updater::minisign::KeyIdText(stranger.public_key.id) + ")." + nothing},
      {"an edited trusted comment", update_, edited,
       "The signature of the update " + name_ + " has been altered." + nothing},
      {"another build's comment", update_,
       SignFile(key_, update_, PublisherComment("000123", name_)),
       refused +
           " is signed as build 000123, not as the build 000124 the update server "
           "announces." +
           nothing},
      {"another file's comment", update_,
       SignFile(key_, update_, PublisherComment("000124", "NVE20Eng-000124ins.exe")),
       refused + " is signed as another file (NVE20Eng-000124ins.exe)." + nothing},
      {"another release's file and signature", old_release,
       SignFile(key_, old_release, PublisherComment("000123", "NVE20Eng-000123.exe")),
       refused +
           " is signed as build 000123, not as the build 000124 the update server "
           "announces." +
           nothing},
      {"a legacy signature over more than 60 KiB", large,
       SignFile(key_, large, PublisherComment("000124", name_), true),
       refused +
           " is signed the legacy way (over the whole file), which this updater checks "
           "only for files of up to 60 KiB; the publisher signs it again with minisign's "
           "default." +
           nothing},
      {"a comment of another form", update_, SignFile(key_, update_, "netvane build 124"),
       "The signature of the update " + name_ + " does not name a build and a file." + nothing},
      // Another installation reached build 124 while this one downloaded.
      {"a build not newer than the installed one", update_, good,
       refused + " is signed as build 000124, which is not newer than the installed one." + nothing,
       [this] {
         if (fs::exists(Drive("netvane.exe.minisig"))) Program("BuildNo", "124");
       }},
  };
  // What was downloaded is gone before the message shows.
  bool left_while_shown = false;
  view_.prompt.on_show = [&](const std::string&) {
    left_while_shown = fs::exists(Drive("netvane.exe")) || fs::exists(Drive("netvane.exe.minisig"));
  };
  for (const Case& c : cases) {
    Program("BuildNo", "123");
    fs::remove(fs::path(ftp_root_) / (name_ + ".minisig"));
    ServerFile(name_, c.file);
    if (!c.signature.empty()) ServerFile(name_ + ".minisig", c.signature);
    view_.on_events = c.during;
    left_while_shown = false;
    EXPECT_EQ(Run({key_.public_key}), std::vector<std::string>{c.message}) << c.what;
    ExpectNothingInstalled(c.what, c.during ? 124 : 123);
    EXPECT_FALSE(left_while_shown) << c.what;
  }
  view_.on_events = nullptr;
  view_.prompt.on_show = nullptr;

  // A refused installer is not run.
  const std::string marker = Drive("installer-ran");
  const std::string installer = "#!/bin/sh\necho ran > '" + marker + "'\n";
  Program("BuildNo", "123");
  ServerFile("eng.txt", "000124ins");
  ServerFile("NVE20Eng-000124ins.exe", installer + "# and more\n");
  ServerFile("NVE20Eng-000124ins.exe.minisig",
             SignFile(key_, installer, PublisherComment("000124", "NVE20Eng-000124ins.exe")));
  EXPECT_EQ(Run({key_.public_key}),
            std::vector<std::string>{"The update NVE20Eng-000124ins.exe is not the file its "
                                     "signature was made for." +
                                     nothing});
  EXPECT_FALSE(fs::exists(marker));
  ExpectNothingInstalled("a changed installer");
  ServerFile("eng.txt", "000124");

  // Trusting no key, nothing is even downloaded, by Update Now or unattended, where it says
  // so once and stops.
  fs::remove(Drive("eng.txt"));
  Program("AutoUpdate", "1");
  view_.prompt.shown.clear();
  updater::cFTP ftp(std::make_unique<platform::CurlFtp>());
  updater::UpdateProcedure untrusting(ftp, services_, view_, {});
  untrusting.Run();
  untrusting.Activated();
  untrusting.Activated();
  const std::string no_key =
      "This NVEupdate trusts no publisher's key, so it cannot tell an update from a forgery. "
      "Nothing was downloaded or installed.";
  EXPECT_EQ(view_.Messages(), (std::vector<std::string>{no_key, no_key}));
  EXPECT_FALSE(fs::exists(Drive("eng.txt")));

  // A refused update, unattended: switched off, and not reported as done.
  Program("AutoUpdate", "1");
  Program("BuildNo", "123");
  ServerFile(name_, update_);
  ServerFile(name_ + ".minisig", SignFile(stranger, update_, PublisherComment("000124", name_)));
  view_.prompt.shown.clear();
  updater::UpdateProcedure procedure(ftp, services_, view_, {key_.public_key});
  procedure.Activated();
  ASSERT_EQ(view_.prompt.shown.size(), 1u);
  EXPECT_EQ(view_.prompt.shown[0].text.rfind(refused + " is not signed by a trusted key", 0), 0u);
  EXPECT_EQ(ProgramValue("AutoUpdate").number, 0);
  ExpectNothingInstalled("unattended");
}

TEST_F(UpdateSignatureTest, TheBytesCheckedAreTheBytesCopiedOrRun) {
  SwappingFiles swapping(fake_.files);
  swapping.swapped = "#!/bin/sh\necho swapped > '" + Drive("swapped-ran") + "'\n";
  platform::Platform services = fake_.ServicesWith(process_);
  platform::Platform held{services.registry, services.codepage, services.winver, services.iphelper,
                          services.process,  services.shell,    services.device, services.profile,
                          swapping,          services.tasks,    services.probe};
  const std::string installer = "#!/bin/sh\necho checked > '" + Drive("checked-ran") + "'\n";
  ServerFile("eng.txt", "000124ins");
  ServerFile("NVE20Eng-000124ins.exe", installer);
  ServerFile("NVE20Eng-000124ins.exe.minisig",
             SignFile(key_, installer, PublisherComment("000124", "NVE20Eng-000124ins.exe")));
  updater::cFTP ftp(std::make_unique<platform::CurlFtp>());
  updater::UpdateProcedure procedure(ftp, held, view_, {key_.public_key});
  procedure.Run();
  EXPECT_TRUE(view_.prompt.shown.empty());
  EXPECT_EQ(Read(Drive("checked-ran")), "checked\n");
  EXPECT_FALSE(fs::exists(Drive("swapped-ran")));

  // The same for a copy.
  ServerFile("eng.txt", "000125");
  ServerFile("NVE20Eng-000125.exe", update_);
  ServerFile("NVE20Eng-000125.exe.minisig",
             SignFile(key_, update_, PublisherComment("000125", "NVE20Eng-000125.exe")));
  procedure.Run();
  EXPECT_TRUE(view_.prompt.shown.empty());
  EXPECT_EQ(InstalledProgram(), update_);
}

// The publisher's way: a key pair from the minisign program, the update signed by
// scripts/sign-update, the public key file read as a build reads it.
TEST_F(UpdateSignatureTest, TheMinisignProgramsKeysAndSignaturesAreAccepted) {
  const std::string pub = Drive("publisher.pub");
  const std::string secret = Drive("publisher.key");
  ASSERT_EQ(RunShell("minisign -G -W -f -p '" + pub + "' -s '" + secret + "' </dev/null >/dev/null")
                .status,
            0);
  const std::string file = Drive(name_);
  std::ofstream(file, std::ios::binary) << update_;
  const ShellResult signed_by =
      RunShell(std::string(SIGN_UPDATE_SCRIPT) + " '" + secret + "' '" + file + "' 000124 2>&1");
  ASSERT_EQ(signed_by.status, 0) << signed_by.out;
  const std::optional<updater::minisign::PublicKey> key = ParsePublicKey(Read(pub));
  ASSERT_TRUE(key.has_value());
  ServerFile("eng.txt", "000124");
  ServerFile(name_, update_);
  ServerFile(name_ + ".minisig", Read(file + ".minisig"));
  EXPECT_EQ(Run({*key}), std::vector<std::string>{});
  EXPECT_EQ(InstalledProgram(), update_);

  // The script refuses what the updater would refuse.
  EXPECT_EQ(RunShell(std::string(SIGN_UPDATE_SCRIPT) + " '" + secret + "' '" + file + "' 124 2>&1")
                .status,
            2);
}

TEST(MinisignFiles, OnlyWellFormedKeysAndSignaturesAreRead) {
  const SigningKey key = MakeSigningKey();
  const std::string pub = key.PublicFile();
  ASSERT_TRUE(ParsePublicKey(pub).has_value());
  EXPECT_EQ(ParsePublicKey(pub)->key, key.public_key.key);
  EXPECT_TRUE(ParsePublicKey(pub.substr(pub.find('\n') + 1)).has_value());  // the line alone
  const std::string line = pub.substr(pub.find('\n') + 1, 56);
  for (const std::string& bad :
       {std::string(""), line.substr(0, 52), line + "AAAA", "comment\n" + line,
        line.substr(0, 55) + "=", "untrusted comment: x\n" + line + "\nmore"}) {
    EXPECT_FALSE(ParsePublicKey(bad).has_value()) << bad;
  }
  const std::string sig = SignFile(key, "x", "netvane build 000001 file NVE20Eng-000001.exe");
  ASSERT_TRUE(ParseSignature(sig).has_value());
  std::string crlf;
  for (const char c : sig) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_TRUE(ParseSignature(crlf).has_value());
  const size_t second = sig.find('\n') + 1;
  const size_t trusted = sig.find("\ntrusted comment: ") + 1;
  for (const std::string& bad : {sig.substr(0, second), sig.substr(second), sig + "extra\n",
                                 std::string(sig).replace(trusted, 17, "comment: "),
                                 std::string(sig).replace(second, 2, "RX"),
                                 std::string(sig).insert(trusted + 17, std::string(1030, 'c'))}) {
    EXPECT_FALSE(ParseSignature(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace netvane::testing
