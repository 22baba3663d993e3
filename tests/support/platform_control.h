// What the tests control of the platform calls that the table and the repair
// make: failing a chosen allocation, catching message boxes instead of
// showing them, and the code page whose lead bytes the repair steps over. Natively the stand-in
// platform provides this; in the Windows builds it is done by replacing the test program's own
// imports.
#pragma once

#include "host/platform.h"

#include <string>
#include <vector>

namespace platform_control {

enum class Api { HeapCreate, HeapAlloc, HeapReAlloc };

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

// Forgets failures, boxes and counts; call at the start of every test.
void Reset();

// Makes the nth call (1 = the next one) of `api` from now on fail.
void FailCall(Api api, int nth);

// The boxes shown since Reset, in order.
const std::vector<Box> &Boxes();

// Makes IsDBCSLeadByte answer for this code page instead of the system's
// (932 after Reset). Call ReadLeadBytes afterwards.
void UseCodePage(UINT codePage);
UINT ChosenCodePage();

// Heaps created since Reset and not destroyed.
int LiveHeaps();

// For the two backends: whether this call of `api` is the one armed to fail,
// catching a box, and forgetting both.
bool ConsumeFailure(Api api);
void RecordBox(HWND owner, const char *text, const char *caption, UINT style);
void ResetShared();

} // namespace platform_control
