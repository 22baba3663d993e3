// The folder steps of install and uninstall on real files, with each file
// operation and each step of taking them back made to fail in turn.
#include "core/folder_steps.h"
#include "core/messages.h"
#include "core/text.h"

#include <gtest/gtest.h>

#include <map>

namespace {

typedef std::map<std::string, std::string> Listing; // name -> bytes

void WriteFile(const std::string &path, const std::string &bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    CloseHandle(file);
}

std::string ReadFile(const std::string &path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    std::string bytes(GetFileSize(file, NULL), '\0');
    DWORD read = 0;
    ::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, NULL);
    CloseHandle(file);
    return bytes;
}

Listing List(const std::string &folder) {
    Listing listing;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            listing[found.cFileName] = ReadFile(folder + "\\" + found.cFileName);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return listing;
}

std::string Show(const Listing &listing) {
    std::string text;
    for (const auto &entry : listing) {
        text += entry.first + " (" + entry.second + ") ";
    }
    return text;
}

// The system's operations, with call number `failAt` (counting from 1) and
// call number `failUndoAt` refused. The verification of install counts as a
// call too, so that every step can be made to fail the same way.
class FaultyOps : public FileOps, public Verifier {
  public:
    int failAt = 0;
    int failUndoAt = 0;
    DWORD error = ERROR_ACCESS_DENIED;
    int calls = 0;

    DWORD CheckChangeable(const std::string &path) override {
        return Fails() ? error : SystemFileOps().CheckChangeable(path);
    }
    DWORD Copy(const std::string &from, const std::string &to) override {
        return Fails() ? error : SystemFileOps().Copy(from, to);
    }
    DWORD Rename(const std::string &from, const std::string &to) override {
        return Fails() ? error : SystemFileOps().Rename(from, to);
    }
    DWORD Remove(const std::string &path) override {
        return Fails() ? error : SystemFileOps().Remove(path);
    }
    bool Verify(std::wstring *why) override {
        *why = L"the titles differ";
        return !Fails();
    }

  private:
    bool Fails() {
        ++calls;
        return calls == failAt || calls == failUndoAt;
    }
};

class FolderSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        SetLanguage(kEnglish);
        folder_ = MakeWorkFolder("-steps");
        source_ = MakeWorkFolder("-source");
        WriteFile(source_ + "\\velkor.dll", "velkor");
        WriteFile(folder_ + "\\in_x.dll", "plug-in");
        WriteFile(folder_ + "\\in_other.dll", "other");
        plan_.front = folder_ + "\\in_x.dll";
        plan_.inner = folder_ + "\\in_x.vlk";
        plan_.velkor = source_ + "\\velkor.dll";
    }
    void TearDown() override {
        RemoveTree(folder_);
        RemoveTree(source_);
    }

    StepsOutcome Run(FaultyOps &ops, bool uninstall) {
        plan_.spare = SpareName(plan_.front, uninstall ? ".velkor-old" : ".velkor-new");
        return uninstall ? RunSteps(ops, NULL, {plan_.front, plan_.inner}, UninstallSteps(plan_))
                         : RunSteps(ops, &ops, {plan_.front}, InstallSteps(plan_));
    }

    // Takes the steps that a failed restore leaves to the user.
    void DoByHand(const std::vector<FileStep> &left) {
        for (const FileStep &step : left) {
            ASSERT_EQ(0u, step.kind == FileStep::kRemove
                              ? SystemFileOps().Remove(step.from)
                              : SystemFileOps().Rename(step.from, step.to));
        }
    }

    std::string folder_, source_;
    FolderPlan plan_;
};

TEST_F(FolderSteps, RoundTripKeepsEveryByte) {
    Listing before = List(folder_);
    FaultyOps ops;
    ASSERT_EQ(0, Run(ops, false).exitCode);
    Listing installed = {
        {"in_x.dll", "velkor"}, {"in_x.vlk", "plug-in"}, {"in_other.dll", "other"}};
    EXPECT_EQ(Show(installed), Show(List(folder_)));
    ASSERT_EQ(0, Run(ops, true).exitCode);
    EXPECT_EQ(Show(before), Show(List(folder_)));
}

// For install and uninstall, each call failing in turn, alone and with each
// call after it, which takes the steps back, failing too: the folder ends as
// it was, put back by the program or, with exit code 4, by the steps that it
// leaves to the user.
TEST_F(FolderSteps, EveryFailureLeavesTheFolderAsItWas) {
    for (bool uninstall : {false, true}) {
        FaultyOps setup;
        ASSERT_TRUE(!uninstall || Run(setup, false).exitCode == 0);
        Listing before = List(folder_);
        bool stepsLeft = true;
        for (int failAt = 1; stepsLeft; ++failAt) {
            for (int undo = 0;; ++undo) {
                FaultyOps ops;
                ops.failAt = failAt;
                ops.failUndoAt = undo == 0 ? 0 : failAt + undo;
                StepsOutcome outcome = Run(ops, uninstall);
                if (ops.calls < failAt) {
                    // No call failed: every step was taken. Undo them.
                    stepsLeft = false;
                    FaultyOps back;
                    EXPECT_EQ(0, outcome.exitCode);
                    EXPECT_EQ(0, Run(back, !uninstall).exitCode);
                    break;
                } else if (ops.calls < ops.failUndoAt) {
                    break;
                }
                SCOPED_TRACE((uninstall ? "uninstall, call " : "install, call ") +
                             std::to_string(failAt) + " and call " +
                             std::to_string(ops.failUndoAt) + " fail; exit code " +
                             std::to_string(outcome.exitCode));
                EXPECT_GE(outcome.exitCode, 2);
                EXPECT_EQ(outcome.exitCode == 4, !outcome.left.empty());
                DoByHand(outcome.left);
                EXPECT_EQ(Show(before), Show(List(folder_)));
            }
        }
    }
}

TEST_F(FolderSteps, MessagesSayWhatFailedAndWhatToDo) {
    struct Row {
        int failAt, failUndoAt;
        DWORD error;
        int exitCode;
        const wchar_t *says;
    } rows[] = {
        {1, 0, ERROR_SHARING_VIOLATION, 2, L"close the player"},
        {3, 0, ERROR_ACCESS_DENIED, 3, L"renaming in_x.dll to in_x.vlk: "},
        {3, 0, ERROR_ACCESS_DENIED, 3, L"run velkor as administrator"},
        {5, 0, 0, 3, L"while checking in_x.dll behind Velkor: the titles differ"},
        {4, 5, ERROR_ACCESS_DENIED, 4,
         L"  1. rename in_x.vlk to in_x.dll\n"
         L"  2. delete in_x.velkor-new (a copy of Velkor)\n"},
    };
    for (const Row &row : rows) {
        FaultyOps ops;
        ops.failAt = row.failAt;
        ops.failUndoAt = row.failUndoAt;
        ops.error = row.error;
        StepsOutcome outcome = Run(ops, false);
        std::wstring text = DescribeFailure(outcome, true);
        EXPECT_EQ(row.exitCode, outcome.exitCode);
        EXPECT_NE(std::wstring::npos, text.find(row.says)) << Show(List(folder_));
        DoByHand(outcome.left);
    }
}

} // namespace
