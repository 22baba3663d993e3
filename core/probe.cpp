#include "core/probe.h"

#include "core/test_names.h"
#include "core/text.h"
#include "host/import_patch.h"
#include "host/in_module.h"

#include <stdio.h>
#include <string.h>

const wchar_t kProbeChildArgument[] = L"--probe-child";

namespace {

// The child's exit code after a crash in the plug-in, and the one it is
// given when it is stopped for taking too long.
const DWORD kCrashedExit = 0x0BADC0DE;
const DWORD kStoppedExit = 0x0BADF00D;
// How long the child program may take to start before it reaches the
// plug-in, on a machine that is busy, scanning new programs, or emulated.
const DWORD kChildStartLimitMs = 60000;

// How many empty test files the child names, one per extension, besides
// the media that fit the plug-in's extensions.
const size_t kTestExtensions = 3;

const DWORD kTitleBuffer = 2048;

// ---- The child ----

HANDLE g_report = INVALID_HANDLE_VALUE;

// The watch for the plug-in's own windows reports from a thread of its own.
CRITICAL_SECTION g_reportLock;

void Report(const std::string &key, const std::vector<std::string> &fields = {}) {
    std::string line = key;
    for (const std::string &field : fields) {
        line += " " + ToHex(field);
    }
    line += "\n";
    DWORD written = 0;
    EnterCriticalSection(&g_reportLock);
    WriteFile(g_report, line.data(), static_cast<DWORD>(line.size()), &written, NULL);
    LeaveCriticalSection(&g_reportLock);
}

void Stage(const char *entry) {
    Report("stage", {entry});
}

// An unhandled exception in the plug-in ends the child at once, with a code
// the parent knows. Without this, Windows shows its crash box and Wine
// starts its debugger. The heap may be broken, so the line is made here.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS *info) {
    char line[32];
    int length = snprintf(line, sizeof line, "crash %08lx\n",
                          static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    DWORD written = 0;
    WriteFile(g_report, line, static_cast<DWORD>(length), &written, NULL);
    TerminateProcess(GetCurrentProcess(), kCrashedExit);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A box that a Velkor copy would show comes back as text instead of waiting
// for a click.
int WINAPI BoxToReport(HWND, LPCSTR text, LPCSTR caption, UINT) {
    Report("box", {caption != NULL ? caption : "", text != NULL ? text : ""});
    return IDOK;
}

// The player finds a plug-in's own libraries in its program's folder, the
// one above the plug-ins folder, and many plug-ins ship theirs there.
void PutOnSearchPath(const std::string &home) {
    std::string path = home + ";" + ParentOf(home) + ";";
    DWORD size = GetEnvironmentVariableA("PATH", NULL, 0);
    std::vector<char> old(size + 1, '\0');
    if (size != 0 && GetEnvironmentVariableA("PATH", old.data(), size + 1) < size + 1) {
        path += old.data();
    }
    SetEnvironmentVariableA("PATH", path.c_str());
}

// The path of the module whose image holds `address`.
std::string OwnerOf(const void *address) {
    MEMORY_BASIC_INFORMATION memory;
    char path[MAX_PATH] = "";
    if (VirtualQuery(address, &memory, sizeof memory) != 0) {
        GetModuleFileNameA(static_cast<HMODULE>(memory.AllocationBase), path, sizeof path);
    }
    return path;
}

// ---- The player's main window, as plug-ins ask it ----

// Plug-ins ask the player's window in Init, with WM_USER and an id in
// lParam, and take the answer for a number or a pointer: without a window
// that answers, some crash. The folders given are the child's own, so that
// no plug-in writes into the user's settings.
const UINT kPlayerIpc = WM_USER;
const LPARAM kIpcGetVersion = 0;
const LPARAM kIpcGetIniFile = 334;
const LPARAM kIpcGetIniDirectory = 335;
const LPARAM kIpcGetPluginDirectory = 336;
const LPARAM kIpcGetIniFileW = 1334;
const LPARAM kIpcGetIniDirectoryW = 1335;
const LPARAM kIpcGetPluginDirectoryW = 1336;
// A version of the player from the years when these plug-ins were made.
const LRESULT kPlayerVersion = 0x5066;

struct PlayerAnswers {
    std::string iniFile, iniDirectory, pluginDirectory;
    std::wstring iniFileW, iniDirectoryW, pluginDirectoryW;
};
PlayerAnswers g_answers;
HWND g_playerWindow = NULL;

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kPlayerIpc) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const void *answer = NULL;
    switch (lParam) {
    case kIpcGetVersion:
        return kPlayerVersion;
    case kIpcGetIniFile:
        answer = g_answers.iniFile.c_str();
        break;
    case kIpcGetIniDirectory:
        answer = g_answers.iniDirectory.c_str();
        break;
    case kIpcGetPluginDirectory:
        answer = g_answers.pluginDirectory.c_str();
        break;
    case kIpcGetIniFileW:
        answer = g_answers.iniFileW.c_str();
        break;
    case kIpcGetIniDirectoryW:
        answer = g_answers.iniDirectoryW.c_str();
        break;
    case kIpcGetPluginDirectoryW:
        answer = g_answers.pluginDirectoryW.c_str();
        break;
    }
    return reinterpret_cast<LRESULT>(answer);
}

