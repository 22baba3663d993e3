// VelkorSetup: the window over velkor.exe's commands, for users who never
// open a console. It finds the player's Plugins folders, scans them on a
// worker thread, and runs install, uninstall, update and check through the
// very functions that velkor.exe runs; what those say is collected for the
// window's boxes and views instead of a console.
#include "core/commands.h"
#include "core/folder_steps.h"
#include "core/output.h"
#include "core/player_search.h"
#include "core/probe.h"
#include "core/text.h"
#include "core/velkor_copy.h"
#include "core/verdict.h"
#include "host/import_patch.h"
#include "window/row_actions.h"
#include "window/window_ids.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#ifndef BCM_SETSHIELD
#define BCM_SETSHIELD (BCM_FIRST + 0x000C)
#endif

namespace {

// Messages from the worker thread; each carries what it reports on the heap,
// and the window frees it.
enum : UINT {
    kRowsMessage = WM_APP + 1, // lParam: std::vector<ScanRow>, rows of one plug-in scanned
    kProgressMessage,          // wParam: plug-ins done, lParam: of how many
    kStatusMessage,            // lParam: std::wstring, what the worker is doing
    kDoneMessage,              // lParam: JobResult
    kStartMessage,             // the first scan, once the window shows
};

enum JobKind { kJobScan, kJobInstall, kJobUninstall, kJobUpdateAll, kJobCheck };

struct Job {
    JobKind kind;
    std::vector<std::string> folders; // a scan's folders, and those that update all updates
    std::string plugin;               // the X.dll of a change or a check
    std::string runtime;
    bool runtimeGiven;
};

struct JobResult {
    Job job;
    int code;                  // the command's exit code
    std::wstring output;       // what the command said
    std::vector<ScanRow> rows; // the plug-in's rows, scanned again after a change
    bool cancelled;
};

struct WindowState {
    HWND window;                      // the main window
    HWND list;                        // the plug-ins, one row each
    HWND status;                      // what the window is doing, or did last
    HWND progress;                    // plug-ins scanned
    HWND runtime;                     // the runtime that install copies
    HFONT font;                       // the system's message font, at the system's DPI
    int dpi;                          // pixels per inch of the screen, 96 at 100 %
    bool runtimeGiven;                // the user chose the runtime, so updates use it too
    std::vector<std::string> folders; // the folders scanned
    std::vector<std::string> notAnsi; // those the code page cannot write
    std::vector<ScanRow> rows;        // the list's rows, by item lParam
    HANDLE worker;                    // the running job's thread; NULL when idle
    JobKind running;                  // what the worker does
    volatile LONG cancel;             // set to stop the running job
    bool closing;                     // close when the running change ends
    Job lastChange;                   // for Retry
    CRITICAL_SECTION outputLock;      // guards output
    std::wstring output;              // what the running job's command said
};

WindowState g_state;

// ---- What the shared commands say, collected ----

std::wstring TakeOutput() {
    EnterCriticalSection(&g_state.outputLock);
    std::wstring text;
    text.swap(g_state.output);
    LeaveCriticalSection(&g_state.outputLock);
    return text;
}

} // namespace

void Out(const std::wstring &text) {
    EnterCriticalSection(&g_state.outputLock);
    g_state.output += text;
    LeaveCriticalSection(&g_state.outputLock);
}

void Err(const std::wstring &text) {
    Out(text);
}

// The window shows its own progress; the commands' console note has no place.
void Progress(const std::wstring &) {}

