// Test inner plug-ins. One source builds every variant; INNER_* definitions
// choose how the plug-in misbehaves. Like real plug-ins, the well-behaved one
// fills its entries and its extension list only inside its own Init, and
// titles files the byte-wise way: the text after the last 0x5C byte, without
// the text after the last dot.
//
// Each event is reported to the test host through the function that the
// host program exports, so that it is still known after this DLL is unloaded.
#include "examples/bytewise_title.h"
#include "host/in_module.h"

#include <string.h>

#ifndef INNER_VERSION
#define INNER_VERSION IN_VER
#endif

namespace {

typedef void(__cdecl *HostLogFn)(const char *event, const void *detail);

void Log(const char *event, const void *detail = nullptr) {
    HostLogFn log = reinterpret_cast<HostLogFn>(reinterpret_cast<void (*)(void)>(
        GetProcAddress(GetModuleHandleA(nullptr), "velkorTestHostLog")));
    if (log != nullptr) {
        log(event, detail);
    }
}

In_Module g_module;

char g_extensions[] = "mp3;mp2\0Audio\0ogg\0Vorbis\0";

// The file being played, which a query without a file name asks about.
char g_playing[1024];

[[maybe_unused]] void __cdecl InnerQuit(void) {
    Log("quit");
}

[[maybe_unused]] int __cdecl InnerPlay(char *file) {
    Log("play", file);
    lstrcpynA(g_playing, file != nullptr ? file : "", sizeof g_playing);
    return 0;
}

[[maybe_unused]] void __cdecl InnerGetFileInfo(char *file, char *title, int *length_in_ms) {
    Log("getfileinfo", file);
    if (length_in_ms != nullptr) {
        *length_in_ms = 180000;
    }
    if (file == nullptr || *file == '\0') {
        file = g_playing;
    }
    if (title != nullptr && *file != '\0') {
        BytewiseTitle(file, title);
    }
}

#ifdef INNER_INIT_RETURNS
#define INNER_INIT_RESULT int
#else
#define INNER_INIT_RESULT void
#endif

[[maybe_unused]] INNER_INIT_RESULT __cdecl InnerInit(void) {
    // What the host and the proxy left in the record when Init runs.
    Log("init.hDllInstance", g_module.hDllInstance);
    Log("init.hMainWindow", g_module.hMainWindow);
    Log("init.Quit", reinterpret_cast<const void *>(g_module.Quit));
#ifndef INNER_NO_QUIT
    g_module.Quit = InnerQuit;
#endif
#ifndef INNER_NO_PLAY
    g_module.Play = InnerPlay;
#endif
#ifndef INNER_NO_GETFILEINFO
    g_module.GetFileInfo = InnerGetFileInfo;
#endif
    g_module.FileExtensions = g_extensions;
    Log("init");
#ifdef INNER_INIT_RETURNS
    return INNER_INIT_RETURNS;
#endif
}

} // namespace

#ifndef INNER_NO_EXPORT
extern "C" __declspec(dllexport) In_Module *__cdecl winampGetInModule2(void) {
    Log("export");
#ifdef INNER_NULL_RECORD
    return nullptr;
#else
    g_module.version = static_cast<int>(INNER_VERSION);
    g_module.description = const_cast<char *>("Velkor test inner plug-in");
#ifndef INNER_NO_INIT
    g_module.Init = reinterpret_cast<In_InitFn>(InnerInit);
#endif
    Log("record", &g_module);
    return &g_module;
#endif
}
#else
extern "C" __declspec(dllexport) int __cdecl somethingElse(void) {
    return 0;
}
#endif
