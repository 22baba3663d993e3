// Copies of Velkor in a plug-ins folder: which version, which runtime, and
// the files of a plug-in as Velkor's changes leave them.
#pragma once

#include "core/plugin_files.h"

#include <windows.h>

#include <string>

struct CopyInfo {
    bool velkor = false; // by its version resource
    DWORD versionMS = 0; // the file version, as the resource gives it
    DWORD versionLS = 0;
    std::string runtime; // "msvcrt" or "msvcr70", from the runtime it imports
};

CopyInfo ReadCopy(const std::string &path);

// "1.2.0"
std::wstring VersionText(const CopyInfo &copy);

// The version of the Velkor that this program carries: "1.2.0".
std::wstring OwnVersion();

// Older than the Velkor that this program carries.
bool IsOlderCopy(const CopyInfo &copy);

// X.dll, X.vlk and the spare files beside them, for the plug-in X.dll.
PluginFiles FindPluginFiles(const std::string &dllPath);