namespace {

int Scaled(int pixels) {
    return MulDiv(pixels, g_state.dpi, 96);
}

HWND Control(int id) {
    return GetDlgItem(g_state.window, id);
}

bool Busy() {
    return g_state.worker != NULL;
}

bool SameFile(const std::string &a, const std::string &b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// ---- The worker ----

void Post(UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageW(g_state.window, message, wParam, lParam);
}

void PostStatus(const std::wstring &text) {
    Post(kStatusMessage, 0, reinterpret_cast<LPARAM>(new std::wstring(text)));
}

void RunScan(const Job &job, JobResult *result) {
    std::vector<std::string> plugins;
    for (const std::string &folder : job.folders) {
        if (CheckScanFolder(folder)) {
            std::vector<std::string> found = PluginsWithFiles(folder);
            plugins.insert(plugins.end(), found.begin(), found.end());
        }
    }
    Post(kProgressMessage, 0, static_cast<LPARAM>(plugins.size()));
    TestNamesFolder names;
    for (size_t i = 0; i < plugins.size() && !g_state.cancel; ++i) {
        PostStatus(Say(msg::kStatusScanning, Number(static_cast<DWORD>(i + 1)),
                       Number(static_cast<DWORD>(plugins.size())), Wide(NameOf(plugins[i]))));
        std::unique_ptr<std::vector<ScanRow>> rows(
            new std::vector<ScanRow>(ScanPlugin(plugins[i], names.path())));
        // A plug-in whose child the Cancel button ended was not judged.
        if (!g_state.cancel) {
            Post(kRowsMessage, 0, reinterpret_cast<LPARAM>(rows.release()));
        }
        Post(kProgressMessage, i + 1, static_cast<LPARAM>(plugins.size()));
    }
    result->code = 0;
}

DWORD WINAPI RunJob(LPVOID parameter) {
    std::unique_ptr<JobResult> result(new JobResult());
    result->job = *static_cast<Job *>(parameter);
    delete static_cast<Job *>(parameter);
    const Job &job = result->job;
    TakeOutput();
    switch (job.kind) {
    case kJobScan:
        RunScan(job, result.get());
        break;
    case kJobInstall:
        result->code = Install(job.plugin, job.runtime, job.runtimeGiven);
        break;
    case kJobUninstall:
        result->code = Uninstall(job.plugin);
        break;
    case kJobUpdateAll:
        result->code = 0;
        for (const std::string &folder : job.folders) {
            if (g_state.cancel) {
                break;
            }
            int code =
                Update(folder, job.runtime, job.runtimeGiven, [] { return g_state.cancel != 0; });
            result->code = code > result->code ? code : result->code;
        }
        break;
    case kJobCheck:
        result->code = Check(job.plugin, std::vector<std::string>(), NULL);
        break;
    }
    result->output = TakeOutput();
    if (job.kind == kJobInstall || job.kind == kJobUninstall) {
        // The row is scanned again, whatever came of the change.
        TestNamesFolder names;
        result->rows = ScanPlugin(job.plugin, names.path());
        TakeOutput();
    }
    result->cancelled = g_state.cancel != 0;
    Post(kDoneMessage, 0, reinterpret_cast<LPARAM>(result.release()));
    return 0;
}

// ---- The list ----

int Selected() {
    int item = ListView_GetNextItem(g_state.list, -1, LVNI_SELECTED);
    if (item < 0) {
        return -1;
    }
    LVITEMW entry;
    ZeroMemory(&entry, sizeof entry);
    entry.mask = LVIF_PARAM;
    entry.iItem = item;
    ListView_GetItem(g_state.list, &entry);
    // Between a change's new rows and the refilled list, an item may still
    // name a row that is gone.
    return entry.lParam < static_cast<LPARAM>(g_state.rows.size()) ? static_cast<int>(entry.lParam)
                                                                   : -1;
}

void SetCell(int item, int column, const std::wstring &text) {
    ListView_SetItemText(g_state.list, item, column, const_cast<wchar_t *>(text.c_str()));
}

// Several folders: the file column names the folder too.
std::wstring FileCell(const ScanRow &row) {
    return g_state.folders.size() > 1 ? Wide(FolderOf(row.plugin)) + row.file : row.file;
}

void FillList(int select) {
    SendMessageW(g_state.list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(g_state.list);
    for (size_t i = 0; i < g_state.rows.size(); ++i) {
        const ScanRow &row = g_state.rows[i];
        std::wstring file = FileCell(row);
        LVITEMW entry;
        ZeroMemory(&entry, sizeof entry);
        entry.mask = LVIF_TEXT | LVIF_PARAM;
        entry.iItem = static_cast<int>(i);
        entry.pszText = const_cast<wchar_t *>(file.c_str());
        entry.lParam = static_cast<LPARAM>(i);
        int item = ListView_InsertItem(g_state.list, &entry);
        SetCell(item, 1, row.description);
        SetCell(item, 2, VerdictName(row.verdict));
        SetCell(item, 3, row.basis);
    }
    if (select >= 0 && select < static_cast<int>(g_state.rows.size())) {
        ListView_SetItemState(g_state.list, select, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(g_state.list, select, FALSE);
    }
    SendMessageW(g_state.list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_state.list, NULL, TRUE);
}

// The rows of one plug-in replaced by those scanned after a change, in place.
int ReplaceRows(const std::string &plugin, const std::vector<ScanRow> &fresh) {
    std::vector<ScanRow> rows;
    int at = -1;
    for (const ScanRow &row : g_state.rows) {
        if (!SameFile(row.plugin, plugin)) {
            rows.push_back(row);
        } else if (at < 0) {
            at = static_cast<int>(rows.size());
            rows.insert(rows.end(), fresh.begin(), fresh.end());
        }
    }
    if (at < 0) {
        at = static_cast<int>(rows.size());
        rows.insert(rows.end(), fresh.begin(), fresh.end());
    }
    g_state.rows.swap(rows);
    return at;
}

COLORREF MarkColour(RowMark mark) {
    switch (mark) {
    case kMarkGood:
        return RGB(0, 110, 0);
    case kMarkAction:
        return RGB(180, 90, 0);
    case kMarkBroken:
        return RGB(190, 0, 0);
    default:
        return GetSysColor(COLOR_GRAYTEXT);
    }
}

// The verdict column in its mark's colour.
LRESULT DrawList(NMLVCUSTOMDRAW *draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        size_t row = static_cast<size_t>(draw->nmcd.lItemlParam);
        draw->clrText = GetSysColor(COLOR_WINDOWTEXT);
        if (draw->iSubItem == 2 && row < g_state.rows.size()) {
            draw->clrText = MarkColour(MarkOf(g_state.rows[row]));
        }
        return CDRF_DODEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

// ---- Buttons ----

void Enable(int id, bool enabled) {
    EnableWindow(Control(id), enabled ? TRUE : FALSE);
}

void UpdateButtons() {
    int row = Selected();
    RowActions actions = {false, false, false};
    if (row >= 0 && !Busy()) {
        actions = ActionsFor(g_state.rows[row]);
    }
    Enable(IDC_INSTALL, actions.install);
    Enable(IDC_UNINSTALL, actions.uninstall);
    Enable(IDC_CHECK, actions.check);
    Enable(IDC_UPDATE_ALL, !Busy() && AnyOlderCopy(g_state.rows));
    Enable(IDC_CANCEL, Busy());
    Enable(IDC_RESCAN, !Busy() && !g_state.folders.empty());
    Enable(IDC_FOLDER, !Busy());
    Enable(IDC_RUNTIME, !Busy());
}

void SetStatus(const std::wstring &text) {
    SetWindowTextW(g_state.status, text.c_str());
}

void StartJob(Job *job) {
    g_state.cancel = 0;
    g_state.running = job->kind;
    g_state.worker = CreateThread(NULL, 0, RunJob, job, 0, NULL);
    if (g_state.worker == NULL) {
        delete job;
    }
    UpdateButtons();
}

void StartScan(const std::vector<std::string> &folders) {
    if (Busy()) {
        return;
    }
    g_state.folders = folders;
    g_state.rows.clear();
    FillList(-1);
    SendMessageW(g_state.progress, PBM_SETPOS, 0, 0);
    StartJob(new Job{kJobScan, folders, std::string(), std::string(), false});
}

std::string ChosenRuntime() {
    return SendMessageW(g_state.runtime, CB_GETCURSEL, 0, 0) == 1 ? "msvcr70" : "msvcrt";
}

bool IsNotAnsi(const std::string &folder) {
    for (const std::string &known : g_state.notAnsi) {
        if (SameFile(known, folder)) {
            return true;
        }
    }
    return false;
}

// Where this process may not write (Program Files, from Vista on, for a
// user who is not running it as administrator). With asInvoker in the
// manifest, the system refuses such writes instead of diverting them into
// the user's VirtualStore, where the player would never see them.
bool WriteDenied(const std::string &folder) {
    HANDLE file =
        CreateFileA((WithoutSeparator(folder) + "\\velkor-access.tmp").c_str(), GENERIC_WRITE, 0,
                    NULL, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    CloseHandle(file);
    return false;
}

std::wstring LanguageArgument() {
    return MessageLanguageId() == MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT) ? L"--lang=ja"
                                                                             : L"--lang=en";
}

// One argument of a command line, as CommandLineToArgvW reads it back: the
// backslash of a drive's root, C:\, would escape the closing quote.
std::wstring Argument(const std::wstring &text) {
    std::wstring quoted = L"\"" + text;
    for (size_t i = text.size(); i > 0 && text[i - 1] == L'\\'; --i) {
        quoted += L'\\';
    }
    return quoted + L"\"";
}

// Offers to start the window again as administrator on the same folders.
void OfferAdmin(const std::string &folder) {
    std::wstring question = Say(msg::kAskAdmin, Wide(WithoutSeparator(folder)));
    if (MessageBoxW(g_state.window, question.c_str(), L"Velkor", MB_YESNO | MB_ICONWARNING) !=
        IDYES) {
        return;
    }
    std::vector<wchar_t> self(32768, L'\0');
    GetModuleFileNameW(NULL, self.data(), static_cast<DWORD>(self.size()));
    std::wstring arguments = LanguageArgument();
    for (const std::string &scanned : g_state.folders) {
        arguments += L" " + Argument(Wide(scanned));
    }
    if (reinterpret_cast<INT_PTR>(ShellExecuteW(g_state.window, L"runas", self.data(),
                                                arguments.c_str(), NULL, SW_SHOWNORMAL)) > 32) {
        DestroyWindow(g_state.window);
    }
}

// The shield on the buttons that change a folder where that needs an
// administrator.
void MarkShields() {
    bool denied = false;
    for (const std::string &folder : g_state.folders) {
        denied = denied || WriteDenied(folder);
    }
    for (int id : {IDC_INSTALL, IDC_UNINSTALL, IDC_UPDATE_ALL}) {
        SendMessageW(Control(id), BCM_SETSHIELD, 0, denied ? TRUE : FALSE);
    }
}

// What a change's status names: the plug-in, or the button's text without
// its mnemonic's "&".
std::wstring Subject(const Job &job) {
    if (job.kind != kJobUpdateAll) {
        return Wide(NameOf(job.plugin));
    }
    std::wstring text;
    for (wchar_t c : Say(msg::kButtonUpdateAll)) {
        if (c != L'&') {
            text += c;
        }
    }
    return text;
}

void StartChange(const Job &job) {
    std::string folder = job.kind == kJobUpdateAll ? job.folders.front() : FolderOf(job.plugin);
    if (IsNotAnsi(folder)) {
        std::wstring text = Say(msg::kFolderNotAnsi, Wide(folder), Number(GetACP()));
        MessageBoxW(g_state.window, text.c_str(), L"Velkor", MB_OK | MB_ICONERROR);
        return;
    }
    for (const std::string &changed :
         job.kind == kJobUpdateAll ? job.folders : std::vector<std::string>{folder}) {
        if (WriteDenied(changed)) {
            OfferAdmin(changed);
            return;
        }
    }
    g_state.lastChange = job;
    SetStatus(Say(msg::kStatusWorking, Subject(job)));
    StartJob(new Job(job));
}

void OnAction(JobKind kind) {
    int row = Selected();
    if (Busy() || (row < 0 && kind != kJobUpdateAll)) {
        return;
    }
    Job job = {kind, g_state.folders, row >= 0 ? g_state.rows[row].plugin : std::string(),
               ChosenRuntime(), g_state.runtimeGiven};
    if (kind == kJobCheck) {
        SetStatus(Say(msg::kStatusWorking, Wide(NameOf(job.plugin))));
        StartJob(new Job(job));
    } else {
        StartChange(job);
    }
}

// ---- The titles view ----

LRESULT CALLBACK CheckWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, IDC_CHECK_TEXT), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY: {
        HFONT font = reinterpret_cast<HFONT>(
            SendMessageW(GetDlgItem(window, IDC_CHECK_TEXT), WM_GETFONT, 0, 0));
        if (font != NULL) {
            DeleteObject(font);
        }
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ShowTitles(const std::string &plugin, const std::wstring &text) {
    std::wstring crlf;
    for (wchar_t c : text) {
        crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    }
    std::wstring title = Say(msg::kCheckWindowTitle, Wide(NameOf(plugin)));
    HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, VELKOR_CHECK_CLASS, title.c_str(),
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, Scaled(760),
                                  Scaled(420), g_state.window, NULL, GetModuleHandleW(NULL), NULL);
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", crlf.c_str(),
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL |
                                    ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                                0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_CHECK_TEXT),
                                GetModuleHandleW(NULL), NULL);
    // The table lines up by cells of one width for ASCII and two for
    // Japanese, as in a console: a fixed-pitch font with Japanese.
    HFONT font = CreateFontW(-Scaled(13), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             FIXED_PITCH | FF_MODERN, L"MS Gothic");
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    RECT client;
    GetClientRect(window, &client);
    MoveWindow(edit, 0, 0, client.right, client.bottom, FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    SetFocus(edit);
}

// ---- What a finished job means ----

// A change that failed says why in a box, with the folder's state and what
// to do; true when the user asks to try it again. One that Cancel stopped
// was taken back, and the status says so, but a folder that could not be
// put back is always told. A file in use offers Retry, unless the window
// is closing: its box then stands alone.
bool TellFailure(const JobResult &result) {
    if (result.code == 0 || (result.cancelled && result.code != kExitNotPutBack)) {
        return false;
    }
    HWND owner = g_state.closing ? NULL : g_state.window;
    if (!g_state.closing && result.output.find(Say(msg::kAdviceClose)) != std::wstring::npos) {
        std::wstring text = Say(msg::kInUse, result.output);
        return MessageBoxW(owner, text.c_str(), L"Velkor", MB_RETRYCANCEL | MB_ICONWARNING) ==
               IDRETRY;
    }
    MessageBoxW(owner, result.output.c_str(), L"Velkor", MB_OK | MB_ICONERROR);
    return false;
}

void OnDone(JobResult *result) {
    WaitForSingleObject(g_state.worker, INFINITE);
    CloseHandle(g_state.worker);
    g_state.worker = NULL;
    const Job &job = result->job;
    if (job.kind == kJobScan) {
        std::wstring where;
        for (const std::string &folder : job.folders) {
            where += (where.empty() ? L"" : L", ") + Wide(folder);
        }
        if (!result->cancelled) {
            SendMessageW(g_state.progress, PBM_SETPOS, 100, 0);
        }
        SetStatus(
            result->cancelled ? Say(msg::kStatusCancelled)
            : !result->output.empty() && g_state.rows.empty()
                ? result->output
                : Say(msg::kStatusScanned, Number(static_cast<DWORD>(g_state.rows.size())), where));
        MarkShields();
    } else if (job.kind == kJobCheck) {
        SetStatus(std::wstring());
        // A check that the user stopped, or closed the window on, shows nothing.
        if (!result->cancelled && !g_state.closing) {
            if (result->code == 0) {
                ShowTitles(job.plugin, result->output);
            } else {
                MessageBoxW(g_state.window, result->output.c_str(), L"Velkor",
                            MB_OK | MB_ICONERROR);
            }
        }
    } else {
        if (job.kind != kJobUpdateAll) {
            int at = ReplaceRows(job.plugin, result->rows);
            FillList(at);
        }
        SetStatus(Say(result->code == 0 ? msg::kStatusDone : msg::kStatusFailed, Subject(job)));
        if (TellFailure(*result)) {
            Job again = job;
            delete result;
            UpdateButtons();
            StartChange(again);
            return;
        }
        if (job.kind == kJobUpdateAll && !g_state.closing) {
            // Every copy may have changed: the folders are scanned again.
            std::vector<std::string> folders = g_state.folders;
            delete result;
            StartScan(folders);
            return;
        }
    }
    delete result;
    UpdateButtons();
    if (g_state.closing) {
        DestroyWindow(g_state.window);
    }
}

// ---- Folders ----

// The ANSI name that the commands work with; where the code page cannot
// write the folder's name, its short name serves for scans, and changes
// are refused.
bool AddFolder(const std::wstring &given, std::vector<std::string> *folders) {
    // A folder named on the command line may be relative to where the
    // program was started; the children start elsewhere.
    std::vector<wchar_t> full(32768, L'\0');
    DWORD length =
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), NULL);
    std::wstring wide = length != 0 && length < full.size() ? full.data() : given;
    std::string ansi;
    if (!ToAnsi(wide, &ansi)) {
        if (!AnsiPath(wide, &ansi)) {
            return false;
        }
        g_state.notAnsi.push_back(WithoutSeparator(ansi));
    }
    // Several plug-ins dropped from one folder: the folder is scanned once.
    for (const std::string &known : *folders) {
        if (SameFile(known, WithoutSeparator(ansi))) {
            return true;
        }
    }
    folders->push_back(WithoutSeparator(ansi));
    return true;
}

void PickFolder() {
    if (Busy()) {
        return;
    }
    std::wstring prompt = Say(msg::kPickFolder);
    BROWSEINFOW browse;
    ZeroMemory(&browse, sizeof browse);
    browse.hwndOwner = g_state.window;
    browse.lpszTitle = prompt.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST chosen = SHBrowseForFolderW(&browse);
    if (chosen == NULL) {
        return;
    }
    wchar_t path[MAX_PATH];
    std::vector<std::string> folders;
    if (SHGetPathFromIDListW(chosen, path) && AddFolder(path, &folders)) {
        StartScan(folders);
    }
    CoTaskMemFree(chosen);
}

// A folder dropped onto the window is scanned; a plug-in, its folder.
void OnDrop(HDROP drop) {
    std::vector<std::string> folders;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i < count; ++i) {
        std::vector<wchar_t> path(DragQueryFileW(drop, i, NULL, 0) + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
        std::wstring wide = path.data();
        DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            // With its separator: C: alone is the current folder of drive C.
            wide = wide.substr(0, wide.find_last_of(L"\\/") + 1);
        }
        AddFolder(wide, &folders);
    }
    DragFinish(drop);
    if (!folders.empty()) {
        StartScan(folders);
    }
}

