#include "title/title_repair.h"

#include "title/extension_table.h"

namespace {

// Titles are at most this many bytes before their NUL: the host's buffer holds
// at least 256.
const int kTitleMax = 255;

// Code page 932 lead bytes. A lead byte followed by anything but NUL starts a
// double-byte character whose second byte may be 0x5C, the separator's byte.
bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The text after the last 0x5C byte, every byte taken alone: what a plug-in
// that ignores double-byte characters takes for the file name.
const char *BytewiseBaseName(const char *path) {
    const char *base = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '\\') {
            base = p + 1;
        }
    }
    return base;
}

// The text after the last real separator, stepping over double-byte characters.
const char *CharacterwiseBaseName(const char *path) {
    const char *base = path;
    const char *p = path;
    while (*p != '\0') {
        if (*p == '\\') {
            base = p + 1;
            ++p;
        } else if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
            p += 2;
        } else {
            ++p;
        }
    }
    return base;
}

// True when the title's first `count` bytes are the stem's. A title shorter
// than the stem differs; that is settled before the platform's comparison,
// which reads its full count even past a NUL.
bool TitleStartsWith(const char *title, const char *stem, int count) {
    bool longEnough = true;
    for (int i = 0; i < count && longEnough; ++i) {
        longEnough = title[i] != '\0';
    }
    return longEnough && (count == 0 || StrCmpNA(title, stem, count) == 0);
}

} // namespace

void __cdecl GetFileInfoHook(char *file, char *title, int *length_in_ms) {
    if (g_proxy.savedGetFileInfo != NULL) {
        g_proxy.savedGetFileInfo(file, title, length_in_ms);
    }
    // Play may record a new file on another thread meanwhile; a snapshot keeps
    // both scans below on one consistent path. The buffer's last byte is
    // always NUL, so the copy never runs past it.
    CurrentFile playing;
    const char *path = file;
    if (title != NULL && (path == NULL || *path == '\0')) {
        lstrcpynA(playing, g_proxy.currentFile, sizeof playing);
        path = playing;
    }
    if (title != NULL && *path != '\0') {
        const char *cut = BytewiseBaseName(path);
        int cutLength = lstrlenA(cut);
        int stem = cutLength;
        const ExtensionEntry *extension = FindKnownExtension(cut, cutLength);
        if (extension != NULL) {
            stem = cutLength - extension->length - 1;
        }
        const char *whole = CharacterwiseBaseName(path);
        // A name that ends in a real separator has no base name; a blank
        // title would lose what the inner plug-in gave.
        if (*whole != '\0' && TitleStartsWith(title, cut, stem)) {
            lstrcpynA(title, whole, kTitleMax + 1);
            int length = lstrlenA(title);
            extension = FindKnownExtension(title, length);
            if (extension != NULL) {
                title[length - extension->length - 1] = '\0';
            }
        }
    }
}
