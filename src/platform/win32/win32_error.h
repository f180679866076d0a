// The system's own texts for error numbers, in the program's own text (UTF-8).
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_error.h"

namespace netvane::platform {

// The message the system has for a Win32 error number or an HRESULT, without the line break
// and blanks it ends with; empty when the system has none.
std::string SystemMessage(uint32_t code);

// PlatformError for the calling thread's last error. Call it before anything else that might
// change that error.
PlatformError LastError(const std::string& source);

}  // namespace netvane::platform