// The player's Plugins folders, or the folder picker when there are none.
void FirstScan(const std::vector<std::string> &given) {
    if (!given.empty()) {
        StartScan(given);
        return;
    }
    SetStatus(Say(msg::kStatusSearching));
    PlayerSearch search = SearchPlayer(ReadPlayerRegistry(), SystemPlayerFiles());
    if (!search.folders.empty()) {
        StartScan(search.folders);
        return;
    }
    SetStatus(Say(msg::kNoPlayer));
    PickFolder();
}

// ---- The main window ----

HWND MakeControl(const wchar_t *type, const std::wstring &text, DWORD style, int id) {
    HWND control = CreateWindowExW(
        0, type, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, g_state.window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(NULL), NULL);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_state.font), FALSE);
    return control;
}

HWND MakeButton(const Text &text, int id) {
    return MakeControl(L"BUTTON", Say(text), WS_TABSTOP | BS_PUSHBUTTON, id);
}

// Controls in tab order: the list, the row's buttons, then the folder's.
void MakeControls() {
    g_state.status =
        MakeControl(L"STATIC", std::wstring(), SS_LEFTNOWORDWRAP | SS_NOPREFIX, IDC_STATUS);
    g_state.list = MakeControl(
        WC_LISTVIEWW, std::wstring(),
        WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, IDC_PLUGIN_LIST);
    ListView_SetExtendedListViewStyle(g_state.list, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    std::wstring header = Say(msg::kScanColumns) + L"|";
    const int widths[] = {140, 170, 170, 420};
    for (int column = 0; column < 4; ++column) {
        size_t bar = header.find(L'|');
        std::wstring caption = header.substr(0, bar);
        header.erase(0, bar + 1);
        LVCOLUMNW entry;
        ZeroMemory(&entry, sizeof entry);
        entry.mask = LVCF_TEXT | LVCF_WIDTH;
        entry.cx = Scaled(widths[column]);
        entry.pszText = const_cast<wchar_t *>(caption.c_str());
        ListView_InsertColumn(g_state.list, column, &entry);
    }
    MakeButton(msg::kButtonInstall, IDC_INSTALL);
    MakeControl(L"STATIC", Say(msg::kLabelRuntime), SS_RIGHT, IDC_RUNTIME_LABEL);
    g_state.runtime =
        MakeControl(L"COMBOBOX", std::wstring(), WS_TABSTOP | CBS_DROPDOWNLIST, IDC_RUNTIME);
    SendMessageW(g_state.runtime, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"msvcrt"));
    SendMessageW(g_state.runtime, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"msvcr70"));
    SendMessageW(g_state.runtime, CB_SETCURSEL, 0, 0);
    MakeButton(msg::kButtonUninstall, IDC_UNINSTALL);
    MakeButton(msg::kButtonCheck, IDC_CHECK);
    MakeButton(msg::kButtonUpdateAll, IDC_UPDATE_ALL);
    g_state.progress = MakeControl(PROGRESS_CLASSW, std::wstring(), 0, IDC_PROGRESS);
    MakeButton(msg::kButtonCancel, IDC_CANCEL);
    MakeButton(msg::kButtonFolder, IDC_FOLDER);
    MakeButton(msg::kButtonRescan, IDC_RESCAN);
    MakeButton(msg::kButtonClose, IDC_CLOSE);
}

