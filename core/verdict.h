// What a plug-in's answers in the child say about it.
#pragma once

#include "core/messages.h"
#include "core/probe.h"

#include <string>

enum Verdict {
    kNeedsVelkor,
    kTitlesCorrectly,
    kFronted,
    kNoNeed,
    kCannotFront,
    kCannotTell,
    kNotInputPlugin,
    kCannotLoad,
    kCrashed,
    kTimedOut,
    kCannotWork, // a copy of Velkor that gives the player no working plug-in
    kCutShort,   // X.vlk without X.dll: a change was cut short
    kLeftOver,   // X.vlk beside an X.dll that is no copy of Velkor
    kSpareCopy,  // a spare copy of Velkor that a change cut short left
};

struct Finding {
    Verdict verdict;
    std::wstring description;
    std::wstring basis; // what the verdict rests on
};

std::wstring VerdictName(Verdict verdict);

// The verdict on `path` from the child's answers. A Velkor copy is judged by
// JudgeCopy instead.
Finding Judge(const std::string &path, const ProbeResult &probe);
Finding JudgeCopy(const std::string &path, const std::string &namesFolder);

// A record that Velkor can front, from a child that finished.
bool CanFront(const ProbeResult &probe);

// "表示.mp3 -> 示"
std::wstring TitleBasis(const TitleAnswer &answer);
std::wstring TitleText(const std::string &title);

// The plug-in that a Velkor copy fronts: its name with .vlk for .dll.
std::string InnerOf(const std::string &front);

// An empty folder of the program's own for test files, whose name holds a
// character that a byte-wise cut breaks; removed with its files at the end.
class TestNamesFolder {
  public:
    TestNamesFolder();
    ~TestNamesFolder();
    TestNamesFolder(const TestNamesFolder &) = delete;
    TestNamesFolder &operator=(const TestNamesFolder &) = delete;
    const std::string &path() const {
        return path_;
    }

  private:
    std::string path_;
};

// Says which test names are used, or that this code page cuts nothing.
void SayTestNames();
