// Finding the player's Plugins folders, for `velkor scan` without a folder:
// from the player's install folder in the registry, through the ini files
// that the player itself reads at start-up. The search takes the registry's
// values and a PlayerFiles, so that tests can give it any of them.
#pragma once

#include <string>
#include <vector>

// What the registry says of the player; empty where it says nothing.
struct PlayerRegistry {
    // HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp,
    // UninstallString: the uninstaller's command, in the install folder.
    std::wstring uninstallString;
    // The default value of HKCU\Software\Winamp: the install folder.
    std::wstring installFolder;
};

class PlayerFiles {
  public:
    virtual ~PlayerFiles() {}
    // The value of `key` in the [Winamp] section of an ini file, as
    // GetPrivateProfileString gives it (empty when the key is missing);
    // false when there is no such file.
    virtual bool IniValue(const std::string &file, const std::string &key, std::string *value) = 0;
    virtual bool IsFolder(const std::string &path) = 0;
    // As the player resolves the paths in paths.ini: %NAME% from the
    // environment, and {N} as the shell's special folder number N, such as
    // {26} for the roaming application data folder.
    virtual std::string Expand(const std::string &text) = 0;
};

// One place that the search looked at, and what it found there.
struct SearchNote {
    enum Kind {
        kValue,    // `place` gives `value`
        kNotSet,   // `place` is not set
        kNotAnsi,  // `place` gives `value`, which the code page cannot write
        kNoFile,   // there is no file `place`
        kNoFolder, // there is no folder `place`
        kFound,    // `place` is a Plugins folder of the player
    };
    Kind kind;
    std::wstring place;
    std::wstring value;
};

struct PlayerSearch {
    std::vector<std::string> folders; // Plugins folders that exist, each once
    std::vector<SearchNote> notes;
};

PlayerSearch SearchPlayer(const PlayerRegistry &registry, PlayerFiles &files);

// The registry's values and the files as they are (scan_player.cpp).
PlayerRegistry ReadPlayerRegistry();
PlayerFiles &SystemPlayerFiles();

// `velkor scan` without a folder: says where it looked, then scans each
// folder found. The exit code of the worst scan, or 2 when it found none.
int ScanPlayer();
