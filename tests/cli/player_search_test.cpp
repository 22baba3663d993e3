// The search for the player's Plugins folders, over registry values and
// files made up for each row. It runs in code page 932, where 表 is 95 5C.
#include "core/player_search.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string.h>

namespace {

std::string Lower(std::string text) {
    CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

// Paths without case, as Windows compares them.
class FakeFiles : public PlayerFiles {
  public:
    std::map<std::string, std::map<std::string, std::string>> inis; // file -> key -> value
    std::map<std::string, bool> folders;

    bool IniValue(const std::string &file, const std::string &key, std::string *value) override {
        auto ini = inis.find(Lower(file));
        if (ini == inis.end()) {
            return false;
        }
        auto found = ini->second.find(Lower(key));
        *value = found == ini->second.end() ? std::string() : found->second;
        return true;
    }
    bool IsFolder(const std::string &path) override {
        return folders.count(Lower(path)) != 0;
    }
    std::string Expand(const std::string &text) override {
        std::string out = text;
        for (const char *name : {"%APPDATA%", "{26}"}) {
            size_t at = out.find(name);
            if (at != std::string::npos) {
                out.replace(at, strlen(name), "C:\\Users\\me\\AppData\\Roaming");
            }
        }
        return out;
    }
};

const wchar_t kUninstaller[] = L"\"C:\\Program Files\\Winamp\\UninstWA.exe\"";
const char kProgram[] = "C:\\Program Files\\Winamp";
const char kPlugins[] = "C:\\Program Files\\Winamp\\Plugins";
const char kIni[] = "C:\\Program Files\\Winamp\\winamp.ini|";
const char kPathsIni[] = "C:\\Program Files\\Winamp\\paths.ini|";
const char kRoaming[] = "C:\\Users\\me\\AppData\\Roaming\\Winamp\\";

TEST(PlayerSearch, FindsThePluginsFoldersAsThePlayerDoes) {
    struct Row {
        const char *what;
        const wchar_t *uninstall, *install;
        // "FILE|" makes the file; "FILE|key=value" also sets a value in it.
        std::vector<std::string> files;
        std::vector<std::string> folders; // the folders that exist
        const char *found;                // the folders found, each followed by ';'
        SearchNote::Kind says;            // the kind of one of the notes
    } rows[] = {
        {"quoted uninstaller",
         kUninstaller,
         L"",
         {},
         {kProgram, kPlugins},
         "C:\\Program Files\\Winamp\\Plugins;",
         SearchNote::kFound},
        {"unquoted uninstaller with an argument",
         L"C:\\Program Files\\Winamp\\UNINSTWA.EXE /S",
         L"",
         {},
         {kProgram, kPlugins},
         "C:\\Program Files\\Winamp\\Plugins;",
         SearchNote::kFound},
        {"one install in both keys, in other case",
         kUninstaller,
         L"\"c:\\program files\\WINAMP\\\"",
         {},
         {kProgram, kPlugins},
         "C:\\Program Files\\Winamp\\Plugins;",
         SearchNote::kFound},
        {"two installs",
         kUninstaller,
         L"D:\\Winamp",
         {},
         {kProgram, kPlugins, "D:\\Winamp", "D:\\Winamp\\Plugins"},
         "C:\\Program Files\\Winamp\\Plugins;D:\\Winamp\\Plugins;",
         SearchNote::kFound},
        {"two installs, one Plugins folder",
         kUninstaller,
         L"D:\\Winamp",
         {"D:\\Winamp\\winamp.ini|PluginDir=C:\\Program Files\\Winamp\\Plugins"},
         {kProgram, kPlugins, "D:\\Winamp"},
         "C:\\Program Files\\Winamp\\Plugins;",
         SearchNote::kFound},
        {"the user's key alone",
         L"",
         L"D:\\Winamp\\",
         {},
         {"D:\\Winamp", "D:\\Winamp\\Plugins"},
         "D:\\Winamp\\Plugins;",
         SearchNote::kFound},
        {"PluginDir",
         kUninstaller,
         L"",
         {std::string(kIni) + "PluginDir=E:\\My Plugins"},
         {kProgram, kPlugins, "E:\\My Plugins"},
         "E:\\My Plugins;",
         SearchNote::kFound},
        {"PluginDir relative to the program's folder",
         kUninstaller,
         L"",
         {std::string(kIni) + "PluginDir=..\\Shared\\.\\Plugins\\"},
         {kProgram, "C:\\Program Files\\Shared\\Plugins"},
         "C:\\Program Files\\Shared\\Plugins;",
         SearchNote::kFound},
        {"paths.ini's inidir, with a variable",
         kUninstaller,
         L"",
         {std::string(kPathsIni) + "inidir=%APPDATA%\\Winamp",
          std::string(kRoaming) + "winamp.ini|PluginDir=E:\\My Plugins",
          std::string(kIni) + "PluginDir=E:\\Not These"},
         {kProgram, kPlugins, "E:\\My Plugins", "E:\\Not These"},
         "E:\\My Plugins;",
         SearchNote::kFound},
        {"paths.ini's inidir with a folder number, and inifile",
         kUninstaller,
         L"",
         {std::string(kPathsIni) + "inidir={26}\\Winamp", std::string(kPathsIni) + "inifile=my.ini",
          std::string(kRoaming) + "my.ini|PluginDir=E:\\My Plugins",
          std::string(kRoaming) + "winamp.ini|PluginDir=E:\\Not These"},
         {kProgram, kPlugins, "E:\\My Plugins", "E:\\Not These"},
         "E:\\My Plugins;",
         SearchNote::kFound},
        {"paths.ini without inidir",
         kUninstaller,
         L"",
         {kPathsIni, std::string(kIni) + "PluginDir=E:\\My Plugins"},
         {kProgram, kPlugins, "E:\\My Plugins"},
         "E:\\My Plugins;",
         SearchNote::kFound},
        {"a folder named with 95 5C",
         L"\"C:\\表\\UninstWA.exe\"",
         L"",
         {},
         {"C:\\\x95\\", "C:\\\x95\\\\Plugins"},
         "C:\\\x95\\\\Plugins;",
         SearchNote::kFound},
        {"a folder that the code page cannot write",
         L"\"C:\\한\\UninstWA.exe\"",
         L"",
         {},
         {},
         "",
         SearchNote::kNotAnsi},
        {"no Plugins folder", kUninstaller, L"", {}, {kProgram}, "", SearchNote::kNoFolder},
        {"an uninstalled player", kUninstaller, L"", {}, {}, "", SearchNote::kNoFolder},
        {"no player", L"", L"", {}, {}, "", SearchNote::kNotSet},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        FakeFiles files;
        for (const std::string &file : row.files) {
            size_t bar = file.find('|');
            size_t equals = file.find('=', bar);
            auto &ini = files.inis[Lower(file.substr(0, bar))];
            if (equals != std::string::npos) {
                ini[Lower(file.substr(bar + 1, equals - bar - 1))] = file.substr(equals + 1);
            }
        }
        for (const std::string &folder : row.folders) {
            files.folders[Lower(folder)] = true;
        }
        PlayerSearch search = SearchPlayer({row.uninstall, row.install}, files);
        std::string found;
        for (const std::string &folder : search.folders) {
            found += folder + ";";
        }
        EXPECT_EQ(row.found, found);
        bool says = false;
        for (const SearchNote &note : search.notes) {
            says = says || note.kind == row.says;
        }
        EXPECT_TRUE(says);
    }
}

} // namespace
