#include "core/plugin_files.h"

const char kSpareNew[] = ".velkor-new";
const char kSpareOld[] = ".velkor-old";

namespace {

bool IsNewCopy(const std::string &path) {
    return path.find(kSpareNew) != std::string::npos;
}

FileStep Rename(const std::string &from, const std::string &to) {
    return {FileStep::kRename, from, to};
}

// The spare copy that finishes a change cut short. Install and update copy
// the program's own Velkor to the new spare name first, so that one is
// preferred; the old spare name holds the copy that was in place before.
const FoundFile *FinishingCopy(const PluginFiles &files) {
    const FoundFile *found = NULL;
    for (const FoundFile &spare : files.spares) {
        if (spare.velkor && (found == NULL || (IsNewCopy(spare.path) && !IsNewCopy(found->path)))) {
            found = &spare;
        }
    }
    return found;
}

std::vector<std::string> SparesBut(const PluginFiles &files, const FoundFile *kept) {
    std::vector<std::string> spares;
    for (const FoundFile &spare : files.spares) {
        if (spare.velkor && &spare != kept) {
            spares.push_back(spare.path);
        }
    }
    return spares;
}

} // namespace

// ".dll" is ASCII, and no byte of it can be the second byte of a
// double-byte character after a '.', so the name's end can be read byte by
// byte.
std::string VlkOf(const std::string &dllPath) {
    return dllPath.size() >= 4 ? dllPath.substr(0, dllPath.size() - 4) + ".vlk" : dllPath + ".vlk";
}

PluginState StateOf(const PluginFiles &files) {
    if (!files.dll.Exists()) {
        return files.vlk.Exists() ? kStateCutShort : kStateNone;
    } else if (!files.dll.velkor) {
        return files.vlk.Exists() ? kStateLeftoverVlk : kStatePlain;
    }
    return files.vlk.Exists() ? kStateFronted : kStateCopyWithoutVlk;
}

std::vector<std::string> SpareCopies(const PluginFiles &files) {
    return SparesBut(files, NULL);
}

Recovery PlanRecovery(const PluginFiles &files, bool installing, const std::string &velkor,
                      const std::string &spare) {
    Recovery recovery;
    const std::string &dll = files.dllPath;
    PluginState state = StateOf(files);
    if (state == kStateCutShort && installing) {
        recovery.kind = kRecoverFinish;
        const FoundFile *copy = FinishingCopy(files);
        if (copy == NULL) {
            recovery.steps.push_back({FileStep::kCopy, velkor, spare});
            recovery.steps.push_back(Rename(spare, dll));
        } else {
            recovery.steps.push_back(Rename(copy->path, dll));
        }
        recovery.steps.push_back({FileStep::kVerify, std::string(), dll});
        recovery.spares = SparesBut(files, copy);
        return recovery;
    }
    if (state == kStateCutShort) {
        recovery.kind = kRecoverTakeBack;
        recovery.steps.push_back(Rename(files.vlk.path, dll));
    } else if (state == kStateCopyWithoutVlk && !installing) {
        recovery.kind = kRecoverRemoveCopy;
        recovery.steps.push_back({FileStep::kRemove, dll, std::string()});
    }
    recovery.spares = SpareCopies(files);
    return recovery;
}

std::vector<FileStep> InstallSteps(const FolderPlan &plan) {
    return {{FileStep::kCopy, plan.velkor, plan.spare},
            {FileStep::kRename, plan.front, plan.inner},
            {FileStep::kRename, plan.spare, plan.front},
            {FileStep::kVerify, std::string(), plan.front}};
}

std::vector<FileStep> UninstallSteps(const FolderPlan &plan) {
    return {{FileStep::kRename, plan.front, plan.spare},
            {FileStep::kRename, plan.inner, plan.front},
            {FileStep::kRemove, plan.spare, std::string()}};
}

std::vector<FileStep> UpdateSteps(const FolderPlan &plan, const std::string &old) {
    return {{FileStep::kCopy, plan.velkor, plan.spare},
            {FileStep::kRename, plan.front, old},
            {FileStep::kRename, plan.spare, plan.front},
            {FileStep::kVerify, std::string(), plan.front},
            {FileStep::kRemove, old, std::string()}};
}

std::vector<std::string> NamesUsed(const PluginFiles &files, const std::string &spare) {
    std::vector<std::string> names = {files.dllPath, VlkOf(files.dllPath), spare};
    for (const FoundFile &found : files.spares) {
        names.push_back(found.path);
    }
    return names;
}
