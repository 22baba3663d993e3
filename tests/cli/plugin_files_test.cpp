// Every state that a change cut short between two file steps can leave, and
// what install and uninstall make of it, on a folder kept in memory: the
// change is stopped after each step of install, uninstall and update in
// turn, the state is named from the files alone, and one command brings
// back a working plug-in, with the user's plug-in intact.
#include "core/plugin_files.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const char kDll[] = "P\\in_x.dll";
const char kVlk[] = "P\\in_x.vlk";
const char kNew[] = "P\\in_x.velkor-new";
const char kOld[] = "P\\in_x.velkor-old";
const char kVelkor[] = "V\\velkor.dll";

// A file's contents: the user's plug-in, or one version of Velkor.
typedef std::map<std::string, std::string> Folder;
const char kUsers[] = "plug-in";
const char kOldCopy[] = "velkor 1.0";
const char kNewCopy[] = "velkor 1.2";

bool IsCopy(const std::string &contents) {
    return contents.compare(0, 6, "velkor") == 0;
}

PluginFiles Find(const Folder &folder) {
    PluginFiles files;
    files.dllPath = kDll;
    for (const auto &file : folder) {
        FoundFile found = {file.first, IsCopy(file.second)};
        if (file.first == kDll) {
            files.dll = found;
        } else if (file.first == kVlk) {
            files.vlk = found;
        } else if (file.first.compare(0, 2, "P\\") == 0) {
            files.spares.push_back(found);
        }
    }
    return files;
}

// Takes the steps; false at the first that cannot be taken.
bool Take(Folder *folder, const std::vector<FileStep> &steps, size_t count) {
    for (size_t i = 0; i < count && i < steps.size(); ++i) {
        const FileStep &step = steps[i];
        bool fromExists = folder->count(step.from) != 0;
        switch (step.kind) {
        case FileStep::kCopy:
            if (folder->count(step.to) != 0) {
                return false;
            }
            (*folder)[step.to] = step.from == kVelkor ? kNewCopy : (*folder)[step.from];
            break;
        case FileStep::kRename:
            if (!fromExists || folder->count(step.to) != 0) {
                return false;
            }
            (*folder)[step.to] = (*folder)[step.from];
            folder->erase(step.from);
            break;
        case FileStep::kRemove:
            if (!fromExists) {
                return false;
            }
            folder->erase(step.from);
            break;
        case FileStep::kVerify:
            if (folder->count(kDll) == 0 || !IsCopy((*folder)[kDll]) || folder->count(kVlk) == 0) {
                return false;
            }
            break;
        case FileStep::kCheck:
            break;
        }
    }
    return true;
}

std::string Describe(const Folder &folder) {
    std::string text;
    for (const auto &file : folder) {
        text += file.first + "=" + file.second + " ";
    }
    return text;
}

// A working plug-in: the user's alone as in_x.dll, or behind a copy.
bool Works(const Folder &folder) {
    auto dll = folder.find(kDll);
    auto vlk = folder.find(kVlk);
    if (dll == folder.end()) {
        return false;
    }
    return vlk == folder.end() ? dll->second == kUsers
                               : IsCopy(dll->second) && vlk->second == kUsers;
}

bool HasSpareCopies(const Folder &folder) {
    for (const auto &file : folder) {
        if (file.first != kDll && file.first != kVlk && IsCopy(file.second)) {
            return true;
        }
    }
    return false;
}

struct Change {
    const char *what;
    Folder before;
    std::vector<FileStep> steps;
};

