// velkor: finds the input plug-ins that cut Shift_JIS file names, puts
// Velkor in front of them, and undoes it.
//
//   velkor scan [FOLDER]  (without it, the player's Plugins folders)
//   velkor check PLUGIN.dll [FILE...]
//   velkor install PLUGIN.dll [--runtime=msvcrt|msvcr70]
//   velkor uninstall PLUGIN.dll
//   velkor PATH...    (files dropped on it in Explorer)
//   velkor            (nothing dropped on it: as scan without FOLDER)
//
// Exit codes: see commands.h.
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/player_search.h"
#include "cli/probe.h"
#include "cli/text.h"

#include <windows.h>
#include <shellapi.h>

namespace {

struct Arguments {
    std::vector<std::string> words; // the command and its operands
    std::string runtime = "msvcrt";
    bool runtimeGiven = false;
    bool help = false;
};

// The command line as the system's code page writes it. A path that it
// cannot write is given by its short name, as the player does.
bool ToAnsiArgument(const std::wstring &wide, std::string *ansi) {
    if (ToAnsi(wide, ansi)) {
        return true;
    }
    std::vector<wchar_t> shortName(32768, L'\0');
    DWORD length = GetShortPathNameW(wide.c_str(), shortName.data(), 32768);
    return length != 0 && length < 32768 && ToAnsi(std::wstring(shortName.data(), length), ansi);
}

std::vector<std::wstring> CommandLine() {
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; argv != NULL && i < count; ++i) {
        args.push_back(argv[i]);
    }
    LocalFree(argv);
    return args;
}

// Options first, so that --lang applies to every message; 0 when they parse.
int ParseArguments(const std::vector<std::wstring> &args, Arguments *parsed) {
    for (const std::wstring &arg : args) {
        std::string ansi;
        if (arg == L"--lang=ja" || arg == L"--lang=en") {
            SetLanguage(arg == L"--lang=ja" ? kJapanese : kEnglish);
        } else if (arg.compare(0, 10, L"--runtime=") == 0) {
            ToAnsi(arg.substr(10), &parsed->runtime);
            parsed->runtimeGiven = true;
        } else if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
            parsed->help = true;
        } else if (arg.compare(0, 1, L"-") == 0) {
            Err(Say(msg::kUnknownArgument, arg));
            return 1;
        } else if (!ToAnsiArgument(arg, &ansi)) {
            Err(Say(msg::kPathNotAnsi, arg));
            return 1;
        } else {
            parsed->words.push_back(ansi);
        }
    }
    if (parsed->runtime != "msvcrt" && parsed->runtime != "msvcr70") {
        Err(Say(msg::kBadRuntime, Wide(parsed->runtime)));
        return 1;
    }
    return 0;
}

int MissingArgument(const wchar_t *command, const Text &what) {
    Err(Say(msg::kMissingArgument, command, Say(what)) + L"\n" + Say(msg::kUsage));
    return 1;
}

// Paths dropped onto the program: a folder is scanned; a plug-in is
// checked, and installed when it needs Velkor and the user agrees.
int Dropped(const Arguments &args) {
    for (const std::string &path : args.words) {
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            Err(Say(msg::kUnknownArgument, Wide(path)));
            return 1;
        }
    }
    int worst = 0;
    for (const std::string &path : args.words) {
        int code = 0;
        Verdict verdict = kCannotTell;
        if (FolderExists(path)) {
            code = Scan(path);
        } else if ((code = Check(path, {}, &verdict)) == 0 && verdict == kNeedsVelkor &&
                   AskYesNo(Say(msg::kAskInstall, Wide(NameOf(path))))) {
            Out(L"\n");
            code = Install(path, args.runtime);
        }
        worst = code > worst ? code : worst;
        Out(L"\n");
    }
    return worst;
}

int Run(const Arguments &args) {
    const std::vector<std::string> &w = args.words;
    std::string command = w.empty() ? std::string() : w[0];
    if (args.help) {
        Out(Say(msg::kUsage));
        return 0;
    } else if (args.runtimeGiven &&
               (w.empty() || command == "scan" || command == "check" || command == "uninstall")) {
        // Only install, also after a drop, copies a runtime's build.
        Err(Say(msg::kUnknownArgument, L"--runtime=" + Wide(args.runtime)));
        return 1;
    } else if (w.empty()) {
        return ScanPlayer();
    } else if (command == "scan") {
        return w.size() == 1   ? ScanPlayer()
               : w.size() == 2 ? Scan(w[1])
                               : MissingArgument(L"scan", msg::kWordFolder);
    } else if (command == "check") {
        return w.size() >= 2 ? Check(w[1], std::vector<std::string>(w.begin() + 2, w.end()), NULL)
                             : MissingArgument(L"check", msg::kWordPlugin);
    } else if (command == "install") {
        return w.size() == 2 ? Install(w[1], args.runtime)
                             : MissingArgument(L"install", msg::kWordPlugin);
    } else if (command == "uninstall") {
        return w.size() == 2 ? Uninstall(w[1]) : MissingArgument(L"uninstall", msg::kWordPlugin);
    }
    return Dropped(args);
}

} // namespace

int main() {
    std::vector<std::wstring> args = CommandLine();
    if (!args.empty() && args[0] == kProbeChildArgument) {
        std::vector<std::string> childArgs;
        for (size_t i = 1; i < args.size(); ++i) {
            std::string ansi;
            ToAnsi(args[i], &ansi);
            childArgs.push_back(ansi);
        }
        RunProbeChild(childArgs);
    }
    // No "insert a disk" box for a folder on an empty drive.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    SetLanguage(UserLanguage());
    Arguments parsed;
    int code = ParseArguments(args, &parsed);
    if (code == 0) {
        code = Run(parsed);
    }
    if (ConsoleIsOwn()) {
        WaitForEnter(Say(msg::kPressEnter));
    }
    return code;
}
