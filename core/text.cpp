#include "core/text.h"

#include "core/messages.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/' || c == ':';
}

// The position just after the last separator, reading character by
// character so that a second byte 0x5C is not taken for one.
size_t AfterLastSeparator(const std::string &path) {
    size_t after = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
        } else if (IsSeparator(path[i])) {
            after = i + 1;
        }
    }
    return after;
}

bool IsWide(wchar_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}

} // namespace

std::wstring Wide(const std::string &ansi) {
    int size = static_cast<int>(ansi.size());
    int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, NULL, 0);
    std::wstring text(wide, L'\0');
    if (wide > 0) {
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, &text[0], wide);
    }
    return text;
}

bool ToAnsi(const std::wstring &wide, std::string *ansi) {
    int size = static_cast<int>(wide.size());
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, NULL, 0, NULL, &lossy);
    ansi->assign(bytes, '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide.data(), size, &(*ansi)[0], bytes, NULL, &lossy);
    }
    return !lossy;
}

bool AnsiPath(const std::wstring &wide, std::string *ansi) {
    if (ToAnsi(wide, ansi)) {
        return true;
    }
    std::vector<wchar_t> shortName(32768, L'\0');
    DWORD length = GetShortPathNameW(wide.c_str(), shortName.data(), 32768);
    if (length != 0 && length < 32768 && ToAnsi(std::wstring(shortName.data(), length), ansi)) {
        return true;
    }
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
}

std::wstring HexNumber(DWORD value) {
    // Flag bits read best as a whole word: 0x0F000100.
    wchar_t text[16];
    swprintf(text, 16, value > 0xFFFF ? L"0x%08lX" : L"0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::wstring Number(DWORD value) {
    wchar_t text[16];
    swprintf(text, 16, L"%lu", static_cast<unsigned long>(value));
    return text;
}

std::string ToHex(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex.empty() ? "-" : hex;
}

std::string FromHex(const std::string &digits) {
    std::string bytes;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        char pair[3] = {digits[i], digits[i + 1], '\0'};
        bytes += static_cast<char>(strtoul(pair, NULL, 16));
    }
    return bytes;
}

std::wstring SystemText(DWORD code, const std::string &path) {
    // Some texts name the file with %1, and a few use more inserts. With an
    // array of arguments, every insert up to the highest possible, %99,
    // reads the path, and none reads past the arguments.
    DWORD_PTR inserts[99];
    for (DWORD_PTR &insert : inserts) {
        insert = reinterpret_cast<DWORD_PTR>(path.c_str());
    }
    // In the language of the program's own messages where the system has
    // it, otherwise in the system's.
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY;
    char *text = NULL;
    DWORD length = 0;
    for (DWORD language : {MessageLanguageId(), DWORD(0)}) {
        if (length == 0) {
            length = FormatMessageA(flags, NULL, code, language, reinterpret_cast<char *>(&text), 0,
                                    reinterpret_cast<va_list *>(inserts));
        }
    }
    std::wstring result =
        length != 0 && text != NULL ? Wide(std::string(text, length)) : L"error " + Number(code);
    LocalFree(text);
    while (!result.empty() &&
           (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ')) {
        result.pop_back();
    }
    return result;
}

int DisplayWidth(const std::wstring &text) {
    int width = 0;
    for (wchar_t c : text) {
        width += IsWide(c) ? 2 : 1;
    }
    return width;
}

std::wstring Padded(const std::wstring &text, int width) {
    int pad = width - DisplayWidth(text);
    return text + std::wstring(pad > 0 ? pad : 0, L' ');
}

std::wstring Shortened(const std::wstring &text, int width) {
    if (DisplayWidth(text) <= width) {
        return text;
    }
    std::wstring cut;
    int used = 0;
    for (wchar_t c : text) {
        int cell = IsWide(c) ? 2 : 1;
        if (used + cell > width - 3) {
            break;
        }
        cut += c;
        used += cell;
    }
    return cut + L"...";
}

std::wstring Table(const std::vector<std::vector<std::wstring>> &rows) {
    std::vector<int> widths;
    for (const std::vector<std::wstring> &row : rows) {
        widths.resize(row.size() > widths.size() ? row.size() : widths.size(), 0);
        for (size_t i = 0; i < row.size(); ++i) {
            int w = DisplayWidth(row[i]);
            widths[i] = w > widths[i] ? w : widths[i];
        }
    }
    std::wstring text;
    for (const std::vector<std::wstring> &row : rows) {
        std::wstring line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += i + 1 < row.size() ? Padded(row[i], widths[i]) + L"  " : row[i];
        }
        while (!line.empty() && line.back() == L' ') {
            line.pop_back();
        }
        text += line + L"\n";
    }
    return text;
}

