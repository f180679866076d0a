// The logon task's definition as the Task Scheduler's XML.
#include "platform/logon_task.h"

#include <gtest/gtest.h>

namespace netvane::platform {
namespace {

TEST(LogonTaskXml, StartsTheProgramAtTheUsersLogonWithTheHighestPrivileges) {
  const std::string xml = LogonTaskXml("PC\\Anna & Bo", "C:\\Tools <new>\\Netvane.exe", "",
                                       "Starts Netvane 2.0 when you log on.");
  for (const char* part : {
           "<LogonTrigger>\n      <Enabled>true</Enabled>\n      <UserId>PC\\Anna &amp; "
           "Bo</UserId>\n    </LogonTrigger>",
           "<UserId>PC\\Anna &amp; Bo</UserId>\n      <LogonType>InteractiveToken</LogonType>\n"
           "      <RunLevel>HighestAvailable</RunLevel>",
           "<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>",
           "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
           "<Exec>\n      <Command>C:\\Tools &lt;new&gt;\\Netvane.exe</Command>\n    </Exec>",
           "<Description>Starts Netvane 2.0 when you log on.</Description>",
       }) {
    EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;
  }
  EXPECT_NE(LogonTaskXml("u", "p", "/min \"x\"", "d")
                .find("<Command>p</Command>\n      <Arguments>/min &quot;x&quot;</Arguments>"),
            std::string::npos);
}

}  // namespace
}  // namespace netvane::platform
