// Byte searches over paths and titles, a machine word at a time. The player
// asks for a title for every playlist entry, and the platform's own calls
// for these run inside exception frames, which cost more than the work.
// They are inline: a query makes half a dozen of them over a few dozen bytes,
// and the calls themselves were a tenth of its cost.
#pragma once

#include <stddef.h>
#include <string.h>

// A machine word read in place of the bytes it covers.
typedef size_t __attribute__((may_alias)) Word;

// The end of a NUL-terminated text: the address of its NUL.
//
// Words are read once the reads are aligned. An aligned word never reaches
// into the next page, so the word that holds the NUL cannot fault even where
// it reaches past the text's memory; the address sanitizer of the native
// tests would take that for an overrun, so it is told not to.
__attribute__((no_sanitize("address"))) inline const char *EndOf(const char *text) {
    const size_t ones = ~size_t(0) / 0xFF;
    const size_t highs = ones << 7;
    const char *p = text;
    while (reinterpret_cast<size_t>(p) % sizeof(Word) != 0 && *p != '\0') {
        ++p;
    }
    if (*p != '\0') {
        const Word *word = reinterpret_cast<const Word *>(p);
        while (((*word - ones) & ~*word & highs) == 0) {
            ++word;
        }
        p = reinterpret_cast<const char *>(word);
        while (*p != '\0') {
            ++p;
        }
    }
    return p;
}

// The start of the text after the last `byte` in [from, end), every byte
// taken alone, or `from` when there is none.
//
// A word holds the byte when, after an exclusive or with the byte in every
// lane, one of its lanes is zero. Only words within [from, end) are read.
// The byte within the word is then found byte by byte: a bit scan would take
// fewer instructions, but on some of today's processors it is slower than
// the few bytes it saves.
inline const char *AfterLast(const char *from, const char *end, char byte) {
    const size_t ones = ~size_t(0) / 0xFF;
    const size_t highs = ones << 7;
    const size_t lanes = ones * static_cast<unsigned char>(byte);
    const char *base = end;
    bool found = false;
    while (!found && base - from >= static_cast<ptrdiff_t>(sizeof(size_t))) {
        size_t word;
        memcpy(&word, base - sizeof word, sizeof word);
        word ^= lanes;
        found = ((word - ones) & ~word & highs) != 0;
        if (!found) {
            base -= sizeof word;
        }
    }
    while (base > from && base[-1] != byte) {
        --base;
    }
    return base;
}
