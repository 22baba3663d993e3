// velkor-probe: plays the player's part for one input plug-in, once on its
// own and once behind Velkor, and shows the titles that each gives.
//
//   velkor-probe [--velkor=PATH] PLUGIN.dll FILE...
//
// The files need not exist: the plug-ins that Velkor serves make titles from
// the name alone. Exit codes: 0 when it ran, 1 for bad arguments, 2 when the
// plug-in cannot be loaded, has no export, or its record is refused.
#include "host/in_module.h"
#include "host/import_patch.h"

#include <stdio.h>

#include <string>
#include <vector>

namespace {

const char kUsage[] = "usage: velkor-probe [--velkor=PATH] PLUGIN.dll FILE...\n"
                      "\n"
                      "Shows the title that an input plug-in gives for each FILE, on its own and\n"
                      "behind Velkor, and marks where they differ. The files need not exist.\n"
                      "Velkor is velkor.dll beside this program, or msvcrt\\velkor.dll there,\n"
                      "unless --velkor names it.\n";

// Text in the ANSI code page (932 on the systems Velkor serves), written out
// as UTF-16 to a console and as UTF-8 to a pipe or a file.
void Write(HANDLE out, const std::string &ansi) {
    int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), NULL, 0);
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &text[0], wide);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
    } else {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        NULL, 0, NULL, NULL);
        std::string utf8(bytes, '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], bytes,
                            NULL, NULL);
        WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, NULL);
    }
}

void Out(const std::string &text) {
    Write(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

void Err(const std::string &text) {
    Write(GetStdHandle(STD_ERROR_HANDLE), text);
}

// Columns on a terminal: East Asian wide characters take two cells.
int DisplayWidth(const std::string &ansi) {
    int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), NULL, 0);
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &text[0], wide);
    int width = 0;
    for (wchar_t c : text) {
        bool twoCells = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                        (c >= 0xFFE0 && c <= 0xFFE6);
        width += twoCells ? 2 : 1;
    }
    return width;
}

std::string Padded(const std::string &text, int width) {
    int pad = width - DisplayWidth(text);
    return text + std::string(pad > 0 ? pad : 0, ' ');
}

std::string SystemText(DWORD code) {
    char *text = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, code, 0, reinterpret_cast<char *>(&text), 0, NULL);
    std::string result = text != NULL ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
        result.pop_back();
    }
    return result;
}

std::string Folder(const std::string &path) {
    char full[MAX_PATH];
    char *name = NULL;
    GetFullPathNameA(path.c_str(), sizeof full, full, &name);
    return name != NULL ? std::string(full, name) : std::string(full);
}

bool Exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A box that Velkor would show goes to standard error instead.
int WINAPI BoxToStderr(HWND, LPCSTR text, LPCSTR caption, UINT) {
    Err(std::string("velkor-probe: Velkor says (") + (caption ? caption : "") +
        "): " + (text ? text : "") + "\n");
    return IDOK;
}

// One loaded input plug-in, driven as the player drives it.
struct Session {
    HMODULE library = NULL;
    In_Module *module = NULL;

    // Loads the plug-in and takes its record; on failure says why on
    // standard error.
    bool Open(const std::string &path, const std::string &shownName, bool quietBoxes) {
        library = LoadLibraryA(path.c_str());
        if (library == NULL) {
            Err("velkor-probe: cannot load " + shownName + ": " + SystemText(GetLastError()) +
                "\n");
            return false;
        }
        if (quietBoxes) {
            ReplaceImport(library, "user32.dll", "MessageBoxA", &BoxToStderr);
        }
        WinampGetInModule2Fn get = reinterpret_cast<WinampGetInModule2Fn>(
            reinterpret_cast<void (*)(void)>(GetProcAddress(library, "winampGetInModule2")));
        if (get == NULL) {
            Err("velkor-probe: " + shownName + " is not an input plug-in: it has no " +
                "winampGetInModule2 export\n");
            return false;
        }
        module = get();
        if (module == NULL || module->version != IN_VER || module->Init == NULL) {
            char version[32] = "none";
            if (module != NULL) {
                snprintf(version, sizeof version, "0x%X", static_cast<unsigned>(module->version));
            }
            Err("velkor-probe: the input module of " + shownName + " is refused (version " +
                version + "; only 0x100 with an Init is accepted)\n");
            module = NULL;
            return false;
        }
        module->hMainWindow = NULL;
        module->hDllInstance = library;
        module->Init();
        return true;
    }

    std::string Title(const std::string &file) {
        std::vector<char> title(2048, '\0');
        int length = 0;
        if (module->GetFileInfo != NULL) {
            module->GetFileInfo(const_cast<char *>(file.c_str()), title.data(), &length);
        }
        return title.data();
    }