// The width of a control's text in the window's font.
int TextWidth(HWND control) {
    wchar_t text[128];
    GetWindowTextW(control, text, 128);
    HDC dc = GetDC(g_state.window);
    HGDIOBJ old = SelectObject(dc, g_state.font);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    SelectObject(dc, old);
    ReleaseDC(g_state.window, dc);
    return size.cx;
}

// A button as wide as its text needs, at least the usual width.
int ButtonWidth(int id) {
    int width = TextWidth(Control(id)) + Scaled(20);
    return width > Scaled(88) ? width : Scaled(88);
}

// The last column takes the list's width that the others leave.
void FitLastColumn() {
    RECT client;
    GetClientRect(g_state.list, &client);
    int rest = client.right;
    for (int column = 0; column < 3; ++column) {
        rest -= ListView_GetColumnWidth(g_state.list, column);
    }
    ListView_SetColumnWidth(g_state.list, 3, rest > Scaled(200) ? rest : Scaled(200));
}

// The client width that the bottom row of buttons needs, in either language.
int NeededWidth() {
    int width = TextWidth(Control(IDC_RUNTIME_LABEL)) + Scaled(4) + Scaled(90) + Scaled(24);
    for (int id : {IDC_INSTALL, IDC_UNINSTALL, IDC_CHECK, IDC_UPDATE_ALL, IDC_FOLDER, IDC_RESCAN,
                   IDC_CLOSE}) {
        width += ButtonWidth(id) + Scaled(6);
    }
    return width + 2 * Scaled(8);
}

