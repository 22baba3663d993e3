#include "core/test_names.h"

#include "core/text.h"

#include <windows.h>

#include <ctype.h>

namespace {

// A letter of the code page made of these two bytes, which comes back as the
// same two bytes.
bool IsLetter(BYTE lead, BYTE trail) {
    char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    wchar_t wide[2];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2) != 1) {
        return false;
    }
    char back[4];
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, 0, wide, 1, back, sizeof back, NULL, &lossy);
    WORD type = 0;
    return length == 2 && !lossy && back[0] == bytes[0] && back[1] == bytes[1] &&
           GetStringTypeW(CT_CTYPE1, wide, 1, &type) && (type & C1_ALPHA);
}

std::string FindCuttingStem() {
    CPINFO info;
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 2) {
        return std::string();
    }
    for (int range = 0; range < MAX_LEADBYTES && info.LeadByte[range] != 0; range += 2) {
        for (int lead = info.LeadByte[range]; lead <= info.LeadByte[range + 1]; ++lead) {
            if (!IsLetter(static_cast<BYTE>(lead), 0x5C)) {
                continue;
            }
            for (int trail = 0x5D; trail <= 0xFE; ++trail) {
                if (IsLetter(static_cast<BYTE>(lead), static_cast<BYTE>(trail))) {
                    char stem[4] = {static_cast<char>(lead), 0x5C, static_cast<char>(lead),
                                    static_cast<char>(trail)};
                    return std::string(stem, 4);
                }
            }
        }
    }
    return std::string();
}

bool CanNameFile(const std::string &extension) {
    return !extension.empty() && extension.size() <= 16 &&
           extension.find_first_of("\\/:*?\"<>|. ") == std::string::npos;
}

} // namespace

std::string CuttingStem() {
    static const std::string stem = FindCuttingStem();
    return stem;
}

std::string TestStem() {
    return CuttingStem().empty() ? "velkor-test" : CuttingStem();
}

std::string BytewiseStem(const std::string &path) {
    size_t slash = path.find_last_of('\\');
    return StemOf(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string WholeStem(const std::string &path) {
    return StemOf(NameOf(path));
}

TitleKind ClassifyTitle(const std::string &path, const std::string &title) {
    std::string whole = WholeStem(path);
    std::string cut = BytewiseStem(path);
    if (title.empty()) {
        return kTitleNone;
    } else if (title.compare(0, whole.size(), whole) == 0) {
        return kTitleWhole;
    } else if (!cut.empty() && title.compare(0, cut.size(), cut) == 0) {
        return kTitleCut;
    }
    return kTitleOther;
}

std::string TitleBehindVelkor(const std::string &path, const std::string &title) {
    if (ClassifyTitle(path, title) != kTitleCut) {
        return title;
    }
    std::string name = NameOf(path);
    size_t slash = path.find_last_of('\\');
    std::string cut = slash == std::string::npos ? path : path.substr(slash + 1);
    if (cut.size() >= name.size()) {
        return WholeStem(path);
    }
    // Cut inside a character: what the plug-in added after the cut stem (a
    // subsong's "#2", " (live)") stays, and the characters cut off go back
    // in front; a letter, digit or double-byte character after the stem
    // means a title that only begins the same way.
    std::string stem = BytewiseStem(path);
    unsigned char next = title.size() > stem.size() ? title[stem.size()] : 0;
    if (next >= 0x80 || (next != 0 && isalnum(next))) {
        return title;
    }
    std::string whole = name.substr(0, name.size() - cut.size()) + title;
    size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    if (!extension.empty() && whole.size() > extension.size() && EndsWithNoCase(whole, extension)) {
        whole.erase(whole.size() - extension.size());
    }
    return whole;
}

std::vector<std::string> FirstExtensions(const std::string &block, size_t count) {
    std::vector<std::string> found;
    size_t at = 0;
    // Every other string is a description.
    for (bool isList = true; at < block.size() && block[at] != '\0'; isList = !isList) {
        size_t end = block.find('\0', at);
        end = end == std::string::npos ? block.size() : end;
        std::string list = block.substr(at, end - at) + ";";
        for (size_t start = 0, semi; isList && (semi = list.find(';', start)) != std::string::npos;
             start = semi + 1) {
            std::string extension = list.substr(start, semi - start);
            bool known = false;
            for (const std::string &e : found) {
                known = known || lstrcmpiA(e.c_str(), extension.c_str()) == 0;
            }
            if (found.size() < count && CanNameFile(extension) && !known) {
                found.push_back(extension);
            }
        }
        at = end + 1;
    }
    return found;
}

std::vector<std::string> MakeTestFiles(const std::string &folder,
                                       const std::vector<TestFile> &files) {
    std::vector<std::string> paths;
    for (const TestFile &test : files) {
        std::string path = folder + "\\" + TestStem() + "." + test.extension;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, test.bytes.data(), static_cast<DWORD>(test.bytes.size()), &written,
                      NULL);
            CloseHandle(file);
        }
        paths.push_back(path);
    }
    return paths;
}
