// NVEFilter on the host: the same requests as on Windows, to the host's device stand-in.
#include <string>

#include "filtertool/filter_tool.h"
#include "platform/posix/socket_device.h"

int main(int argc, char** argv) {
  // The command line as Windows hands it over: the arguments joined by blanks.
  std::string command_line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) command_line += ' ';
    command_line += argv[i];
  }
  netvane::platform::SocketDevice device;
  netvane::filtertool::RunFilterCommand(command_line, device);
  return 0;
}
