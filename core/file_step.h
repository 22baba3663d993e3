// One step of a change to a plug-ins folder: a check, a copy, a rename, a
// removal, or the verification of the change in a child process.
#pragma once

#include <string>

struct FileStep {
    enum Kind { kCheck, kCopy, kRename, kRemove, kVerify };
    Kind kind;
    std::string from; // the file checked or removed, for kCheck and kRemove
    std::string to;   // the front, for kVerify
};
