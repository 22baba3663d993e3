// One title query through the repair. The input is split at 0xFF bytes (a
// byte that code page 932 never uses) into: a flags byte, the extension list
// (raw, NULs included), the path, and the inner plug-in's title. Flag bit 0
// set: the query names the file; clear: it asks about the playing file.
// Bits 1 and 2 choose the code page: 932, 950, 1252 or 936.
#include "tests/support/platform_control.h"
#include "title/extension_table.h"
#include "title/title_repair.h"

#include <stdint.h>
#include <stdlib.h>
#include <ctype.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const size_t kHostTitle = 256;
const size_t kGuard = 32;
const char kSentinel = '\xEE';

std::string g_innerTitle;

void __cdecl InnerGetFileInfo(char *, char *title, int *) {
    lstrcpynA(title, g_innerTitle.c_str(), kHostTitle);
}

const UINT kCodePages[] = {932, 950, 1252, 936};
UINT g_codePage;

bool IsLeadByte(unsigned char c) {
    switch (g_codePage) {
    case 932:
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 1252:
        return false;
    default:
        return c >= 0x81 && c <= 0xFE;
    }
}

// Written apart from the library's own code, as the properties' reference:
// where the name after the last real separator ('\\' outside a character,
// or '/') starts.
size_t CharacterwiseStart(const std::string &path) {
    size_t base = 0;
    for (size_t i = 0; i < path.size();) {
        unsigned char c = path[i];
        if (c == '\\' || c == '/') {
            base = ++i;
        } else {
            i += (IsLeadByte(c) && i + 1 < path.size()) ? 2 : 1;
        }
    }
    return base;
}

size_t BytewiseStart(const std::string &path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The first `room` bytes or fewer of a text that is longer, ending at a
// character's end.
std::string WholeCharacters(const std::string &text, size_t room) {
    if (text.size() <= room) {
        return text;
    }
    size_t end = 0;
    for (size_t i = 0; i < text.size() && i < room;) {
        i += (IsLeadByte(text[i]) && i + 1 < text.size()) ? 2 : 1;
        end = i <= room ? i : end;
    }
    return text.substr(0, end);
}

std::string WithoutExtension(const std::string &text) {
    const ExtensionEntry *e = FindKnownExtension(text.c_str(), static_cast<int>(text.size()));
    return e != NULL ? text.substr(0, text.size() - e->length - 1) : text;
}

bool StartsWith(const std::string &text, const std::string &start) {
    return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

// Whether the inner plug-in's title was cut from the name: it begins with
// the stem, or, where the stem is empty, it is empty or begins with the
// byte-wise base name.
bool CutFromName(const std::string &title, const std::string &cut) {
    std::string stem = WithoutExtension(cut);
    if (!stem.empty()) {
        return StartsWith(title, stem);
    }
    return title.empty() || (!cut.empty() && StartsWith(title, cut));
}

// What the host should see.
std::string Expected(const std::string &path, const std::string &title) {
    size_t cut = BytewiseStart(path);
    size_t whole = CharacterwiseStart(path);
    std::string stem = WithoutExtension(path.substr(cut));
    if (path.empty() || !CutFromName(title, path.substr(cut))) {
        return title;
    }
    if (whole >= cut) {
        std::string name = WithoutExtension(WholeCharacters(path.substr(whole), kHostTitle - 1));
        return name.empty() ? title : name;
    }
    unsigned char next = title.size() > stem.size() ? title[stem.size()] : 0;
    if (next >= 0x80 || isalnum(next)) {
        return title;
    }
    std::string repaired = WholeCharacters(path.substr(whole, cut - whole) + title, kHostTitle - 1);
    std::string shorter = WithoutExtension(repaired);
    return shorter.empty() ? repaired : shorter;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && fields.size() < 4) {
            fields.emplace_back();
        } else {
            fields.back() += static_cast<char>(data[i]);
        }
    }
    fields.resize(4);
    bool namesFile = !fields[0].empty() && (fields[0][0] & 1);
    std::string list = fields[1] + std::string(2, '\0');
    std::string path = fields[2].c_str(); // a C string ends at its first NUL
    g_innerTitle = std::string(fields[3].c_str()).substr(0, kHostTitle - 1);

    platform_control::Reset();
    memset(&g_proxy, 0, sizeof g_proxy);
    g_codePage = kCodePages[fields[0].empty() ? 0 : (fields[0][0] >> 1) & 3];
    platform_control::UseCodePage(g_codePage);
    ReadLeadBytes();
    g_proxy.savedGetFileInfo = InnerGetFileInfo;
    BuildExtensionTable(list.c_str());
    if (!namesFile) {
        lstrcpynA(g_proxy.currentFile, path.c_str(), sizeof g_proxy.currentFile);
        path = g_proxy.currentFile;
    }

    char title[kHostTitle + kGuard];
    memset(title, kSentinel, sizeof title);
    int length = 0;
    GetFileInfoHook(namesFile ? const_cast<char *>(path.c_str()) : NULL, title, &length);

    for (size_t i = kHostTitle; i < sizeof title; ++i) {
        if (title[i] != kSentinel) {
            abort(); // written past the host's buffer
        }
    }
    const char *nul = static_cast<const char *>(memchr(title, 0, kHostTitle));
    if (nul == NULL) {
        abort(); // not terminated within 256 bytes
    }
    std::string result(static_cast<const char *>(title), nul);
    if (result != Expected(path, g_innerTitle)) {
        abort();
    }
    ReleaseExtensionTable();
    return 0;
}
