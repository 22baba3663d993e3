// Which of the window's buttons apply to which row, and how its verdict is
// marked: every verdict, as a copy of Velkor and not, older and not.
#include "window/row_actions.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    Verdict verdict;
    bool copy;
    bool older;
    const char *actions; // "i" install, "u" uninstall, "c" check
    RowMark mark;
};

const Case kCases[] = {
    {kNeedsVelkor, false, false, "ic", kMarkAction},
    {kTitlesCorrectly, false, false, "c", kMarkGood},
    {kNoNeed, false, false, "c", kMarkGood},
    {kCannotTell, false, false, "c", kMarkNeutral},
    {kFronted, true, false, "uc", kMarkGood},
    // install on an older copy replaces it
    {kFronted, true, true, "iuc", kMarkAction},
    {kCannotWork, true, false, "u", kMarkBroken},
    {kCannotWork, true, true, "u", kMarkBroken},
    // a copy that crashed or hung can still be taken away
    {kCrashed, true, false, "u", kMarkBroken},
    {kCrashed, false, false, "", kMarkBroken},
    {kTimedOut, false, false, "", kMarkBroken},
    {kCannotLoad, false, false, "", kMarkBroken},
    {kCannotFront, false, false, "", kMarkNeutral},
    {kNotInputPlugin, false, false, "", kMarkNeutral},
    // a change cut short: either command gives the player a plug-in again
    {kCutShort, false, false, "iu", kMarkAction},
    {kSpareCopy, true, false, "iu", kMarkAction},
    // the user's older plug-in: nothing to do, and never deleted
    {kLeftOver, false, false, "", kMarkNeutral},
};

std::string Letters(const RowActions &actions) {
    return std::string(actions.install ? "i" : "") + (actions.uninstall ? "u" : "") +
           (actions.check ? "c" : "");
}

TEST(RowActions, EveryVerdict) {
    for (const Case &c : kCases) {
        ScanRow row = {"P\\in_x.dll", L"in_x.dll", L"", c.verdict, L"", c.copy, c.older};
        EXPECT_EQ(Letters(ActionsFor(row)), c.actions)
            << "verdict " << c.verdict << " copy " << c.copy << " older " << c.older;
        EXPECT_EQ(MarkOf(row), c.mark) << "verdict " << c.verdict << " older " << c.older;
    }
}

TEST(RowActions, UpdateAllOnlyWithAnOlderCopy) {
    ScanRow current = {"P\\in_a.dll", L"in_a.dll", L"", kFronted, L"", true, false};
    ScanRow older = {"P\\in_b.dll", L"in_b.dll", L"", kFronted, L"", true, true};
    EXPECT_FALSE(AnyOlderCopy({}));
    EXPECT_FALSE(AnyOlderCopy({current}));
    EXPECT_TRUE(AnyOlderCopy({current, older}));
}

} // namespace
