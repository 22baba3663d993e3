// install and uninstall: every check first, then renames that are taken
// back when any step fails. The user's plug-in is only ever renamed.
#include "cli/commands.h"

#include "cli/console.h"
#include "cli/folder_steps.h"
#include "cli/test_names.h"
#include "cli/text.h"

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
        if (lstrcmpiA(NameOf(behind_.recordOwner).c_str(), NameOf(plan_.inner).c_str()) != 0) {
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

// The checks before install, each of which stops it; 0 when all pass.
int CheckInstall(const std::string &plugin, const std::string &runtime) {
    std::string inner = InnerOf(plugin);
    std::string velkor = VelkorDll(runtime);
    DWORD runtimeError = 0;
    if (!FileExists(plugin)) {
        Err(Say(msg::kNotFound, Wide(plugin), SystemText(ERROR_FILE_NOT_FOUND, plugin)));
    } else if (!EndsWithNoCase(plugin, ".dll")) {
        Err(Say(msg::kNotDll, Name(plugin)));
    } else if (IsVelkorCopy(plugin)) {
        Err(Say(msg::kAlreadyCopy, Name(plugin), Name(inner)));
    } else if (GetFileAttributesA(inner.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Err(Say(msg::kInnerExists, Wide(inner)));
    } else if (!FileExists(velkor) || !IsVelkorCopy(velkor)) {
        Err(Say(msg::kNoRuntime, Wide(velkor)));
    } else if (runtime == "msvcr70" && (runtimeError = LoadMsvcr70(plugin)) != 0) {
        Err(Say(msg::kNoMsvcr70, SystemText(runtimeError, "MSVCR70.dll")));
    } else {
        return 0;
    }
    return 2;
}

} // namespace

int Install(const std::string &pluginArgument, const std::string &runtime) {
    std::string plugin = FullPath(pluginArgument);
    int checked = CheckInstall(plugin, runtime);
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
    FolderPlan plan = {plugin, InnerOf(plugin), SpareName(plugin, ".velkor-new"),
                       VelkorDll(runtime)};
    TitlesVerifier verifier(plan, alone, names.path());
    StepsOutcome outcome = RunSteps(SystemFileOps(), &verifier, {plugin}, InstallSteps(plan));
    if (outcome.exitCode != 0) {
        Err(DescribeFailure(outcome, true));
        return outcome.exitCode;
    }
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
    std::string inner = InnerOf(plugin);
    if (!FileExists(plugin)) {
        Err(Say(msg::kNotFound, Wide(plugin), SystemText(ERROR_FILE_NOT_FOUND, plugin)));
        return 2;
    } else if (!IsVelkorCopy(plugin)) {
        Err(Say(msg::kNotACopy, Name(plugin)));
        return 2;
    } else if (!FileExists(inner)) {
        Err(Say(msg::kNothingToRestore, Name(plugin), Name(inner)));
        return 2;
    }
    FolderPlan plan = {plugin, inner, SpareName(plugin, ".velkor-old"), std::string()};
    StepsOutcome outcome = RunSteps(SystemFileOps(), NULL, {plugin, inner}, UninstallSteps(plan));
    if (outcome.exitCode != 0) {
        Err(DescribeFailure(outcome, false));
        return outcome.exitCode;
    }
    Out(Say(msg::kUninstalled, Name(plugin)));
    return 0;
}
