#include "title/title_repair.h"

#include "title/byte_scan.h"
#include "title/extension_table.h"

namespace {

// Titles are at most this many bytes before their NUL: the host's buffer holds
// at least 256.
const int kTitleMax = 255;

// Lead bytes of the system's ANSI code page, as read at Init. A lead byte
// followed by anything but NUL starts a double-byte character whose second
// byte may be 0x5C, the separator's byte.
bool IsLeadByte(unsigned char c) {
    return g_proxy.leadBytes[c] != 0;
}

// The start of the run of lead-range bytes right before `at`. Reading from
// the path's start, a byte outside the lead-byte ranges always ends a
// character, and the lead-range bytes after it pair up; so the byte at `at`
// is the second byte of a double-byte character exactly when this run is of
// odd length. Looking back only that far is the same as scanning from the
// start, character by character.
const char *LeadRunBefore(const char *path, const char *at) {
    const char *p = at;
    while (p > path && IsLeadByte(static_cast<unsigned char>(p[-1]))) {
        --p;
    }
    return p;
}

// The start of the text after the last real separator, stepping over
// double-byte characters; `cut` is after the last 0x5C byte of all. No 0x5C
// byte lies within a lead-range run, so each search for the one before goes
// on from the start of the run, and the path is read about once. Where
// characters with a 0x5C second byte stand, the next 0x5C byte is seldom
// more than a few bytes away: the search goes byte by byte.
const char *CharacterwiseBaseName(const char *path, const char *cut) {
    const char *base = cut;
    while (base > path) {
        const char *run = LeadRunBefore(path, base - 1);
        if ((base - 1 - run) % 2 == 0) {
            break; // a real separator
        }
        base = run;
        while (base > path && base[-1] != '\\') {
            --base;
        }
    }
    return base;
}

// True when the title's first `count` bytes are the stem's. A title shorter
// than the stem differs; that is settled before the platform's comparison,
// which reads its full count even past a NUL. Equal bytes are equal text, so
// only titles whose bytes differ are left to that (linguistic) comparison.
//
// Stems that fit a title are compared a word at a time. Those words lie
// within the host's buffer of at least 256 bytes, and a word that holds the
// title's NUL differs from the stem's, which has none; from the first word
// that differs on, bytes are taken one by one, up to the title's NUL.
bool TitleStartsWith(const char *title, const char *stem, int count) {
    int i = 0;
    if (count <= kTitleMax) {
        while (count - i >= static_cast<int>(sizeof(size_t))) {
            size_t a, b;
            memcpy(&a, title + i, sizeof a);
            memcpy(&b, stem + i, sizeof b);
            if (a != b) {
                break;
            }
            i += sizeof(size_t);
        }
    }
    while (i < count && title[i] == stem[i]) {
        ++i;
    }
    bool sameBytes = i == count;
    while (i < count && title[i] != '\0') {
        ++i;
    }
    return i == count && (sameBytes || StrCmpNA(title, stem, count) == 0);
}

// True when the title was made from the byte-wise base name `cut` of
// `count` bytes, whose first `stem` bytes come before its known extension.
// A name with an empty stem is nothing but its extension, or nothing at all;
// comparing no bytes would take every title for a cut one, so the title must
// then be empty or begin with the whole base name.
bool IsCutFromName(const char *title, const char *cut, int stem, int count) {
    if (stem > 0) {
        return TitleStartsWith(title, cut, stem);
    }
    return title[0] == '\0' || (count > 0 && TitleStartsWith(title, cut, count));
}

// Where a name was cut inside a character, the title that begins with the
// cut stem is the plug-in's own make of the name only when the stem ends
// there, or is followed by what plug-ins add to a name: a subsong's "#2",
// " (live)", the extension. A letter, a digit or a double-byte character
// after it means a tag title that merely happens to begin the same way.
bool StemEndsIn(const char *title, int stem) {
    unsigned char c = static_cast<unsigned char>(title[stem]);
    bool letterOrDigit = (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
    return c == '\0' || (c < 0x80 && !letterOrDigit);
}

// How many bytes a repaired title may take before its NUL: the host's buffer
// holds at least 256, and at least as many as the inner plug-in wrote.
int TitleRoom(int written) {
    return written > kTitleMax ? written : kTitleMax;
}

// The first `length` bytes of a text that starts at a character, less a
// first byte of a double-byte character at the end, whose second byte was
// cut off. As in LeadRunBefore, a final run of lead-range bytes of odd
// length ends in such a first byte.
int WholeCharacters(const char *text, int length) {
    const char *run = LeadRunBefore(text, text + length);
    return (text + length - run) % 2 != 0 ? length - 1 : length;
}

void CopyBytes(char *to, const char *from, int count) {
    int i = 0;
    for (; count - i >= static_cast<int>(sizeof(size_t)); i += sizeof(size_t)) {
        memcpy(to + i, from + i, sizeof(size_t));
    }
    for (; i < count; ++i) {
        to[i] = from[i];
    }
}

// Cuts a known extension off the end of the title's `length` bytes, unless
// nothing would be left, and ends the title there.
void EndTitle(char *title, int length) {
    const ExtensionEntry *extension = FindKnownExtension(title, length);
    if (extension != NULL && length > extension->length + 1) {
        length -= extension->length + 1;
    }
    title[length] = '\0';
}

// A title made from a name cut inside a character: the characters cut off
// go back in front, and what the plug-in made of the rest, its `own` bytes,
// stays.
void PutBackCutOff(char *title, int own, const char *front, int frontLength, int room) {
    int length = frontLength + own < room ? frontLength + own : room;
    // Moved back to front, so that the title is read before it is written.
    for (int i = length - frontLength; i-- > 0;) {
        title[frontLength + i] = title[i];
    }
    CopyBytes(title, front, frontLength < length ? frontLength : length);
    EndTitle(title, length < frontLength + own ? WholeCharacters(title, length) : length);
}

// A title made from a name whose cut was no separator of the name: the
// whole base name takes its place, without its known extension.
void PutWholeName(char *title, const char *whole, const char *end, const char *cut,
                  const ExtensionEntry *extension, int room) {
    int length = static_cast<int>(end - whole);
    if (length > room) {
        length = WholeCharacters(whole, room);
        extension = FindKnownExtension(whole, length);
    } else if (whole != cut) {
        extension = FindKnownExtension(whole, length);
    }
    if (extension != NULL) {
        length -= extension->length + 1;
    }
    // A name that ends in a real separator, or is nothing but its extension,
    // has no title to give; a blank one would lose what the inner plug-in gave.
    if (length <= 0) {
        return;
    }
    CopyBytes(title, whole, length);
    title[length] = '\0';
}

void RepairTitle(const char *path, char *title) {
    const char *end = EndOf(path);
    // What a plug-in that ignores double-byte characters takes for the name.
    const char *cut = AfterLast(path, end, '\\');
    int count = static_cast<int>(end - cut);
    const ExtensionEntry *extension = FindKnownExtension(cut, count);
    int stem = extension != NULL ? count - extension->length - 1 : count;
    if (!IsCutFromName(title, cut, stem, count)) {
        return;
    }
    // No 0x5C byte follows the cut, so the real separator is not after it,
    // but a '/' may be. No second byte of a double-byte character is 0x2F,
    // so every '/' is a separator: the system takes it for one, and so do
    // URLs and the plug-ins that cut there.
    const char *whole = AfterLast(CharacterwiseBaseName(path, cut), end, '/');
    int own = static_cast<int>(EndOf(title) - title);
    int room = TitleRoom(own);
    if (whole >= cut) {
        PutWholeName(title, whole, end, cut, extension, room);
    } else if (StemEndsIn(title, stem)) {
        PutBackCutOff(title, own, whole, static_cast<int>(cut - whole), room);
    }
}

} // namespace

void __cdecl GetFileInfoHook(char *file, char *title, int *length_in_ms) {
    if (g_proxy.savedGetFileInfo != NULL) {
        g_proxy.savedGetFileInfo(file, title, length_in_ms);
    }
    if (title == NULL) {
        return;
    }
    if (file != NULL && *file != '\0') {
        RepairTitle(file, title);
        return;
    }
    // Play may record a new file on another thread meanwhile: the repair
    // works on a copy of a name that one Play recorded whole, or not at all.
    CurrentFile playing;
    if (CopyCurrentFile(playing) && playing[0] != '\0') {
        RepairTitle(playing, title);
    }
}

void ReadLeadBytes(void) {
    for (int c = 0; c < 256; ++c) {
        g_proxy.leadBytes[c] = IsDBCSLeadByte(static_cast<BYTE>(c)) ? 1 : 0;
    }
}
