// Windows command-line splitting and quoting.
#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace netvane::testing {
namespace {

using platform::QuoteArgument;
using platform::SplitArguments;
using platform::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, SeparatesAtBlanksAndGroupsInQuotes) {
  EXPECT_EQ(
      SplitCommandLine("netsh interface ip set address \"Local Area Connection\"  source=dhcp"),
      (Args{"netsh", "interface", "ip", "set", "address", "Local Area Connection", "source=dhcp"}));
  EXPECT_EQ(SplitCommandLine("ipconfig.exe /release -1"), (Args{"ipconfig.exe", "/release", "-1"}));
  EXPECT_EQ(SplitCommandLine("a\tb   c "), (Args{"a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine("prog \"\" x"), (Args{"prog", "", "x"}));
  EXPECT_EQ(SplitCommandLine("prog ab\"c d\"e f"), (Args{"prog", "abc de", "f"}));
}

TEST(SplitCommandLine, TakesTheProgramNameWithoutBackslashRules) {
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x\\\" y"),
            (Args{"C:\\Program Files\\x\\", "y"}));
  EXPECT_EQ(SplitCommandLine("C:\\dir\\prog.exe \\\\server\\share"),
            (Args{"C:\\dir\\prog.exe", "\\\\server\\share"}));
  EXPECT_EQ(SplitCommandLine(""), (Args{""}));
}

TEST(SplitArguments, CountsBackslashesBeforeQuotes) {
  EXPECT_EQ(SplitArguments("a\\\\\"b c\" d"), (Args{"a\\b c", "d"}));  // 2n: n and a quote
  EXPECT_EQ(SplitArguments("a\\\"b c"), (Args{"a\"b", "c"}));          // 2n+1: literal quote
  EXPECT_EQ(SplitArguments("a\\\\\\\"b"), (Args{"a\\\"b"}));
  EXPECT_EQ(SplitArguments("a\\b\\\\ c\\"), (Args{"a\\b\\\\", "c\\"}));  // no quote: as is
  EXPECT_EQ(SplitArguments("\"a\"\"b\""), (Args{"a\"b"}));               // "" in quotes
  // The third quote of a run stands for a literal one; the quoting stays open after it.
  EXPECT_EQ(SplitArguments("\"a\"\"\" b"), (Args{"a\" b"}));
}

TEST(QuoteArgument, RoundTripsAwkwardText) {
  const Args awkward = {"plain",
                        "",
                        "two words",
                        "quote\"inside",
                        "trail\\",
                        "trail space\\",
                        "\\\\server\\share",
                        "$(rm -rf /)",
                        "`id`; echo x",
                        "a\\\"b",
                        "\t",
                        "\"\"",
                        "ends with \\\\"};
  std::string line = "prog";
  for (const std::string& a : awkward) line += " " + QuoteArgument(a);
  Args expected = {"prog"};
  expected.insert(expected.end(), awkward.begin(), awkward.end());
  EXPECT_EQ(SplitCommandLine(line), expected);
  EXPECT_EQ(QuoteArgument("plain"), "plain");
}

}  // namespace
}  // namespace netvane::testing
