// The inner plug-in of the platform benchmark: byte-wise titles, and an
// extension list of a chosen length built in Init, the matching extension
// last, or a real plug-in's own list, the way the benchmark host asks for it.
#include "examples/bytewise_title.h"
#include "host/in_module.h"

#include <stdio.h>
#include <string.h>

namespace {

In_Module g_module;
int g_extensionCount = 4;
char g_list[16 * 1024];
bool g_listGiven = false;

void __cdecl BenchGetFileInfo(char *file, char *title, int *length_in_ms) {
    if (length_in_ms != nullptr) {
        *length_in_ms = -1;
    }
    if (title != nullptr && file != nullptr) {
        BytewiseTitle(file, title);
    }
}

int __cdecl BenchPlay(char *) {
    return 0;
}

void __cdecl BenchQuit(void) {}

void __cdecl BenchInit(void) {
    g_module.FileExtensions = g_list;
    g_module.GetFileInfo = BenchGetFileInfo;
    g_module.Play = BenchPlay;
    g_module.Quit = BenchQuit;
    if (g_listGiven) {
        return;
    }
    static const char *common[] = {"mp2", "ogg", "wav", "flac", "aac", "m4a", "wma", "ape"};
    int used = 0;
    for (int i = 0; i < g_extensionCount - 1; ++i) {
        used += i < 8 ? snprintf(g_list + used, sizeof g_list - used, "%s;", common[i])
                      : snprintf(g_list + used, sizeof g_list - used, "x%d;", i);
    }
    used += snprintf(g_list + used, sizeof g_list - used, "mp3") + 1;
    memcpy(g_list + used, "Audio\0", 7);
}

} // namespace

extern "C" __declspec(dllexport) void __cdecl benchSetExtensionCount(int count) {
    g_extensionCount = count;
    g_listGiven = false;
}

// A whole list, pairs of strings ended by an empty one, `size` bytes in all.
extern "C" __declspec(dllexport) void __cdecl benchSetExtensionList(const char *list, int size) {
    if (size > 0 && size <= static_cast<int>(sizeof g_list)) {
        memcpy(g_list, list, size);
        g_listGiven = true;
    }
}

extern "C" __declspec(dllexport) In_Module *__cdecl winampGetInModule2(void) {
    g_module.version = IN_VER;
    g_module.description = const_cast<char *>("Velkor benchmark inner plug-in");
    g_module.Init = BenchInit;
    return &g_module;
}
