#include "title/extension_index.h"

#include "proxy/proxy_state.h"
#include "title/byte_scan.h"

namespace {

// Entries are compared through the platform's linguistic comparison, which
// folds more than ASCII case, ignores some characters and maps every lone
// lead byte to one character. Between letters and digits alone it is plain
// ASCII case folding, which is what lets the index file ASCII-only entries
// under their length and their case-folded first and last bytes.
bool IsAsciiByte(unsigned char c) {
    return c != 0 && c < 0x80;
}

unsigned FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? unsigned(c - 'A' + 'a') : c;
}

bool HasDot(const ExtensionEntry &entry) {
    bool dot = false;
    for (int i = 0; i < entry.length && !dot; ++i) {
        dot = entry.name[i] == '.';
    }
    return dot;
}

bool IsAsciiOnly(const ExtensionEntry &entry) {
    bool ascii = true;
    for (int i = 0; i < entry.length && ascii; ++i) {
        ascii = IsAsciiByte(static_cast<unsigned char>(entry.name[i]));
    }
    return ascii;
}

// The bucket of an ASCII-only extension of `length` bytes at `text`: its
// length and its first, middle and last bytes without regard to case. Real
// lists hold runs such as aax, acx, adx and aix, which the ends alone would
// chain together, and a name's lookup would walk all of them.
unsigned BucketOf(const char *text, int length) {
    unsigned first = FoldAscii(static_cast<unsigned char>(text[0]));
    unsigned middle = FoldAscii(static_cast<unsigned char>(text[length / 2]));
    unsigned last = FoldAscii(static_cast<unsigned char>(text[length - 1]));
    // One byte each, so that one multiplication spreads them all; its top
    // bits depend on every byte below them.
    DWORD key = DWORD(length) | (first << 8) | (middle << 16) | (last << 24);
    return (key * 2654435761u) >> (32 - EXTENSION_BUCKET_BITS);
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

// A tail of letters and digits alone. Against such a tail the platform's
// comparison of an ASCII-only entry is plain ASCII case folding: letters and
// digits each weigh something of their own, told apart from their other
// case only by the case that the comparison ignores, and any other ASCII
// byte of an entry weighs nothing or weighs unlike every letter and digit.
bool IsLetterOrDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || unsigned((c | 0x20) - 'a') < 26u;
}

// `certain`: the name's tail is letters and digits and the entry ASCII, so
// that case folding alone answers.
bool IsExtensionOf(const ExtensionEntry &entry, const char *name, int length, bool certain) {
    int c = entry.length;
    if (length < c + 1 || name[length - c - 1] != '.') {
        return false;
    }
    const char *tail = name + length - c;
    return EqualAscii(tail, entry.name, c) || (!certain && StrCmpNIA(tail, entry.name, c) == 0);
}

// Walks a chain from `link` and returns the number of its first entry that
// is the name's extension, or `best` when none before `best` is.
DWORD FirstInChain(unsigned short link, const unsigned short *next, const char *name, int length,
                   DWORD best, bool certain) {
    DWORD found = best;
    while (link != 0 && DWORD(link - 1) < found) {
        DWORD i = link - 1u;
        const ExtensionEntry &entry = g_proxy.extensions[i];
        if (IsExtensionOf(entry, name, length, certain)) {
            found = i;
        } else {
            link = next[i];
        }
    }
    return found;
}

// The platform's sort key of `length` bytes, hashed with the length. Texts
// that the platform's comparison finds equal have one sort key, so an entry
// can match a tail only where the hashes agree; the comparison itself then
// confirms it. False when the platform gives no key.
bool HashSortKey(const char *text, int length, DWORD *hash) {
    char key[EXTENSION_KEY_MAX];
    int size = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text, length, key,
                            sizeof key);
    DWORD h = 2166136261u ^ DWORD(length);
    for (int i = 0; i < size; ++i) {
        h = (h ^ static_cast<unsigned char>(key[i])) * 16777619u;
    }
    *hash = h;
    return size > 0;
}

