// install and uninstall: every check first, then renames that are taken
// back when any step fails. The user's plug-in is only ever renamed.
#include "core/commands.h"

#include "core/output.h"
#include "core/folder_steps.h"
#include "core/test_names.h"
#include "core/text.h"
#include "core/velkor_copy.h"

#include <memory>

namespace {

std::wstring Name(const std::string &path) {
    return Wide(NameOf(path));
}

// The installed copy must load the plug-in, hand over its record, and title
// the test names as Velkor makes of the plug-in's own titles.
class TitlesVerifier : public Verifier {
  public:
    TitlesVerifier(const FolderPlan &plan, const ProbeResult &alone, const std::string &names)
        : plan_(plan), alone_(alone), names_(names) {}

    bool Verify(std::wstring *why) override {
        behind_ = RunProbe({plan_.front, FolderOf(plan_.front), names_, {}});
        if (!CanFront(behind_) || !behind_.boxes.empty()) {
            Finding finding = Judge(plan_.front, behind_);
            for (const std::string &box : behind_.boxes) {
                finding.basis += L"; " + Say(msg::kBasisVelkorSaid, Wide(box));
            }
            *why = Say(msg::kVerifyUnusable, Name(plan_.front), VerdictName(finding.verdict),
                       finding.basis);
            return false;
        }
        // The record is judged by what it is: a plug-in may allocate it on
        // the heap, outside its image. By its version and its extensions,
        // not by its texts: a plug-in that finds its resources by its own
        // file name (WavPack's in_wv) finds Velkor's copy there, and words
        // its description and the names of its file types otherwise.
        if (behind_.version != alone_.version ||
            FirstExtensions(behind_.extensions, static_cast<size_t>(-1)) !=
                FirstExtensions(alone_.extensions, static_cast<size_t>(-1))) {
            *why = Say(msg::kVerifyNotInner, Name(plan_.front), Name(plan_.inner));
            return false;
        }
        for (size_t i = 0; i < alone_.titles.size(); ++i) {
            const TitleAnswer &own = alone_.titles[i];
            std::string expected = TitleBehindVelkor(own.file, own.title);
            std::string got = i < behind_.titles.size() ? behind_.titles[i].title : std::string();
            if (got != expected) {
                *why = Say(msg::kVerifyTitle, Name(own.file), TitleText(got), TitleText(expected));
                return false;
            }
        }
        return true;
    }

    const ProbeResult &behind() const {
        return behind_;
    }

  private:
    FolderPlan plan_;
    ProbeResult alone_;
    std::string names_;
    ProbeResult behind_;
};

// MSVCR70.dll as the player would find it: beside its program, beside the
// plug-in, or where the system keeps it.
DWORD LoadMsvcr70(const std::string &plugin) {
    std::string home = FolderOf(plugin);
    for (const std::string &folder : {ParentOf(home), home}) {
        if (!folder.empty() && FileExists(folder + "MSVCR70.dll")) {
            return 0;
        }
    }
    HMODULE runtime = LoadLibraryA("MSVCR70.dll");
    DWORD error = runtime == NULL ? GetLastError() : 0;
    if (runtime != NULL) {
        FreeLibrary(runtime);
    }
    return error;
}

// One change of a plug-in at a time: a second velkor that changed the same
// files meanwhile would take the first one's steps for its own to undo.
// The lock is a file that the system deletes when its handle closes, also
// when the program is killed; one left by a power cut is simply taken.
class PluginLock {
  public:
    explicit PluginLock(const std::string &dllPath) {
        std::string path = dllPath.substr(0, dllPath.size() - 4) + ".velkor-lock";
        handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL);
        // Where the folder cannot be written at all, the change's own checks
        // say so; only another holder stops it here.
        busy_ = handle_ == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
    }
    ~PluginLock() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    PluginLock(const PluginLock &) = delete;
    PluginLock &operator=(const PluginLock &) = delete;

    // True, after saying so, when another velkor is changing the plug-in.
    bool Busy(const std::string &dllPath) const {
        if (busy_) {
            Err(Say(msg::kBusy, Name(dllPath)));
        }
        return busy_;
    }

  private:
    HANDLE handle_;
    bool busy_;
};

