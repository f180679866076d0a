// netvanectl: the headless front end over the engine.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/user_prompt.h"
#include "platform/platform.h"
#include "platform/udp.h"

namespace netvane::tools {

// Shows every message box as lines of text on `out`. A question gets the answer No, so a
// command without a user never starts anything it would have asked about.
class ConsolePrompt final : public engine::UserPrompt {
 public:
  explicit ConsolePrompt(std::ostream& out) : out_(out) {}
  engine::PromptAnswer Show(const std::string& text, engine::PromptIcon icon,
                            engine::PromptButtons buttons) override;
  // Every text shown so far, in order.
  const std::vector<std::string>& shown() const { return shown_; }

 private:
  std::ostream& out_;
  std::vector<std::string> shown_;
};

using EndpointFactory = std::function<std::unique_ptr<platform::UdpEndpoint>()>;

// Runs one command (`args` without the program name); returns the exit status: 0 done,
// 1 the command could not be carried out (or an apply ended in failure), 2 a usage error or
// an unknown location. `make_endpoint` gives the UDP endpoint an apply answers DHCP on.
int RunNetvanectl(const std::vector<std::string>& args, platform::Platform& platform,
                  const EndpointFactory& make_endpoint, std::ostream& out, std::ostream& err);

}  // namespace netvane::tools
