// What Velkor may have left of one plug-in in a Plugins folder, told apart by
// the files alone, and which steps bring it back to a working plug-in. A
// change can be cut short between any two of its file steps (the program
// killed, the machine switched off); every state that leaves is one of
// these, and install and uninstall start from any of them.
//
// Nothing here touches the system, so that every state can be tried.
#pragma once

#include "core/file_step.h"

#include <string>
#include <vector>

// One of a plug-in's files, as found in its folder.
struct FoundFile {
    std::string path;    // empty: there is no such file
    bool velkor = false; // a copy of Velkor, by its version resource

    bool Exists() const {
        return !path.empty();
    }
};

// The files of the plug-in X: X.dll, X.vlk, and the spare files that
// install, update and uninstall make beside them (X.velkor-new, X.velkor-old,
// with a number when the name was taken).
struct PluginFiles {
    std::string dllPath; // where X.dll is or would be
    FoundFile dll;
    FoundFile vlk;
    std::vector<FoundFile> spares; // those found, in no particular order
};

enum PluginState {
    kStateNone,           // neither X.dll nor X.vlk
    kStatePlain,          // X.dll, which is no copy of Velkor, alone
    kStateFronted,        // a copy of Velkor as X.dll, in front of X.vlk
    kStateCutShort,       // X.vlk without X.dll: a change was cut short, and the
                          // player has no plug-in for these files
    kStateCopyWithoutVlk, // a copy of Velkor as X.dll whose X.vlk is gone
    kStateLeftoverVlk,    // X.vlk beside an X.dll that is no copy: the plug-in's
                          // own installer replaced Velkor's copy, and the .vlk
                          // is an older plug-in, which the player ignores
};

PluginState StateOf(const PluginFiles &files);

// The spare files that are copies of Velkor: the only ones ever deleted.
std::vector<std::string> SpareCopies(const PluginFiles &files);

enum RecoveryKind {
    kRecoverNothing,    // nothing of an unfinished change to finish or take back
    kRecoverFinish,     // a copy of Velkor takes the name X.dll: the install
                        // or update that was cut short is finished
    kRecoverTakeBack,   // X.vlk takes its name back: the plug-in is alone again
    kRecoverRemoveCopy, // a copy whose plug-in is gone is removed
};

struct Recovery {
    RecoveryKind kind = kRecoverNothing;
    // All or nothing: taken back, last first, when one fails. For a finish
    // they end with the verification.
    std::vector<FileStep> steps;
    // Spare copies of Velkor to delete once the steps are done. A spare
    // that a step renames into place is not among them.
    std::vector<std::string> spares;
};

// What install (`installing`) or uninstall does first, from the state the
// files are in. `velkor` is the copy that install would put in place, and
// `spare` a free spare name for it beside X.dll.
Recovery PlanRecovery(const PluginFiles &files, bool installing, const std::string &velkor,
                      const std::string &spare);

// The names that a change of this plug-in uses, spares included: each must
// fit the system's limit before the first step is taken.
std::vector<std::string> NamesUsed(const PluginFiles &files, const std::string &spare);

struct FolderPlan {
    std::string front;  // in_xxx.dll
    std::string inner;  // in_xxx.vlk
    std::string spare;  // a temporary name in the same folder
    std::string velkor; // the velkor.dll that install copies
};

// The steps of a change, in order. Install: a copy of Velkor to the new
// spare name, the plug-in renamed to X.vlk, the copy renamed to X.dll, and
// the verification. Uninstall: the copy to the old spare name, X.vlk back
// to X.dll, the copy deleted. Update (`spare` new, `old` old): the new copy
// to its spare name, the old copy to its own, the new one into place, the
// verification, the old one deleted; X.vlk is never touched.
std::vector<FileStep> InstallSteps(const FolderPlan &plan);
std::vector<FileStep> UninstallSteps(const FolderPlan &plan);
std::vector<FileStep> UpdateSteps(const FolderPlan &plan, const std::string &old);

// The suffixes of the spare names, and the name of X.vlk beside X.dll.
extern const char kSpareNew[];
extern const char kSpareOld[];
std::string VlkOf(const std::string &dllPath);
