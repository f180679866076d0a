#include "scene.h"

#include "engine/windows_family.h"

namespace netvane::snapshots {
namespace {

constexpr char kIntelName[] = "Intel(R) PRO/100 VE Network Connection";
constexpr char kIntelId[] = "{4D36E972-E325}";
constexpr char k3ComName[] = "3Com EtherLink XL 10/100 PCI TX NIC";
constexpr char k3ComId[] = "El90x1";

// The locations are saved to the registry and read back, as the program finds them.
void SeedLocations(Scene& s) {
  store::LocationRecord office;
  office.SessionName = "Office";
  office.NIC_ID = k3ComId;
  office.NIC_NAME = k3ComName;
  office.ServiceType = "USE_HANARO_OUT_PPP_MODEM";
  office.ExecutePath = kDialProgram;
  office.IPAddress = "192.168.10.25";
  office.SubnetMask = "255.255.255.0";
  office.Gateway = "192.168.10.1,192.168.10.254";
  office.DNS = "192.168.10.2";
  office.UseProxy = true;
  office.UseIEProxy = true;
  office.IEProxy.HTTPAddress = "proxy.example";
  office.IEProxy.HTTPPort = "3128";
  office.UseWinNetwork = true;
  office.DefaultPrinter = "Lab Color Printer";
  s.locations.SaveLocation(1, office);
  store::LocationRecord home = office;
  home.SessionName = "Home";
  home.ServiceType = "USE_DHCP";
  home.SessionActive = true;
  s.locations.SaveLocation(2, home);
  store::LocationRecord lab = office;
  lab.SessionName = "Lab";
  lab.NIC_ID = kIntelId;
  lab.NIC_NAME = kIntelName;
  lab.ServiceType = "USE_STATIC_IP";
  lab.IPAddress = "10.1.2.30";
  s.locations.SaveLocation(3, lab);
  s.locations.LoadLocations(s.state.LocationTable);
}

}  // namespace

void Seed(Scene& s) {
  s.state.AdapterTable = {{kIntelName, kIntelId}, {k3ComName, k3ComId}};
  SeedLocations(s);
  s.state.OSKind = engine::kOsWin2000;
  store::BuildActiveLocationTable(s.state.AdapterTable, s.state.LocationTable,
                                  s.state.ActiveLocationTable);
  s.settings.LoadSettings(s.state.settings);
  s.printers.names = {QStringLiteral("Office LaserJet"), QStringLiteral("Lab Color Printer"),
                      QStringLiteral("PDF Writer")};
  s.fake.shell.files = {kDialProgram};
}

}  // namespace netvane::snapshots
