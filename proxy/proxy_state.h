// The library's whole state: one static record, all zero when the library is
// loaded. Both the proxy and the title repair work over it.
#pragma once

#include "host/in_module.h"

// One extension that the inner plug-in handles, as read from its list.
struct ExtensionEntry {
    char name[64]; // without the dot, NUL-terminated, at most 63 characters
    int length;    // bytes in name
};
static_assert(sizeof(ExtensionEntry) == 68, "entries are stored back to back, 68 bytes each");

// Longest extension kept in an entry; longer ones keep their first 63 bytes.
#define EXTENSION_NAME_MAX 63

// Entries up to this count are reached through the lookup index; any beyond it
// are scanned one by one. Real plug-ins list well under a thousand.
#define INDEXED_EXTENSIONS 2048

// Buckets of the lookup index; a power of two.
#define EXTENSION_BUCKETS 256

// Lets a lookup ask the platform's comparison about the few entries that can
// match a name, instead of about every entry. Links are entry numbers plus
// one, so that 0 ends a chain; every chain runs in table order.
struct ExtensionIndex {
    unsigned short buckets[EXTENSION_BUCKETS];       // ASCII-only entries, by length and ends
    unsigned short byLength[EXTENSION_NAME_MAX + 1]; // every indexed entry, by its length
    unsigned short nonAscii;                         // entries with a byte of 0x80 or above
    unsigned short nextInBucket[INDEXED_EXTENSIONS]; // links of buckets and of nonAscii
    unsigned short nextOfLength[INDEXED_EXTENSIONS]; // links of byLength
    DWORD indexedCount;                              // entries [0, indexedCount) are in the chains
    int longest;                                     // the longest length among all entries
};

typedef char CurrentFile[260];

struct ProxyState {
    HINSTANCE ownInstance;  // this library's module handle, from DllMain
    HMODULE innerLibrary;   // the inner plug-in, loaded by the export
    In_Module *innerModule; // the inner plug-in's own record, handed to the host
    In_InitFn savedInit;    // the inner Init, before InitHook took its place
    In_QuitFn savedQuit;    // the inner entries as its Init left them; any may be null
    In_GetFileInfoFn savedGetFileInfo;
    In_PlayFn savedPlay;
    char moduleName[256];          // own path, then the inner path, then the inner file name
    CurrentFile currentFile;       // the file last passed to Play; [259] is always NUL
    HANDLE extensionHeap;          // private heap that holds only the entry block
    ExtensionEntry *extensions;    // the entries, in the order the list gave them
    DWORD extensionCount;          // entries in the block
    ExtensionIndex extensionIndex; // lookup chains over the entries
};

extern ProxyState g_proxy;
