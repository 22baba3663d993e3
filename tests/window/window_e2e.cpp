// Drives the real window as a user would, through its controls' messages:
// opens it on a Plugins folder, waits for the scan, reads the list's rows,
// installs a plug-in, checks its titles, uninstalls it; in English installs
// it again while it is in use (Retry) and fails to install another, in
// Japanese closes the window during an install and opens it again; then
// scans again with F5 and closes the window. Screenshots of the window and
// of the titles view are saved as BMP files.
//
// It runs inside a Wine desktop of its own (explorer /desktop=...), whose
// programs' standard output does not reach the test script, so everything
// it sees goes to REPORT as UTF-8 lines; a line "FAIL: ..." for each fault,
// and "done" at the end.
//
// usage: window_e2e.exe SETUP_EXE FOLDER REPORT SHOT_PREFIX LANG PLUGIN
//        PLUGIN "-" only opens the window, waits for the scan, reads the rows,
//        takes the screenshot and closes it (make demo).
#include "window/window_ids.h"

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

FILE *g_report = NULL;
bool g_failed = false;
PROCESS_INFORMATION g_process;
std::wstring g_folder;  // the Plugins folder that the window was opened on
std::wstring g_command; // how the window is started

std::string Utf8(const std::wstring &text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    std::string bytes(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, NULL, NULL);
    }
    return bytes;
}

void Report(const std::wstring &line) {
    fprintf(g_report, "%s\n", Utf8(line).c_str());
    fflush(g_report);
}

void Fail(const std::wstring &what) {
    g_failed = true;
    Report(L"FAIL: " + what);
}

// Polls `done` every 200 ms for up to `seconds`.
template <typename Done> bool WaitFor(int seconds, Done done) {
    for (int i = 0; i < seconds * 5; ++i) {
        if (done()) {
            return true;
        }
        Sleep(200);
    }
    return done();
}

