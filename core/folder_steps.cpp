#include "core/folder_steps.h"

#include "core/messages.h"
#include "core/text.h"

#include <stdlib.h>

namespace {

void ClearReadOnly(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
}

// The tests end the program after a given number of file steps
// (VELKOR_END_AFTER_STEP=N), as a crash, a closed window or a power cut
// would, to see that every state that this leaves is told apart and
// recovered.
DWORD EndIfAsked(DWORD error) {
    static int taken = 0;
    static int endAfter = -1;
    if (endAfter < 0) {
        char value[16];
        DWORD length = GetEnvironmentVariableA("VELKOR_END_AFTER_STEP", value, sizeof value);
        endAfter = length > 0 && length < sizeof value ? atoi(value) : 0;
    }
    if (error == 0 && endAfter > 0 && ++taken == endAfter) {
        TerminateProcess(GetCurrentProcess(), 9);
    }
    return error;
}

class SystemOps : public FileOps {
  public:
    DWORD CheckChangeable(const std::string &path) override {
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return GetLastError();
        } else if (attributes & FILE_ATTRIBUTE_READONLY) {
            // It cannot be opened for writing, yet it can be renamed.
            return 0;
        }
        // A DLL that the running player has loaded can still be renamed, but
        // not opened for writing, nor deleted afterwards.
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) {
            return GetLastError();
        }
        CloseHandle(file);
        return 0;
    }

    DWORD Copy(const std::string &from, const std::string &to) override {
        if (!CopyFileA(from.c_str(), to.c_str(), TRUE)) {
            return GetLastError();
        }
        // A read-only velkor.dll, as copied from a CD, would give a copy
        // that uninstall cannot delete.
        ClearReadOnly(to);
        return EndIfAsked(0);
    }

    DWORD Rename(const std::string &from, const std::string &to) override {
        return EndIfAsked(MoveFileA(from.c_str(), to.c_str()) ? 0 : GetLastError());
    }

    DWORD Remove(const std::string &path) override {
        ClearReadOnly(path);
        return EndIfAsked(DeleteFileA(path.c_str()) ? 0 : GetLastError());
    }
};

DWORD Take(FileOps &ops, Verifier *verifier, const FileStep &step, std::wstring *why) {
    switch (step.kind) {
    case FileStep::kCheck:
        return ops.CheckChangeable(step.from);
    case FileStep::kCopy:
        return ops.Copy(step.from, step.to);
    case FileStep::kRename:
        return ops.Rename(step.from, step.to);
    case FileStep::kRemove:
        return ops.Remove(step.from);
    case FileStep::kVerify:
        break;
    }
    return verifier == NULL || verifier->Verify(why) ? 0 : ERROR_INVALID_FUNCTION;
}

// What takes a step back. A copy is taken back even when it failed, since
// it may have left part of its file.
FileStep Inverse(const FileStep &step) {
    if (step.kind == FileStep::kCopy) {
        return {FileStep::kRemove, step.to, std::string()};
    }
    return {FileStep::kRename, step.to, step.from};
}

bool CanBeTakenBack(const FileStep &step) {
    return step.kind == FileStep::kCopy || step.kind == FileStep::kRename;
}

void TakeBack(FileOps &ops, const std::vector<FileStep> &done, StepsOutcome *outcome) {
    outcome->exitCode = 3;
    for (size_t i = done.size(); i-- > 0;) {
        FileStep undo = Inverse(done[i]);
        DWORD error = Take(ops, NULL, undo, NULL);
        // Nothing to remove: the copy never began.
        if (error != 0 && undo.kind == FileStep::kRemove &&
            GetFileAttributesA(undo.from.c_str()) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND) {
            error = 0;
        }
        if (error != 0) {
            outcome->exitCode = kExitNotPutBack;
            outcome->failedUndo = undo;
            outcome->undoError = error;
            for (size_t j = i + 1; j-- > 0;) {
                outcome->left.push_back(Inverse(done[j]));
            }
            return;
        }
    }
}

