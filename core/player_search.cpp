#include "core/player_search.h"

#include "core/text.h"

#include <windows.h>

namespace {

const wchar_t kUninstallPlace[] =
    L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp, UninstallString";
const wchar_t kUserPlace[] = L"HKCU\\Software\\Winamp";

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring Trimmed(const std::wstring &text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string Trimmed(const std::string &text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

// Without the quotes around it, if it has them.
std::wstring Unquoted(const std::wstring &text) {
    if (text.empty() || text[0] != L'"') {
        return text;
    }
    size_t end = text.find(L'"', 1);
    return text.substr(1, end == std::wstring::npos ? end : end - 1);
}

// The folder of the program that an uninstall command runs: the path in
// quotes, or the text up to its ".exe", without the program's name. In
// UTF-16, where no second byte of a character can pass for a separator.
std::wstring UninstallerFolder(const std::wstring &command) {
    std::wstring path = Trimmed(command);
    if (!path.empty() && path[0] == L'"') {
        path = Unquoted(path);
    } else {
        std::wstring lower = path;
        CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
        size_t exe = lower.find(L".exe");
        path = exe == std::wstring::npos ? path : path.substr(0, exe + 4);
    }
    size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

bool SamePath(const std::string &a, const std::string &b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// `name` in `folder`, with one separator between them, a real one: a
// folder may end in a character whose second byte is 0x5C, such as 表.
std::string Joined(const std::string &folder, const std::string &name) {
    bool ends = !folder.empty() && FolderOf(folder).size() == folder.size();
    return folder + (ends ? "" : "\\") + name;
}

// A path from an ini file, taken from `base` when it is relative, as the
// player takes it from its own folder.
std::string Resolved(const std::string &base, const std::string &value) {
    std::string path = Trimmed(value);
    if (path.empty()) {
        return path;
    }
    bool hasDrive = path.size() >= 2 && path[1] == ':';
    bool isShare = path.compare(0, 2, "\\\\") == 0;
    if (!hasDrive && !isShare) {
        bool rooted = path[0] == '\\' || path[0] == '/';
        bool baseHasDrive = base.size() >= 2 && base[1] == ':';
        path =
            rooted ? (baseHasDrive ? base.substr(0, 2) : std::string()) + path : Joined(base, path);
    }
    // Without "..", "." and doubled or forward separators.
    return WithoutSeparator(FullPath(path));
}

void Note(PlayerSearch *search, SearchNote::Kind kind, const std::wstring &place,
          const std::wstring &value = std::wstring()) {
    search->notes.push_back({kind, place, value});
}

// Adds the install folder that a registry value gives, once.
void AddProgram(const std::wstring &place, const std::wstring &value, const std::wstring &folder,
                std::vector<std::string> *programs, PlayerSearch *search) {
    std::string ansi;
    if (Trimmed(value).empty()) {
        Note(search, SearchNote::kNotSet, place);
        return;
    } else if (!ToAnsi(folder, &ansi)) {
        Note(search, SearchNote::kNotAnsi, place, value);
        return;
    }
    Note(search, SearchNote::kValue, place, value);
    ansi = WithoutSeparator(ansi);
    for (const std::string &known : *programs) {
        if (SamePath(known, ansi)) {
            return;
        }
    }
    if (!ansi.empty()) {
        programs->push_back(ansi);
    }
}

// The Plugins folder of the player in `program`, as the player finds it at
// start-up: its settings folder is the one that paths.ini names, else its
// own; the winamp.ini there may name another Plugins folder.
std::string PluginsFolder(const std::string &program, PlayerFiles &files, PlayerSearch *search) {
    std::string paths = Joined(program, "paths.ini");
    std::string settings = program;
    std::string ini;
    std::string value;
    if (files.IniValue(paths, "inidir", &value) && !Trimmed(value).empty()) {
        Note(search, SearchNote::kValue, Wide(paths) + L", inidir", Wide(value));
        std::string named = Resolved(program, files.Expand(value));
        settings = named.empty() ? settings : named;
    }
    // Its own name for the ini file, taken from the settings folder.
    if (files.IniValue(paths, "inifile", &value) && !Trimmed(value).empty()) {
        Note(search, SearchNote::kValue, Wide(paths) + L", inifile", Wide(value));
        ini = Resolved(settings, files.Expand(value));
    }
    ini = ini.empty() ? Joined(settings, "winamp.ini") : ini;
    std::wstring place = Wide(ini) + L", PluginDir";
    if (!files.IniValue(ini, "PluginDir", &value)) {
        Note(search, SearchNote::kNoFile, Wide(ini));
    } else if (Trimmed(value).empty()) {
        Note(search, SearchNote::kNotSet, place);
    } else {
        Note(search, SearchNote::kValue, place, Wide(value));
        return Resolved(program, value);
    }
    return Joined(program, "Plugins");
}

} // namespace

PlayerSearch SearchPlayer(const PlayerRegistry &registry, PlayerFiles &files) {
    PlayerSearch search;
    std::vector<std::string> programs;
    AddProgram(kUninstallPlace, registry.uninstallString,
               UninstallerFolder(registry.uninstallString), &programs, &search);
    AddProgram(kUserPlace, registry.installFolder, Unquoted(Trimmed(registry.installFolder)),
               &programs, &search);
    for (const std::string &program : programs) {
        if (!files.IsFolder(program)) {
            Note(&search, SearchNote::kNoFolder, Wide(program));
            continue;
        }
        std::string plugins = PluginsFolder(program, files, &search);
        if (!files.IsFolder(plugins)) {
            Note(&search, SearchNote::kNoFolder, Wide(plugins));
            continue;
        }
        Note(&search, SearchNote::kFound, Wide(plugins));
        bool known = false;
        for (const std::string &folder : search.folders) {
            known = known || SamePath(folder, plugins);
        }
        if (!known) {
            search.folders.push_back(plugins);
        }
    }
    return search;
}
