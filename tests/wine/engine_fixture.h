// A test over the engine with the running system's services, except that every program it
// starts is recorded; the stand-in tools beside the test program log their command lines to
// the file named in NETVANE_COMMAND_LOG.
#pragma once

#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <memory>
#include <string>

#include "engine/engine.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_udp.h"
#include "store/registry_access.h"
#include "wine_support.h"

namespace netvane::testing {

class EngineOverSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetEnvironmentVariableA("NETVANE_COMMAND_LOG", log_.c_str()));
  }
  void TearDown() override { SetEnvironmentVariableA("NETVANE_COMMAND_LOG", nullptr); }

  TempFolder folder_;
  std::string log_ = folder_.File("commands.log");
  std::unique_ptr<platform::SystemPlatform> system_ = platform::CreateSystemPlatform();
  platform::Platform& real_ = system_->services();
  RecordingProcess process_{real_.process};
  platform::Platform services_{real_.registry, real_.codepage, real_.winver, real_.iphelper,
                               process_,       real_.shell,    real_.device, real_.profile,
                               real_.files,    real_.tasks,    real_.probe};
  store::RegistryAccess access_{real_.registry, real_.codepage};
  engine::AppState state_;
  platform::Win32UdpEndpoint endpoint_;
  RecordingFrontEnd front_{endpoint_};
  engine::Engine engine_{services_, access_, state_, front_};
};

}  // namespace netvane::testing
