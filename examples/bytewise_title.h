// What the plug-ins that need Velkor do for a title: the text after the last
// 0x5C byte of the path, every byte taken alone, without the text after the
// last dot. Shift_JIS names such as 表示 (95 5C 8E A6) come out cut: 示.
// The demo plug-in, the test and benchmark inner plug-ins and the benchmark's
// baseline all title files this way. WholeTitle is what a plug-in that
// titles correctly does, for the demo and the stand-ins.
#pragma once

#include "host/platform.h"

#include <string.h>

inline void BytewiseTitle(const char *file, char *title) {
    const char *base = strrchr(file, '\\');
    lstrcpynA(title, base != NULL ? base + 1 : file, 256);
    char *dot = strrchr(title, '.');
    if (dot != NULL) {
        *dot = '\0';
    }
}

#ifdef _WIN32
// The text after the last real separator: CharNextA steps over the second
// byte of a double-byte character, even when it is 0x5C.
inline void WholeTitle(const char *file, char *title) {
    const char *base = file;
    for (const char *p = file; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\') {
            base = p + 1;
        }
    }
    lstrcpynA(title, base, 256);
    char *dot = strrchr(title, '.');
    if (dot != NULL) {
        *dot = '\0';
    }
}
#endif