// The Velkor that install copies must be there, with its runtime; 0 when
// it is.
int CheckVelkor(const std::string &plugin, const std::string &runtime) {
    std::string velkor = VelkorDll(runtime);
    DWORD runtimeError = 0;
    if (!FileExists(velkor) || !IsVelkorCopy(velkor)) {
        Err(Say(msg::kNoRuntime, Wide(velkor)));
    } else if (runtime == "msvcr70" && (runtimeError = LoadMsvcr70(plugin)) != 0) {
        Err(Say(msg::kNoMsvcr70, SystemText(runtimeError, "MSVCR70.dll")));
    } else {
        return 0;
    }
    return 2;
}

// Every name that the change will use must fit the system's ANSI file calls,
// before the first step is taken: a change that could not take its last
// step would have to be taken back.
bool NamesFit(const PluginFiles &files, const std::string &spare) {
    for (const std::string &name : NamesUsed(files, spare)) {
        size_t length = Wide(name).size();
        if (length >= MAX_PATH) {
            Err(Say(msg::kNameTooLong, Wide(name), Number(static_cast<DWORD>(length))));
            return false;
        }
    }
    return true;
}

// Deletes the spare copies of Velkor that a change cut short left.
void RemoveSpares(const std::vector<std::string> &spares) {
    for (const std::string &spare : spares) {
        DWORD error = SystemFileOps().Remove(spare);
        if (error == 0) {
            Out(Say(msg::kSpareDeleted, Name(spare)));
        } else {
            Err(Say(msg::kSpareKept, Name(spare), SystemText(error, spare)));
        }
    }
}

// The files that the first step of `steps` changes, for the check that
// they can be changed at all.
std::vector<std::string> ChangedBy(const std::vector<FileStep> &steps) {
    if (steps.empty() || steps[0].kind == FileStep::kCopy) {
        return {};
    }
    return {steps[0].from};
}

// X.vlk without X.dll: the plug-in takes its name back, and the player has
// it again, alone.
int TakeBack(const PluginFiles &files) {
    Out(Say(msg::kTakingBack, Name(files.dllPath), Name(files.vlk.path)));
    Recovery recovery = PlanRecovery(files, false, std::string(), std::string());
    StepsOutcome outcome =
        RunSteps(SystemFileOps(), NULL, ChangedBy(recovery.steps), recovery.steps);
    if (outcome.exitCode != 0) {
        Err(DescribeFailure(outcome, false));
        return outcome.exitCode;
    }
    RemoveSpares(recovery.spares);
    Out(Say(msg::kTakenBack, Name(files.dllPath)));
    return 0;
}

// X.vlk without X.dll, and install asked for: a copy of Velkor takes the
// name X.dll and is verified, as install would. A plug-in that Velkor
// cannot front gets its name back instead, so that the player has it.
int Finish(const PluginFiles &files, const std::string &runtime) {
    Out(Say(msg::kFinishing, Name(files.dllPath), Name(files.vlk.path)));
    TestNamesFolder names;
    ProbeResult alone = RunProbe({files.vlk.path, FolderOf(files.dllPath), names.path(), {}});
    if (!CanFront(alone)) {
        Finding finding = Judge(files.vlk.path, alone);
        Err(Say(msg::kCannotInstall, Name(files.vlk.path), VerdictName(finding.verdict),
                finding.basis));
        return TakeBack(files);
    }
    std::string spare = SpareName(files.dllPath, kSpareNew);
    Recovery recovery = PlanRecovery(files, true, VelkorDll(runtime), spare);
    if (recovery.steps[0].kind == FileStep::kCopy && CheckVelkor(files.dllPath, runtime) != 0) {
        return 2;
    }
    FolderPlan plan = {files.dllPath, files.vlk.path, spare, VelkorDll(runtime)};
    TitlesVerifier verifier(plan, alone, names.path());
    StepsOutcome outcome =
        RunSteps(SystemFileOps(), &verifier, ChangedBy(recovery.steps), recovery.steps);
    if (outcome.exitCode != 0) {
        Err(DescribeFailure(outcome, true));
        return outcome.exitCode;
    }
    RemoveSpares(recovery.spares);
    Out(Say(msg::kFinished, Name(files.dllPath)));
    return 0;
}

} // namespace

