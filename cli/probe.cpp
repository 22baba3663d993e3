#include "cli/probe.h"

#include "cli/test_names.h"
#include "cli/text.h"
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

// How many empty test files the child names, one per extension, besides
// the media that fit the plug-in's extensions.
const size_t kTestExtensions = 3;

const DWORD kTitleBuffer = 2048;

// ---- The child ----

HANDLE g_report = INVALID_HANDLE_VALUE;

void Report(const std::string &key, const std::vector<std::string> &fields = {}) {
    std::string line = key;
    for (const std::string &field : fields) {
        line += " " + ToHex(field);
    }
    line += "\n";
    DWORD written = 0;
    WriteFile(g_report, line.data(), static_cast<DWORD>(line.size()), &written, NULL);
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
        module->hMainWindow = NULL;
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
    bool started =
        CreateProcessW(self.data(), &command[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL,
                       FolderExists(folder) ? current.c_str() : NULL, &startup, process) != 0;
    CloseHandle(nul);
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

} // namespace

ProbeResult RunProbe(const ProbeRequest &request) {
    ProbeResult result;
    char temp[MAX_PATH];
    char report[MAX_PATH];
    if (!GetTempPathA(sizeof temp, temp) || !GetTempFileNameA(temp, "vlk", 0, report)) {
        return result;
    }
    std::vector<std::string> args = {report, request.plugin, request.home, request.namesFolder};
    args.insert(args.end(), request.files.begin(), request.files.end());
    PROCESS_INFORMATION process;
    if (StartChild(args, ParentOf(request.home), &process)) {
        bool timedOut = WaitForSingleObject(process.hProcess, kProbeLimitMs) == WAIT_TIMEOUT;
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
    DeleteFileA(report);
    return result;
}

void RunProbeChild(const std::vector<std::string> &args) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(CrashFilter);
    if (args.size() >= 4) {
        g_report = CreateFileA(args[0].c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        PutOnSearchPath(args[2]);
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