// The first entry of the tail's length and sort key that is the name's
// extension. Where the platform gives the tail no key, every entry of that
// length is asked.
DWORD FirstWithKey(const char *name, int length, int c, DWORD best) {
    const ExtensionIndex &index = g_proxy.extensionIndex;
    DWORD hash;
    if (!HashSortKey(name + length - c, c, &hash)) {
        return FirstInChain(index.byLength[c], index.nextOfLength, name, length, best, false);
    }
    DWORD found = best;
    unsigned short link = index.byKey[hash & (EXTENSION_BUCKETS - 1)];
    while (link != 0 && DWORD(link - 1) < found) {
        DWORD i = link - 1u;
        const ExtensionEntry &entry = g_proxy.extensions[i];
        if (index.keyHash[i] == hash && entry.length == c &&
            IsExtensionOf(entry, name, length, false)) {
            found = i;
        } else {
            link = index.nextByKey[i];
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
        index.byKey[i] = 0;
    }
    for (unsigned i = 0; i <= EXTENSION_NAME_MAX; ++i) {
        index.byLength[i] = 0;
        index.nonAscii[i] = 0;
        index.dotted[i] = 0;
    }
    index.unkeyed = 0;
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
        index.dotted[entry.length] |= HasDot(entry) ? 1 : 0;
        if (IsAsciiOnly(entry)) {
            unsigned short &head = index.buckets[BucketOf(entry.name, entry.length)];
            index.nextInBucket[i] = head;
            head = link;
        } else {
            index.nonAscii[entry.length] = 1;
        }
        unsigned short &keyed = HashSortKey(entry.name, entry.length, &index.keyHash[i])
                                    ? index.byKey[index.keyHash[i] & (EXTENSION_BUCKETS - 1)]
                                    : index.unkeyed;
        index.nextByKey[i] = keyed;
        keyed = link;
    }
}

const ExtensionEntry *FindKnownExtension(const char *name, int length) {
    const ExtensionIndex &index = g_proxy.extensionIndex;
    DWORD best = g_proxy.extensionCount;
    if (name != NULL && length >= 2 && best != 0) {
        const char *end = name + length;
        // Only lengths of some entry, with a dot before them, can match.
        // While the tail is letters and digits, an ASCII-only entry matches
        // only from its own bucket, and case folding says which; entries
        // with high bytes, and any other tail, are found by sort key.
        bool plainTail = true;
        bool dotInside = false;
        int read = 0; // tail bytes taken into plainTail and dotInside so far
        int reach = index.longest < length - 1 ? index.longest : length - 1;
        // Tails begin after a dot within reach; a title mostly has none
        // there, a name mostly one.
        const char *lowest = end - reach - 1;
        for (const char *after = AfterLast(lowest, end - 1, '.'); after > lowest;
             after = AfterLast(lowest, after - 1, '.')) {
            int c = static_cast<int>(end - after);
            if (index.byLength[c] == 0) {
                continue;
            }
            // The bytes of a tail are looked at only where a dot begins one.
            for (; read < c; ++read) {
                unsigned char byte = static_cast<unsigned char>(end[-read - 1]);
                plainTail = plainTail && IsLetterOrDigit(byte);
                // A '.' weighs like no ASCII byte but itself, so a tail that
                // holds one matches no ASCII-only entry without one: that is
                // every longer tail of a name with many dots, and it needs no
                // sort key. The '.' that begins a tail is a character of its
                // own; one further in is, for this tail and every longer
                // one, when an ASCII byte comes before it, which leads no
                // pair in any code page.
                dotInside = dotInside || (read > 0 && end[-read] == '.' && byte < 0x80);
            }
            unsigned char first = static_cast<unsigned char>(end[-c]);
            if (plainTail) {
                best = FirstInChain(index.buckets[BucketOf(end - c, c)], index.nextInBucket, name,
                                    length, best, true);
            }
            bool dotted = dotInside || first == '.';
            if (index.nonAscii[c] || (!plainTail && (!dotted || index.dotted[c]))) {
                best = FirstWithKey(name, length, c, best);
            }
        }
        if (index.unkeyed != 0) {
            best = FirstInChain(index.unkeyed, index.nextByKey, name, length, best, false);
        }
        for (DWORD i = index.indexedCount; i < best; ++i) {
            if (IsExtensionOf(g_proxy.extensions[i], name, length, false)) {
                best = i;
            }
        }
    }
    return best != g_proxy.extensionCount ? &g_proxy.extensions[best] : NULL;
}
