// velkor: finds the input plug-ins that cut Shift_JIS file names, puts
// Velkor in front of them, and undoes it.
//
//   velkor scan [FOLDER]  (without it, the player's Plugins folders)
//   velkor check PLUGIN.dll [FILE...]
//   velkor install PLUGIN.dll [--runtime=msvcrt|msvcr70]
//   velkor update FOLDER [--runtime=msvcrt|msvcr70]
//   velkor uninstall PLUGIN.dll
//   velkor PATH...    (files dropped on it in Explorer)
//   velkor            (nothing dropped on it: as scan without FOLDER)
//
// Exit codes: see commands.h.
#include "core/commands.h"
#include "cli/console.h"
#include "core/player_search.h"
#include "core/probe.h"
#include "core/text.h"

#include <windows.h>
#include <shellapi.h>

namespace {

struct Arguments {
    std::vector<std::string> words; // the command and its operands
    // For each word, the path as given where the code page could not write
    // it and its short name stands in the word; empty otherwise.
    std::vector<std::wstring> shortened;
    std::string runtime = "msvcrt";
    bool runtimeGiven = false;
    bool help = false;
};

// The command line as the system's code page writes it. A path that it
// cannot write is given by its short name, as the player does; the commands
// that change a folder refuse it.
bool ToAnsiArgument(const std::wstring &wide, std::string *ansi, bool *shortened) {
    *shortened = !ToAnsi(wide, ansi);
    return !*shortened || AnsiPath(wide, ansi);
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

// cmd passes "C:\Plugins\" with the final backslash escaping the quote, so
// the argument ends in a quote that no path can hold: the path is what the
// user meant, without it.
std::wstring WithoutStrayQuote(std::wstring arg) {
    if (!arg.empty() && arg.back() == L'"') {
        arg.pop_back();
    }
    return arg;
}

// Options first, so that --lang applies to every message; 0 when they parse.
int ParseArguments(const std::vector<std::wstring> &args, Arguments *parsed) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring &arg = args[i];
        std::string ansi;
        bool shortened = false;
        if (arg == L"--lang=ja" || arg == L"--lang=en") {
            SetLanguage(arg == L"--lang=ja" ? kJapanese : kEnglish);
        } else if (arg.compare(0, 10, L"--runtime=") == 0 ||
                   (arg == L"--runtime" && i + 1 < args.size())) {
            // Also "--runtime msvcr70", whose value must not be taken for a
            // command or a path.
            ToAnsi(arg == L"--runtime" ? args[++i] : arg.substr(10), &parsed->runtime);
            parsed->runtimeGiven = true;
        } else if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
            parsed->help = true;
        } else if (arg.compare(0, 1, L"-") == 0) {
            Err(Say(msg::kUnknownArgument, arg));
            return 1;
        } else if (!ToAnsiArgument(WithoutStrayQuote(arg), &ansi, &shortened)) {
            Err(Say(msg::kPathNotAnsi, arg));
            return 1;
        } else {
            parsed->words.push_back(ansi);
            parsed->shortened.push_back(shortened ? WithoutStrayQuote(arg) : std::wstring());
        }
    }
    if (parsed->runtime != "msvcrt" && parsed->runtime != "msvcr70") {
        Err(Say(msg::kBadRuntime, Wide(parsed->runtime)));
        return 1;
    }
    return 0;
}

// A path with spaces that was not put in quotes arrives as several words;
// where they join into a path that exists, that is what the user meant.
int TooManyWords(const std::vector<std::string> &words, const wchar_t *command, const Text &what) {
    std::string joined = words[1];
    for (size_t i = 2; i < words.size(); ++i) {
        joined += " " + words[i];
    }
    if (GetFileAttributesA(joined.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Err(Say(msg::kNeedsQuotes, command, QuotedPath(joined)));
        return 1;
    }
    Err(Say(msg::kMissingArgument, command, Say(what)) + L"\n" + Say(msg::kUsage));
    return 1;
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
    for (size_t i = 0; i < args.words.size(); ++i) {
        const std::string &path = args.words[i];
        int code = 0;
        Verdict verdict = kCannotTell;
        if (FolderExists(path)) {
            code = Scan(path);
        } else if ((code = Check(path, {}, &verdict)) == 0 && verdict == kNeedsVelkor &&
                   !args.shortened[i].empty()) {
            Err(Say(msg::kFolderNotAnsi, args.shortened[i], Number(GetACP())));
            code = 2;
        } else if (code == 0 && verdict == kNeedsVelkor &&
                   AskYesNo(Say(msg::kAskInstall, Wide(NameOf(path))))) {
            Out(L"\n");
            code = Install(path, args.runtime, args.runtimeGiven);
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
        // Only install and update, also after a drop, copy a runtime's build.
        Err(Say(msg::kUnknownArgument, L"--runtime=" + Wide(args.runtime)));
        return 1;
    } else if ((command == "install" || command == "uninstall" || command == "update") &&
               w.size() == 2 && !args.shortened[1].empty()) {
        // Velkor finds its plug-in through the ANSI name of its own path:
        // where the folder's name cannot be written in the code page, it
        // cannot work, and a rename through the short name would give the
        // user's plug-in a name of eight letters for good.
        Err(Say(msg::kFolderNotAnsi, args.shortened[1], Number(GetACP())));
        return 2;
    } else if (w.empty()) {
        return ScanPlayer();
    } else if (command == "scan") {
        return w.size() == 1   ? ScanPlayer()
               : w.size() == 2 ? Scan(w[1])
                               : TooManyWords(w, L"scan", msg::kWordFolder);
    } else if (command == "check") {
        return w.size() >= 2 ? Check(w[1], std::vector<std::string>(w.begin() + 2, w.end()), NULL)
                             : MissingArgument(L"check", msg::kWordPlugin);
    } else if (command == "install") {
        return w.size() == 2  ? Install(w[1], args.runtime, args.runtimeGiven)
               : w.size() > 2 ? TooManyWords(w, L"install", msg::kWordPlugin)
                              : MissingArgument(L"install", msg::kWordPlugin);
    } else if (command == "update") {
        return w.size() == 2  ? Update(w[1], args.runtime, args.runtimeGiven)
               : w.size() > 2 ? TooManyWords(w, L"update", msg::kWordFolder)
                              : MissingArgument(L"update", msg::kWordFolder);
    } else if (command == "uninstall") {
        return w.size() == 2  ? Uninstall(w[1])
               : w.size() > 2 ? TooManyWords(w, L"uninstall", msg::kWordPlugin)
                              : MissingArgument(L"uninstall", msg::kWordPlugin);
    }
    return Dropped(args);
}

// Ctrl+C, or the console window closed: the children end, and the work
// folders go, before the system ends the program.
BOOL WINAPI OnInterrupt(DWORD) {
    EndChildren();
    RemoveAllWorkFolders();
    return FALSE;
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
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
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
