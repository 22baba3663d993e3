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

// True when some byte of the word is zero. A borrow out of a zero byte may
// flag the byte above it as well, so this says whether, not where.
inline bool HasZeroByte(size_t word) {
    const size_t ones = ~size_t(0) / 0xFF;
    return ((word - ones) & ~word & (ones << 7)) != 0;
}

// The end of a NUL-terminated text: the address of its NUL.
//
// Words are read once the reads are aligned. An aligned word never reaches
// into the next page, so the word that holds the NUL cannot fault even where
// it reaches past the text's memory; the address sanitizer of the native
// tests would take that for an overrun, so it is told not to.
__attribute__((no_sanitize("address"))) inline const char *EndOf(const char *text) {
    const char *p = text;
    while (reinterpret_cast<size_t>(p) % sizeof(Word) != 0 && *p != '\0') {
        ++p;
    }
    if (*p != '\0') {
        const Word *word = reinterpret_cast<const Word *>(p);
        while (!HasZeroByte(*word)) {
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
// A word holds the byte when one of its bytes is zero after an exclusive or
// with the byte repeated across a word. Only words within [from, end) are
// read.
// The byte within the word is then found byte by byte: a bit scan would take
// fewer instructions, but on some of today's processors it is slower than
// the few bytes it saves.
inline const char *AfterLast(const char *from, const char *end, char byte) {
    const size_t repeated = ~size_t(0) / 0xFF * static_cast<unsigned char>(byte);
    const char *base = end;
    bool found = false;
    while (!found && base - from >= static_cast<ptrdiff_t>(sizeof(size_t))) {
        size_t word;
        memcpy(&word, base - sizeof word, sizeof word);
        found = HasZeroByte(word ^ repeated);
        if (!found) {
            base -= sizeof word;
        }
    }
    while (base > from && base[-1] != byte) {
        --base;
    }
    return base;
}
