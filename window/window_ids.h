// The window's class and its controls' identifiers: the window's own code
// and its end-to-end test, which drives it through its controls' messages,
// both use these.
#pragma once

#define VELKOR_WINDOW_CLASS L"VelkorWindow"

// The list of plug-ins, a report-view SysListView32 with the columns file,
// description, verdict and what the verdict rests on. Each item's lParam is
// its row's number.
#define IDC_PLUGIN_LIST 100
// msctls_progress32: how many plug-ins of the scan are done.
#define IDC_PROGRESS 101
// A static text: what the window is doing, or what it did last.
#define IDC_STATUS 102

// Buttons, each enabled only where it applies to the selected row.
#define IDC_INSTALL 110
#define IDC_UNINSTALL 111
#define IDC_CHECK 112
#define IDC_UPDATE_ALL 113
// Pick a folder to scan, with the system's folder picker.
#define IDC_FOLDER 114
// Enabled while a scan or a change runs, and only then.
#define IDC_CANCEL 115
#define IDC_RESCAN 116
// A drop-down list of the runtimes: msvcrt (the default), msvcr70.
#define IDC_RUNTIME 117
#define IDC_CLOSE 118
#define IDC_RUNTIME_LABEL 119

// The titles view of "Check titles": a window of this class with a
// read-only multi-line edit control IDC_CHECK_TEXT.
#define VELKOR_CHECK_CLASS L"VelkorCheckWindow"
#define IDC_CHECK_TEXT 200
