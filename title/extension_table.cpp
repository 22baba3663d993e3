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
// which is what lets the index file such entries under their length and
// their case-folded first and last bytes.
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

// The bucket of an ASCII-only extension of `length` bytes at `text`: its
// length and its first and last bytes without regard to case.
unsigned BucketOf(const char *text, int length) {
    unsigned first = FoldAscii(static_cast<unsigned char>(text[0]));
    unsigned last = FoldAscii(static_cast<unsigned char>(text[length - 1]));
    return (unsigned(length) * 97u + first * 31u + last) & (EXTENSION_BUCKETS - 1);
}

// Threads the chains back to front, so that each runs in table order.
void BuildIndex(void) {
    ExtensionIndex &index = g_proxy.extensionIndex;
    DWORD count = g_proxy.extensionCount;
    for (unsigned i = 0; i < EXTENSION_BUCKETS; ++i) {
        index.buckets[i] = 0;
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
        index.nextOfLength[i] = index.byLength[entry.length];
        index.byLength[entry.length] = link;
        unsigned short &head =
            IsAsciiOnly(entry) ? index.buckets[BucketOf(entry.name, entry.length)] : index.nonAscii;
        index.nextInBucket[i] = head;
        head = link;
    }
}

bool IsExtensionOf(const ExtensionEntry &entry, const char *name, int length) {
    int c = entry.length;
    return length >= c + 1 && name[length - c - 1] == '.' &&
           StrCmpNIA(name + length - c, entry.name, c) == 0;
}

// Walks a chain from `link` and returns the number of its first entry of at
// least `shortest` bytes that is the name's extension, or `best` when none
// before `best` is.
DWORD FirstInChain(unsigned short link, const unsigned short *next, const char *name, int length,
                   int shortest, DWORD best) {
    DWORD found = best;
    while (link != 0 && DWORD(link - 1) < found) {
        DWORD i = link - 1u;
        const ExtensionEntry &entry = g_proxy.extensions[i];
        if (entry.length >= shortest && IsExtensionOf(entry, name, length)) {
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
    return FindLongerExtension(name, length, 1, NULL);
}

const ExtensionEntry *FindLongerExtension(const char *name, int length, int shortest,
                                          const ExtensionEntry *before) {
    const ExtensionIndex &index = g_proxy.extensionIndex;
    DWORD none = before != NULL ? DWORD(before - g_proxy.extensions) : g_proxy.extensionCount;
    DWORD best = none;
    if (name != NULL && length >= 2 && none != 0 && shortest <= index.longest) {
        const char *end = name + length;
        // Only lengths with a dot before them can match. While the tail is
        // ASCII, an ASCII-only entry can match only from its own bucket;
        // once the tail reaches a byte of 0x80 or above, only the platform's
        // comparison knows what is equal, so every entry of that length is
        // asked.
        bool asciiTail = true;
        int reach = index.longest < length - 1 ? index.longest : length - 1;
        for (int c = 1; c <= reach; ++c) {
            asciiTail = asciiTail && IsAsciiByte(static_cast<unsigned char>(end[-c]));
            if (c >= shortest && end[-c - 1] == '.') {
                if (asciiTail) {
                    best = FirstInChain(index.buckets[BucketOf(end - c, c)], index.nextInBucket,
                                        name, length, shortest, best);
                } else {
                    best = FirstInChain(index.byLength[c], index.nextOfLength, name, length,
                                        shortest, best);
                }
            }
        }
        best = FirstInChain(index.nonAscii, index.nextInBucket, name, length, shortest, best);
        for (DWORD i = index.indexedCount; i < best; ++i) {
            if (g_proxy.extensions[i].length >= shortest &&
                IsExtensionOf(g_proxy.extensions[i], name, length)) {
                best = i;
            }
        }
    }
    return best != g_proxy.extensionCount ? &g_proxy.extensions[best] : NULL;
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
