// The media that the program carries, and which files a plug-in is asked
// about: plug-ins that can open them refuse a header that does not add up.
#include "core/test_media.h"

#include <gtest/gtest.h>

namespace {

unsigned long Read(const std::string &bytes, size_t at, int size) {
    unsigned long value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

TEST(TestMedia, TheWaveAddsUp) {
    std::string wave = PcmWave();
    ASSERT_GT(wave.size(), 44u);
    EXPECT_EQ("RIFF", wave.substr(0, 4));
    EXPECT_EQ(wave.size() - 8, Read(wave, 4, 4));
    EXPECT_EQ("WAVEfmt ", wave.substr(8, 8));
    EXPECT_EQ(16u, Read(wave, 16, 4));
    EXPECT_EQ(1u, Read(wave, 20, 2)); // PCM
    unsigned long channels = Read(wave, 22, 2), rate = Read(wave, 24, 4);
    unsigned long align = Read(wave, 32, 2), bits = Read(wave, 34, 2);
    EXPECT_EQ(channels * bits / 8, align);
    EXPECT_EQ(rate * align, Read(wave, 28, 4));
    EXPECT_EQ("data", wave.substr(36, 4));
    EXPECT_EQ(wave.size() - 44, Read(wave, 40, 4));
}

TEST(TestMedia, TheRawEndsAndItsTitleIsEmpty) {
    std::string raw = AdlibRaw();
    ASSERT_EQ("RAWADATA", raw.substr(0, 8));
    ASSERT_EQ(0u, raw.size() % 2);
    size_t end = 10;
    for (; end + 1 < raw.size() && !(raw[end] == '\xFF' && raw[end + 1] == '\xFF'); end += 2) {
        // A pause of 0 ticks would wrap round to 255 in AdPlug's player.
        EXPECT_FALSE(raw[end + 1] == 0 && raw[end] == 0) << "pair at " << end;
    }
    EXPECT_EQ(std::string("\xFF\xFF\x1A\0", 4), raw.substr(end));
}

TEST(TestMedia, EachPluginGetsTheMediaThatFitItThenEmptyFiles) {
    struct Row {
        std::string block;
        const char *files; // "=wav" and "=raw" mark the media
    } rows[] = {
        {std::string("mp3;mp2\0Audio\0ogg\0Vorbis\0", 26), "mp3 mp2 ogg "},
        {std::string("2dx9;aax;LWAV;wav;zzz\0VGM\0", 27), "wav=wav LWAV=wav 2dx9 aax "},
        {std::string("a2m\0A2M\0raw\0RAW\0", 18), "raw=raw a2m "},
        {std::string("raw\0RAW\0", 8), "raw=raw "},
        {std::string(), "mp3 "},
    };
    for (const Row &row : rows) {
        std::string files;
        for (const TestFile &file : TestFilesFor(row.block, 3)) {
            files += file.extension +
                     (file.bytes.empty()         ? ""
                      : file.bytes == PcmWave()  ? "=wav"
                      : file.bytes == AdlibRaw() ? "=raw"
                                                 : "=?") +
                     " ";
        }
        EXPECT_EQ(row.files, files);
    }
}

} // namespace
