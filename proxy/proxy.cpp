#include "proxy/proxy.h"

#include "title/extension_table.h"
#include "title/title_repair.h"

namespace {

const UINT kBoxStyle = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;

// FORMAT_MESSAGE_ALLOCATE_BUFFER hands back the text through the buffer
// argument, which the declaration types as the buffer itself; with
// FORMAT_MESSAGE_ARGUMENT_ARRAY the inserts are an array of pointers, which
// the declaration types as a va_list.
const DWORD kFormatFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;

// Neutral language, default sublanguage: the user's own.
const DWORD kUserLanguage = 0x400;

// "Error <code>" for a code that the system has no text for; the runtime's
// formatting functions are not imported, so the digits are written here.
void FormatErrorCode(char *out, DWORD code) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + code % 10);
        code /= 10;
    } while (code != 0);
    lstrcpyA(out, "Error ");
    out += 6;
    while (count > 0) {
        *out++ = digits[--count];
    }
    *out = '\0';
}

} // namespace

namespace {

// A host may have unloaded the inner library itself through hDllInstance;
// the system then knows no file name for the handle, and the record is gone.
bool IsInnerLoaded(void) {
    char name[8];
    return g_proxy.innerLibrary != NULL &&
           GetModuleFileNameA(g_proxy.innerLibrary, name, sizeof name) != 0;
}

} // namespace

// When the host unloads this library without Quit (a host that only probes
// its plug-ins, or one that unloads after Init), the record that it handed
// over still holds entries into this library's image, which is about to go.
// They go back first, so that the record calls the plug-in itself and a
// later copy of this library can take it over cleanly. At process exit
// (`reserved` set) nothing is touched: the other libraries may be gone, and
// nothing will call through the record again.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    g_proxy.ownInstance = instance;
    if (reason == DLL_PROCESS_DETACH && reserved == NULL && IsInnerLoaded()) {
        GiveBackRecord();
    }
    return TRUE;
}

void ReportSystemError(HWND owner, const char *caption) {
    DWORD code = GetLastError();
    // Some texts hold inserts: error 193, a file that is no valid 32-bit DLL,
    // reads "%1 is not a valid Win32 application". Each insert number the
    // system may ask for (up to %99) gets the inner file's path, so that none
    // reads past the arguments, whatever the text holds.
    DWORD_PTR inserts[99];
    for (int i = 0; i < 99; ++i) {
        inserts[i] = reinterpret_cast<DWORD_PTR>(g_proxy.moduleName);
    }
    char *text = NULL;
    DWORD length =
        FormatMessageA(kFormatFlags, NULL, code, kUserLanguage, reinterpret_cast<char *>(&text), 0,
                       reinterpret_cast<va_list *>(inserts));
    if (length != 0 && text != NULL) {
        MessageBoxA(owner, text, caption, kBoxStyle);
        LocalFree(text);
    } else {
        char fallback[20];
        FormatErrorCode(fallback, code);
        MessageBoxA(owner, fallback, caption, kBoxStyle);
    }
}

void ReleaseInner(void) {
    if (g_proxy.innerLibrary != NULL) {
        FreeLibrary(g_proxy.innerLibrary);
        g_proxy.innerLibrary = NULL;
    }
    g_proxy.innerModule = NULL;
}

void GiveBackRecord(void) {
    In_Module *module = g_proxy.innerModule;
    if (g_proxy.stage == kStageIdle || module == NULL) {
        return;
    }
    // Only entries that are still ours: what the inner plug-in changed
    // itself stays.
    if (module->Init == reinterpret_cast<In_InitFn>(InitHook)) {
        module->Init = reinterpret_cast<In_InitFn>(g_proxy.savedInit);
    }
    if (g_proxy.stage == kStageRunning) {
        if (module->Quit == QuitHook) {
            module->Quit = g_proxy.savedQuit;
        }
        if (module->Play == PlayHook) {
            module->Play = g_proxy.savedPlay;
        }
        if (module->GetFileInfo == GetFileInfoHook) {
            module->GetFileInfo = g_proxy.savedGetFileInfo;
        }
    }
    ReleaseExtensionTable();
    g_proxy.stage = kStageIdle;
}