    ~Session() {
        if (module != NULL && module->Quit != NULL) {
            module->Quit();
        }
        if (library != NULL) {
            FreeLibrary(library);
        }
    }
};

std::string ExtensionList(const char *list) {
    std::string text;
    while (list != NULL && *list != '\0') {
        std::string extensions = list;
        list += extensions.size() + 1;
        std::string description = list;
        if (!text.empty()) {
            text += ", ";
        }
        text += extensions + (description.empty() ? "" : " (" + description + ")");
        if (*list == '\0') {
            break;
        }
        list += description.size() + 1;
    }
    return text.empty() ? "(none)" : text;
}

} // namespace

int main(int argc, char **argv) {
    std::string velkor;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Out(kUsage);
            return 0;
        } else if (arg.rfind("--velkor=", 0) == 0) {
            velkor = arg.substr(9);
        } else if (arg.size() > 1 && arg[0] == '-' && args.empty()) {
            Err("velkor-probe: unknown option " + arg + "\n" + kUsage);
            return 1;
        } else {
            args.push_back(arg);
        }
    }
    if (args.size() < 2) {
        Err(kUsage);
        return 1;
    }
    std::string plugin = args[0];
    std::vector<std::string> files(args.begin() + 1, args.end());

    if (velkor.empty()) {
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, sizeof self);
        std::string here = Folder(self);
        velkor = Exists(here + "velkor.dll") ? here + "velkor.dll" : here + "msvcrt\\velkor.dll";
    }
    if (!Exists(plugin)) {
        Err("velkor-probe: cannot load " + plugin + ": " + SystemText(ERROR_FILE_NOT_FOUND) + "\n");
        return 2;
    }
    if (!Exists(velkor)) {
        Err("velkor-probe: cannot find Velkor at " + velkor + "; name it with --velkor=PATH\n");
        return 2;
    }

    std::vector<std::string> alone, behind;
    {
        Session direct;
        if (!direct.Open(plugin, plugin, false)) {
            return 2;
        }
        char version[16];
        snprintf(version, sizeof version, "0x%X", static_cast<unsigned>(direct.module->version));
        Out("Plug-in:    " +
            std::string(direct.module->description ? direct.module->description
                                                   : "(no description)") +
            "\nVersion:    " + version +
            "\nExtensions: " + ExtensionList(direct.module->FileExtensions) + "\n\n");
        for (const std::string &file : files) {
            alone.push_back(direct.Title(file));
        }
    }

    // Velkor fronts X.vlk when it is installed as X.dll: a folder of their own.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder =
        std::string(temp) + "velkor-probe-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    size_t slash = plugin.find_last_of("\\/:");
    std::string name = plugin.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string stem = name.substr(0, name.find_last_of('.'));
    std::string front = folder + "\\" + stem + ".dll";
    std::string inner = folder + "\\" + stem + ".vlk";
    bool ran = CopyFileA(plugin.c_str(), inner.c_str(), FALSE) &&
               CopyFileA(velkor.c_str(), front.c_str(), FALSE);
    if (!ran) {
        Err("velkor-probe: cannot copy the plug-in and Velkor to " + folder + ": " +
            SystemText(GetLastError()) + "\n");
    } else {
        Session proxied;
        ran = proxied.Open(front, plugin + " behind Velkor", true);
        for (size_t i = 0; ran && i < files.size(); ++i) {
            behind.push_back(proxied.Title(files[i]));
        }
    }
    DeleteFileA(front.c_str());
    DeleteFileA(inner.c_str());
    RemoveDirectoryA(folder.c_str());
    if (!ran) {
        return 2;
    }

    int fileWidth = DisplayWidth("File"), aloneWidth = DisplayWidth("Alone");
    for (size_t i = 0; i < files.size(); ++i) {
        int f = DisplayWidth(files[i]);
        int a = DisplayWidth(alone[i]);
        fileWidth = f > fileWidth ? f : fileWidth;
        aloneWidth = a > aloneWidth ? a : aloneWidth;
    }
    std::string table = Padded("File", fileWidth) + "  " + Padded("Alone", aloneWidth) +
                        "  With Velkor\n" + std::string(fileWidth, '-') + "  " +
                        std::string(aloneWidth, '-') + "  " + std::string(11, '-') + "\n";
    int repaired = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        bool differs = alone[i] != behind[i];
        repaired += differs;
        table += Padded(files[i], fileWidth) + "  " + Padded(alone[i], aloneWidth) + "  " +
                 behind[i] + (differs ? "   <- repaired" : "") + "\n";
    }
    table += "\n" + std::to_string(repaired) + " of " + std::to_string(files.size()) +
             " titles differ with Velkor.\n";
    Out(table);
    return 0;
}