struct Found {
    DWORD process;
    const wchar_t *className;
    HWND window;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM parameter) {
    Found *found = reinterpret_cast<Found *>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    if (process == found->process && IsWindowVisible(window) &&
        lstrcmpW(name, found->className) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND TopLevel(const wchar_t *className) {
    Found found = {g_process.dwProcessId, className, NULL};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

std::wstring TextOf(HWND window) {
    // WM_GETTEXT is copied across processes by the system.
    int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::vector<wchar_t> text(length + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

// ---- The list view, in the window's process ----

// List-view messages carry pointers, which must point into the list's own
// process: a buffer there holds the LVITEMW and the text.
class RemoteBuffer {
  public:
    RemoteBuffer() {
        memory_ = static_cast<char *>(VirtualAllocEx(g_process.hProcess, NULL, kSize,
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteBuffer() {
        VirtualFreeEx(g_process.hProcess, memory_, 0, MEM_RELEASE);
    }
    char *at(size_t offset) const {
        return memory_ + offset;
    }
    void Write(size_t offset, const void *bytes, size_t size) const {
        WriteProcessMemory(g_process.hProcess, at(offset), bytes, size, NULL);
    }
    void Read(size_t offset, void *bytes, size_t size) const {
        ReadProcessMemory(g_process.hProcess, at(offset), bytes, size, NULL);
    }
    static const size_t kSize = 8192;

  private:
    char *memory_;
};

const size_t kTextOffset = 1024;
const int kTextChars = 2048;

std::wstring Cell(HWND list, int item, int column) {
    RemoteBuffer buffer;
    LVITEMW entry;
    ZeroMemory(&entry, sizeof entry);
    entry.iSubItem = column;
    entry.pszText = reinterpret_cast<wchar_t *>(buffer.at(kTextOffset));
    entry.cchTextMax = kTextChars;
    buffer.Write(0, &entry, sizeof entry);
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(buffer.at(0)));
    std::vector<wchar_t> text(kTextChars, L'\0');
    buffer.Read(kTextOffset, text.data(), (kTextChars - 1) * sizeof(wchar_t));
    return text.data();
}

struct Row {
    std::wstring file, description, verdict, basis;
};

std::vector<Row> Rows(HWND list) {
    std::vector<Row> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        rows.push_back({Cell(list, i, 0), Cell(list, i, 1), Cell(list, i, 2), Cell(list, i, 3)});
    }
    return rows;
}

void ReportRows(HWND list, const wchar_t *prefix = L"row: ") {
    for (const Row &row : Rows(list)) {
        Report(prefix + row.file + L" | " + row.description + L" | " + row.verdict + L" | " +
               row.basis);
    }
}

bool Select(HWND list, const std::wstring &file) {
    std::vector<Row> rows = Rows(list);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].file == file) {
            RemoteBuffer buffer;
            LVITEMW entry;
            ZeroMemory(&entry, sizeof entry);
            entry.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            entry.state = LVIS_SELECTED | LVIS_FOCUSED;
            buffer.Write(0, &entry, sizeof entry);
            SendMessageW(list, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(buffer.at(0)));
            SendMessageW(list, LVM_ENSUREVISIBLE, i, FALSE);
            return true;
        }
    }
    Fail(L"no row " + file);
    return false;
}

// ---- Screenshots ----

void SaveScreenshot(HWND window, const std::wstring &path) {
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    DWORD stride = (width * 3 + 3) & ~3u;
    DWORD size = stride * height;
    BITMAPFILEHEADER file;
    ZeroMemory(&file, sizeof file);
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    info.bmiHeader.biSizeImage = size;
    FILE *out = _wfopen(path.c_str(), L"wb");
    if (out != NULL) {
        fwrite(&file, sizeof file, 1, out);
        fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        fwrite(bits, size, 1, out);
        fclose(out);
    } else {
        Fail(L"cannot write " + path);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}

// ---- The window's state ----

HWND g_main = NULL;

HWND Item(int id) {
    return GetDlgItem(g_main, id);
}

bool Working() {
    return IsWindowEnabled(Item(IDC_CANCEL)) != FALSE;
}

std::wstring Buttons() {
    std::wstring text;
    const struct {
        const wchar_t *name;
        int id;
    } buttons[] = {{L"install", IDC_INSTALL},
                   {L"uninstall", IDC_UNINSTALL},
                   {L"check", IDC_CHECK},
                   {L"update", IDC_UPDATE_ALL}};
    for (const auto &button : buttons) {
        text += std::wstring(text.empty() ? L"" : L" ") + button.name + L"=" +
                (IsWindowEnabled(Item(button.id)) ? L"1" : L"0");
    }
    return text;
}

int g_boxes = 0; // message boxes answered so far

// What a message box says, on one line.
std::wstring BoxText(HWND box) {
    std::wstring text;
    for (HWND child = GetWindow(box, GW_CHILD); child != NULL;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32];
        GetClassNameW(child, name, 32);
        if (lstrcmpiW(name, L"Static") == 0) {
            text += TextOf(child);
        }
    }
    for (wchar_t &c : text) {
        c = c == L'\n' || c == L'\r' ? L' ' : c;
    }
    return TextOf(box) + L" | " + text;
}

// Presses a message box's default button, after writing what it says.
void AnswerBoxes() {
    HWND box = TopLevel(L"#32770");
    if (box == NULL) {
        return;
    }
    ++g_boxes;
    Report(L"box: " + BoxText(box));
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    Sleep(500);
}

// How a button is pressed: clicked, or from the keyboard, in the list as a
// user would: Enter for the default button, Alt and the underlined letter.
void Press(int id, bool keyboard) {
    HWND list = Item(IDC_PLUGIN_LIST);
    if (!keyboard) {
        PostMessageW(g_main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Item(id)));
    } else if (id == IDC_INSTALL) {
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
    } else {
        // The context code (bit 29): the Alt key is down.
        PostMessageW(list, WM_SYSCHAR, id == IDC_CHECK ? L'c' : L'u', (1 << 29) | 1);
    }
}

// Presses a button, then waits until the job it started has ended. A quick
// job may end before the first look; the status's change tells it ran. The
// window refills its list, and so greys Cancel, before it shows a failure's
// box: a job that must fail waits for its box as well.
bool RunJob(int id, bool keyboard, int seconds, const wchar_t *what, bool box = false) {
    std::wstring before = TextOf(Item(IDC_STATUS));
    int boxes = g_boxes;
    Press(id, keyboard);
    WaitFor(10, [&] { return Working() || TextOf(Item(IDC_STATUS)) != before; });
    bool ended = WaitFor(seconds, [] {
        AnswerBoxes();
        return !Working();
    });
    if (!ended) {
        Fail(std::wstring(what) + L": still working after the time limit");
    }
    if (box && !WaitFor(60, [&] {
            AnswerBoxes();
            return g_boxes > boxes;
        })) {
        Fail(std::wstring(what) + L": no message box");
    }
    Report(L"status: " + TextOf(Item(IDC_STATUS)));
    return ended;
}

bool WaitForScan(int seconds) {
    bool ended = WaitFor(seconds, [] {
        return !Working() && SendMessageW(Item(IDC_PLUGIN_LIST), LVM_GETITEMCOUNT, 0, 0) > 0;
    });
    if (!ended) {
        Fail(L"the scan did not end");
    }
    return ended;
}

// VelkorSetup.exe processes: the window and the children that it started.
int SetupProcesses() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        count += lstrcmpiW(entry.szExeFile, L"VelkorSetup.exe") == 0;
    }
    CloseHandle(snapshot);
    return count;
}

