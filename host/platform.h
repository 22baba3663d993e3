// The platform that the host and its plug-ins run on. Windows builds take the
// real declarations; native builds (unit tests, fuzzers, benchmarks) take a
// small stand-in that declares the handful of calls the portable code makes.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shlwapi.h>
#include <string.h>
#else
#include "host/native_platform.h"
#endif
