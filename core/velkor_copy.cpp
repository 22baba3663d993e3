#include "core/velkor_copy.h"

#include "core/probe.h"
#include "core/text.h"

#include <vector>

namespace {

const DWORD kOwnVersionMS = (VELKOR_VERSION_MAJOR << 16) | VELKOR_VERSION_MINOR;
const DWORD kOwnVersionLS = VELKOR_VERSION_PATCH << 16;

std::string ReadFileBytes(const std::string &path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[8192];
        DWORD count = 0;
        // A copy of Velkor is a few kilobytes; a plug-in of megabytes is
        // read no further than that.
        while (bytes.size() < 65536 && ReadFile(file, buffer, sizeof buffer, &count, NULL) &&
               count != 0) {
            bytes.append(buffer, count);
        }
        CloseHandle(file);
    }
    return bytes;
}

// The two builds differ only in the runtime they import, whose name stands
// in the import table.
std::string RuntimeOf(const std::string &path) {
    std::string bytes = ReadFileBytes(path);
    for (char &c : bytes) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return bytes.find("msvcr70.dll") != std::string::npos ? "msvcr70" : "msvcrt";
}

// The user may type the plug-in's name in another case than the folder has.
bool StartsWithNoCase(const std::string &text, const std::string &start) {
    return text.size() >= start.size() &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str(),
                          static_cast<int>(start.size()), start.c_str(),
                          static_cast<int>(start.size())) == CSTR_EQUAL;
}

} // namespace

CopyInfo ReadCopy(const std::string &path) {
    CopyInfo copy;
    copy.velkor = IsVelkorCopy(path);
    if (!copy.velkor) {
        return copy;
    }
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> data(size + 1, '\0');
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    if (size != 0 && GetFileVersionInfoA(path.c_str(), 0, size, data.data()) &&
        VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length) &&
        fixed != NULL && length >= sizeof *fixed) {
        copy.versionMS = fixed->dwFileVersionMS;
        copy.versionLS = fixed->dwFileVersionLS;
    }
    copy.runtime = RuntimeOf(path);
    return copy;
}

std::wstring VersionText(const CopyInfo &copy) {
    return Number(HIWORD(copy.versionMS)) + L"." + Number(LOWORD(copy.versionMS)) + L"." +
           Number(HIWORD(copy.versionLS));
}

std::wstring OwnVersion() {
    return Number(VELKOR_VERSION_MAJOR) + L"." + Number(VELKOR_VERSION_MINOR) + L"." +
           Number(VELKOR_VERSION_PATCH);
}

bool IsOlderCopy(const CopyInfo &copy) {
    return copy.velkor && (copy.versionMS < kOwnVersionMS ||
                           (copy.versionMS == kOwnVersionMS && copy.versionLS < kOwnVersionLS));
}

PluginFiles FindPluginFiles(const std::string &dllPath) {
    PluginFiles files;
    files.dllPath = dllPath;
    if (FileExists(dllPath)) {
        files.dll = {dllPath, IsVelkorCopy(dllPath)};
    }
    std::string vlk = VlkOf(dllPath);
    if (FileExists(vlk)) {
        files.vlk = {vlk, IsVelkorCopy(vlk)};
    }
    std::string base = dllPath.substr(0, dllPath.size() - 4);
    std::string folder = FolderOf(dllPath);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((base + ".velkor-*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string path = folder + entry.cFileName;
            // The pattern also matches short names; only the long ones count.
            bool spare = StartsWithNoCase(path, base + kSpareNew) ||
                         StartsWithNoCase(path, base + kSpareOld);
            if (spare && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                files.spares.push_back({path, IsVelkorCopy(path)});
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    return files;
}
