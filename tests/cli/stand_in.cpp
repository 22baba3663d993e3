// Stand-in input plug-ins for the tests of velkor.exe, one per verdict. One
// source builds them all; STAND_IN_* definitions choose the behaviour. By
// default a stand-in titles files the byte-wise way, as the plug-ins that
// need Velkor do.
#include "examples/bytewise_title.h"
#include "host/in_module.h"

#ifndef STAND_IN_VERSION
#define STAND_IN_VERSION IN_VER
#endif

#ifdef STAND_IN_DEPENDENCY
// From a library that sits beside the player's program, as codec libraries do.
extern "C" __declspec(dllimport) int __cdecl standInDependency(void);
#endif

namespace {

#ifdef STAND_IN_HEAP_RECORD
// The interface lets a plug-in allocate its record instead of keeping it in
// its image.
In_Module &g_module =
    *static_cast<In_Module *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(In_Module)));
#else
In_Module g_module;
#endif
#ifdef STAND_IN_MANY_EXTENSIONS
char g_extensions[] = "a01;a02;a03;a04;a05;a06;a07;a08;a09;a10\0Many\0a11;a12\0More\0";
#else
char g_extensions[] = "mp3;mp2\0Audio\0ogg\0Vorbis\0";
#endif

void __cdecl StandInGetFileInfo([[maybe_unused]] char *file, [[maybe_unused]] char *title,
                                int *length_in_ms) {
    if (length_in_ms != NULL) {
        *length_in_ms = -1;
    }
#if defined(STAND_IN_HANG)
    Sleep(INFINITE);
#elif defined(STAND_IN_WHOLE)
    WholeTitle(file, title);
#elif defined(STAND_IN_OWN_NAME)
    // A plug-in that finds what it needs by its own file name loses it
    // when it is renamed.
    char own[MAX_PATH];
    GetModuleFileNameA(g_module.hDllInstance, own, sizeof own);
    if (lstrcmpiA(own + lstrlenA(own) - 4, ".dll") == 0) {
        BytewiseTitle(file, title);
    }
#elif !defined(STAND_IN_NO_TITLE)
    BytewiseTitle(file, title);
#endif
}

[[maybe_unused]] void __cdecl StandInInit(void) {
#ifdef STAND_IN_CRASH
    *static_cast<volatile int *>(nullptr) = 0;
#endif
#ifdef STAND_IN_ASKS_PLAYER
    // As many plug-ins do: the player's settings folder, used at once.
    const char *folder = reinterpret_cast<const char *>(
        SendMessageA(g_module.hMainWindow, WM_USER, 0, 335 /* IPC_GETINIDIRECTORY */));
    if (lstrlenA(folder) == 0) {
        *static_cast<volatile int *>(nullptr) = 0;
    }
#endif
#ifdef STAND_IN_BOX
    // As a plug-in that tells of a missing codec: Init waits on the box.
    MessageBoxA(NULL, "A codec is missing.", "Velkor stand-in box", MB_OK);
#endif
#ifdef STAND_IN_DEPENDENCY
    standInDependency();
#endif
    g_module.FileExtensions = g_extensions;
    g_module.GetFileInfo = StandInGetFileInfo;
}

} // namespace

#ifndef STAND_IN_NO_EXPORT
extern "C" __declspec(dllexport) In_Module *__cdecl winampGetInModule2(void) {
    g_module.version = STAND_IN_VERSION;
    g_module.description = const_cast<char *>("Velkor stand-in");
    g_module.Init = StandInInit;
    return &g_module;
}
#else
extern "C" __declspec(dllexport) int __cdecl somethingElse(void) {
    return 0;
}
#endif
