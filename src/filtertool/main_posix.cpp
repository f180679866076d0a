// NVEFilter on the host: the same requests as on Windows, to the host's filter driver.
#include <string>

#include "filtertool/filter_tool.h"
#include "platform/posix/host_system.h"
#include "platform/posix/iconv_codepage.h"
#include "platform/posix/sqlite_registry.h"

int main(int argc, char** argv) {
  // The command line as Windows hands it over: the arguments joined by blanks.
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  netvane::platform::IconvCodePage codepage("");
  netvane::platform::SqliteRegistry registry(netvane::platform::DefaultRegistryPath(), codepage);
  netvane::platform::HostDevice device(registry);
  netvane::filtertool::RunFilterCommand(command_line, device);
  return 0;
}
