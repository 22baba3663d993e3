// The program's commands. Each returns the exit code: 0 done, 1 bad
// arguments, 2 nothing was changed (a plug-in that cannot be used or
// fronted, or a failed check), 3 failed and the folder was put back, 4 failed
// and the folder could not be put back.
#pragma once

#include "core/verdict.h"

#include <string>
#include <vector>

int Scan(const std::string &folder);

// One row of a scan: a plug-in, or a file that a change cut short left.
struct ScanRow {
    std::string plugin; // the X.dll whose install or uninstall deals with the row
    std::wstring file;  // the file that the row is about
    std::wstring description;
    Verdict verdict;
    std::wstring basis; // what the verdict rests on, and the fix
    bool copy;          // the row's file is a copy of Velkor
    bool older;         // a copy of Velkor older than the program's own
};

// The plug-ins whose files are in the folder, by their X.dll, sorted.
std::vector<std::string> PluginsWithFiles(const std::string &folder);

// The rows of one plug-in, judged in child processes; `namesFolder` holds
// the test names (TestNamesFolder).
std::vector<ScanRow> ScanPlugin(const std::string &plugin, const std::string &namesFolder);

// False, after saying why, for a folder that cannot be scanned.
bool CheckScanFolder(const std::string &folder);

// Titles alone and behind Velkor, for `files`, or for test names when there
// are none. `verdict`, when given, receives the plug-in's: kFronted for a
// Velkor copy, whose own plug-in is checked.
int Check(const std::string &plugin, const std::vector<std::string> &files, Verdict *verdict);

// `runtimeGiven`: the user chose the runtime; a copy being updated keeps its
// own otherwise.
int Install(const std::string &plugin, const std::string &runtime, bool runtimeGiven);
int Uninstall(const std::string &plugin);

// Replaces a copy of Velkor older than the program's own (or of another
// runtime, when one is given) by the program's, all or nothing.
int UpdateCopy(const std::string &plugin, const std::string &runtime, bool runtimeGiven);

// Every older copy in the folder. `stopped`, where given, is asked before
// each copy: a window's Cancel leaves the copies not yet begun as they are.
int Update(const std::string &folder, const std::string &runtime, bool runtimeGiven,
           bool (*stopped)() = nullptr);

// The files that the player loads as input plug-ins, in_*.dll, sorted.
std::vector<std::string> InputPlugins(const std::string &folder);

// The velkor.dll of a runtime ("msvcrt" or "msvcr70"), in its folder beside
// the program, as the package lays them out.
std::string VelkorDll(const std::string &runtime);