namespace {

// Puts the inner file's path in moduleName: this library's own path with
// "vlk" in place of "dll". False, silently, for a path that the system cut
// short or that does not end in ".dll".
bool FindInnerPath(void) {
    DWORD size =
        GetModuleFileNameA(g_proxy.ownInstance, g_proxy.moduleName, sizeof g_proxy.moduleName);
    // A result of the buffer's size means the path was cut short.
    if (size == 0 || size >= sizeof g_proxy.moduleName) {
        return false;
    }
    int n = lstrlenA(g_proxy.moduleName);
    if (n < 4 || StrCmpNIA(g_proxy.moduleName + n - 4, ".dll", 4) != 0) {
        return false;
    }
    lstrcpyA(g_proxy.moduleName + n - 3, "vlk");
    return true;
}

// Loads the inner library and asks it for its record; shows the system's
// text when the library or its export is missing.
In_Module *LoadInner(void) {
    g_proxy.innerLibrary = LoadLibraryA(g_proxy.moduleName);
    if (g_proxy.innerLibrary == NULL) {
        ReportSystemError(NULL, "LoadLibrary");
        return NULL;
    }
    WinampGetInModule2Fn getModule =
        reinterpret_cast<WinampGetInModule2Fn>(reinterpret_cast<void (*)(void)>(
            GetProcAddress(g_proxy.innerLibrary, "winampGetInModule2")));
    if (getModule == NULL) {
        ReportSystemError(NULL, "GetProcAddress");
        return NULL;
    }
    g_proxy.innerModule = getModule();
    return g_proxy.innerModule;
}

bool IsClassicRecord(const In_Module *module) {
    return module->version == IN_VER;
}

// A record of wide strings or of an int-returning Init, which later hosts
// take. Its titles are not this library's to repair (wide names are never
// cut inside a character), but refusing it would take the plug-in from the
// player: it is handed over with only Init diverted.
bool IsFlaggedRecord(const In_Module *module) {
    DWORD version = static_cast<DWORD>(module->version);
    DWORD base = version & ~DWORD(IN_UNICODE | IN_INIT_RETURNS_INT);
    DWORD flags = version & DWORD(IN_UNICODE | IN_INIT_RETURNS_INT);
    return (base == 0x100 || base == 0x101) &&
           (flags == IN_UNICODE || flags == IN_INIT_RETURNS_INT ||
            flags == (IN_UNICODE | IN_INIT_RETURNS_INT));
}

// A record whose Init is this library's own InitHook was diverted by a copy
// whose state is gone: its inner Init is not known, so it cannot be run.
bool IsUsableRecord(const In_Module *module) {
    return module != NULL && module->Init != NULL &&
           module->Init != reinterpret_cast<In_InitFn>(InitHook) &&
           (IsClassicRecord(module) || IsFlaggedRecord(module));
}

void HandOver(In_Module *module) {
    g_proxy.passThrough = !IsClassicRecord(module);
    g_proxy.savedInit = reinterpret_cast<In_InitReturningFn>(module->Init);
    g_proxy.savedQuit = NULL;
    g_proxy.savedPlay = NULL;
    g_proxy.savedGetFileInfo = NULL;
    g_proxy.currentFile[0] = '\0';
    module->Init = reinterpret_cast<In_InitFn>(InitHook);
    g_proxy.stage = kStageHandedOver;
}

// Lays the three hooks after the inner Init, which is where plug-ins fill
// these entries in. A repeated Init must not save the hooks themselves,
// which would recurse.
void DivertEntries(In_Module *module) {
    if (module->Quit != QuitHook) {
        g_proxy.savedQuit = module->Quit;
    }
    if (module->Play != PlayHook) {
        g_proxy.savedPlay = module->Play;
    }
    if (module->GetFileInfo != GetFileInfoHook) {
        g_proxy.savedGetFileInfo = module->GetFileInfo;
    }
    module->Quit = QuitHook;
    module->Play = PlayHook;
    module->GetFileInfo = GetFileInfoHook;
    g_proxy.stage = kStageRunning;
}

} // namespace

// Some hosts ask more than once before Init (an encoder's loader asks three
// times): they get the record already handed over.
extern "C" In_Module *__cdecl winampGetInModule2(void) {
    if (g_proxy.stage != kStageIdle) {
        return g_proxy.innerModule;
    }
    if (!FindInnerPath()) {
        return NULL;
    }
    In_Module *module = LoadInner();
    if (!IsUsableRecord(module)) {
        ReleaseInner();
        return NULL;
    }
    HandOver(module);
    PathStripPathA(g_proxy.moduleName);
    return module;
}

int __cdecl InitHook(void) {
    In_Module *module = g_proxy.innerModule;
    // The host wrote its own handle here; the inner plug-in looks up its own
    // resources and files through it.
    module->hDllInstance = g_proxy.innerLibrary;
    int result = g_proxy.savedInit();
    if (!g_proxy.passThrough) {
        DivertEntries(module);
        ReadLeadBytes();
        ReleaseExtensionTable();
        BuildExtensionTable(module->FileExtensions);
    }
    return result;
}

int __cdecl PlayHook(char *file) {
    RecordCurrentFile(file);
    return g_proxy.savedPlay != NULL ? g_proxy.savedPlay(file) : -1;
}

// The inner library stays loaded after Quit, and this library never unloads
// it once the record is handed over. Hosts read the record after Quit (one
// reads its fields, then unloads this library), so its memory must stay.
// Hosts that uninstall a plug-in call FreeLibrary on hDllInstance, which
// holds the inner library's handle from Init on, and so release the
// reference taken here; a second release from here would unload a library
// that may be loaded anew, or another one at its address. Unloading it from
// DllMain instead is what the system warns against. A host that never frees
// hDllInstance leaves the library loaded until the process ends.
void __cdecl QuitHook(void) {
    if (g_proxy.stage != kStageRunning) {
        return;
    }
    if (g_proxy.savedQuit != NULL) {
        g_proxy.savedQuit();
    }
    GiveBackRecord();
    g_proxy.currentFile[0] = '\0';
    g_proxy.innerLibrary = NULL;
    g_proxy.innerModule = NULL;
}
