// Where the shared commands write what they say. The console program writes
// it to its console or pipe; the window collects it for its boxes and views.
#pragma once

#include <string>

void Out(const std::wstring &text);
void Err(const std::wstring &text);

// A passing note, such as which plug-in is being checked; empty clears it.
void Progress(const std::wstring &text);
