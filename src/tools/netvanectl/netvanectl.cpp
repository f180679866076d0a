#include "tools/netvanectl/netvanectl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iomanip>

#include "engine/app_state.h"
#include "engine/apply_command.h"
#include "engine/engine.h"
#include "engine/ip_helper.h"
#include "engine/load_all.h"
#include "engine/location_tree.h"
#include "engine/windows_family.h"
#include "store/location_store.h"
#include "store/registry_access.h"

namespace netvane::tools {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: netvanectl list             adapters and stored locations\n"
    "       netvanectl show ID          every field of location ID\n"
    "       netvanectl apply ID|NAME [--restore-on-failure]\n"
    "                                   apply a location, as the Apply button does; after a\n"
    "                                   failure, put back the location active before it\n";

const char* YesNo(bool flag) { return flag ? "Yes" : "No"; }

void PrintList(const engine::AppState& state, std::ostream& out) {
  out << "Adapters:\n";
  if (state.AdapterTable.empty()) out << "  (none)\n";
  for (size_t i = 0; i < state.AdapterTable.size(); ++i) {
    const store::AdapterEntry& a = state.AdapterTable[i];
    out << "  [" << i << "] " << a.Description << " (" << a.AdapterId << ")\n";
  }
  out << "Locations:\n";
  const std::vector<engine::TreeNode> nodes =
      engine::BuildLocationTree(state.LocationTable, state.ActiveLocationTable);
  for (const engine::TreeNode& node : nodes) {
    if (node.image == engine::kImageRoot) out << node.text << "\n";
    if (node.image != engine::kImageAdapter) continue;
    out << "  " << node.text << "\n";
    // The tree shows every location under its adapter node, also when the locations of one
    // adapter are not next to each other in the listing.
    for (const engine::TreeNode& child : nodes) {
      int16_t id = 0;
      if (child.parent == node.key && engine::LocationIdFromKey(child.key, &id)) {
        out << "    " << std::setw(5) << id
            << (child.image == engine::kImageActiveLocation ? " * " : "   ") << child.text << "\n";
      }
    }
  }
}

void PrintProxy(const char* prefix, const store::ProxySettings& p, std::ostream& out) {
  const std::pair<const char*, const std::string*> fields[] = {
      {"DefaultAddress", &p.DefaultAddress}, {"DefaultPort", &p.DefaultPort},
      {"HTTPAddress", &p.HTTPAddress},       {"HTTPPort", &p.HTTPPort},
      {"SecureAddress", &p.SecureAddress},   {"SecurePort", &p.SecurePort},
      {"FTPAddress", &p.FTPAddress},         {"FTPPort", &p.FTPPort},
      {"GopherAddress", &p.GopherAddress},   {"GopherPort", &p.GopherPort},
      {"SocksAddress", &p.SocksAddress},     {"SocksPort", &p.SocksPort},
  };
  out << prefix << ".AllProtocolSameProxy: " << YesNo(p.AllProtocolSameProxy) << "\n";
  for (const auto& [name, value] : fields) out << prefix << "." << name << ": " << *value << "\n";
}

void PrintRecord(const store::LocationRecord& r, std::ostream& out) {
  out << "LocationId: " << r.LocationId << "\n"
      << "SessionName: " << r.SessionName << "\n"
      << "NIC_NAME: " << r.NIC_NAME << "\n"
      << "NIC_ID: " << r.NIC_ID << "\n"
      << "SessionActive: " << YesNo(r.SessionActive) << "\n"
      << "ServiceType: " << r.ServiceType << "\n"
      << "ExecutePath: " << r.ExecutePath << "\n"
      << "IPAddress: " << r.IPAddress << "\n"
      << "SubnetMask: " << r.SubnetMask << "\n"
      << "Gateway: " << r.Gateway << "\n"
      << "DNS: " << r.DNS << "\n"
      << "Lease: " << std::llround(r.Lease) << "\n"
      << "UseProxy: " << YesNo(r.UseProxy) << "\n"
      << "IENC_SameProxy: " << YesNo(r.IENC_SameProxy) << "\n"
      << "UseIEProxy: " << YesNo(r.UseIEProxy) << "\n"
      << "UseNCProxy: " << YesNo(r.UseNCProxy) << "\n";
  PrintProxy("IEProxy", r.IEProxy, out);
  PrintProxy("NCProxy", r.NCProxy, out);
  out << "UseWinNetwork: " << YesNo(r.UseWinNetwork) << "\n"
      << "DefaultPrinter: " << r.DefaultPrinter << "\n";
}

// The window side of an apply without a window: commands, pointer and focus have nothing to
// show; the bind poll ticks every 2000 ms while the DHCP responder is served in between.
class ConsoleFrontEnd final : public engine::FrontEnd {
 public:
  ConsoleFrontEnd(ConsolePrompt& prompt, platform::UdpEndpoint& endpoint)
      : prompt_(prompt), endpoint_(endpoint) {}

