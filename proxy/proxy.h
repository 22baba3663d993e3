// The library's outer layer: the export that hands the inner plug-in's record
// to the host, and the lifecycle entries laid into that record.
#pragma once

#include "proxy/proxy_state.h"

extern "C" In_Module *__cdecl winampGetInModule2(void);

// Init returns what the inner Init returns: an int for records flagged
// IN_INIT_RETURNS_INT, nothing that the host reads otherwise.
int __cdecl InitHook(void);
int __cdecl PlayHook(char *file);
void __cdecl QuitHook(void);

// The export's clean-up when it refuses the inner plug-in: unloads it.
void ReleaseInner(void);

// Puts the inner plug-in's own entries back into its record where the hooks
// still stand, and frees the extension table.
void GiveBackRecord(void);

// Shows the system's text for the calling thread's last error.
void ReportSystemError(HWND owner, const char *caption);
