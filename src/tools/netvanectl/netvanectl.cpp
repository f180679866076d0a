#include "tools/netvanectl/netvanectl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iomanip>
#include <thread>

#include "engine/app_state.h"
#include "engine/apply_command.h"
#include "engine/engine.h"
#include "engine/ip_helper.h"
#include "engine/load_all.h"
#include "engine/location_tree.h"
#include "engine/network_memory.h"
#include "engine/recognition.h"
#include "engine/windows_family.h"
#include "store/location_store.h"
#include "store/numbers.h"
#include "store/registry_access.h"

namespace netvane::tools {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotRecognised = 3;

const char kUsage[] =
    "usage: netvanectl list             adapters and stored locations\n"
    "       netvanectl show ID          every field of location ID\n"
    "       netvanectl apply ID|NAME [--restore-on-failure]\n"
    "                                   apply a location, as the Apply button does; after a\n"
    "                                   failure, put back the location active before it\n"
    "       netvanectl detect [ADAPTER] [--apply]\n"
    "                                   which location's network the adapter (its number in\n"
    "                                   list; without it, every adapter with locations) is\n"
    "                                   plugged into; --apply applies it\n";

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
      << "DefaultPrinter: " << r.DefaultPrinter << "\n"
      << "ApplyWhenRecognised: " << YesNo(r.ApplyWhenRecognised) << "\n"
      << "NetworkGateway: " << r.Network.Gateway << "\n"
      << "NetworkGatewayMAC: " << r.Network.GatewayMAC << "\n"
      << "NetworkDhcpServer: " << r.Network.DhcpServer << "\n"
      << "NetworkPrefix: " << r.Network.Prefix << "\n";
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

// Everything an apply works with.
struct Session {
  engine::AppState& state;
  platform::Platform& platform;
  store::RegistryAccess& registry;
  store::LocationStore& locations;
  const EndpointFactory& make_endpoint;
  ConsolePrompt& prompt;
  std::ostream& out;
  std::ostream& err;
};

// Applies a loaded location as the Apply button does, and waits until what it ends with is
// known (the bind poll, the lease the network is remembered by).
int ApplyLoaded(int16_t id, bool restore, Session& s) {
  if (!s.platform.process.Elevated()) {
    s.err << kNeedsElevation;
    return kExitFailed;
  }
  const size_t first_message = s.prompt.shown().size();
  const std::unique_ptr<platform::UdpEndpoint> endpoint = s.make_endpoint();
  ConsoleFrontEnd front_end(s.prompt, *endpoint);
  engine::Engine engine(s.platform, s.registry, s.state, front_end);
  engine::ApplyCommand command(engine, s.locations, s.state, front_end);
  engine::NetworkMemory memory(s.platform, s.registry, s.locations, s.state);
  front_end.Attach(&engine, &command);
  command.restore_policy = restore ? engine::RestorePolicy::kAlways : engine::RestorePolicy::kNever;
  command.memory = &memory;
  command.Apply(id);
  front_end.RunPoll();
  endpoint->Close();
  while (memory.Tick()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  if (command.RestoredLocationId >= 0)
    ReportRestore(s.state, command.RestoredLocationId, s.prompt, s.out);
  const std::vector<std::string>& shown = s.prompt.shown();
  return std::any_of(shown.begin() + static_cast<std::ptrdiff_t>(first_message), shown.end(),
                     IsFailureReport)
             ? kExitFailed
             : kExitDone;
}

int Apply(const std::string& which, bool restore, engine::CIpHelper& iphelper, Session& s) {
  engine::AppState& state = s.state;
  std::ostream& err = s.err;
  engine::LoadAll(state, s.registry, s.locations, iphelper);
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
  return ApplyLoaded(state.LocationTable[static_cast<size_t>(index)].LocationId, restore, s);
}

// Probes each adapter asked for and prints the location its network is; --apply applies it.
int Detect(const std::vector<std::string>& args, engine::CIpHelper& iphelper, Session& s) {
  engine::AppState& state = s.state;
  engine::LoadAll(state, s.registry, s.locations, iphelper);
  bool apply = false;
  std::optional<size_t> only;
  for (size_t i = 1; i < args.size(); ++i) {
    int64_t n = 0;
    if (args[i] == "--apply" && !apply) {
      apply = true;
    } else if (!only && store::ParseWholeNumber(args[i], 0, 32767, &n)) {
      only = static_cast<size_t>(n);
    } else {
      s.err << "netvanectl: unexpected argument " << args[i] << "\n" << kUsage;
      return kExitUsage;
    }
  }
  if (only && *only >= state.AdapterTable.size()) {
    s.err << "netvanectl: no adapter [" << *only << "]; netvanectl list shows them\n";
    return kExitUsage;
  }
  std::vector<size_t> adapters;
  for (size_t i = 0; i < state.AdapterTable.size(); ++i) {
    const bool has_locations =
        std::any_of(state.LocationTable.begin(), state.LocationTable.end(),
                    [&](const store::LocationRecord& r) {
                      return engine::SameAdapter(r.NIC_ID, state.AdapterTable[i].AdapterId);
                    });
    if (only ? i == *only : has_locations) adapters.push_back(i);
  }
  int status = kExitNotRecognised;
  for (size_t i : adapters) {
    const store::AdapterEntry& adapter = state.AdapterTable[i];
    const platform::ProbeRequest request =
        engine::RecognitionRequest(state.LocationTable, adapter.AdapterId);
    platform::ProbeResult result;
    if (!request.gateways.empty()) result = s.platform.probe.Probe(request);
    if (!result.error.empty()) {
      s.err << "netvanectl: the network on " << adapter.Description
            << " could not be probed: " << result.error << "\n";
      if (status == kExitNotRecognised) status = kExitFailed;
      continue;
    }
    const int16_t id = engine::Recognise(state.LocationTable, adapter.AdapterId, result).location;
    if (id < 0) {
      s.err << "netvanectl: no location matches the network on " << adapter.Description << ".\n";
      continue;
    }
    const store::LocationRecord& r =
        state.LocationTable[static_cast<size_t>(store::FindLocationIndex(state.LocationTable, id))];
    s.out << "LocationId: " << id << "\nSessionName: " << r.SessionName << "\n";
    if (status != kExitFailed) status = kExitDone;
    if (apply && ApplyLoaded(id, false, s) != kExitDone) status = kExitFailed;
  }
  return status;
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
      (command == "apply" && args.size() != 2 && !restore) ||
      (command == "detect" && args.size() > 3)) {
    err << "netvanectl: wrong number of arguments for " << command << "\n" << kUsage;
    return kExitUsage;
  }
  if (command != "list" && command != "show" && command != "apply" && command != "detect") {
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

  Session session{state, platform, registry, locations, make_endpoint, prompt, out, err};
  if (command == "apply") return Apply(args[1], restore, iphelper, session);
  if (command == "detect") return Detect(args, iphelper, session);

  engine::LoadAll(state, registry, locations, iphelper);
  if (state.AdapterTable.empty()) {
    prompt.Show("Cannot find the installed network adapter.", engine::PromptIcon::kInformation,
                engine::PromptButtons::kOk);
  }
  PrintList(state, out);
  return kExitDone;
}

}  // namespace netvane::tools
