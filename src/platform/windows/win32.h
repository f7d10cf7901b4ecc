// <windows.h> as every file of the Windows platform layer includes it: without the rarely used
// APIs, and without the min/max macros that break std::min and std::max.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
