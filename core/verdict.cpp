#include "core/verdict.h"

#include "core/output.h"
#include "core/test_names.h"
#include "core/text.h"
#include "core/velkor_copy.h"
#include "host/in_module.h"

namespace {

// The flag bits in `version` that mark a record of wide-character entries.
const DWORD kWideRecord = 0x0F000000;

Finding TitlesFinding(const ProbeResult &probe) {
    const TitleAnswer *cut = NULL;
    const TitleAnswer *whole = NULL;
    for (const TitleAnswer &answer : probe.titles) {
        TitleKind kind = ClassifyTitle(answer.file, answer.title);
        if (kind == kTitleCut && cut == NULL) {
            cut = &answer;
        } else if (kind == kTitleWhole && whole == NULL) {
            whole = &answer;
        }
    }
    if (cut != NULL) {
        return {kNeedsVelkor, std::wstring(), TitleBasis(*cut)};
    } else if (whole != NULL) {
        return {kTitlesCorrectly, std::wstring(), TitleBasis(*whole)};
    }
    return {kCannotTell, std::wstring(),
            probe.titles.empty() ? Say(msg::kNoTitle) : TitleBasis(probe.titles[0])};
}

// The step in which the plug-in was when the child ended or hung; before the
// first one, the child program was still starting.
std::wstring StageName(const ProbeResult &probe) {
    return probe.stage.empty() ? Say(msg::kStageStart) : Wide(probe.stage);
}

Finding RecordFinding(const std::string &path, const ProbeResult &probe) {
    if (probe.end == ProbeResult::kNotStarted) {
        return {kCannotTell, std::wstring(), SystemText(probe.startError, path)};
    } else if (probe.end == ProbeResult::kTimedOut) {
        return {kTimedOut, std::wstring(), Say(msg::kBasisHungIn, StageName(probe))};
    } else if (probe.end != ProbeResult::kFinished) {
        return {kCrashed, std::wstring(),
                probe.exception != 0
                    ? Say(msg::kBasisCrashedIn, StageName(probe), HexNumber(probe.exception))
                    : Say(msg::kBasisEndedIn, StageName(probe), HexNumber(probe.exitCode))};
    } else if (!probe.loaded) {
        return {kCannotLoad, std::wstring(), SystemText(probe.loadError, path)};
    } else if (!probe.hasExport) {
        return {kNotInputPlugin, std::wstring(), Say(msg::kBasisNoExport)};
    } else if (!probe.hasRecord) {
        return {kNotInputPlugin, std::wstring(), Say(msg::kBasisNoRecord)};
    } else if (probe.version & kWideRecord) {
        return {kNoNeed, std::wstring(), Say(msg::kBasisWide, HexNumber(probe.version))};
    } else if (probe.version != IN_VER) {
        return {kCannotFront, std::wstring(), Say(msg::kBasisVersion, HexNumber(probe.version))};
    } else if (!probe.hasInit) {
        return {kCannotFront, std::wstring(), Say(msg::kBasisNoInit)};
    }
    return TitlesFinding(probe);
}

} // namespace

std::wstring VerdictName(Verdict verdict) {
    static const Text *const names[] = {
        &msg::kNeedsVelkor, &msg::kTitlesCorrectly, &msg::kFronted,        &msg::kNoNeed,
        &msg::kCannotFront, &msg::kCannotTell,      &msg::kNotInputPlugin, &msg::kCannotLoad,
        &msg::kCrashed,     &msg::kTimedOut,        &msg::kCannotWork,     &msg::kCutShort,
        &msg::kLeftOver,    &msg::kSpareCopy};
    return Say(*names[verdict]);
}

