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

// Entries are compared through the platform's linguistic comparison, which
// folds more than ASCII case and maps every lone lead byte to one character.
// Between strings of bytes below 0x80 alone it is plain ASCII case folding,
// which is what lets the index sort such entries by their last byte.
bool IsAsciiByte(unsigned char c) {
    return c != 0 && c < 0x80;
}

unsigned FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? unsigned(c - 'A' + 'a') : c;
}

bool IsAsciiOnly(const ExtensionEntry &entry) {
    bool ascii = true;
    for (int i = 0; i < entry.length && ascii; ++i) {
        ascii = IsAsciiByte(static_cast<unsigned char>(entry.name[i]));
    }
    return ascii;
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

// Threads the chains back to front, so that each runs in table order.
void BuildIndex(void) {
    ExtensionIndex &index = g_proxy.extensionIndex;
    DWORD count = g_proxy.extensionCount;
    for (unsigned i = 0; i < 128; ++i) {
        index.byLastByte[i] = 0;
    }
    for (unsigned i = 0; i <= EXTENSION_NAME_MAX; ++i) {
        index.byLength[i] = 0;
    }
    index.nonAscii = 0;
    index.longest = 0;
    index.indexedCount = count < INDEXED_EXTENSIONS ? count : INDEXED_EXTENSIONS;
    for (DWORD i = 0; i < count; ++i) {
        if (g_proxy.extensions[i].length > index.longest) {
            index.longest = g_proxy.extensions[i].length;
        }
    }
    for (DWORD i = index.indexedCount; i-- > 0;) {
        const ExtensionEntry &entry = g_proxy.extensions[i];
        unsigned short link = static_cast<unsigned short>(i + 1);
        index.nextByLength[i] = index.byLength[entry.length];
        index.byLength[entry.length] = link;
        if (IsAsciiOnly(entry)) {
            unsigned last = FoldAscii(static_cast<unsigned char>(entry.name[entry.length - 1]));
            index.nextByLastByte[i] = index.byLastByte[last];
            index.byLastByte[last] = link;
        } else {
            index.nextByLastByte[i] = index.nonAscii;
            index.nonAscii = link;
        }
    }
}

bool IsExtensionOf(const ExtensionEntry &entry, const char *name, int length) {
    int c = entry.length;
    return length >= c + 1 && name[length - c - 1] == '.' &&
           StrCmpNIA(name + length - c, entry.name, c) == 0;
}

// Walks a chain from `link` and returns the first matching entry's number,
// or `best` when none before it matches.
DWORD FirstInChain(unsigned short link, const unsigned short *next, const char *name, int length,
                   int maxLength, DWORD best) {
    DWORD found = best;
    while (link != 0 && DWORD(link - 1) < found) {
        DWORD i = link - 1u;
        const ExtensionEntry &entry = g_proxy.extensions[i];
        if (entry.length <= maxLength && IsExtensionOf(entry, name, length)) {
            found = i;
        } else {
            link = next[i];
        }
    }
    return found;
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
    BuildIndex();
}

const ExtensionEntry *FindKnownExtension(const char *name, int length) {
    const ExtensionIndex &index = g_proxy.extensionIndex;
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(name);
    DWORD none = g_proxy.extensionCount;
    DWORD best = none;
    if (name != NULL && length >= 2 && none != 0) {
        // How many of the name's last bytes are ASCII: an ASCII-only entry
        // that is no longer than that can match only through the chain of
        // its folded last byte.
        int ascii = 0;
        while (ascii < length && ascii <= index.longest && IsAsciiByte(bytes[length - 1 - ascii])) {
            ++ascii;
        }
        if (ascii > 0) {
            best = FirstInChain(index.byLastByte[FoldAscii(bytes[length - 1])],
                                index.nextByLastByte, name, length, ascii, best);
        }
        best = FirstInChain(index.nonAscii, index.nextByLastByte, name, length, EXTENSION_NAME_MAX,
                            best);
        // Longer extensions reach back into non-ASCII bytes, where only the
        // platform's comparison knows what is equal: ask it about every entry
        // of such a length that has a dot before it.
        for (int c = ascii + 1; c <= index.longest && c < length; ++c) {
            if (name[length - c - 1] == '.') {
                best = FirstInChain(index.byLength[c], index.nextByLength, name, length,
                                    EXTENSION_NAME_MAX, best);
            }
        }
        for (DWORD i = index.indexedCount; i < best; ++i) {
            if (IsExtensionOf(g_proxy.extensions[i], name, length)) {
                best = i;
            }
        }
    }
    return best != none ? &g_proxy.extensions[best] : NULL;
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
