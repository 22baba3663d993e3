// The test controls in the Windows builds: the table and repair code is
// linked into the test program, so replacing the program's own imports of the
// heap calls, of MessageBoxA and of IsDBCSLeadByte reaches exactly the calls
// that this code makes.
#include "tests/support/platform_control.h"
#include "host/import_patch.h"

#include <set>

namespace {

typedef HANDLE(WINAPI *HeapCreateFn)(DWORD, SIZE_T, SIZE_T);
typedef LPVOID(WINAPI *HeapAllocFn)(HANDLE, DWORD, SIZE_T);
typedef LPVOID(WINAPI *HeapReAllocFn)(HANDLE, DWORD, LPVOID, SIZE_T);
typedef BOOL(WINAPI *HeapDestroyFn)(HANDLE);

struct Saved {
    HeapCreateFn heapCreate;
    HeapAllocFn heapAlloc;
    HeapReAllocFn heapReAlloc;
    HeapDestroyFn heapDestroy;
};

Saved g_real;
std::set<HANDLE> g_heaps;

using platform_control::Api;
using platform_control::ConsumeFailure;

HANDLE WINAPI HeapCreateHook(DWORD options, SIZE_T initial, SIZE_T maximum) {
    HANDLE heap = NULL;
    if (!ConsumeFailure(Api::HeapCreate)) {
        heap = g_real.heapCreate(options, initial, maximum);
        g_heaps.insert(heap);
    } else {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return heap;
}

LPVOID WINAPI HeapAllocHook(HANDLE heap, DWORD flags, SIZE_T bytes) {
    return ConsumeFailure(Api::HeapAlloc) ? NULL : g_real.heapAlloc(heap, flags, bytes);
}

LPVOID WINAPI HeapReAllocHook(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
    return ConsumeFailure(Api::HeapReAlloc) ? NULL : g_real.heapReAlloc(heap, flags, block, bytes);
}

BOOL WINAPI HeapDestroyHook(HANDLE heap) {
    g_heaps.erase(heap);
    return g_real.heapDestroy(heap);
}

// The chosen code page's lead bytes, from the platform's own tables.
BOOL WINAPI IsDBCSLeadByteHook(BYTE c) {
    return IsDBCSLeadByteEx(platform_control::ChosenCodePage(), c);
}

int WINAPI MessageBoxHook(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    platform_control::RecordBox(owner, text, caption, type);
    return IDOK;
}

void InstallOnce() {
    if (g_real.heapCreate == NULL) {
        HMODULE self = GetModuleHandleA(NULL);
        g_real.heapCreate = ReplaceImport(self, "kernel32.dll", "HeapCreate", &HeapCreateHook);
        g_real.heapAlloc = ReplaceImport(self, "kernel32.dll", "HeapAlloc", &HeapAllocHook);
        g_real.heapReAlloc = ReplaceImport(self, "kernel32.dll", "HeapReAlloc", &HeapReAllocHook);
        g_real.heapDestroy = ReplaceImport(self, "kernel32.dll", "HeapDestroy", &HeapDestroyHook);
        ReplaceImport(self, "user32.dll", "MessageBoxA", &MessageBoxHook);
        ReplaceImport(self, "kernel32.dll", "IsDBCSLeadByte", &IsDBCSLeadByteHook);
    }
}

} // namespace

namespace platform_control {

void Reset() {
    InstallOnce();
    ResetShared();
    g_heaps.clear();
}

int LiveHeaps() {
    return static_cast<int>(g_heaps.size());
}

} // namespace platform_control