// The window's outer width for a client width.
int OuterWidth(int client) {
    RECT rect = {0, 0, client, 100};
    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES);
    return rect.right - rect.left;
}

void Layout() {
    RECT client;
    GetClientRect(g_state.window, &client);
    int margin = Scaled(8);
    int gap = Scaled(6);
    int height = Scaled(26);
    int width = client.right - 2 * margin;
    int bottom = client.bottom - margin - height;
    int progressTop = bottom - gap - height;
    MoveWindow(g_state.status, margin, margin, width, Scaled(18), TRUE);
    int listTop = margin + Scaled(18) + gap;
    MoveWindow(g_state.list, margin, listTop, width, progressTop - gap - listTop, TRUE);
    FitLastColumn();
    int cancel = ButtonWidth(IDC_CANCEL);
    MoveWindow(g_state.progress, margin, progressTop + Scaled(4), width - cancel - gap,
               height - Scaled(8), TRUE);
    MoveWindow(Control(IDC_CANCEL), client.right - margin - cancel, progressTop, cancel, height,
               TRUE);
    int x = margin;
    for (int id : {IDC_INSTALL, 0, IDC_RUNTIME, IDC_UNINSTALL, IDC_CHECK, IDC_UPDATE_ALL}) {
        if (id == 0) {
            // The runtime's label, then its list, beside Install.
            int w = TextWidth(Control(IDC_RUNTIME_LABEL)) + Scaled(4);
            MoveWindow(Control(IDC_RUNTIME_LABEL), x, bottom + Scaled(5), w, height, TRUE);
            x += w + gap / 2;
            continue;
        }
        int w = id == IDC_RUNTIME ? Scaled(90) : ButtonWidth(id);
        MoveWindow(Control(id), x, bottom, w, id == IDC_RUNTIME ? Scaled(200) : height, TRUE);
        x += w + gap;
    }
    int right = client.right - margin;
    for (int id : {IDC_CLOSE, IDC_RESCAN, IDC_FOLDER}) {
        int w = ButtonWidth(id);
        right -= w;
        MoveWindow(Control(id), right, bottom, w, height, TRUE);
        right -= gap;
    }
}

