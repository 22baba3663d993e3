// A minimal input plug-in that titles files the way the plug-ins that need
// Velkor do: the text after the last 0x5C byte, without the extension. Built
// with DEMO_WHOLE_TITLES, it steps over double-byte characters instead and
// titles correctly. It decodes nothing; it exists to show the repair. Not
// shipped.
#include "examples/bytewise_title.h"
#include "host/in_module.h"

#include <string.h>

namespace {

In_Module g_module;

// Filled in Init, as real plug-ins do.
char g_extensions[64];

// The file last passed to Play: a query without a file name asks about it.
char g_playing[MAX_PATH];

void __cdecl DemoConfig(HWND) {}
void __cdecl DemoAbout(HWND) {}
void __cdecl DemoQuit(void) {}
int __cdecl DemoInfoBox(char *, HWND) {
    return 0;
}
int __cdecl DemoIsOurFile(char *) {
    return 0;
}

int __cdecl DemoPlay(char *file) {
    lstrcpynA(g_playing, file != nullptr ? file : "", sizeof g_playing);
    return 0;
}

void __cdecl DemoNothing(void) {}
int __cdecl DemoZero(void) {
    return 0;
}
void __cdecl DemoSetInt(int) {}

void __cdecl DemoGetFileInfo(char *file, char *title, int *length_in_ms) {
    if (file == nullptr || *file == '\0') {
        file = g_playing;
    }
    if (length_in_ms != nullptr) {
        *length_in_ms = -1;
    }
    if (title != nullptr) {
#ifdef DEMO_WHOLE_TITLES
        WholeTitle(file, title);
#else
        BytewiseTitle(file, title);
#endif
    }
}

void __cdecl DemoInit(void) {
    static const char list[] = "mp3;mp2\0Audio\0ogg\0Vorbis\0";
    memcpy(g_extensions, list, sizeof list);
    g_module.FileExtensions = g_extensions;
    g_module.Quit = DemoQuit;
    g_module.Play = DemoPlay;
    g_module.GetFileInfo = DemoGetFileInfo;
}

} // namespace

extern "C" __declspec(dllexport) In_Module *__cdecl winampGetInModule2(void) {
    g_module.version = IN_VER;
#ifdef DEMO_WHOLE_TITLES
    g_module.description = const_cast<char *>("Velkor demo: whole titles");
#else
    g_module.description = const_cast<char *>("Velkor demo: byte-wise titles");
#endif
    g_module.Config = DemoConfig;
    g_module.About = DemoAbout;
    g_module.Init = DemoInit;
    g_module.InfoBox = DemoInfoBox;
    g_module.IsOurFile = DemoIsOurFile;
    g_module.Pause = DemoNothing;
    g_module.UnPause = DemoNothing;
    g_module.IsPaused = DemoZero;
    g_module.Stop = DemoNothing;
    g_module.GetLength = DemoZero;
    g_module.GetOutputTime = DemoZero;
    g_module.SetOutputTime = DemoSetInt;
    g_module.SetVolume = DemoSetInt;
    g_module.SetPan = DemoSetInt;
    return &g_module;
}
