#include "platform/logon_task.h"

namespace netvane::platform {
namespace {

// Text as XML element content: the five characters XML gives a meaning of its own escaped.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string LogonTaskXml(std::string_view user, std::string_view program,
                         std::string_view arguments, std::string_view description) {
  const std::string who = Escaped(user);
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
      "  <RegistrationInfo>\n"
      "    <Description>" +
      Escaped(description) +
      "</Description>\n"
      "  </RegistrationInfo>\n"
      "  <Triggers>\n"
      "    <LogonTrigger>\n"
      "      <Enabled>true</Enabled>\n"
      "      <UserId>" +
      who +
      "</UserId>\n"
      "    </LogonTrigger>\n"
      "  </Triggers>\n"
      "  <Principals>\n"
      "    <Principal id=\"Author\">\n"
      "      <UserId>" +
      who +
      "</UserId>\n"
      "      <LogonType>InteractiveToken</LogonType>\n"
      "      <RunLevel>HighestAvailable</RunLevel>\n"
      "    </Principal>\n"
      "  </Principals>\n"
      "  <Settings>\n"
      "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
      "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
      "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
      "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
      "    <Enabled>true</Enabled>\n"
      "  </Settings>\n"
      "  <Actions Context=\"Author\">\n"
      "    <Exec>\n"
      "      <Command>" +
      Escaped(program) + "</Command>\n";
  if (!arguments.empty()) xml += "      <Arguments>" + Escaped(arguments) + "</Arguments>\n";
  xml +=
      "    </Exec>\n"
      "  </Actions>\n"
      "</Task>\n";
  return xml;
}

}  // namespace netvane::platform
