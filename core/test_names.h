// Test names that show whether a plug-in cuts file names at a 0x5C byte
// inside a double-byte character, found by asking the ANSI code page.
#pragma once

#include "core/test_media.h"

#include <string>
#include <vector>

// Two characters of the code page: the first has 0x5C as its second byte,
// the second has not, so a byte-wise cut leaves the second (表示 leaves 示
// under 932). Empty when the code page has no such character: a single-byte
// one, or a double-byte one whose second bytes are never 0x5C.
std::string CuttingStem();

// The stem of the test files: CuttingStem(), or a plain name without it.
std::string TestStem();

// The stems of a path's file name, each without the text after its last dot:
// as a plug-in that cuts at the last 0x5C byte takes it, and whole.
std::string BytewiseStem(const std::string &path);
std::string WholeStem(const std::string &path);

enum TitleKind {
    kTitleWhole, // the whole name: the plug-in titles correctly
    kTitleCut,   // begins with the byte-wise stem: the plug-in cuts
    kTitleNone,
    kTitleOther, // from the file's contents, or unlike the name
};

TitleKind ClassifyTitle(const std::string &path, const std::string &title);

// What a Velkor copy makes of the plug-in's own title: the whole stem for a
// cut one, the same title otherwise.
std::string TitleBehindVelkor(const std::string &path, const std::string &title);

// The first `count` different extensions of a FileExtensions block (pairs of
// NUL-ended strings, "mp3;mp2" then "Audio"), leaving out any that cannot
// name a file.
std::vector<std::string> FirstExtensions(const std::string &block, size_t count);

// The files, named TestStem() under their extensions, in `folder`; their
// paths.
std::vector<std::string> MakeTestFiles(const std::string &folder,
                                       const std::vector<TestFile> &files);
