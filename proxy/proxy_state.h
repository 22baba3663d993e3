// The library's whole state: one static record, all zero when the library is
// loaded. Both the proxy and the title repair work over it.
#pragma once

#include "host/in_module.h"
#include "title/extension_index.h"

// One extension that the inner plug-in handles, as read from its list.
struct ExtensionEntry {
    char name[64]; // without the dot, NUL-terminated, at most 63 characters
    int length;    // bytes in name
};
static_assert(sizeof(ExtensionEntry) == 68, "entries are stored back to back, 68 bytes each");

// MAX_PATH counts characters: in a double-byte code page a path that the
// system's ANSI calls take may be 259 characters of two bytes each.
typedef char CurrentFile[520];

// How far the export and the hooks have taken over the inner record.
enum ProxyStage {
    kStageIdle,       // nothing handed over, or given back at Quit
    kStageHandedOver, // the record is the host's, with Init diverted
    kStageRunning,    // after Init: Quit, Play and GetFileInfo diverted too
};

struct ProxyState {
    HINSTANCE ownInstance;        // this library's module handle, from DllMain
    HMODULE innerLibrary;         // the inner plug-in, loaded by the export
    In_Module *innerModule;       // the inner plug-in's own record, handed to the host
    ProxyStage stage;             // what of the record is diverted now
    bool passThrough;             // a wide or int-Init record: only Init is diverted
    In_InitReturningFn savedInit; // the inner Init, before InitHook took its place
    In_QuitFn savedQuit;          // the inner entries as its Init left them; any may be null
    In_GetFileInfoFn savedGetFileInfo;
    In_PlayFn savedPlay;
    char moduleName[256];          // own path, then the inner path, then the inner file name
    CurrentFile currentFile;       // the file last passed to Play; [519] is always NUL
    volatile DWORD playSequence;   // odd while Play rewrites currentFile, even otherwise
    volatile long playLock;        // 1 while one Play records its name: writers take turns
    unsigned char leadBytes[256];  // 1 for the ANSI code page's lead bytes, read at Init
    HANDLE extensionHeap;          // private heap that holds only the entry block
    ExtensionEntry *extensions;    // the entries, in the order the list gave them
    DWORD extensionCount;          // entries in the block
    ExtensionIndex extensionIndex; // lookup chains over the entries
};

extern ProxyState g_proxy;

// Records the name that Play was given in currentFile, or empties it for a
// name that does not fit or is null.
void RecordCurrentFile(const char *file);

// Copies a name that one Play recorded whole into `copy`; false when Play on
// another thread kept rewriting it.
bool CopyCurrentFile(CurrentFile copy);
