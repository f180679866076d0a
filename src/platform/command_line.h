// Windows command lines: how one text becomes a program's arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace netvane::platform {

// Splits a whole command line as CommandLineToArgvW does: the program name ends at the first
// blank or is taken whole between quotes; in the arguments, blanks separate, quotes group,
// 2n backslashes before a quote give n backslashes and 2n+1 give n and a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view command_line);
// The same rules for the arguments part alone (everything after the program name).
std::vector<std::string> SplitArguments(std::string_view arguments);
// Quotes one argument (when it needs it) so that SplitArguments gives it back unchanged.
std::string QuoteArgument(std::string_view argument);

}  // namespace netvane::platform
