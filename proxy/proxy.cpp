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

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reason;
    (void)reserved;
    g_proxy.ownInstance = instance;
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

void __cdecl ReleaseInner(void) {
    if (g_proxy.innerLibrary != NULL) {
        if (g_proxy.savedQuit != NULL) {
            g_proxy.savedQuit();
        }
        FreeLibrary(g_proxy.innerLibrary);
        // A second Quit must not unload a library that is no longer ours.
        g_proxy.innerLibrary = NULL;
    }
    ReleaseExtensionTable();
}

namespace {

// True once the export has handed over a record that is still loaded: some
// hosts enumerate their plug-ins more than once.
bool IsHandedOver(void) {
    return g_proxy.innerLibrary != NULL && g_proxy.innerModule != NULL &&
           g_proxy.innerModule->Init == InitHook;
}

// Entries saved from an inner library loaded before (a host that asks again
// after Quit) point into memory that is gone; Init saves them anew.
void ForgetInner(void) {
    g_proxy.currentFile[0] = '\0';
    g_proxy.savedQuit = NULL;
    g_proxy.savedPlay = NULL;
    g_proxy.savedGetFileInfo = NULL;
}

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

// Only the classic ANSI record guarantees ANSI strings and a void Init.
bool IsUsableRecord(const In_Module *module) {
    return module != NULL && module->Init != NULL && module->version == IN_VER;
}

} // namespace

extern "C" In_Module *__cdecl winampGetInModule2(void) {
    if (IsHandedOver()) {
        return g_proxy.innerModule;
    }
    ForgetInner();
    if (!FindInnerPath()) {
        return NULL;
    }
    In_Module *module = LoadInner();
    if (!IsUsableRecord(module)) {
        ReleaseInner();
        return NULL;
    }
    // A record still diverted from an earlier hand-over keeps the inner Init
    // saved then.
    if (module->Init != InitHook) {
        g_proxy.savedInit = module->Init;
    }
    module->Init = InitHook;
    PathStripPathA(g_proxy.moduleName);
    return module;
}

void __cdecl InitHook(void) {
    In_Module *module = g_proxy.innerModule;
    // The host wrote its own handle here; the inner plug-in looks up its own
    // resources and files through it.
    module->hDllInstance = g_proxy.innerLibrary;
    g_proxy.savedInit();
    // The inner Init is where plug-ins fill these in, so they are read only now.
    // A repeated Init must not save the hooks themselves, which would recurse.
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
    ReadLeadBytes();
    ReleaseExtensionTable();
    BuildExtensionTable(module->FileExtensions);
}

int __cdecl PlayHook(char *file) {
    RecordCurrentFile(file);
    return g_proxy.savedPlay != NULL ? g_proxy.savedPlay(file) : -1;
}