int UpdateCopy(const std::string &plugin, const std::string &runtime, bool runtimeGiven) {
    PluginLock lock(plugin);
    if (lock.Busy(plugin)) {
        return 2;
    }
    PluginFiles files = FindPluginFiles(plugin);
    CopyInfo copy = ReadCopy(plugin);
    std::string wanted = runtimeGiven ? runtime : copy.runtime;
    std::string spare = SpareName(plugin, kSpareNew);
    std::string old = SpareName(plugin, kSpareOld);
    if (!IsOlderCopy(copy) && wanted == copy.runtime) {
        Out(Say(msg::kUpToDate, Name(plugin), VersionText(copy), Name(files.vlk.path)));
        RemoveSpares(SpareCopies(files));
        return 2;
    }
    if (!NamesFit(files, old) || !NamesFit(files, spare) || CheckVelkor(plugin, wanted) != 0) {
        return 2;
    }
    Out(Say(msg::kUpdating, Name(plugin), VersionText(copy), OwnVersion(), Wide(wanted)));
    TestNamesFolder names;
    ProbeResult alone = RunProbe({files.vlk.path, FolderOf(plugin), names.path(), {}});
    if (!CanFront(alone)) {
        Finding finding = Judge(files.vlk.path, alone);
        Err(Say(msg::kCannotInstall, Name(files.vlk.path), VerdictName(finding.verdict),
                finding.basis));
        return 2;
    }
    FolderPlan plan = {plugin, files.vlk.path, spare, VelkorDll(wanted)};
    TitlesVerifier verifier(plan, alone, names.path());
    StepsOutcome outcome = RunSteps(SystemFileOps(), &verifier, {plugin}, UpdateSteps(plan, old));
    if (outcome.exitCode != 0) {
        Err(DescribeFailure(outcome, msg::kUpdateFailed));
        return outcome.exitCode;
    }
    RemoveSpares(SpareCopies(files));
    Out(Say(msg::kUpdated, Name(plugin), OwnVersion() + L", " + Wide(wanted),
            Name(files.vlk.path)));
    return 0;
}

int Install(const std::string &pluginArgument, const std::string &runtime, bool runtimeGiven) {
    std::string plugin = FullPath(pluginArgument);
    if (!EndsWithNoCase(plugin, ".dll")) {
        Err(Say(msg::kNotDll, Name(plugin)));
        return 2;
    }
    std::unique_ptr<PluginLock> lock(new PluginLock(plugin));
    if (lock->Busy(plugin)) {
        return 2;
    }
    PluginFiles files = FindPluginFiles(plugin);
    std::string spare = SpareName(plugin, kSpareNew);
    if (!NamesFit(files, spare)) {
        return 2;
    }
    switch (StateOf(files)) {
    case kStateNone:
        Err(Say(msg::kNotFound, Wide(plugin), SystemText(ERROR_FILE_NOT_FOUND, plugin)));
        RemoveSpares(SpareCopies(files));
        return 2;
    case kStateCutShort:
        return Finish(files, runtime);
    case kStateCopyWithoutVlk:
        Err(Say(msg::kPluginGone, Name(plugin), Name(InnerOf(plugin)), QuotedPath(plugin)));
        return 2;
    case kStateLeftoverVlk:
        Err(Say(msg::kLeftoverInner, Name(plugin), Name(InnerOf(plugin))));
        return 2;
    case kStateFronted:
        lock.reset(); // the update takes it itself
        return UpdateCopy(plugin, runtime, runtimeGiven);
    case kStatePlain:
        break;
    }
    int checked = CheckVelkor(plugin, runtime);
    if (checked != 0) {
        return checked;
    }
    SayTestNames();
    TestNamesFolder names;
    ProbeResult alone = RunProbe({plugin, FolderOf(plugin), names.path(), {}});
    Finding finding = Judge(plugin, alone);
    if (!CanFront(alone)) {
        Err(Say(msg::kCannotInstall, Name(plugin), VerdictName(finding.verdict), finding.basis));
        return 2;
    }
    if (finding.verdict == kTitlesCorrectly) {
        Out(Say(msg::kAlreadyCorrect, Name(plugin)));
    }
    FolderPlan plan = {plugin, InnerOf(plugin), spare, VelkorDll(runtime)};
    TitlesVerifier verifier(plan, alone, names.path());
    StepsOutcome outcome = RunSteps(SystemFileOps(), &verifier, {plugin}, InstallSteps(plan));
    if (outcome.exitCode != 0) {
        Err(DescribeFailure(outcome, true));
        return outcome.exitCode;
    }
    RemoveSpares(SpareCopies(files));
    Out(Say(msg::kInstalled, Name(plan.front), Name(plan.inner), Wide(runtime + "\\velkor.dll")));
    const ProbeResult &behind = verifier.behind();
    for (size_t i = 0; i < alone.titles.size() && i < behind.titles.size(); ++i) {
        Out(Say(msg::kInstalledTitle, Name(alone.titles[i].file), TitleText(alone.titles[i].title),
                TitleText(behind.titles[i].title)));
    }
    Out(Say(msg::kUndoHint, QuotedPath(plugin)));
    return 0;
}

