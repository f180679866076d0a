// Download throughput of the updater's FTP client: a 10 MB file from a pyftpdlib server on
// loopback, fetched through cFTP in its 255-byte blocks (a progress event after each, the
// event pump a no-op) and by the curl command-line tool from the same server. Both use
// passive mode and include the login; the figures are the median of several runs.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ftp_server.h"
#include "platform/posix/curl_ftp.h"
#include "updater/ftp_client.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr size_t kFileSize = 10u << 20;

pid_t Spawn(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

double Seconds(const std::function<bool()>& run, bool* ok) {
  const auto start = Clock::now();
  *ok = run() && *ok;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char templ[] = "/tmp/netvane-ftpbench-XXXXXX";
  const fs::path dir = mkdtemp(templ);
  fs::create_directories(dir / "server");
  {
    std::mt19937 random(7);
    std::string bytes(kFileSize, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    std::ofstream(dir / "server" / "big.bin", std::ios::binary) << bytes;
  }
  const netvane::testing::LoopbackFtpServer server((dir / "server").string());
  if (server.address().empty()) {
    std::fprintf(stderr, "the loopback FTP server did not start\n");
    return 1;
  }
  const std::string& address = server.address();
  const std::string local = (dir / "local.bin").string();

  auto curl_tool = [&] {
    fs::remove(local);
    const pid_t pid = Spawn({"/usr/bin/curl", "-s", "-o", local, "ftp://" + address + "/big.bin"});
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::file_size(local) == kFileSize;
  };
  long events = 0;
  auto client = [&] {
    fs::remove(local);
    netvane::updater::cFTP ftp(std::make_unique<netvane::platform::CurlFtp>());
    ftp.SetModePassive();
    ftp.SetTransferBinary();
    ftp.FileTransferProgress = [&](int64_t, int64_t) { ++events; };
    ftp.LetPendingEventsRun = [] {};
    if (!ftp.OpenConnection(address, "anonymous", "bench@example.com")) return false;
    std::string l = local, r = "big.bin";
    const bool ok = ftp.FTPDownloadFile(l, r);
    ftp.CloseConnection();
    return ok && fs::file_size(local) == kFileSize;
  };

  bool ok = true;
  std::vector<double> curl_times, client_times;
  for (int i = 0; i < runs; ++i) {
    curl_times.push_back(Seconds(curl_tool, &ok));
    client_times.push_back(Seconds(client, &ok));
  }
  fs::remove_all(dir);
  if (!ok) {
    std::fprintf(stderr, "a download failed\n");
    return 1;
  }

  const double mb = static_cast<double>(kFileSize) / (1 << 20);
  const double curl_rate = mb / Median(curl_times);
  const double client_rate = mb / Median(client_times);
  std::printf("10 MB over loopback FTP, median of %d runs:\n", runs);
  std::printf("  cFTP (255-byte blocks, %ld progress events per download)  %8.1f MB/s\n",
              events / runs, client_rate);
  std::printf("  curl command-line tool                                     %8.1f MB/s\n",
              curl_rate);
  std::printf("  ratio cFTP / curl  %.2f\n", client_rate / curl_rate);
  return 0;
}
