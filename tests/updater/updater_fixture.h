// What the updater's tests share: the platform doubles over a real registry file with real
// processes, a folder the loopback FTP server serves, and the installed program's folder on
// the stand-in drive c:.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "ftp_server.h"
#include "platform/posix/posix_process.h"
#include "test_support.h"
#include "update_signer.h"
#include "updater/update_procedure.h"

namespace netvane::testing {

// Real processes; the updater's own path is the test's to set.
class UpdaterProcess : public platform::PosixProcess {
 public:
  std::string ProgramPath() const override {
    return program_path.empty() ? PosixProcess::ProgramPath() : program_path;
  }
  std::string program_path;
};

class UpdaterFixture {
 protected:
  UpdaterFixture() {
    std::filesystem::create_directories(install_);
    ftp_root_ = fake_.registry.file() + ".ftp";
    std::filesystem::create_directories(ftp_root_);
  }

  void ServerFile(const std::string& name, const std::string& content) {
    std::ofstream(std::filesystem::path(ftp_root_) / name, std::ios::binary) << content;
  }
  // An update file ("NVE20Eng-NNNNNN....exe") and its signature by the fixture's key, as the
  // publisher signs it.
  void ServerUpdate(const std::string& name, const std::string& content) {
    ServerFile(name, content);
    ServerFile(name + ".minisig",
               SignFile(key_, content, PublisherComment(name.substr(9, 6), name)));
  }
  std::vector<updater::minisign::PublicKey> Trusted() const { return {key_.public_key}; }
  void StartServer() {
    server_ = std::make_unique<LoopbackFtpServer>(ftp_root_);
    ASSERT_FALSE(server_->address().empty());
  }
  void Installed(const std::string& folder) {
    ASSERT_TRUE(
        registry_.Write(platform::kHkeyLocalMachine, updater::kAppPathsKey, "Path", folder));
  }
  void Program(const std::string& name, const std::string& value) {
    ASSERT_TRUE(registry_.Write(platform::kHkeyLocalMachine, updater::kProgramKey, name, value));
  }
  updater::basRegistry::Value ProgramValue(const std::string& name) {
    return registry_.Read(platform::kHkeyLocalMachine, updater::kProgramKey, name);
  }
  // The updater runs from the installed folder, which a system package put there.
  void PackageInstall() {
    process_.program_path = install_ + "/NVEupdate";
    std::ofstream(install_ + "/" + updater::kPackageMarker);
  }
  std::string Drive(const std::string& name) { return fake_.drive_c.File(name); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  SigningKey key_ = MakeSigningKey();
  FakePlatform fake_;
  UpdaterProcess process_;
  platform::Platform services_{fake_.ServicesWith(process_)};
  updater::basRegistry registry_{fake_.registry.registry(), fake_.registry.codepage()};
  std::string install_ = fake_.drive_c.File("Program Files/Netvane");
  std::string ftp_root_;
  std::unique_ptr<LoopbackFtpServer> server_;
};

}  // namespace netvane::testing
