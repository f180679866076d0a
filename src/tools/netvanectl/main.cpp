#include <iostream>

#include "platform/system_platform.h"
#include "tools/netvanectl/netvanectl.h"

int main(int argc, char** argv) {
  auto system = netvane::platform::CreateSystemPlatform();
  for (const std::string& problem : system->problems()) {
    std::cerr << "netvanectl: " << problem << "\n";
  }
  if (system->fatal()) return 1;
  const std::vector<std::string> args(argv + 1, argv + argc);
  return netvane::tools::RunNetvanectl(
      args, system->services(), [&system] { return system->CreateUdpEndpoint(); }, std::cout,
      std::cerr);
}