  void Attach(engine::Engine* engine, engine::ApplyCommand* command) {
    engine_ = engine;
    command_ = command;
  }
  void SetCommandsEnabled(bool) override {}
  void StartBindPoll() override {
    polling_ = true;
    next_tick_ = Clock::now() + std::chrono::milliseconds(engine::kBindPollIntervalMs);
    command_->ResetPoll();
  }
  void StopBindPoll() override { polling_ = false; }
  void RefreshLocationTree() override {}
  void FocusApplyCommand() override {}
  void SetBusyPointer(bool) override {}
  // Datagrams are served by the poll loop below, between ticks.
  void LetPendingEventsRun() override {}
  engine::UserPrompt& Prompt() override { return prompt_; }
  platform::UdpEndpoint& MyWinsock() override { return endpoint_; }

  // Runs the poll until it ends, answering the responder's datagrams as they come.
  void RunPoll() {
    while (polling_) {
      const auto now = Clock::now();
      if (now >= next_tick_) {
        next_tick_ += std::chrono::milliseconds(engine::kBindPollIntervalMs);
        command_->Tick();
        continue;
      }
      const int wait_ms = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(next_tick_ - now).count() + 1);
      if (endpoint_.WaitForData(wait_ms)) engine_->responder().OnDataArrival();
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  ConsolePrompt& prompt_;
  platform::UdpEndpoint& endpoint_;
  engine::Engine* engine_ = nullptr;
  engine::ApplyCommand* command_ = nullptr;
  bool polling_ = false;
  Clock::time_point next_tick_;
};

constexpr char kNeedsElevation[] =
    "netvanectl: applying a location changes the network settings, which needs administrator "
    "rights: run it from an elevated command prompt (\"Run as administrator\"). Nothing was "
    "changed.\n";

// Whether a message tells that the apply did not work out.
bool IsFailureReport(const std::string& text) {
  return text == engine::kBindFailed ||
         text.rfind("Please, check if gateway or DNS Configuration is valid.", 0) == 0 ||
         text.rfind("DHCP Server is running.", 0) == 0 ||
         text.rfind("Error in executing the internet connecting program.", 0) == 0;
}

// Tells how the restore after a failed apply ended, from the messages shown after it began.
void ReportRestore(const engine::AppState& state, int16_t restored, const ConsolePrompt& prompt,
                   std::ostream& out) {
  const int i = store::FindLocationIndex(state.LocationTable, restored);
  const std::string name = i < 0 ? "" : state.LocationTable[static_cast<size_t>(i)].SessionName;
  const std::vector<std::string>& shown = prompt.shown();
  auto it = std::find(shown.begin(), shown.end(), engine::RestoringText(name));
  const bool failed = std::any_of(it, shown.end(), IsFailureReport);
  out << "netvanectl: the previous location \"" << name << "\" "
      << (failed ? "could not be restored either" : "was restored") << ".\n";
}

int Apply(const std::string& which, bool restore, engine::AppState& state,
          platform::Platform& platform, store::RegistryAccess& registry,
          store::LocationStore& locations, engine::CIpHelper& iphelper,
          const EndpointFactory& make_endpoint, ConsolePrompt& prompt, std::ostream& out,
          std::ostream& err) {
  engine::LoadAll(state, registry, locations, iphelper);
  int16_t id = 0;
  int index = -1;
  if (store::ParseLocationKeyName(which, &id))
    index = store::FindLocationIndex(state.LocationTable, id);
  if (index < 0) {
    for (size_t i = 0; i < state.LocationTable.size(); ++i) {
      if (state.LocationTable[i].SessionName == which) {
        index = static_cast<int>(i);
        break;
      }
    }
  }
  if (index < 0) {
    err << "netvanectl: no location with id or name " << which << "\n";
    return kExitUsage;
  }
  id = state.LocationTable[static_cast<size_t>(index)].LocationId;
  if (!platform.process.Elevated()) {
    err << kNeedsElevation;
    return kExitFailed;
  }

  const std::unique_ptr<platform::UdpEndpoint> endpoint = make_endpoint();
  ConsoleFrontEnd front_end(prompt, *endpoint);
  engine::Engine engine(platform, registry, state, front_end);
  engine::ApplyCommand command(engine, locations, state, front_end);
  front_end.Attach(&engine, &command);
  command.restore_policy = restore ? engine::RestorePolicy::kAlways : engine::RestorePolicy::kNever;
  command.Apply(id);
  front_end.RunPoll();
  endpoint->Close();
  if (command.RestoredLocationId >= 0)
    ReportRestore(state, command.RestoredLocationId, prompt, out);
  for (const std::string& text : prompt.shown()) {
    if (IsFailureReport(text)) return kExitFailed;
  }
  return kExitDone;
}

}  // namespace

engine::PromptAnswer ConsolePrompt::Show(const std::string& text, engine::PromptIcon /*icon*/,
                                         engine::PromptButtons buttons) {
  shown_.push_back(text);
  std::string line = text;
  // Message texts break lines with CR LF.
  for (size_t pos; (pos = line.find("\r\n")) != std::string::npos;) line.erase(pos, 1);
  out_ << line;
  if (!line.empty() && line.back() != '\n') out_ << "\n";
  if (buttons == engine::PromptButtons::kYesNo) {
    out_ << "(answered No: netvanectl does not ask)\n";
    return engine::PromptAnswer::kNo;
  }
  return engine::PromptAnswer::kOk;
}

int RunNetvanectl(const std::vector<std::string>& args, platform::Platform& platform,
                  const EndpointFactory& make_endpoint, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    (args.empty() ? err : out) << kUsage;
    return args.empty() ? kExitUsage : kExitDone;
  }
  const std::string& command = args[0];
  const bool restore = command == "apply" && args.size() == 3 && args[2] == "--restore-on-failure";
  if ((command == "list" && args.size() != 1) || (command == "show" && args.size() != 2) ||
      (command == "apply" && args.size() != 2 && !restore)) {
    err << "netvanectl: wrong number of arguments for " << command << "\n" << kUsage;
    return kExitUsage;
  }
  if (command != "list" && command != "show" && command != "apply") {
    err << "netvanectl: unknown command " << command << "\n" << kUsage;
    return kExitUsage;
  }

