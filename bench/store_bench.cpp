// Loading 1,000 stored locations and saving one, over a real registry file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "engine/load_all.h"
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"
#include "platform/posix/sysfs_iphelper.h"
#include "store/location_store.h"

namespace {

using namespace netvane;

store::LocationRecord FullLocation(int16_t id) {
  store::LocationRecord r;
  r.LocationId = id;
  r.SessionName = "Location " + std::to_string(id);
  r.NIC_NAME = "Intel(R) PRO/100 VE Network Connection";
  r.NIC_ID = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
  r.ServiceType = "USE_STATIC_IP";
  r.IPAddress = "192.168." + std::to_string(id / 250) + "." + std::to_string(id % 250 + 1);
  r.SubnetMask = "255.255.255.0";
  r.Gateway = "192.168.0.1,192.168.0.254";
  r.DNS = "192.168.0.2,192.168.0.3";
  r.Lease = 16777215 - id;
  r.UseProxy = true;
  r.UseIEProxy = true;
  store::ProxySettings& p = r.IEProxy;
  p.DefaultAddress = "proxy.example";
  p.DefaultPort = "8080";
  p.HTTPAddress = "http.proxy.example";
  p.HTTPPort = "3128";
  p.SecureAddress = "secure.proxy.example";
  p.SecurePort = "3129";
  p.FTPAddress = "ftp.proxy.example";
  p.FTPPort = "2121";
  p.GopherAddress = "gopher.proxy.example";
  p.GopherPort = "70";
  p.SocksAddress = "socks.proxy.example";
  p.SocksPort = "1080";
  r.UseWinNetwork = true;
  r.DefaultPrinter = "Office LaserJet " + std::to_string(id);
  return r;
}

// A registry file holding 1,000 such locations and two adapters.
class Fixture {
 public:
  Fixture() {
    char templ[] = "/tmp/netvane-bench-XXXXXX";
    dir_ = mkdtemp(templ);
    registry_ = std::make_unique<platform::SqliteRegistry>(dir_ + "/registry.db", codepage_);
    access_ = std::make_unique<store::RegistryAccess>(*registry_, codepage_);
    store_ = std::make_unique<store::LocationStore>(*access_);
    const std::string cards = "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\";
    for (int i = 1; i <= 2; ++i) {
      const std::string key = cards + std::to_string(i);
      access_->CreateKey(platform::kHkeyLocalMachine, key);
      access_->WriteValue(platform::kHkeyLocalMachine, key, "Description",
                          "Card " + std::to_string(i));
      access_->WriteValue(platform::kHkeyLocalMachine, key, "ServiceName",
                          "Svc" + std::to_string(i));
    }
    for (int16_t id = 1; id <= 1000; ++id) store_->SaveLocation(id, FullLocation(id));
  }
  ~Fixture() { std::filesystem::remove_all(dir_); }

  store::RegistryAccess& access() { return *access_; }
  store::LocationStore& store() { return *store_; }

 private:
  std::string dir_;
  platform::IconvCodePage codepage_{""};
  std::unique_ptr<platform::SqliteRegistry> registry_;
  std::unique_ptr<store::RegistryAccess> access_;
  std::unique_ptr<store::LocationStore> store_;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

class SilentPrompt : public engine::UserPrompt {
 public:
  engine::PromptAnswer Show(const std::string&, engine::PromptIcon,
                            engine::PromptButtons) override {
    return engine::PromptAnswer::kOk;
  }
};

void BM_LoadAll1000(benchmark::State& state) {
  Fixture& f = Shared();
  platform::SysfsIpHelper table;
  platform::IconvCodePage codepage("");
  SilentPrompt prompt;
  engine::CIpHelper iphelper(table, codepage, prompt);
  engine::AppState app;
  app.OSKind = engine::kOsWin2000;
  for (auto _ : state) {
    engine::LoadAll(app, f.access(), f.store(), iphelper);
    benchmark::DoNotOptimize(app.LocationTable.data());
  }
  if (app.LocationCount() != 1000 || app.LocationTable[0].IEProxy.SocksPort != "1080") {
    state.SkipWithError("the locations did not load");
  }
}
BENCHMARK(BM_LoadAll1000)->Unit(benchmark::kMillisecond);

void BM_SaveLocation(benchmark::State& state) {
  Fixture& f = Shared();
  store::LocationRecord r = FullLocation(500);
  for (auto _ : state) {
    r.Lease -= 1;
    if (!f.store().SaveLocation(500, r)) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveLocation)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
