// Helpers shared by the table and repair tests.
#pragma once

#include "proxy/proxy_state.h"

#include <string>
#include <vector>

// Bytes as text for failure messages: printable ASCII as is, the rest as \xNN.
std::string Escaped(const std::string &bytes);

// The extension list made of these strings, each with its NUL, then the
// final empty string.
std::string ExtensionList(const std::vector<std::string> &strings);

// The entries' names, in table order.
std::vector<std::string> TableNames();

// Puts the library state back to what Init leaves, with the inner file's name
// as the caption of later boxes and code page 932's lead bytes; releases any
// table first.
void ResetProxyState();
