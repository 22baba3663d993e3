// What the program says, in English and in Japanese. The texts are UTF-16
// literals, so they read right whatever the ANSI code page is.
#pragma once

#include <string>

enum Language { kEnglish, kJapanese };

// Japanese when the user's interface language is Japanese, else English.
Language UserLanguage();
void SetLanguage(Language language);

// The language's identifier, for the system's own texts.
unsigned long MessageLanguageId();

struct Text {
    const wchar_t *en;
    const wchar_t *ja;
};

// The text in the current language, with %1, %2... replaced by the arguments.
std::wstring Say(const Text &text);
std::wstring Say(const Text &text, const std::wstring &a1);
std::wstring Say(const Text &text, const std::wstring &a1, const std::wstring &a2);
std::wstring Say(const Text &text, const std::wstring &a1, const std::wstring &a2,
                 const std::wstring &a3);
std::wstring Say(const Text &text, const std::wstring &a1, const std::wstring &a2,
                 const std::wstring &a3, const std::wstring &a4);

namespace msg {

// Usage and arguments.
extern const Text kUsage, kUnknownArgument, kMissingArgument, kWordFolder, kWordPlugin, kBadRuntime,
    kPathNotAnsi, kPressEnter;

// Test names.
extern const Text kNoCutHere, kTestNames;

// Verdicts, and what they rest on.
extern const Text kNeedsVelkor, kTitlesCorrectly, kFronted, kNoNeed, kCannotFront, kCannotTell,
    kNotInputPlugin, kCannotLoad, kCrashed, kTimedOut, kCannotWork, kCutShort, kLeftOver,
    kSpareCopy;
extern const Text kBasisTitle, kNoTitle, kBasisFronts, kBasisInnerMissing, kBasisWide,
    kBasisVersion, kBasisNoInit, kBasisNoExport, kBasisNoRecord, kBasisCrashedIn, kBasisEndedIn,
    kBasisHungIn, kBasisVelkorSaid, kBasisCopy, kBasisOlder, kBasisFixUninstall, kBasisFixRuntime,
    kBasisWideBehind, kBasisCutShort, kBasisLeftOver, kBasisSpare, kBasisWindow, kStageStart;

// scan
extern const Text kScanHeader, kScanNone, kScanColumns, kScanInstallHint, kFolderMissing;

// scan without a folder: where it looked for the player.
extern const Text kSearchHeader, kLookedValue, kLookedNotSet, kLookedNotAnsi, kLookedNoFile,
    kLookedNoFolder, kLookedFound, kSearchNone;

// check
extern const Text kLabelPlugin, kLabelVersion, kLabelExtensions, kLabelVerdict, kExtensionsMany,
    kNoExtensions, kNoDescription, kCheckColumns, kRepaired, kCheckSummary, kCheckCopy,
    kCopyWithoutInner, kNoVelkorDll, kUnusable, kAskInstall;

// install and uninstall
extern const Text kNotFound, kNotDll, kAlreadyCopy, kInnerExists, kNoRuntime, kNoMsvcr70,
    kCannotInstall, kAlreadyCorrect, kAdviceAdmin, kAdviceClose, kCannotChange, kStepCopy,
    kStepRename, kStepRemove, kStepVerify, kInstallFailed, kUninstallFailed, kRestored,
    kRestoreFailed, kManualRename, kManualDelete, kVerifyUnusable, kVerifyNotInner, kVerifyTitle,
    kInstalled, kInstalledTitle, kUndoHint, kNotACopy, kNothingToRestore, kUninstalled;

// changes cut short, and updates
extern const Text kFinishing, kTakingBack, kFinished, kTakenBack, kSpareDeleted, kSpareKept,
    kPluginGone, kCopyRemoved, kLeftoverInner, kUpdating, kUpdated, kUpdateFailed, kUpToDate,
    kNameTooLong, kUpdateNone, kNeedsQuotes, kBusy, kFolderNotAnsi;

// the window
extern const Text kWindowTitle, kButtonInstall, kButtonUninstall, kButtonCheck, kButtonUpdateAll,
    kButtonFolder, kButtonRescan, kButtonCancel, kButtonClose, kLabelRuntime, kStatusSearching,
    kStatusScanning, kStatusScanned, kStatusCancelled, kStatusWorking, kStatusDone, kStatusFailed,
    kPickFolder, kNoPlayer, kAskAdmin, kInUse, kCheckWindowTitle;

} // namespace msg
