#include <cstdlib>
#include <iostream>

#include "tools/netvane_reg/netvane_reg.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "platform/system_platform.h"
#else
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"
#endif

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef _WIN32
  // Registry files travel as bytes: no line-end translation on the way in or out.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  auto system = netvane::platform::CreateSystemPlatform();
  for (const std::string& problem : system->problems()) {
    std::cerr << "netvane-reg: " << problem << "\n";
  }
  if (system->fatal()) return 1;
  netvane::platform::Platform& services = system->services();
  return netvane::tools::RunNetvaneReg(args, services.registry, services.codepage, std::cout,
                                       std::cerr);
#else
  const char* cp_name = std::getenv("NETVANE_ANSI_CODEPAGE");
  netvane::platform::IconvCodePage codepage(cp_name != nullptr ? cp_name : "");
  if (!codepage.ok()) {
    std::cerr << "netvane-reg: unknown code page NETVANE_ANSI_CODEPAGE=" << cp_name
              << "; using UTF-8\n";
  }
  netvane::platform::SqliteRegistry registry(netvane::platform::DefaultRegistryPath(), codepage);
  if (!registry.ok()) {
    std::cerr << "netvane-reg: " << registry.error() << "\n";
    return 1;
  }
  return netvane::tools::RunNetvaneReg(args, registry, codepage, std::cout, std::cerr);
#endif
}