// A hidden window, as the player's main window is to a plug-in in Init.
// Without a display, Wine makes no top-level window; a message-only one
// answers the same messages.
HWND MakePlayerWindow(const std::string &settings, const std::string &plugins) {
    g_answers.iniDirectory = settings;
    g_answers.iniFile = settings + "\\winamp.ini";
    g_answers.pluginDirectory = WithoutSeparator(plugins);
    g_answers.iniDirectoryW = Wide(g_answers.iniDirectory);
    g_answers.iniFileW = Wide(g_answers.iniFile);
    g_answers.pluginDirectoryW = Wide(g_answers.pluginDirectory);
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = PlayerWindowProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"VelkorPlayerWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0,
                                  0, NULL, NULL, windowClass.hInstance, NULL);
    if (window == NULL) {
        window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 NULL, windowClass.hInstance, NULL);
    }
    return window;
}

// ---- Windows that the plug-in shows ----

// A plug-in that waits on a box or a dialog of its own seems to hang; its
// windows are reported, with their titles, as they appear.
BOOL CALLBACK ReportNewWindow(HWND window, LPARAM seenList) {
    std::vector<HWND> &seen = *reinterpret_cast<std::vector<HWND> *>(seenList);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    bool known = false;
    for (HWND w : seen) {
        known = known || w == window;
    }
    if (process == GetCurrentProcessId() && window != g_playerWindow && IsWindowVisible(window) &&
        !known) {
        seen.push_back(window);
        wchar_t title[256] = L"";
        GetWindowTextW(window, title, 256);
        std::string ansi;
        ToAnsi(title, &ansi);
        Report("window", {ansi});
    }
    return TRUE;
}

DWORD WINAPI WatchWindows(LPVOID) {
    std::vector<HWND> seen;
    for (;;) {
        Sleep(250);
        EnumWindows(ReportNewWindow, reinterpret_cast<LPARAM>(&seen));
    }
    return 0;
}

std::string ExtensionBlock(const char *list) {
    std::string block;
    for (int pairs = 0; list != NULL && *list != '\0' && pairs < 4096; ++pairs) {
        size_t length = strlen(list);
        block.append(list, length + 1);
        list += length + 1;
        length = strlen(list);
        block.append(list, length + 1);
        if (length == 0) {
            break;
        }
        list += length + 1;
    }
    return block;
}

