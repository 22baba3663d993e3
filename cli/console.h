// The console front: Out, Err and Progress (core/output.h) go to the console
// as UTF-16, and to a pipe or a file as UTF-8, so that the Japanese texts
// read right whatever the code page.
#pragma once

#include "core/output.h"

// Asks, and reads one line: true for y or Y (also full-width).
bool AskYesNo(const std::wstring &question);

// True when no other program shares the console, as when Explorer started
// this one: its window closes when the program ends.
bool ConsoleIsOwn();

void WaitForEnter(const std::wstring &prompt);
