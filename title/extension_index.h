// The lookup over the extension table. The player asks for a title for every
// playlist entry and each query looks up extensions twice at most, so the
// lookup asks the platform's comparison only about the few entries that can
// match a name, and not even about those where the answer is certain.
#pragma once

#include "host/platform.h"

struct ExtensionEntry;

// Longest extension kept in an entry; longer ones keep their first 63 bytes.
#define EXTENSION_NAME_MAX 63

// Entries up to this count are reached through the index; any beyond it are
// scanned one by one. Real plug-ins list well under a thousand.
#define INDEXED_EXTENSIONS 2048

// Buckets of the index; a power of two.
#define EXTENSION_BUCKETS 256

// Chains of entry numbers plus one, so that 0 ends a chain; every chain runs
// in table order.
struct ExtensionIndex {
    unsigned short buckets[EXTENSION_BUCKETS];       // ASCII-only entries, by length and ends
    unsigned short byLength[EXTENSION_NAME_MAX + 1]; // every indexed entry, by its length
    unsigned short nonAscii;                         // entries with a byte of 0x80 or above
    unsigned short nextInBucket[INDEXED_EXTENSIONS]; // links of buckets and of nonAscii
    unsigned short nextOfLength[INDEXED_EXTENSIONS]; // links of byLength
    DWORD indexedCount;                              // entries [0, indexedCount) are in the chains
    int longest;                                     // the longest length among all entries
};

// Threads the chains over the table as it stands.
void BuildExtensionIndex(void);

// The first entry, in table order, that is the extension of the name's first
// `length` bytes (after a '.', compared without regard to case), or null.
const ExtensionEntry *FindKnownExtension(const char *name, int length);

// The same lookup limited to extensions of at least `shortest` bytes; an
// entry found must come before `before`, which is the answer when none does
// (null: the whole table is searched).
const ExtensionEntry *FindLongerExtension(const char *name, int length, int shortest,
                                          const ExtensionEntry *before);