// F5 in the list starts a scan; true once it runs.
bool StartRescan() {
    std::wstring before = TextOf(Item(IDC_STATUS));
    PostMessageW(Item(IDC_PLUGIN_LIST), WM_KEYDOWN, VK_F5, 0);
    return WaitFor(30, [&] { return Working() || TextOf(Item(IDC_STATUS)) != before; });
}

// The player holds `plugin` open, as a running player does, so that it
// cannot be renamed: the install stops with "close the player" and offers
// Retry. With the file free again, Retry installs, and uninstall follows.
void InUseThenRetry(HWND list, const std::wstring &plugin) {
    std::wstring path = g_folder + L"\\" + plugin;
    HANDLE held =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (held == INVALID_HANDLE_VALUE || !Select(list, plugin)) {
        Fail(L"cannot hold " + path);
        return;
    }
    Press(IDC_INSTALL, false);
    HWND box = NULL;
    WaitFor(600, [&] { return (box = TopLevel(L"#32770")) != NULL; });
    CloseHandle(held);
    if (box == NULL) {
        Fail(L"in use: no box");
        return;
    }
    Report(L"in use: " + BoxText(box) + L" retry=" +
           (GetDlgItem(box, IDRETRY) != NULL ? L"1" : L"0"));
    PostMessageW(box, WM_COMMAND, IDRETRY, 0);
    WaitFor(30, [] { return Working(); });
    if (!WaitFor(600, [] { return !Working(); })) {
        Fail(L"retry: still working after the time limit");
    }
    AnswerBoxes();
    Report(L"after retry: " + TextOf(Item(IDC_STATUS)));
    ReportRows(list);
    Select(list, plugin);
    RunJob(IDC_UNINSTALL, false, 600, L"uninstall after retry");
}

// Starts the window; true once it shows.
bool Open() {
    if (g_process.hProcess != NULL) {
        CloseHandle(g_process.hProcess);
        CloseHandle(g_process.hThread);
    }
    ZeroMemory(&g_process, sizeof g_process);
    g_main = NULL;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    std::wstring command = g_command;
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &g_process)) {
        Fail(L"cannot start " + g_command);
        return false;
    }
    WaitFor(120, [] { return (g_main = TopLevel(VELKOR_WINDOW_CLASS)) != NULL; });
    if (g_main == NULL) {
        Fail(L"no window");
    }
    return g_main != NULL;
}

// Closed during a change, the window goes at once and the change runs to
// its end. Opened again, it shows the plug-in installed, and uninstalls it.
bool CloseDuringInstall(const std::wstring &plugin) {
    Select(Item(IDC_PLUGIN_LIST), plugin);
    Press(IDC_INSTALL, false);
    WaitFor(30, [] { return Working(); });
    bool working = Working();
    PostMessageW(g_main, WM_CLOSE, 0, 0);
    Sleep(1000);
    Report(L"closed during install: working=" + std::to_wstring(working) + L" hidden=" +
           std::to_wstring(!IsWindowVisible(g_main)));
    if (WaitForSingleObject(g_process.hProcess, 600000) != WAIT_OBJECT_0) {
        Fail(L"the window did not end after its install");
        return false;
    }
    if (!Open() || !WaitForScan(900)) {
        return false;
    }
    HWND list = Item(IDC_PLUGIN_LIST);
    ReportRows(list, L"reopened row: ");
    Select(list, plugin);
    RunJob(IDC_UNINSTALL, false, 600, L"uninstall after reopening");
    return true;
}