  engine::AppState state;
  state.OSKind = engine::DetectWindowsFamily(platform.winver);
  if (state.OSKind == engine::kOsUnknown || state.OSKind == engine::kOsWin95) {
    err << "Netvane 2.0 is available on Windows 98/ME/NT/2000.\n";
    return kExitFailed;
  }
  ConsolePrompt prompt(out);
  store::RegistryAccess registry(platform.registry, platform.codepage);
  store::LocationStore locations(registry);
  engine::CIpHelper iphelper(platform.iphelper, platform.codepage, prompt);

  if (command == "show") {
    int16_t id = 0;
    if (!store::ParseLocationKeyName(args[1], &id)) {
      err << "netvanectl: not a location id: " << args[1] << " (expected 1 to 32767)\n";
      return kExitUsage;
    }
    locations.LoadLocations(state.LocationTable);
    const int index = store::FindLocationIndex(state.LocationTable, id);
    if (index < 0) {
      err << "netvanectl: no location with id " << id << "\n";
      return kExitUsage;
    }
    PrintRecord(state.LocationTable[static_cast<size_t>(index)], out);
    return kExitDone;
  }

  if (command == "apply") {
    return Apply(args[1], restore, state, platform, registry, locations, iphelper, make_endpoint,
                 prompt, out, err);
  }

  engine::LoadAll(state, registry, locations, iphelper);
  if (state.AdapterTable.empty()) {
    prompt.Show("Cannot find the installed network adapter.", engine::PromptIcon::kInformation,
                engine::PromptButtons::kOk);
  }
  PrintList(state, out);
  return kExitDone;
}

}  // namespace netvane::tools