In_Module *LoadRecord(const std::string &plugin) {
    Stage("DllMain");
    HMODULE library = LoadLibraryExA(plugin.c_str(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == NULL) {
        Report("loadfail", {std::to_string(GetLastError())});
        return NULL;
    }
    Report("loaded");
    if (IsVelkorCopy(plugin)) {
        ReplaceImport(library, "user32.dll", "MessageBoxA", &BoxToReport);
    }
    WinampGetInModule2Fn get = reinterpret_cast<WinampGetInModule2Fn>(
        reinterpret_cast<AnyFunction>(GetProcAddress(library, "winampGetInModule2")));
    if (get == NULL) {
        return NULL;
    }
    Report("export");
    Stage("winampGetInModule2");
    In_Module *module = get();
    if (module != NULL) {
        Report("record", {std::to_string(static_cast<unsigned>(module->version)),
                          module->Init != NULL ? "1" : "0", OwnerOf(module),
                          module->description != NULL ? module->description : ""});
        module->hMainWindow = g_playerWindow;
        module->hDllInstance = library;
    }
    return module;
}

std::string AskTitle(In_Module *module, const std::string &file) {
    std::vector<char> title(kTitleBuffer, '\0');
    int length = 0;
    if (module->GetFileInfo != NULL) {
        std::string name = file;
        module->GetFileInfo(&name[0], title.data(), &length);
    }
    title.back() = '\0';
    return title.data();
}

// Plays the player's part: the record, Init, a title for each file, Quit.
void Drive(const std::string &plugin, const std::string &namesFolder,
           std::vector<std::string> files) {
    In_Module *module = LoadRecord(plugin);
    if (module == NULL || module->version != IN_VER || module->Init == NULL) {
        return;
    }
    Stage("Init");
    module->Init();
    std::string block = ExtensionBlock(module->FileExtensions);
    Report("extensions", {block});
    if (!namesFolder.empty()) {
        files = MakeTestFiles(namesFolder, TestFilesFor(block, kTestExtensions));
    }
    for (const std::string &file : files) {
        Stage("GetFileInfo");
        Report("title", {file, AskTitle(module, file)});
    }
    if (module->Quit != NULL) {
        Stage("Quit");
        module->Quit();
    }
}

// ---- The parent ----

std::wstring Quoted(const std::wstring &arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    // Backslashes are literal except before a quote, where they are doubled.
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::string ReadAll(const std::string &path) {
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD count = 0;
        while (ReadFile(file, buffer, sizeof buffer, &count, NULL) && count != 0) {
            text.append(buffer, count);
        }
        CloseHandle(file);
    }
    return text;
}

std::vector<std::string> Fields(const std::string &line) {
    std::vector<std::string> fields;
    size_t at = line.find(' ');
    while (at != std::string::npos) {
        size_t next = line.find(' ', at + 1);
        fields.push_back(
            FromHex(line.substr(at + 1, next == std::string::npos ? next : next - at - 1)));
        at = next;
    }
    return fields;
}

void ReadReport(const std::string &text, ProbeResult *result, bool *finished) {
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        std::string key = line.substr(0, line.find(' '));
        std::vector<std::string> f = Fields(line);
        if (key == "stage" && f.size() == 1) {
            result->stage = f[0];
        } else if (key == "loaded") {
            result->loaded = true;
        } else if (key == "loadfail" && f.size() == 1) {
            result->loadError = strtoul(f[0].c_str(), NULL, 10);
        } else if (key == "export") {
            result->hasExport = true;
        } else if (key == "record" && f.size() == 4) {
            result->hasRecord = true;
            result->version = strtoul(f[0].c_str(), NULL, 10);
            result->hasInit = f[1] == "1";
            result->recordOwner = f[2];
            result->description = f[3];
        } else if (key == "box" && f.size() == 2) {
            result->boxes.push_back(f[0] + ": " + f[1]);
        } else if (key == "extensions" && f.size() == 1) {
            result->extensions = f[0];
        } else if (key == "title" && f.size() == 2) {
            result->titles.push_back({f[0], f[1]});
        } else if (key == "crash") {
            result->exception = strtoul(line.c_str() + 6, NULL, 16);
        } else if (key == "window" && f.size() == 1) {
            result->windows.push_back(f[0]);
        } else if (key == "finished") {
            *finished = true;
        }
    }
}

HANDLE NulHandle() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, OPEN_EXISTING, 0, NULL);
}

// The children run in a job that ends them when the program ends, however
// it ends: a child left behind after Ctrl+C would keep the plug-in loaded,
// and the file in use. Null where the system will not nest jobs (Windows
// before 8, inside a job of someone else's): the children then run alone.
// Cancel and Ctrl+C end the children from another thread than the one that
// starts them: the job is made once, and both wait until it is.
HANDLE ChildrenJob() {
    static HANDLE job = NULL;
    static volatile LONG state = 0; // 0 not made, 1 being made, 2 made
    if (InterlockedCompareExchange(&state, 1, 0) == 0) {
        HANDLE made = CreateJobObjectW(NULL, NULL);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        ZeroMemory(&limits, sizeof limits);
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made != NULL && !SetInformationJobObject(made, JobObjectExtendedLimitInformation,
                                                     &limits, sizeof limits)) {
            CloseHandle(made);
            made = NULL;
        }
        job = made;
        InterlockedExchange(&state, 2);
    }
    while (state != 2) {
        Sleep(1);
    }
    return job;
}