// English runs from the keyboard, Japanese with clicks. Both install, check
// and uninstall `plugin`; English also installs in_ownname.dll, whose check
// fails, and ends with Esc (cancel the scan, then close), Japanese closes
// the window in the middle of a scan.
void Drive(const std::wstring &shots, const std::wstring &plugin, bool keyboard) {
    HWND list = Item(IDC_PLUGIN_LIST);
    if (!WaitForScan(900)) {
        return;
    }
    Report(L"status: " + TextOf(Item(IDC_STATUS)));
    ReportRows(list);
    Report(L"buttons: " + Buttons());
    SaveScreenshot(g_main, shots + L"-scan.bmp");
    if (plugin == L"-" || !Select(list, plugin)) {
        return;
    }
    Report(L"selected: " + Buttons());
    RunJob(IDC_INSTALL, keyboard, 600, L"install");
    Report(L"after install");
    ReportRows(list);
    Select(list, plugin);
    Press(IDC_CHECK, keyboard);
    HWND view = NULL;
    WaitFor(300, [&] { return (view = TopLevel(VELKOR_CHECK_CLASS)) != NULL; });
    if (view == NULL) {
        Fail(L"no titles view");
    } else {
        std::wstring text = TextOf(GetDlgItem(view, IDC_CHECK_TEXT));
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find(L"\r\n", start);
            end = end == std::wstring::npos ? text.size() : end;
            Report(L"check: " + text.substr(start, end - start));
            start = end + 2;
        }
        Sleep(1000);
        SaveScreenshot(view, shots + L"-check.bmp");
        SendMessageW(view, WM_CLOSE, 0, 0);
    }
    WaitFor(30, [] { return !Working(); });
    Select(list, plugin);
    RunJob(IDC_UNINSTALL, keyboard, 600, L"uninstall");
    Report(L"after uninstall");
    ReportRows(list);
    if (keyboard) {
        InUseThenRetry(list, plugin);
    }
    if (keyboard && Select(list, L"in_ownname.dll")) {
        RunJob(IDC_INSTALL, true, 600, L"failing install", true);
        Report(L"after failing install");
        ReportRows(list);
    }
    if (!keyboard) {
        if (!CloseDuringInstall(plugin)) {
            return;
        }
        list = Item(IDC_PLUGIN_LIST);
    }
    if (StartRescan() && WaitForScan(900)) {
        Report(L"rescan: " + TextOf(Item(IDC_STATUS)));
    }
    if (!StartRescan()) {
        Fail(L"no second scan");
    } else if (keyboard) {
        PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);
        WaitFor(120, [] { return !Working(); });
        Report(L"escape: " + TextOf(Item(IDC_STATUS)));
        PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);
    } else {
        Report(L"closing in the middle of a scan");
        PostMessageW(g_main, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(g_process.hProcess, 60000) == WAIT_OBJECT_0) {
        Sleep(2000);
        Report(L"left running: " + std::to_wstring(SetupProcesses()));
    }
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: window_e2e SETUP_EXE FOLDER REPORT SHOT_PREFIX LANG PLUGIN\n");
        return 2;
    }
    g_report = _wfopen(argv[3], L"wb"); // "\n" alone, for grep
    if (g_report == NULL) {
        return 2;
    }
    g_folder = argv[2];
    g_command = L"\"" + std::wstring(argv[1]) + L"\" --lang=" + argv[5] + L" \"" + argv[2] + L"\"";
    if (Open()) {
        Report(L"title: " + TextOf(g_main));
        Drive(argv[4], argv[6], std::wstring(argv[5]) == L"en");
        PostMessageW(g_main, WM_CLOSE, 0, 0);
    }
    if (g_process.hProcess != NULL &&
        WaitForSingleObject(g_process.hProcess, 60000) != WAIT_OBJECT_0) {
        Fail(L"the window did not close");
        TerminateProcess(g_process.hProcess, 1);
    }
    DWORD code = 0;
    GetExitCodeProcess(g_process.hProcess, &code);
    Report(L"exit: " + std::to_wstring(code));
    Report(L"done");
    fclose(g_report);
    return g_failed ? 1 : 0;
}