int Uninstall(const std::string &pluginArgument) {
    std::string plugin = FullPath(pluginArgument);
    if (!EndsWithNoCase(plugin, ".dll")) {
        Err(Say(msg::kNotDll, Name(plugin)));
        return 2;
    }
    PluginLock lock(plugin);
    if (lock.Busy(plugin)) {
        return 2;
    }
    PluginFiles files = FindPluginFiles(plugin);
    std::string spare = SpareName(plugin, kSpareOld);
    if (!NamesFit(files, spare)) {
        return 2;
    }
    PluginState state = StateOf(files);
    std::vector<std::string> spares = SpareCopies(files);
    if ((state == kStateNone || state == kStatePlain || state == kStateLeftoverVlk) &&
        !spares.empty()) {
        // Nothing of Velkor's is in place, but a change cut short left a
        // spare copy: that is all there is to undo.
        RemoveSpares(spares);
        return 0;
    }
    switch (state) {
    case kStateNone:
        Err(Say(msg::kNotFound, Wide(plugin), SystemText(ERROR_FILE_NOT_FOUND, plugin)));
        return 2;
    case kStateCutShort:
        return TakeBack(files);
    case kStatePlain:
    case kStateLeftoverVlk:
        Err(Say(msg::kNotACopy, Name(plugin)));
        return 2;
    case kStateCopyWithoutVlk: {
        // The player's Preferences page deleted the plug-in: the copy is
        // Velkor's own file, and goes too.
        Recovery recovery = PlanRecovery(files, false, std::string(), std::string());
        StepsOutcome outcome = RunSteps(SystemFileOps(), NULL, {plugin}, recovery.steps);
        if (outcome.exitCode != 0) {
            Err(DescribeFailure(outcome, false));
            return outcome.exitCode;
        }
        RemoveSpares(recovery.spares);
        Out(Say(msg::kCopyRemoved, Name(plugin), Name(InnerOf(plugin))));
        return 0;
    }
    case kStateFronted:
        break;
    }
    FolderPlan plan = {plugin, files.vlk.path, spare, std::string()};
    StepsOutcome outcome =
        RunSteps(SystemFileOps(), NULL, {plugin, files.vlk.path}, UninstallSteps(plan));
    if (outcome.exitCode != 0) {
        Err(DescribeFailure(outcome, false));
        return outcome.exitCode;
    }
    RemoveSpares(SpareCopies(files));
    Out(Say(msg::kUninstalled, Name(plugin)));
    return 0;
}

int Update(const std::string &folderArgument, const std::string &runtime, bool runtimeGiven,
           bool (*stopped)()) {
    std::string folder = WithoutSeparator(FullPath(folderArgument));
    if (Wide(folder).size() >= MAX_PATH) {
        Err(Say(msg::kNameTooLong, Wide(folder), Number(static_cast<DWORD>(Wide(folder).size()))));
        return 2;
    } else if (!FolderExists(folder)) {
        Err(Say(msg::kFolderMissing, Wide(folder), SystemText(ERROR_PATH_NOT_FOUND, folder)));
        return 2;
    }
    int worst = 0;
    bool any = false;
    for (const std::string &plugin : InputPlugins(folder)) {
        if (stopped != nullptr && stopped()) {
            break;
        }
        CopyInfo copy = ReadCopy(plugin);
        bool due = IsOlderCopy(copy) || (runtimeGiven && copy.velkor && copy.runtime != runtime);
        if (due && FileExists(InnerOf(plugin))) {
            any = true;
            int code = UpdateCopy(plugin, runtime, runtimeGiven);
            worst = code > worst ? code : worst;
            Out(L"\n");
        }
    }
    if (!any) {
        Out(Say(msg::kUpdateNone, Wide(folder), OwnVersion()));
    }
    return worst;
}
