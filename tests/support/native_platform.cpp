// The stand-in for the platform calls of the portable code, natively. Every
// block is its own malloc'd allocation, so AddressSanitizer sees each overrun
// and each leak; the string calls read exactly as much as the real ones do.
#include "tests/support/platform_control.h"

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <set>

namespace {

struct Heap {
    std::map<void *, size_t> blocks; // block -> size
};

std::set<Heap *> g_heaps;

using platform_control::Api;
using platform_control::ConsumeFailure;

Heap *CheckedHeap(HANDLE handle) {
    Heap *heap = static_cast<Heap *>(handle);
    if (g_heaps.count(heap) == 0) {
        abort(); // not a live heap: the real call would corrupt memory
    }
    return heap;
}

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The real comparisons read `count` bytes of both strings whatever they hold,
// NULs included. A count that reaches past either string's NUL is a fault of
// the caller even where the bytes happen to be readable, so it stops the test.
int CompareBytes(const char *a, const char *b, int count, bool foldCase) {
    const unsigned char *x = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *y = reinterpret_cast<const unsigned char *>(b);
    int i = 0;
    while (i < count && x[i] == y[i] && x[i] != 0) {
        ++i;
    }
    int result = 0;
    for (; i < count && (x[i] != 0 && y[i] != 0); ++i) {
        unsigned char l = foldCase ? FoldAscii(x[i]) : x[i];
        unsigned char r = foldCase ? FoldAscii(y[i]) : y[i];
        if (result == 0 && l != r) {
            result = l < r ? -1 : 1;
        }
    }
    if (i < count) {
        fprintf(stderr, "string comparison over %d bytes reaches past a NUL\n", count);
        abort();
    }
    return result;
}

} // namespace

namespace platform_control {

void Reset() {
    ResetShared();
    for (Heap *heap : g_heaps) {
        for (auto &block : heap->blocks) {
            free(block.first);
        }
        delete heap;
    }
    g_heaps.clear();
}

int LiveHeaps() {
    return static_cast<int>(g_heaps.size());
}

} // namespace platform_control

HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T) {
    Heap *heap = NULL;
    if (!ConsumeFailure(Api::HeapCreate)) {
        heap = new Heap;
        g_heaps.insert(heap);
    }
    return heap;
}

LPVOID WINAPI HeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
    Heap *heap = CheckedHeap(handle);
    void *block = NULL;
    if (!ConsumeFailure(Api::HeapAlloc)) {
        block = (flags & HEAP_ZERO_MEMORY) ? calloc(1, bytes) : malloc(bytes);
        heap->blocks[block] = bytes;
    }
    return block;
}

LPVOID WINAPI HeapReAlloc(HANDLE handle, DWORD flags, LPVOID block, SIZE_T bytes) {
    Heap *heap = CheckedHeap(handle);
    auto old = heap->blocks.find(block);
    if (old == heap->blocks.end()) {
        abort(); // not a block of this heap
    }
    void *grown = NULL;
    if (!ConsumeFailure(Api::HeapReAlloc)) {
        // Always a fresh allocation, so that a stale pointer to the old block
        // is caught as a use after free.
        grown = malloc(bytes);
        size_t kept = old->second < bytes ? old->second : bytes;
        memcpy(grown, block, kept);
        if (bytes > kept) {
            if (flags & HEAP_ZERO_MEMORY) {
                memset(static_cast<char *>(grown) + kept, 0, bytes - kept);
            } else {
                memset(static_cast<char *>(grown) + kept, 0xCD, bytes - kept);
            }
        }
        free(block);
        heap->blocks.erase(old);
        heap->blocks[grown] = bytes;
    }
    return grown;
}

BOOL WINAPI HeapFree(HANDLE handle, DWORD, LPVOID block) {
    Heap *heap = CheckedHeap(handle);
    BOOL freed = heap->blocks.erase(block) != 0;
    if (freed) {
        free(block);
    }
    return freed;
}

BOOL WINAPI HeapDestroy(HANDLE handle) {
    Heap *heap = CheckedHeap(handle);
    for (auto &block : heap->blocks) {
        free(block.first);
    }
    g_heaps.erase(heap);
    delete heap;
    return 1;
}

int WINAPI MessageBoxA(HWND owner, const char *text, const char *caption, UINT type) {
    platform_control::RecordBox(owner, text, caption, type);
    return 1; // IDOK
}

int WINAPI lstrlenA(const char *s) {
    return s != NULL ? static_cast<int>(strlen(s)) : 0;
}

char *WINAPI lstrcpyA(char *dst, const char *src) {
    return strcpy(dst, src);
}

char *WINAPI lstrcpynA(char *dst, const char *src, int size) {
    if (size > 0) {
        size_t length = strnlen(src, static_cast<size_t>(size) - 1);
        memcpy(dst, src, length);
        dst[length] = '\0';
    }
    return dst;
}

char *WINAPI StrChrA(const char *s, unsigned short c) {
    return const_cast<char *>(strchr(s, c));
}

int WINAPI StrCmpNA(const char *a, const char *b, int count) {
    return CompareBytes(a, b, count, false);
}

int WINAPI StrCmpNIA(const char *a, const char *b, int count) {
    return CompareBytes(a, b, count, true);
}

// A sort key that orders as the stand-in comparisons above do: the bytes with
// ASCII case folded, and a 0 at the end. Only the key that StrCmpNIA's
// folding gives is modelled.
int WINAPI LCMapStringA(LCID, DWORD flags, const char *source, int length, char *key, int size) {
    if (flags != (LCMAP_SORTKEY | NORM_IGNORECASE) || length < 0 || length + 1 > size) {
        return 0;
    }
    for (int i = 0; i < length; ++i) {
        key[i] = static_cast<char>(FoldAscii(static_cast<unsigned char>(source[i])));
        if (key[i] == 0) {
            key[i] = 1; // a NUL among the bytes, which a real key never holds
        }
    }
    key[length] = 0;
    return length + 1;
}

// The lead bytes of the code pages that the tests choose from.
BOOL WINAPI IsDBCSLeadByte(BYTE c) {
    switch (platform_control::ChosenCodePage()) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936: // GBK
    case 949:
    case 950: // Big5
        return c >= 0x81 && c <= 0xFE;
    default: // single-byte code pages
        return 0;
    }
}
