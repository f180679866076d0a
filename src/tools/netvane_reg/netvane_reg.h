// netvane-reg: import and export of the registry as REGEDIT4 text.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace netvane::tools {

// Runs one command (`args` without the program name); returns the exit status: 0 done,
// 1 the registry refused a change (nothing was changed; the message says so, or that putting
// back failed too), 2 a usage error, an unreadable or malformed file (names longer or keys
// deeper than Windows takes included), or a missing key. An import goes in as one transaction
// where the registry has them (the host file); elsewhere the tool puts back what it changed.
// Names in the file and on the command line are in `codepage`, the registry's ANSI code page.
int RunNetvaneReg(const std::vector<std::string>& args, platform::Registry& registry,
                  const platform::CodePage& codepage, std::ostream& out, std::ostream& err);

}  // namespace netvane::tools