Finding Judge(const std::string &path, const ProbeResult &probe) {
    Finding finding = RecordFinding(path, probe);
    // A plug-in that seems to hang is often waiting on a box of its own.
    for (const std::string &window : probe.windows) {
        finding.basis += L"; " + Say(msg::kBasisWindow, Wide(window));
    }
    // One row each: a description may hold line ends.
    finding.description = Wide(probe.description);
    for (wchar_t &c : finding.description) {
        c = c < L' ' ? L' ' : c;
    }
    return finding;
}

// A copy is judged by what it gives the player: the plug-in behind it,
// working, or nothing that works, with the reason and the fix.
Finding JudgeCopy(const std::string &path, const std::string &namesFolder) {
    std::string inner = InnerOf(path);
    std::wstring name = QuotedPath(path);
    CopyInfo copy = ReadCopy(path);
    std::wstring version = Say(msg::kBasisCopy, VersionText(copy), Wide(copy.runtime));
    if (IsOlderCopy(copy)) {
        version += L", " + Say(msg::kBasisOlder, OwnVersion());
    }
    if (!FileExists(inner)) {
        return {kCannotWork, std::wstring(),
                Say(msg::kBasisInnerMissing, Wide(NameOf(inner))) + L"; " +
                    Say(msg::kBasisFixUninstall, name) + L"; " + version};
    }
    ProbeResult probe = RunProbe({path, FolderOf(path), namesFolder, {}});
    Finding through = Judge(path, probe);
    std::wstring said;
    for (const std::string &box : probe.boxes) {
        said += L"; " + Say(msg::kBasisVelkorSaid, Wide(box));
    }
    if (probe.end == ProbeResult::kFinished && !probe.loaded) {
        // Its own runtime is missing: MSVCR70.dll on most systems.
        return {kCannotWork, through.description,
                through.basis + L"; " + Say(msg::kBasisFixRuntime, name) + L"; " + version};
    } else if (!probe.boxes.empty() || (probe.end == ProbeResult::kFinished && !probe.hasRecord)) {
        return {kCannotWork, through.description,
                through.basis + said + L"; " + Say(msg::kBasisFixUninstall, name) + L"; " +
                    version};
    } else if (probe.hasRecord && (probe.version & kWideRecord)) {
        return {kCannotWork, through.description,
                Say(msg::kBasisWideBehind) + L"; " + Say(msg::kBasisFixUninstall, name) + L"; " +
                    version};
    }
    Finding finding = through.verdict == kCrashed || through.verdict == kTimedOut
                          ? through
                          : Finding{kFronted, through.description, std::wstring()};
    finding.basis = Say(msg::kBasisFronts, Wide(NameOf(inner))) + L"; " + version + L"; " +
                    through.basis + said;
    return finding;
}

bool CanFront(const ProbeResult &probe) {
    return probe.end == ProbeResult::kFinished && probe.hasRecord && probe.version == IN_VER &&
           probe.hasInit;
}

std::wstring TitleText(const std::string &title) {
    return title.empty() ? Say(msg::kNoTitle) : Wide(title);
}

std::wstring TitleBasis(const TitleAnswer &answer) {
    return Say(msg::kBasisTitle, Wide(NameOf(answer.file)), TitleText(answer.title));
}

std::string InnerOf(const std::string &front) {
    return FolderOf(front) + StemOf(NameOf(front)) + ".vlk";
}

TestNamesFolder::TestNamesFolder()
    : path_(MakeWorkFolder(CuttingStem().empty() ? std::string() : "-" + CuttingStem())) {}

TestNamesFolder::~TestNamesFolder() {
    if (!path_.empty()) {
        RemoveWorkFolder(path_);
    }
}

void SayTestNames() {
    // Once: a drop may check, then install.
    static bool said = false;
    if (said) {
        return;
    }
    said = true;
    if (CuttingStem().empty()) {
        Out(Say(msg::kNoCutHere, Number(GetACP())) + L"\n");
    } else {
        Out(Say(msg::kTestNames, Wide(TestStem()), Wide(BytewiseStem(TestStem()))) + L"\n");
    }
}
