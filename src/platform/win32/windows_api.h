// The Windows headers, included one way everywhere in the Win32 backends.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX  // libstdc++ may have set it already
#define NOMINMAX
#endif
#include <windows.h>
