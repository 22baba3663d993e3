#include "cli/verdict.h"

#include "cli/console.h"
#include "cli/test_names.h"
#include "cli/text.h"
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

Finding RecordFinding(const std::string &path, const ProbeResult &probe) {
    if (probe.end == ProbeResult::kNotStarted) {
        return {kCannotTell, std::wstring(), SystemText(probe.startError, path)};
    } else if (probe.end == ProbeResult::kTimedOut) {
        return {kTimedOut, std::wstring(), Say(msg::kBasisHungIn, Wide(probe.stage))};
    } else if (probe.end != ProbeResult::kFinished) {
        return {kCrashed, std::wstring(),
                probe.exception != 0
                    ? Say(msg::kBasisCrashedIn, Wide(probe.stage), HexNumber(probe.exception))
                    : Say(msg::kBasisEndedIn, Wide(probe.stage), HexNumber(probe.exitCode))};
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
        &msg::kCrashed,     &msg::kTimedOut};
    return Say(*names[verdict]);
}

Finding Judge(const std::string &path, const ProbeResult &probe) {
    Finding finding = RecordFinding(path, probe);
    // One row each: a description may hold line ends.
    finding.description = Wide(probe.description);
    for (wchar_t &c : finding.description) {
        c = c < L' ' ? L' ' : c;
    }
    return finding;
}

Finding JudgeCopy(const std::string &path, const std::string &namesFolder) {
    std::string inner = InnerOf(path);
    Finding finding = {kFronted, std::wstring(), Say(msg::kBasisInnerMissing, Wide(NameOf(inner)))};
    if (FileExists(inner)) {
        ProbeResult probe = RunProbe({path, FolderOf(path), namesFolder, {}});
        Finding through = Judge(path, probe);
        finding.description = through.description;
        finding.basis = Say(msg::kBasisFronts, Wide(NameOf(inner))) + L"; " + through.basis;
        for (const std::string &box : probe.boxes) {
            finding.basis += L"; " + Say(msg::kBasisVelkorSaid, Wide(box));
        }
    }
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
        RemoveTree(path_);
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