// Esc stops the running job, or closes the window.
void OnCancel() {
    if (Busy()) {
        InterlockedExchange(&g_state.cancel, 1);
        EndChildren();
    } else {
        PostMessageW(g_state.window, WM_CLOSE, 0, 0);
    }
}

// Enter does what the selected row most likely wants.
LRESULT DefaultButton() {
    for (int id : {IDC_INSTALL, IDC_CHECK}) {
        if (IsWindowEnabled(Control(id))) {
            return MAKELONG(id, DC_HASDEFID);
        }
    }
    return 0;
}

void OnCommand(int id) {
    switch (id) {
    case IDC_INSTALL:
        OnAction(kJobInstall);
        break;
    case IDC_UNINSTALL:
        OnAction(kJobUninstall);
        break;
    case IDC_CHECK:
        OnAction(kJobCheck);
        break;
    case IDC_UPDATE_ALL:
        OnAction(kJobUpdateAll);
        break;
    case IDC_FOLDER:
        PickFolder();
        break;
    case IDC_RESCAN:
        if (!Busy() && !g_state.folders.empty()) {
            StartScan(std::vector<std::string>(g_state.folders));
        }
        break;
    case IDC_CANCEL:
    case IDCANCEL:
        OnCancel();
        break;
    case IDC_CLOSE:
        PostMessageW(g_state.window, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

LRESULT OnNotify(NMHDR *header) {
    if (header->idFrom != IDC_PLUGIN_LIST) {
        return 0;
    }
    if (header->code == NM_CUSTOMDRAW) {
        return DrawList(reinterpret_cast<NMLVCUSTOMDRAW *>(header));
    } else if (header->code == LVN_ITEMCHANGED) {
        UpdateButtons();
    } else if (header->code == LVN_ITEMACTIVATE) {
        LRESULT button = DefaultButton();
        if (button != 0) {
            OnCommand(LOWORD(button));
        }
    }
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO:
        if (g_state.list != NULL) {
            reinterpret_cast<MINMAXINFO *>(lParam)->ptMinTrackSize = {OuterWidth(NeededWidth()),
                                                                      Scaled(320)};
        }
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == IDC_RUNTIME) {
            g_state.runtimeGiven = true;
        } else if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
            OnCommand(LOWORD(wParam));
        }
        return 0;
    case DM_GETDEFID:
        return DefaultButton();
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR *>(lParam));
    case WM_DROPFILES:
        if (!Busy()) {
            OnDrop(reinterpret_cast<HDROP>(wParam));
        } else {
            DragFinish(reinterpret_cast<HDROP>(wParam));
        }
        return 0;
    case kRowsMessage: {
        std::unique_ptr<std::vector<ScanRow>> rows(
            reinterpret_cast<std::vector<ScanRow> *>(lParam));
        int select = Selected();
        g_state.rows.insert(g_state.rows.end(), rows->begin(), rows->end());
        FillList(select);
        return 0;
    }
    case kProgressMessage:
        SendMessageW(g_state.progress, PBM_SETRANGE32, 0, lParam > 0 ? lParam : 1);
        SendMessageW(g_state.progress, PBM_SETPOS, wParam, 0);
        return 0;
    case kStatusMessage: {
        std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring *>(lParam));
        SetStatus(*text);
        return 0;
    }
    case kDoneMessage:
        OnDone(reinterpret_cast<JobResult *>(lParam));
        return 0;
    case kStartMessage:
        FirstScan(*reinterpret_cast<std::vector<std::string> *>(lParam));
        return 0;
    case WM_CLOSE:
        if (Busy()) {
            // A scan or a check ends with its children. A change runs to its
            // end, the check behind Velkor too: ending that check would take
            // back a change that worked.
            if (g_state.running == kJobScan || g_state.running == kJobCheck) {
                InterlockedExchange(&g_state.cancel, 1);
                EndChildren();
            }
            g_state.closing = true;
            ShowWindow(window, SW_HIDE);
            return 0;
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void MakeFont() {
    HDC screen = GetDC(NULL);
    g_state.dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    // The structure as Windows XP knows it: later versions grew it, and XP
    // refuses a size it does not know.
    NONCLIENTMETRICSW metrics;
    ZeroMemory(&metrics, sizeof metrics);
#if WINVER >= 0x0600
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
#else
    metrics.cbSize = sizeof metrics;
#endif
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0);
    g_state.font = CreateFontIndirectW(&metrics.lfMessageFont);
}