// Starts the child; false when it cannot be started at all.
bool StartChild(const std::vector<std::string> &args, const std::string &folder,
                PROCESS_INFORMATION *process) {
    std::vector<wchar_t> self(32768, L'\0');
    GetModuleFileNameW(NULL, self.data(), static_cast<DWORD>(self.size()));
    std::wstring command = Quoted(self.data()) + L" " + kProbeChildArgument;
    for (const std::string &arg : args) {
        command += L" " + Quoted(Wide(arg));
    }
    HANDLE nul = NulHandle();
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    std::wstring current = Wide(folder);
    // Suspended until it is in the job, so that nothing it starts escapes.
    bool started =
        CreateProcessW(self.data(), &command[0], NULL, NULL, TRUE,
                       CREATE_NO_WINDOW | CREATE_SUSPENDED, NULL,
                       FolderExists(folder) ? current.c_str() : NULL, &startup, process) != 0;
    DWORD error = GetLastError();
    CloseHandle(nul);
    if (started) {
        HANDLE job = ChildrenJob();
        if (job != NULL) {
            AssignProcessToJobObject(job, process->hProcess);
        }
        ResumeThread(process->hThread);
    }
    SetLastError(error);
    return started;
}

std::string VersionValue(const std::vector<char> &data, const char *name) {
    char *value = NULL;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void **>(&value), &length) ||
        value == NULL) {
        return std::string();
    }
    return value;
}

// Waits for the child. The plug-in's time starts when the child reports its
// first step with the plug-in, not while the child program itself starts: a
// slow start is not the plug-in's fault. True when the child ended in time.
bool WaitForChild(HANDLE process, const std::string &report) {
    const DWORD slice = 50;
    for (DWORD waited = 0; waited < kChildStartLimitMs; waited += slice) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(report.c_str(), GetFileExInfoStandard, &data) &&
            data.nFileSizeLow != 0) {
            break;
        }
        if (WaitForSingleObject(process, slice) != WAIT_TIMEOUT) {
            return true;
        }
    }
    return WaitForSingleObject(process, kProbeLimitMs) != WAIT_TIMEOUT;
}

} // namespace

void EndChildren() {
    HANDLE job = ChildrenJob();
    if (job != NULL) {
        TerminateJobObject(job, kStoppedExit);
    }
}

ProbeResult RunProbe(const ProbeRequest &request) {
    ProbeResult result;
    // The report lives in a work folder of its own, which an interrupted
    // program still removes.
    std::string folder = MakeWorkFolder("-report");
    std::string report = folder + "\\report.txt";
    HANDLE created = folder.empty() ? INVALID_HANDLE_VALUE
                                    : CreateFileA(report.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                  NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (created == INVALID_HANDLE_VALUE) {
        result.startError = GetLastError();
        if (!folder.empty()) {
            RemoveWorkFolder(folder);
        }
        return result;
    }
    CloseHandle(created);
    std::vector<std::string> args = {report, request.plugin, request.home, request.namesFolder};
    args.insert(args.end(), request.files.begin(), request.files.end());
    PROCESS_INFORMATION process;
    if (StartChild(args, ParentOf(request.home), &process)) {
        bool timedOut = !WaitForChild(process.hProcess, report);
        if (timedOut) {
            TerminateProcess(process.hProcess, kStoppedExit);
            WaitForSingleObject(process.hProcess, 5000);
        }
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        bool finished = false;
        ReadReport(ReadAll(report), &result, &finished);
        result.end = timedOut   ? ProbeResult::kTimedOut
                     : finished ? ProbeResult::kFinished
                                : ProbeResult::kCrashed;
    } else {
        result.startError = GetLastError();
    }
    RemoveWorkFolder(folder);
    return result;
}

void RunProbeChild(const std::vector<std::string> &args) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(CrashFilter);
    InitializeCriticalSection(&g_reportLock);
    if (args.size() >= 4) {
        g_report = CreateFileA(args[0].c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        PutOnSearchPath(args[2]);
        // The settings folder beside the report, in the parent's work folder.
        std::string settings = FolderOf(args[0]) + "settings";
        CreateDirectoryA(settings.c_str(), NULL);
        g_playerWindow = MakePlayerWindow(settings, args[2]);
        CreateThread(NULL, 0, WatchWindows, NULL, 0, NULL);
        Drive(args[1], args[3], std::vector<std::string>(args.begin() + 4, args.end()));
        Report("finished");
    }
    // The player seldom unloads its plug-ins, and what a plug-in does when
    // unloaded is no part of the answer.
    TerminateProcess(GetCurrentProcess(), 0);
}

bool IsVelkorCopy(const std::string &path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> data(size + 1, '\0');
    return size != 0 && GetFileVersionInfoA(path.c_str(), 0, size, data.data()) &&
           VersionValue(data, "ProductName") == "Velkor" &&
           VersionValue(data, "OriginalFilename") == "velkor.dll";
}
