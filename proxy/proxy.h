// The library's outer layer: the export that hands the inner plug-in's record
// to the host, and the lifecycle entries laid into that record.
#pragma once

#include "proxy/proxy_state.h"

extern "C" In_Module *__cdecl winampGetInModule2(void);

void __cdecl InitHook(void);
int __cdecl PlayHook(char *file);
void __cdecl ReleaseInner(void);

// Quit needs nothing beyond the export's own clean-up.
const In_QuitFn QuitHook = ReleaseInner;

// Shows the system's text for the calling thread's last error.
void ReportSystemError(HWND owner, const char *caption);