bool RegisterClasses(HINSTANCE instance) {
    WNDCLASSEXW main;
    ZeroMemory(&main, sizeof main);
    main.cbSize = sizeof main;
    main.lpfnWndProc = MainWindowProc;
    main.hInstance = instance;
    main.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    main.hCursor = LoadCursorW(NULL, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    main.lpszClassName = VELKOR_WINDOW_CLASS;
    WNDCLASSEXW check = main;
    check.lpfnWndProc = CheckWindowProc;
    check.lpszClassName = VELKOR_CHECK_CLASS;
    return RegisterClassExW(&main) != 0 && RegisterClassExW(&check) != 0;
}

// The folders given on the command line, and --lang.
std::vector<std::string> ParseArguments() {
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> folders;
    for (int i = 1; argv != NULL && i < count; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--lang=ja" || arg == L"--lang=en") {
            SetLanguage(arg == L"--lang=ja" ? kJapanese : kEnglish);
        } else if (!arg.empty() && arg[0] != L'-') {
            AddFolder(arg, &folders);
        }
    }
    LocalFree(argv);
    return folders;
}

// Vista and later keep messages from programs of lower rights out of an
// administrator's window, and Explorer's drop is three of them: after
// "restart as administrator", dropping a folder would do nothing. Windows
// XP has no such filter, nor the function that opens it.
void LetDropsIn() {
    typedef BOOL(WINAPI * ChangeWindowMessageFilterFn)(UINT message, DWORD flag);
    const DWORD kAllow = 1;          // MSGFLT_ADD
    const UINT kCopyGlobalData = 73; // WM_COPYGLOBALDATA, which carries the drop's data
    ChangeWindowMessageFilterFn allow =
        reinterpret_cast<ChangeWindowMessageFilterFn>(reinterpret_cast<AnyFunction>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilter")));
    if (allow != NULL) {
        allow(WM_DROPFILES, kAllow);
        allow(WM_COPYDATA, kAllow);
        allow(kCopyGlobalData, kAllow);
    }
}

// Keys that belong to the whole window: F5 scans again, and the dialog
// keys (Tab, mnemonics, Enter, Esc) in whichever window has them.
bool HandleKey(MSG *message) {
    if (message->message == WM_KEYDOWN && message->wParam == VK_F5 &&
        GetAncestor(message->hwnd, GA_ROOT) == g_state.window) {
        OnCommand(IDC_RESCAN);
        return true;
    }
    HWND root = GetAncestor(message->hwnd, GA_ROOT);
    return root != NULL && IsDialogMessageW(root, message);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    int count = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv != NULL && count > 1 && kProbeChildArgument == std::wstring(argv[1])) {
        // The same program is the child that loads one plug-in.
        std::vector<std::string> childArgs;
        for (int i = 2; i < count; ++i) {
            std::string ansi;
            ToAnsi(argv[i], &ansi);
            childArgs.push_back(ansi);
        }
        RunProbeChild(childArgs);
    }
    LocalFree(argv);
    SetErrorMode(SEM_FAILCRITICALERRORS);
    InitializeCriticalSection(&g_state.outputLock);
    SetLanguage(UserLanguage());
    std::vector<std::string> folders = ParseArguments();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                          ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The folder picker's newer dialog needs COM in this thread.
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    MakeFont();
    LetDropsIn();
    if (!RegisterClasses(instance)) {
        return 1;
    }
    std::wstring title = Say(msg::kWindowTitle, OwnVersion());
    g_state.window =
        CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, VELKOR_WINDOW_CLASS, title.c_str(),
                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, Scaled(960), Scaled(540),
                        NULL, NULL, instance, NULL);
    if (g_state.window == NULL) {
        return 1;
    }
    MakeControls();
    // Wide enough for every button: Japanese labels are longer.
    RECT frame;
    GetWindowRect(g_state.window, &frame);
    int width = OuterWidth(NeededWidth());
    if (width > frame.right - frame.left) {
        SetWindowPos(g_state.window, NULL, 0, 0, width, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    Layout();
    UpdateButtons();
    ShowWindow(g_state.window, show);
    UpdateWindow(g_state.window);
    SetFocus(g_state.list);
    PostMessageW(g_state.window, kStartMessage, 0, reinterpret_cast<LPARAM>(&folders));
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        if (!HandleKey(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // A scan that Close cut short: its children end with the program, and
    // the work folders go now, as the worker's own clean-up never runs.
    EndChildren();
    RemoveAllWorkFolders();
    CoUninitialize();
    ExitProcess(0);
}
