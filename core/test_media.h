// Tiny valid media files that the program carries. Many real plug-ins title
// only the files that they can open, and give no title at all for an empty
// one; for them, the test names are given to these files instead.
#pragma once

#include <string>
#include <vector>

// 400 samples of a quiet tone: PCM, 16 bits, one channel, 8000 Hz.
std::string PcmWave();
// Half a second of one note for the OPL2 chip, as a RAW capture.
std::string AdlibRaw();

struct TestFile {
    std::string extension;
    std::string bytes; // empty for an empty file
};

// The files to ask a plug-in about, from its FileExtensions block: each
// medium under each of the plug-in's extensions that fit it, then empty
// files under those of its first `count` extensions that have no medium
// (mp3 when it names none).
std::vector<TestFile> TestFilesFor(const std::string &block, size_t count);
