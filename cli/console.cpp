#include "cli/console.h"

#include <windows.h>

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

void Write(HANDLE out, const std::wstring &text) {
    DWORD written = 0;
    if (IsConsole(out)) {
        // Older consoles refuse a long write as a whole.
        for (size_t at = 0; at < text.size(); at += 4096) {
            size_t count = text.size() - at < 4096 ? text.size() - at : 4096;
            WriteConsoleW(out, text.data() + at, static_cast<DWORD>(count), &written, NULL);
        }
        return;
    }
    int size = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, NULL, 0, NULL, NULL);
    std::string utf8(bytes, '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &utf8[0], bytes, NULL, NULL);
        WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, NULL);
    }
}

// One line of input, without its end; empty at the end of the input.
std::wstring ReadLine() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line;
    DWORD count = 0;
    if (IsConsole(in)) {
        wchar_t c;
        while (ReadConsoleW(in, &c, 1, &count, NULL) && count == 1 && c != L'\n') {
            line += c;
        }
    } else {
        char c;
        std::string bytes;
        while (ReadFile(in, &c, 1, &count, NULL) && count == 1 && c != '\n') {
            bytes += c;
        }
        int wide =
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), NULL, 0);
        line.assign(wide, L'\0');
        if (wide > 0) {
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &line[0],
                                wide);
        }
    }
    return line;
}

} // namespace

void Out(const std::wstring &text) {
    Write(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

void Err(const std::wstring &text) {
    Write(GetStdHandle(STD_ERROR_HANDLE), text);
}

void Progress(const std::wstring &text) {
    // Characters of two cells each would leave half of a longer line behind.
    static size_t shown = 0;
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (IsConsole(err)) {
        std::wstring line = text.substr(0, 36);
        Write(err, L"\r" + std::wstring(shown * 2, L' ') + L"\r" + line);
        shown = line.size();
    }
}

bool AskYesNo(const std::wstring &question) {
    Out(question);
    std::wstring answer = ReadLine();
    size_t first = answer.find_first_not_of(L" \t\r\x3000");
    wchar_t c = first == std::wstring::npos ? L'\0' : answer[first];
    return c == L'y' || c == L'Y' || c == L'\xFF59' || c == L'\xFF39';
}

bool ConsoleIsOwn() {
    if (!IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)) || !IsConsole(GetStdHandle(STD_INPUT_HANDLE))) {
        return false;
    }
    // Under Wine, a program started from a Unix terminal is alone on its
    // console too, but the terminal stays when it ends.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL) {
        return false;
    }
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForEnter(const std::wstring &prompt) {
    Out(prompt);
    ReadLine();
}
