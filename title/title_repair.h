// The title repair that the library lays into the inner record's GetFileInfo.
#pragma once

#include "proxy/proxy_state.h"

// Lets the inner plug-in answer, then replaces a title that was cut from the
// file name at a 0x5C byte inside a double-byte character by the whole name.
void __cdecl GetFileInfoHook(char *file, char *title, int *length_in_ms);
