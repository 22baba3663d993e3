// Loading a plug-in in a child process: the program starts itself with an
// internal argument, so that a plug-in that crashes, hangs or waits on a
// dialog cannot stop it. The child reports each step as it takes it, to a
// file, so that what it reached is known even when it is killed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The child's first argument.
extern const wchar_t kProbeChildArgument[];

// How long a child may take.
const DWORD kProbeLimitMs = 10000;

struct ProbeRequest {
    std::string plugin; // the file to load
    std::string home;   // the plug-in's own folder, whose parent is the player's
    // When set, the child names test files here, under the plug-in's own
    // extensions, after its Init: the media that fit them, then empty files
    // under its first extensions. Otherwise it asks about `files`.
    std::string namesFolder;
    std::vector<std::string> files;
};

struct TitleAnswer {
    std::string file;
    std::string title;
};

struct ProbeResult {
    enum End { kFinished, kCrashed, kTimedOut, kNotStarted };
    End end = kNotStarted;
    DWORD startError = 0; // why the child could not be started
    DWORD exitCode = 0;
    DWORD exception = 0;
    std::string stage; // the plug-in's entry that ran last: DllMain, Init...
    bool loaded = false;
    DWORD loadError = 0;
    bool hasExport = false;
    bool hasRecord = false;
    DWORD version = 0;
    bool hasInit = false;
    std::string description;
    std::string recordOwner;          // the module whose image holds the record
    std::string extensions;           // the FileExtensions block after Init
    std::vector<std::string> boxes;   // Velkor's boxes, as "caption: text"
    std::vector<std::string> windows; // titles of windows that the plug-in showed
    std::vector<TitleAnswer> titles;
};

ProbeResult RunProbe(const ProbeRequest &request);

// Ends every child at once, for an interrupted program.
void EndChildren();

// The child's side: argv after the internal argument. Never returns.
void RunProbeChild(const std::vector<std::string> &args);

// A Velkor copy, told by its version resource.
bool IsVelkorCopy(const std::string &path);
