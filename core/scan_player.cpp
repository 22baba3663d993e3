// `velkor scan` without a folder: the player's Plugins folders from the real
// registry and files, then a scan of each.
#include "core/player_search.h"

#include "core/commands.h"
#include "core/output.h"
#include "core/messages.h"
#include "core/text.h"

#include <windows.h>
#include <shlobj.h>
#include <stdlib.h>

namespace {

// A text value, with its environment variables filled in when the value is
// REG_EXPAND_SZ; empty when there is none. A 32-bit program reads the 32-bit
// view of HKLM\Software on 64-bit Windows, where the player's 32-bit
// installer writes.
std::wstring RegistryText(HKEY root, const wchar_t *path, const wchar_t *name) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::wstring();
    }
    std::wstring text;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, NULL, &type, NULL, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // One more character than the value: a value stored without its
        // ending NUL still ends in one.
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, name, NULL, &type, reinterpret_cast<BYTE *>(data.data()),
                             &size) == ERROR_SUCCESS) {
            text = data.data();
        }
    }
    RegCloseKey(key);
    if (type == REG_EXPAND_SZ && !text.empty()) {
        std::vector<wchar_t> expanded(32768, L'\0');
        DWORD length = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), 32768);
        text = length != 0 && length <= 32768 ? expanded.data() : text;
    }
    return text;
}

class SystemFiles : public PlayerFiles {
  public:
    bool IniValue(const std::string &file, const std::string &key, std::string *value) override {
        if (!FileExists(file)) {
            return false;
        }
        // The player's own reading: sections and keys without case, the
        // value without blanks or quotes around it, a file in UTF-16 when
        // it starts with its byte order mark.
        std::vector<char> text(32768, '\0');
        GetPrivateProfileStringA("Winamp", key.c_str(), "", text.data(),
                                 static_cast<DWORD>(text.size()), file.c_str());
        *value = text.data();
        return true;
    }

    bool IsFolder(const std::string &path) override {
        return FolderExists(path);
    }

    std::string Expand(const std::string &text) override {
        std::string folders;
        for (size_t at = 0; at < text.size();) {
            size_t close = text[at] == '{' ? text.find('}', at) : std::string::npos;
            std::string number =
                close == std::string::npos ? std::string() : text.substr(at + 1, close - at - 1);
            char folder[MAX_PATH] = "";
            if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos &&
                number.size() < 6 &&
                SHGetSpecialFolderPathA(NULL, folder, atoi(number.c_str()), FALSE)) {
                folders += folder;
                at = close + 1;
            } else {
                // A lead byte and its second byte together, so that a
                // second byte is never read as a brace.
                size_t step = IsDBCSLeadByte(static_cast<BYTE>(text[at])) ? 2 : 1;
                folders += text.substr(at, step);
                at += step;
            }
        }
        std::vector<char> expanded(32768, '\0');
        DWORD length = ExpandEnvironmentStringsA(folders.c_str(), expanded.data(), 32768);
        return length != 0 && length <= 32768 ? std::string(expanded.data()) : folders;
    }
};

std::wstring Described(const SearchNote &note) {
    static const Text *const texts[] = {&msg::kLookedValue,    &msg::kLookedNotSet,
                                        &msg::kLookedNotAnsi,  &msg::kLookedNoFile,
                                        &msg::kLookedNoFolder, &msg::kLookedFound};
    return Say(*texts[note.kind], note.place, note.value);
}

} // namespace

PlayerRegistry ReadPlayerRegistry() {
    PlayerRegistry registry;
    registry.uninstallString = RegistryText(
        HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp",
        L"UninstallString");
    registry.installFolder = RegistryText(HKEY_CURRENT_USER, L"Software\\Winamp", NULL);
    return registry;
}

PlayerFiles &SystemPlayerFiles() {
    static SystemFiles files;
    return files;
}

int ScanPlayer() {
    PlayerSearch search = SearchPlayer(ReadPlayerRegistry(), SystemPlayerFiles());
    std::wstring looked = Say(msg::kSearchHeader);
    for (const SearchNote &note : search.notes) {
        looked += Described(note);
    }
    Out(looked);
    if (search.folders.empty()) {
        Err(L"\n" + Say(msg::kSearchNone));
        return 2;
    }
    int worst = 0;
    for (const std::string &folder : search.folders) {
        Out(L"\n");
        int code = Scan(folder);
        worst = code > worst ? code : worst;
    }
    return worst;
}
