// Output and input: UTF-16 to and from a console, UTF-8 to a pipe or a
// file, so that the Japanese texts read right whatever the code page.
#pragma once

#include <string>

void Out(const std::wstring &text);
void Err(const std::wstring &text);

// A passing note on the console's last line, such as which plug-in is being
// checked; empty clears it. Nothing when standard error is not a console.
void Progress(const std::wstring &text);

// Asks, and reads one line: true for y or Y (also full-width).
bool AskYesNo(const std::wstring &question);

// True when no other program shares the console, as when Explorer started
// this one: its window closes when the program ends.
bool ConsoleIsOwn();

void WaitForEnter(const std::wstring &prompt);
