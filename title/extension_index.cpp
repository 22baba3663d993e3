#include "title/extension_index.h"

#include "proxy/proxy_state.h"

namespace {

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

// The bucket of an ASCII-only extension of `length` bytes at `text`: its
// length and its first and last bytes without regard to case.
unsigned BucketOf(const char *text, int length) {
    unsigned first = FoldAscii(static_cast<unsigned char>(text[0]));
    unsigned last = FoldAscii(static_cast<unsigned char>(text[length - 1]));
    return (unsigned(length) * 97u + first * 31u + last) & (EXTENSION_BUCKETS - 1);
}

// True when both texts are ASCII over `count` bytes and equal without regard
// to ASCII case: then the platform's comparison is certain to find them
// equal, and the call, which is most of what a lookup costs, is skipped.
// Bytes that differ are equal only as the two cases of one ASCII letter.
bool EqualAscii(const char *a, const char *b, int count) {
    int i = 0;
    for (; i < count; ++i) {
        unsigned x = static_cast<unsigned char>(a[i]);
        unsigned y = static_cast<unsigned char>(b[i]);
        bool same = x == y ? IsAsciiByte(static_cast<unsigned char>(x))
                           : (x | 0x20) == (y | 0x20) && (x | 0x20) - 'a' < 26u;
        if (!same) {
            break;
        }
    }
    return i == count;
}

bool IsExtensionOf(const ExtensionEntry &entry, const char *name, int length) {
    int c = entry.length;
    if (length < c + 1 || name[length - c - 1] != '.') {
        return false;
    }
    const char *tail = name + length - c;
    return EqualAscii(tail, entry.name, c) || StrCmpNIA(tail, entry.name, c) == 0;
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

// Threads the chains back to front, so that each runs in table order.
void BuildExtensionIndex(void) {
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
