// The title repair that the library lays into the inner record's GetFileInfo.
#pragma once

#include "proxy/proxy_state.h"

// Lets the inner plug-in answer, then replaces a title that was cut from the
// file name at a 0x5C byte inside a double-byte character by the whole name.
void __cdecl GetFileInfoHook(char *file, char *title, int *length_in_ms);

// Reads the lead bytes of the system's ANSI code page into the state, before
// the first query: the scan for the real separator steps over the characters
// that they start. Code page 932 and the Chinese code pages 950 and 936 have
// characters whose second byte is 0x5C; single-byte code pages have none.
void ReadLeadBytes(void);
