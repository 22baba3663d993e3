// The changes that install and uninstall make to a plug-ins folder, and how
// each is taken back. Every file operation goes through FileOps, so that
// tests can make any one of them fail.
#pragma once

#include "core/messages.h"
#include "core/plugin_files.h"

#include <windows.h>

#include <string>
#include <vector>

class FileOps {
  public:
    virtual ~FileOps() {}
    // Each returns 0, or the system's error code.
    // Opens the file for writing and closes it: changes nothing, but fails
    // as a change would when the file is in use or access is denied.
    virtual DWORD CheckChangeable(const std::string &path) = 0;
    virtual DWORD Copy(const std::string &from, const std::string &to) = 0; // never overwrites
    virtual DWORD Rename(const std::string &from, const std::string &to) = 0;
    virtual DWORD Remove(const std::string &path) = 0;
};

FileOps &SystemFileOps();

// The last step of install: the folder as changed is checked.
class Verifier {
  public:
    virtual ~Verifier() {}
    // False, with the reason, when the change does not work as it should.
    virtual bool Verify(std::wstring *why) = 0;
};

// A free temporary name in the front's folder for `suffix`.
std::string SpareName(const std::string &front, const std::string &suffix);

// The commands' exit code when a change failed and the folder could not be
// put back: the user must act.
const int kExitNotPutBack = 4;

struct StepsOutcome {
    int exitCode = 0;     // 0 done, 2 a check failed, 3 put back, 4 not put back
    FileStep failed = {}; // the step or check that failed
    DWORD error = 0;      // its system error; 0 for a failed verification
    std::wstring why;     // a failed verification's reason
    FileStep failedUndo = {};
    DWORD undoError = 0;
    std::vector<FileStep> left; // with exit code 4: what is still to do, in order
};

// Checks that each of `changed` can be changed, then takes the steps; when
// one fails, takes back those done, last first.
StepsOutcome RunSteps(FileOps &ops, Verifier *verifier, const std::vector<std::string> &changed,
                      const std::vector<FileStep> &steps);

// What happened, for the user. `installing` chooses the words; `failed`
// gives them.
std::wstring DescribeFailure(const StepsOutcome &outcome, bool installing);
std::wstring DescribeFailure(const StepsOutcome &outcome, const Text &failed);
