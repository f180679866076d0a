#include <cstdlib>
#include <iostream>

#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"
#include "tools/netvane_reg/netvane_reg.h"

int main(int argc, char** argv) {
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
  const std::vector<std::string> args(argv + 1, argv + argc);
  return netvane::tools::RunNetvaneReg(args, registry, std::cout, std::cerr);
}
