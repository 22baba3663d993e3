// The lookup over the extension table. The player asks for a title for every
// playlist entry and each query looks up extensions twice at most, so the
// lookup asks the platform's comparison only about the entries that can
// match a name, and not even about those where the answer is certain. No
// lookup's cost grows with the number of entries: real plug-ins list
// hundreds.
#pragma once

#include "host/platform.h"

struct ExtensionEntry;

// Longest extension kept in an entry; longer ones keep their first 63 bytes.
#define EXTENSION_NAME_MAX 63

// Entries up to this count are reached through the index; any beyond it are
// scanned one by one. Real plug-ins list well under a thousand.
#define INDEXED_EXTENSIONS 2048

// Buckets of the index, as a number of bits of a hash.
#define EXTENSION_BUCKET_BITS 10
#define EXTENSION_BUCKETS (1 << EXTENSION_BUCKET_BITS)

// Longest sort key asked of the platform; a longer one is not used.
#define EXTENSION_KEY_MAX 512

// Chains of entry numbers plus one, so that 0 ends a chain; every chain runs
// in table order.
struct ExtensionIndex {
    unsigned short buckets[EXTENSION_BUCKETS];       // ASCII-only entries, by length, ends, middle
    unsigned short byKey[EXTENSION_BUCKETS];         // entries by length and sort key
    unsigned short byLength[EXTENSION_NAME_MAX + 1]; // every indexed entry, by its length
    unsigned short unkeyed;                          // entries the platform gave no sort key
    unsigned short nextInBucket[INDEXED_EXTENSIONS]; // links of buckets
    unsigned short nextByKey[INDEXED_EXTENSIONS];    // links of byKey and of unkeyed
    unsigned short nextOfLength[INDEXED_EXTENSIONS]; // links of byLength
    DWORD keyHash[INDEXED_EXTENSIONS];               // each keyed entry's sort key, hashed
    unsigned char nonAscii[EXTENSION_NAME_MAX + 1];  // some entry of this length has a high byte
    unsigned char dotted[EXTENSION_NAME_MAX + 1];    // some entry of this length has a '.'
    DWORD indexedCount;                              // entries [0, indexedCount) are in the chains
    int longest;                                     // the longest length among all entries
};

// Threads the chains over the table as it stands.
void BuildExtensionIndex(void);

// The first entry, in table order, that is the extension of the name's first
// `length` bytes (after a '.', compared without regard to case), or null.
const ExtensionEntry *FindKnownExtension(const char *name, int length);