TEST(PluginFiles, EveryCutShortChangeIsRecovered) {
    FolderPlan install = {kDll, kVlk, kNew, kVelkor};
    FolderPlan uninstall = {kDll, kVlk, kOld, std::string()};
    const Change changes[] = {
        {"install", {{kDll, kUsers}}, InstallSteps(install)},
        {"uninstall", {{kDll, kNewCopy}, {kVlk, kUsers}}, UninstallSteps(uninstall)},
        {"update", {{kDll, kOldCopy}, {kVlk, kUsers}}, UpdateSteps(install, kOld)},
    };
    for (const Change &change : changes) {
        for (size_t done = 0; done <= change.steps.size(); ++done) {
            Folder cut = change.before;
            ASSERT_TRUE(Take(&cut, change.steps, done));
            PluginState state = StateOf(Find(cut));
            // The player has a plug-in exactly when the state says so.
            EXPECT_EQ(Works(cut), state == kStatePlain || state == kStateFronted)
                << change.what << " cut after " << done << " steps: " << Describe(cut);
            for (bool installing : {true, false}) {
                SCOPED_TRACE(std::string(change.what) + " cut after " + std::to_string(done) +
                             " steps, then " + (installing ? "install" : "uninstall") + ": " +
                             Describe(cut));
                Folder folder = cut;
                Recovery recovery =
                    PlanRecovery(Find(folder), installing, kVelkor, std::string(kNew) + "2");
                ASSERT_TRUE(Take(&folder, recovery.steps, recovery.steps.size()));
                for (const std::string &spare : recovery.spares) {
                    folder.erase(spare);
                }
                EXPECT_TRUE(Works(folder)) << Describe(folder);
                EXPECT_FALSE(HasSpareCopies(folder)) << Describe(folder);
                if (state == kStateCutShort) {
                    EXPECT_EQ(installing ? kRecoverFinish : kRecoverTakeBack, recovery.kind);
                    EXPECT_EQ(installing, folder.count(kVlk) != 0) << Describe(folder);
                }
            }
        }
    }
}

struct StateRow {
    const char *what;
    Folder folder;
    PluginState state;
    RecoveryKind install, uninstall;
};

TEST(PluginFiles, StatesFromTheFilesAlone) {
    const StateRow rows[] = {
        {"nothing", {}, kStateNone, kRecoverNothing, kRecoverNothing},
        {"plug-in alone", {{kDll, kUsers}}, kStatePlain, kRecoverNothing, kRecoverNothing},
        {"fronted",
         {{kDll, kNewCopy}, {kVlk, kUsers}},
         kStateFronted,
         kRecoverNothing,
         kRecoverNothing},
        {"copy deleted by hand",
         {{kVlk, kUsers}},
         kStateCutShort,
         kRecoverFinish,
         kRecoverTakeBack},
        // The player's Preferences page deletes the .vlk of a fronted plug-in.
        {"copy without its plug-in",
         {{kDll, kNewCopy}},
         kStateCopyWithoutVlk,
         kRecoverNothing,
         kRecoverRemoveCopy},
        {"older plug-in left over",
         {{kDll, kUsers}, {kVlk, "older plug-in"}},
         kStateLeftoverVlk,
         kRecoverNothing,
         kRecoverNothing},
    };
    for (const StateRow &row : rows) {
        SCOPED_TRACE(row.what);
        PluginFiles files = Find(row.folder);
        EXPECT_EQ(row.state, StateOf(files));
        EXPECT_EQ(row.install, PlanRecovery(files, true, kVelkor, kNew).kind);
        EXPECT_EQ(row.uninstall, PlanRecovery(files, false, kVelkor, kNew).kind);
    }
}

// Only copies of Velkor are ever deleted: a spare name that holds anything
// else is the user's file.
TEST(PluginFiles, OnlyCopiesOfVelkorAreSpare) {
    Folder folder = {{kDll, kUsers}, {kNew, "user's notes"}, {kOld, kOldCopy}};
    std::vector<std::string> spares = SpareCopies(Find(folder));
    ASSERT_EQ(1u, spares.size());
    EXPECT_EQ(kOld, spares[0]);
}

TEST(PluginFiles, FinishPrefersTheNewCopy) {
    Folder folder = {{kVlk, kUsers}, {kNew, kNewCopy}, {kOld, kOldCopy}};
    Recovery recovery = PlanRecovery(Find(folder), true, kVelkor, std::string(kNew) + "2");
    ASSERT_FALSE(recovery.steps.empty());
    EXPECT_EQ(kNew, recovery.steps[0].from);
    ASSERT_TRUE(Take(&folder, recovery.steps, recovery.steps.size()));
    EXPECT_EQ(kNewCopy, folder[kDll]);
}

} // namespace
