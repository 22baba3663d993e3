#include "title/extension_table.h"

// "Allocating memory failed." and "Enlarging the allocated memory failed.",
// as code page 932 bytes: the boxes are shown through the ANSI API.
const char kAllocationFailedText[] =
    "\x83\x81\x83\x82\x83\x8a\x82\xcc\x8a\x84\x82\xe8\x93\x96\x82\xc4"
    "\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
const char kGrowthFailedText[] = "\x8a\x84\x82\xe8\x93\x96\x82\xc4\x83\x81\x83\x82\x83\x8a\x82\xcc"
                                 "\x8a\x67\x92\xa3\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5"
                                 "\x82\xbd\x81\x42";

namespace {

const UINT kBoxStyle = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;

// Keeps (count + 1) * sizeof(ExtensionEntry) far from overflowing 32 bits.
const DWORD kMaxEntries = 0x01000000;

void ShowTableError(const char *text) {
    MessageBoxA(NULL, text, g_proxy.moduleName, kBoxStyle);
}

// Makes room for one more zeroed entry at the end of the block. On failure
// shows the box and leaves the table as it was.
bool GrowTable(void) {
    bool grown = false;
    if (g_proxy.extensionCount == 0) {
        HANDLE heap = HeapCreate(HEAP_NO_SERIALIZE, sizeof(ExtensionEntry), 0);
        LPVOID block = NULL;
        if (heap != NULL) {
            block = HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(ExtensionEntry));
            if (block == NULL) {
                HeapDestroy(heap);
            }
        }
        if (block == NULL) {
            ShowTableError(kAllocationFailedText);
        } else {
            g_proxy.extensionHeap = heap;
            g_proxy.extensions = static_cast<ExtensionEntry *>(block);
            grown = true;
        }
    } else {
        LPVOID block = NULL;
        if (g_proxy.extensionCount < kMaxEntries) {
            // HEAP_ZERO_MEMORY zeroes the added tail, so the new entry starts blank.
            block = HeapReAlloc(g_proxy.extensionHeap, HEAP_ZERO_MEMORY, g_proxy.extensions,
                                (g_proxy.extensionCount + 1) * sizeof(ExtensionEntry));
        }
        if (block == NULL) {
            // The old block is untouched by a failed reallocation.
            ShowTableError(kGrowthFailedText);
        } else {
            g_proxy.extensions = static_cast<ExtensionEntry *>(block);
            grown = true;
        }
    }
    if (grown) {
        ++g_proxy.extensionCount;
    }
    return grown;
}

// Appends the extension made of the first `count` bytes at `text`, keeping
// at most the first 63.
bool AddEntry(const char *text, int count) {
    bool added = GrowTable();
    if (added) {
        ExtensionEntry &entry = g_proxy.extensions[g_proxy.extensionCount - 1];
        int kept = count > EXTENSION_NAME_MAX ? EXTENSION_NAME_MAX : count;
        strncpy(entry.name, text, kept);
        entry.name[kept] = '\0';
        entry.length = lstrlenA(entry.name);
    }
    return added;
}

} // namespace

void BuildExtensionTable(const char *list) {
    const char *p = list;
    bool ok = p != NULL;
    // Each pass reads one group: its extension list, then its description.
    while (ok && *p != '\0') {
        const char *end = p + lstrlenA(p);
        const char *segment = p;
        while (ok && segment < end) {
            const char *semicolon = StrChrA(segment, ';');
            const char *stop = semicolon != NULL ? semicolon : end;
            // Empty extensions (";mp3", "mp3;;ogg", a ';' before the NUL) add nothing.
            if (stop > segment) {
                ok = AddEntry(segment, static_cast<int>(stop - segment));
            }
            segment = semicolon != NULL ? semicolon + 1 : end;
        }
        p = end + 1;
        // A group without a description runs straight into the list's final
        // empty string: there is nothing further to read.
        if (ok && *p != '\0') {
            p += lstrlenA(p) + 1;
        } else {
            ok = false;
        }
    }
    BuildExtensionIndex();
}

void ReleaseExtensionTable(void) {
    if (g_proxy.extensions != NULL) {
        HeapFree(g_proxy.extensionHeap, 0, g_proxy.extensions);
        HeapDestroy(g_proxy.extensionHeap);
    }
    g_proxy.extensions = NULL;
    g_proxy.extensionHeap = NULL;
    g_proxy.extensionCount = 0;
    g_proxy.extensionIndex.indexedCount = 0;
}