// The file that a step's system text names.
const std::string &Subject(const FileStep &step) {
    return step.kind == FileStep::kCopy ? step.to : step.from;
}

std::wstring Name(const std::string &path) {
    return Wide(NameOf(path));
}

std::wstring Advice(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) {
        return Say(msg::kAdviceAdmin);
    } else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
               error == ERROR_USER_MAPPED_FILE) {
        return Say(msg::kAdviceClose);
    }
    return std::wstring();
}

std::wstring Reason(const FileStep &step, DWORD error) {
    std::wstring advice = Advice(error);
    return SystemText(error, Subject(step)) + (advice.empty() ? L"" : L" " + advice);
}

std::wstring StepText(const FileStep &step) {
    switch (step.kind) {
    case FileStep::kCopy:
        return Say(msg::kStepCopy, Name(step.from), Name(step.to));
    case FileStep::kRename:
        return Say(msg::kStepRename, Name(step.from), Name(step.to));
    case FileStep::kRemove:
        return Say(msg::kStepRemove, Name(step.from));
    default:
        return Say(msg::kStepVerify, Name(step.to));
    }
}

} // namespace

FileOps &SystemFileOps() {
    static SystemOps ops;
    return ops;
}

std::string SpareName(const std::string &front, const std::string &suffix) {
    std::string base = FolderOf(front) + StemOf(NameOf(front)) + suffix;
    std::string name = base;
    for (int n = 2; GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
        name = base + std::to_string(n);
    }
    return name;
}

StepsOutcome RunSteps(FileOps &ops, Verifier *verifier, const std::vector<std::string> &changed,
                      const std::vector<FileStep> &steps) {
    StepsOutcome outcome;
    for (const std::string &path : changed) {
        FileStep check = {FileStep::kCheck, path, std::string()};
        outcome.error = Take(ops, verifier, check, NULL);
        if (outcome.error != 0) {
            outcome.exitCode = 2;
            outcome.failed = check;
            return outcome;
        }
    }
    std::vector<FileStep> done;
    for (const FileStep &step : steps) {
        DWORD error = Take(ops, verifier, step, &outcome.why);
        if (error != 0 && step.kind == FileStep::kCopy) {
            done.push_back(step);
        }
        if (error != 0) {
            outcome.failed = step;
            outcome.error = step.kind == FileStep::kVerify ? 0 : error;
            TakeBack(ops, done, &outcome);
            return outcome;
        }
        if (CanBeTakenBack(step)) {
            done.push_back(step);
        }
    }
    return outcome;
}

std::wstring DescribeFailure(const StepsOutcome &outcome, bool installing) {
    return DescribeFailure(outcome, installing ? msg::kInstallFailed : msg::kUninstallFailed);
}

std::wstring DescribeFailure(const StepsOutcome &outcome, const Text &failedText) {
    const FileStep &failed = outcome.failed;
    if (outcome.exitCode == 2) {
        return Say(msg::kCannotChange, Wide(failed.from), SystemText(outcome.error, failed.from),
                   Advice(outcome.error));
    }
    std::wstring reason =
        failed.kind == FileStep::kVerify ? outcome.why : Reason(failed, outcome.error);
    std::wstring text = Say(failedText, StepText(failed), reason);
    if (outcome.exitCode == 3) {
        return text + Say(msg::kRestored);
    }
    std::string folder = WithoutSeparator(FolderOf(Subject(outcome.failedUndo)));
    text += Say(msg::kRestoreFailed, StepText(outcome.failedUndo),
                Reason(outcome.failedUndo, outcome.undoError), Wide(folder));
    for (size_t i = 0; i < outcome.left.size(); ++i) {
        const FileStep &step = outcome.left[i];
        text += step.kind == FileStep::kRemove
                    ? Say(msg::kManualDelete, Number(i + 1), Name(step.from))
                    : Say(msg::kManualRename, Number(i + 1), Name(step.from), Name(step.to));
    }
    return text;
}
