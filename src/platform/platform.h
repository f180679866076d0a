// The bundle of operating-system services handed to every component by reference.
#pragma once

#include "platform/codepage.h"
#include "platform/device.h"
#include "platform/file_system.h"
#include "platform/iphelper.h"
#include "platform/logon_task.h"
#include "platform/network_probe.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/winver.h"

namespace netvane::platform {

struct Platform {
  Registry& registry;
  CodePage& codepage;
  WindowsVersion& winver;
  IpHelper& iphelper;
  Process& process;
  Shell& shell;
  Device& device;
  Profile& profile;
  FileSystem& files;
  LogonTask& tasks;
  NetworkProbe& probe;
};

}  // namespace netvane::platform
