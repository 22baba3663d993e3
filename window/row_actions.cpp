#include "window/row_actions.h"

RowActions ActionsFor(const ScanRow &row) {
    RowActions actions = {false, false, false};
    switch (row.verdict) {
    case kNeedsVelkor:
        actions.install = true;
        actions.check = true;
        break;
    case kTitlesCorrectly:
    case kNoNeed:
    case kCannotTell:
        actions.check = true;
        break;
    case kFronted:
        // install on an older copy replaces it by the program's own.
        actions.install = row.older;
        actions.check = true;
        break;
    case kCutShort:
    case kSpareCopy:
        // Either command brings the folder back to a working plug-in.
        actions.install = true;
        actions.uninstall = true;
        break;
    default:
        break;
    }
    // A copy of Velkor, working or not, can always be taken away.
    actions.uninstall = actions.uninstall || row.copy;
    return actions;
}

bool AnyOlderCopy(const std::vector<ScanRow> &rows) {
    for (const ScanRow &row : rows) {
        if (row.older) {
            return true;
        }
    }
    return false;
}

RowMark MarkOf(const ScanRow &row) {
    switch (row.verdict) {
    case kTitlesCorrectly:
    case kNoNeed:
        return kMarkGood;
    case kFronted:
        return row.older ? kMarkAction : kMarkGood;
    case kNeedsVelkor:
    case kCutShort:
    case kSpareCopy:
        return kMarkAction;
    case kCannotWork:
    case kCannotLoad:
    case kCrashed:
    case kTimedOut:
        return kMarkBroken;
    default:
        return kMarkNeutral;
    }
}
