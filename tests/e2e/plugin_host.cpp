#include "tests/e2e/plugin_host.h"

#include "host/import_patch.h"

#include <stdio.h>
#include <stdlib.h>

#include <mutex>

Faults g_faults;
std::vector<InnerEvent> g_events;

// The inner plug-ins find this through GetProcAddress on the host program.
extern "C" __declspec(dllexport) void __cdecl velkorTestHostLog(const char *event,
                                                                const void *detail) {
    // Play and GetFileInfo may log from two threads at once.
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    InnerEvent e{event, detail, std::string()};
    if ((e.name == "play" || e.name == "getfileinfo") && detail != nullptr) {
        e.text = static_cast<const char *>(detail);
    }
    g_events.push_back(e);
}

std::vector<InnerEvent> EventsNamed(const std::string &name) {
    std::vector<InnerEvent> found;
    for (const InnerEvent &e : g_events) {
        if (e.name == name) {
            found.push_back(e);
        }
    }
    return found;
}

namespace {

bool Fails(int &countdown) {
    return countdown > 0 && --countdown == 0;
}

HANDLE(WINAPI *g_realHeapCreate)(DWORD, SIZE_T, SIZE_T);
LPVOID(WINAPI *g_realHeapAlloc)(HANDLE, DWORD, SIZE_T);
LPVOID(WINAPI *g_realHeapReAlloc)(HANDLE, DWORD, LPVOID, SIZE_T);
DWORD(WINAPI *g_realFormatMessageA)(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD, va_list *);
HLOCAL(WINAPI *g_realLocalFree)(HLOCAL);
HMODULE(WINAPI *g_realLoadLibraryA)(LPCSTR);

HANDLE WINAPI HeapCreateHook(DWORD options, SIZE_T initial, SIZE_T maximum) {
    if (Fails(g_faults.failHeapCreate)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    return g_realHeapCreate(options, initial, maximum);
}

LPVOID WINAPI HeapAllocHook(HANDLE heap, DWORD flags, SIZE_T bytes) {
    return Fails(g_faults.failHeapAlloc) ? NULL : g_realHeapAlloc(heap, flags, bytes);
}

LPVOID WINAPI HeapReAllocHook(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
    return Fails(g_faults.failHeapReAlloc) ? NULL : g_realHeapReAlloc(heap, flags, block, bytes);
}

DWORD WINAPI FormatMessageHook(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR buffer,
                               DWORD size, va_list *args) {
    if (g_faults.failFormatMessage) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    DWORD length = g_realFormatMessageA(flags, source, id, language, buffer, size, args);
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        g_faults.formatted = *reinterpret_cast<void **>(buffer);
    }
    return length;
}

HLOCAL WINAPI LocalFreeHook(HLOCAL memory) {
    ++g_faults.localFreeCalls;
    g_faults.freed = memory;
    return g_faults.failLocalFree ? memory : g_realLocalFree(memory);
}

HMODULE WINAPI LoadLibraryHook(LPCSTR name) {
    ++g_faults.loadLibraryCalls;
    return g_realLoadLibraryA(name);
}

int WINAPI MessageBoxHook(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    g_faults.boxes.push_back(
        {owner, text != nullptr ? text : "(null)", caption != nullptr ? caption : "(null)", type});
    return IDOK;
}

template <typename Fn>
void Replace(HMODULE module, const char *dll, const char *name, Fn hook, Fn *real) {
    Fn old = ReplaceImport(module, dll, name, hook);
    if (old != nullptr) {
        *real = old;
    }
}

std::string Z(const char *unixPath) {
    // Wine's drive Z: is the Unix root.
    std::string path = std::string("Z:") + unixPath;
    for (char &c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

} // namespace

std::string ProxyDll() {
    return Z(VELKOR_DLL_PATH);
}

std::string InnerDll(const std::string &variant) {
    return Z(VELKOR_INNER_DIR) + "\\inner_" + variant + ".dll";
}

const SystemNames &Names() {
    static const SystemNames names[] = {
        // 表ソ能; 表示.mp3, which a byte-wise cut leaves as 示; 示表 and 力能.
        {932,
         "\x95\x5C\x83\x5C\x94\x5C",
         "\x95\x5C\x8E\xA6.mp3",
         "\x8E\xA6",
         "\x95\x5C\x8E\xA6",
         {"\x8E\xA6\x95\x5C", "\x97\xCD\x94\x5C"}},
        // 許功蓋; 功能.mp3, cut to 能; 能功 and 力許.
        {950,
         "\xB3\x5C\xA5\x5C\xBB\x5C",
         "\xA5\x5C\xAF\xE0.mp3",
         "\xAF\xE0",
         "\xA5\x5C\xAF\xE0",
         {"\xAF\xE0\xA5\x5C", "\xA4\x4F\xB3\x5C"}},
        // Café: no character is cut, only the extension goes.
        {1252, "Caf\xE9", "song.mp3", "song.mp3", "song", {nullptr, nullptr}},
    };
    UINT acp = GetACP();
    for (const SystemNames &n : names) {
        if (n.codePage == acp) {
            return n;
        }
    }
    fprintf(stderr, "no test names for code page %u\n", acp);
    abort();
}

std::string MakeTestFolder(const std::string &under) {
    static int counter = 0;
    std::string base = under;
    if (base.empty()) {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        base = temp;
        char name[64];
        snprintf(name, sizeof name, "velkor-%s-%lu-%d", Names().folder, GetCurrentProcessId(),
                 ++counter);
        base += name;
    }
    CreateDirectoryA(base.c_str(), nullptr);
    return base;
}

void RemoveTree(const std::string &folder) {
    // Only what MakeTestFolder made: an unset folder ("") would make the
    // pattern "\\*", the current drive's root, and Wine's Z: is the Unix root.
    if (folder.find("\\velkor-") == std::string::npos) {
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

bool CopyTo(const std::string &from, const std::string &to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

PluginUnderTest::PluginUnderTest(const std::string &path) : module_(nullptr), export_(nullptr) {
    module_ = LoadLibraryA(path.c_str());
    if (module_ != nullptr) {
        ReplaceImport(module_, "user32.dll", "MessageBoxA", &MessageBoxHook);
        Replace(module_, "kernel32.dll", "HeapCreate", &HeapCreateHook, &g_realHeapCreate);
        Replace(module_, "kernel32.dll", "HeapAlloc", &HeapAllocHook, &g_realHeapAlloc);
        Replace(module_, "kernel32.dll", "HeapReAlloc", &HeapReAllocHook, &g_realHeapReAlloc);
        Replace(module_, "kernel32.dll", "FormatMessageA", &FormatMessageHook,
                &g_realFormatMessageA);
        Replace(module_, "kernel32.dll", "LocalFree", &LocalFreeHook, &g_realLocalFree);
        Replace(module_, "kernel32.dll", "LoadLibraryA", &LoadLibraryHook, &g_realLoadLibraryA);
        export_ = reinterpret_cast<WinampGetInModule2Fn>(
            reinterpret_cast<void (*)(void)>(GetProcAddress(module_, "winampGetInModule2")));
    }
}

PluginUnderTest::~PluginUnderTest() {
    Unload();
}

In_Module *PluginUnderTest::GetInModule() const {
    return export_ != nullptr ? export_() : nullptr;
}

bool PluginUnderTest::Contains(const void *address) const {
    const BYTE *base = reinterpret_cast<const BYTE *>(module_);
    const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const IMAGE_NT_HEADERS *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const BYTE *p = static_cast<const BYTE *>(address);
    return p >= base && p < base + nt->OptionalHeader.SizeOfImage;
}

void PluginUnderTest::Unload() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
        export_ = nullptr;
    }
}
