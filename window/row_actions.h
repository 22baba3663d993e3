// What the window offers for a row of the scan, apart from the window
// itself, so that tests can ask it row by row.
#pragma once

#include "core/commands.h"

#include <vector>

// The buttons that apply to a row.
struct RowActions {
    bool install;   // install, update an older copy, or finish a change cut short
    bool uninstall; // remove a copy, or take a change cut short back
    bool check;     // the titles alone and behind Velkor
};

RowActions ActionsFor(const ScanRow &row);

// "Update all" applies when some copy is older than the program's own.
bool AnyOlderCopy(const std::vector<ScanRow> &rows);

// How the verdict column is marked: what the user should make of it.
enum RowMark {
    kMarkGood,    // nothing to do: titles are right, or Velkor fronts it
    kMarkAction,  // Velkor would help, or a change waits to be finished
    kMarkBroken,  // the player has no working plug-in here
    kMarkNeutral, // nothing Velkor can do, nor needs to
};

RowMark MarkOf(const ScanRow &row);