std::string FolderOf(const std::string &path) {
    return path.substr(0, AfterLastSeparator(path));
}

std::string NameOf(const std::string &path) {
    return path.substr(AfterLastSeparator(path));
}

std::string ParentOf(const std::string &folder) {
    return FolderOf(WithoutSeparator(folder));
}

std::string WithoutSeparator(const std::string &path) {
    // Only real separators: a last byte 0x5C may end a character such as 表.
    std::string trimmed = path;
    while (trimmed.size() > 1 && AfterLastSeparator(trimmed) == trimmed.size() &&
           trimmed.back() != ':' && trimmed[trimmed.size() - 2] != ':') {
        trimmed.pop_back();
    }
    return trimmed;
}

std::string StemOf(const std::string &name) {
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string FullPath(const std::string &path) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, NULL);
    return length != 0 && length < sizeof full ? std::string(full, length) : path;
}

std::wstring QuotedPath(const std::string &path) {
    return path.find(' ') == std::string::npos ? Wide(path) : L"\"" + Wide(path) + L"\"";
}

bool EndsWithNoCase(const std::string &text, const std::string &end) {
    return text.size() >= end.size() &&
           lstrcmpiA(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

bool FileExists(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether FOLDER names something below a drive's or a share's root. An
// empty name would make the pattern "\\*", the root of the current drive, and
// take the whole disk with it.
static bool BelowRoot(const std::string &folder) {
    size_t at = 0;
    if (folder.size() > 2 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/')) {
        at = 3;
    } else if (folder.compare(0, 2, "\\\\") == 0) {
        // \\server\share: both names are the root.
        at = folder.find_first_of("\\/", 2);
        at = at == std::string::npos ? at : folder.find_first_of("\\/", at + 1);
        if (at == std::string::npos) {
            return false;
        }
    } else {
        return false;
    }
    return folder.find_first_not_of("\\/.", at) != std::string::npos;
}

void RemoveTree(const std::string &folder) {
    if (!BelowRoot(folder)) {
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            std::string path = folder + "\\" + name;
            if (name == "." || name == "..") {
                continue;
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A link: it goes, what it leads to stays.
                if (!RemoveDirectoryA(path.c_str())) {
                    DeleteFileA(path.c_str());
                }
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

namespace {

// The work folders that exist now, so that an interrupted program can still
// remove them: Ctrl+C runs its handler on a thread of its own.
CRITICAL_SECTION *WorkFoldersLock() {
    static CRITICAL_SECTION lock;
    static bool ready = false;
    if (!ready) {
        InitializeCriticalSection(&lock);
        ready = true;
    }
    return &lock;
}

std::vector<std::string> &WorkFolders() {
    static std::vector<std::string> folders;
    return folders;
}

} // namespace

std::string MakeWorkFolder(const std::string &label) {
    static int counter = 0;
    // The temporary folder may be named with characters that the code page
    // cannot write (a user name such as 𠮷田): its short name serves then.
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::string base;
    if (length == 0 || length > MAX_PATH || !AnsiPath(temp, &base)) {
        return std::string();
    }
    for (;;) {
        char unique[48];
        snprintf(unique, sizeof unique, "-%lu-%d", GetCurrentProcessId(), ++counter);
        std::string folder = base + "velkor" + label + unique;
        if (CreateDirectoryA(folder.c_str(), NULL)) {
            EnterCriticalSection(WorkFoldersLock());
            WorkFolders().push_back(folder);
            LeaveCriticalSection(WorkFoldersLock());
            return folder;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::string();
        }
    }
}

void RemoveWorkFolder(const std::string &folder) {
    RemoveTree(folder);
    EnterCriticalSection(WorkFoldersLock());
    std::vector<std::string> &folders = WorkFolders();
    for (size_t i = 0; i < folders.size(); ++i) {
        if (folders[i] == folder) {
            folders.erase(folders.begin() + i);
            break;
        }
    }
    LeaveCriticalSection(WorkFoldersLock());
}

void RemoveAllWorkFolders() {
    EnterCriticalSection(WorkFoldersLock());
    for (const std::string &folder : WorkFolders()) {
        RemoveTree(folder);
    }
    WorkFolders().clear();
    LeaveCriticalSection(WorkFoldersLock());
}
