// What both backends of the test controls share: the armed failures, the
// boxes caught and the chosen code page.
#include "tests/support/platform_control.h"

namespace platform_control {

namespace {

int g_countdown[3];       // per Api: the call that fails, counting down; 0 = none
std::vector<Box> g_boxes; // in the order shown
UINT g_codePage = 932;

} // namespace

void FailCall(Api api, int nth) {
    g_countdown[static_cast<int>(api)] = nth;
}

void UseCodePage(UINT codePage) {
    g_codePage = codePage;
}

UINT ChosenCodePage() {
    return g_codePage;
}

const std::vector<Box> &Boxes() {
    return g_boxes;
}

bool ConsumeFailure(Api api) {
    int &countdown = g_countdown[static_cast<int>(api)];
    return countdown > 0 && --countdown == 0;
}

void RecordBox(HWND owner, const char *text, const char *caption, UINT style) {
    g_boxes.push_back({owner, text, caption, style});
}

void ResetShared() {
    for (int &countdown : g_countdown) {
        countdown = 0;
    }
    g_boxes.clear();
    g_codePage = 932;
}

} // namespace platform_control
