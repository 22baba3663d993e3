#include "title/title_repair.h"

#include "tests/support/platform_control.h"
#include "tests/support/test_util.h"
#include "title/extension_table.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

// The host's title buffer is 256 bytes; the bytes after it are a sentinel
// that the repair must never touch.
const size_t kHostTitle = 256;
const size_t kGuard = 64;
const char kSentinel = '\xEE';

// What the inner plug-in answers, and how often it was asked.
struct InnerAnswer {
    const char *title; // copied into the buffer; null leaves the buffer alone
    int calls;
    const char *file;
};
InnerAnswer g_inner;
// The size of the host's title buffer: 256 bytes, or 2048 in newer hosts.
size_t g_hostTitle = kHostTitle;

void __cdecl InnerGetFileInfo(char *file, char *title, int *length_in_ms) {
    ++g_inner.calls;
    g_inner.file = file;
    if (title != nullptr && g_inner.title != nullptr) {
        lstrcpynA(title, g_inner.title, static_cast<int>(g_hostTitle));
    }
    if (length_in_ms != nullptr) {
        *length_in_ms = 1234;
    }
}

class TitleRepair : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProxyState();
        g_inner = InnerAnswer();
        g_hostTitle = kHostTitle;
        g_proxy.savedGetFileInfo = InnerGetFileInfo;
        UseExtensions({"mp3", "Audio"});
    }
    void TearDown() override {
        ReleaseExtensionTable();
    }

    void UseExtensions(const std::vector<std::string> &strings) {
        ReleaseExtensionTable();
        list_ = ExtensionList(strings);
        BuildExtensionTable(list_.data());
    }

    // Asks for the title of `file` (null asks about the playing file) while
    // the inner plug-in answers `inner`; returns the title the host sees. The
    // repair may use the host's 256 bytes, or as many as the inner plug-in
    // wrote, but never more.
    std::string Query(const char *file, const char *inner) {
        buffer_.assign(g_hostTitle + kGuard, kSentinel);
        g_inner.title = inner;
        int length = 0;
        GetFileInfoHook(const_cast<char *>(file), buffer_.data(), &length);
        EXPECT_EQ(1234, length) << "the length must come from the inner plug-in untouched";
        size_t room =
            inner != nullptr && strlen(inner) >= kHostTitle ? strlen(inner) + 1 : kHostTitle;
        const char *end = static_cast<const char *>(memchr(buffer_.data(), 0, room));
        EXPECT_NE(nullptr, end) << "the title has no NUL within " << room << " bytes";
        for (size_t i = room; i < buffer_.size(); ++i) {
            if (buffer_[i] != kSentinel) {
                ADD_FAILURE() << "written past " << room << " bytes at " << i;
                break;
            }
        }
        return end != nullptr ? std::string(static_cast<const char *>(buffer_.data()), end)
                              : std::string();
    }

  private:
    std::string list_;
    std::vector<char> buffer_;
};

struct RepairRow {
    const char *what;
    const char *file;    // null: ask about the playing file
    const char *playing; // currentFile
    const char *inner;   // the inner plug-in's title
    const char *expected;
    UINT codePage = 932; // whose lead bytes the system has
};

const RepairRow kRows[] = {
    // 表示.mp3: 表 is 95 5C, 示 is 8E A6; the inner plug-in's cut leaves 示.
    {"cut inside 表", "D:\\audio\\\x95\x5C\x8E\xA6.mp3", "", "\x8E\xA6", "\x95\x5C\x8E\xA6"},
    {"title with extension", "D:\\audio\\song.mp3", "", "song.mp3", "song"},
    {"title that starts with the stem", "D:\\audio\\song.mp3", "", "song (live)", "song"},
    {"unrelated title", "D:\\audio\\song.mp3", "", "Artist - Title", "Artist - Title"},
    {"extension in another case", "D:\\audio\\song.MP3", "", "song", "song"},
    {"unknown extension", "D:\\audio\\song.xyz", "", "song", "song"},
    {"unknown extension, whole name", "D:\\audio\\song.xyz", "", "song.xyz", "song.xyz"},
    {"stem compared with case", "D:\\audio\\Song.mp3", "", "song", "song"},
    {"title shorter than the stem", "D:\\audio\\song.mp3", "", "so", "so"},
    {"playing file, null name", nullptr, "D:\\audio\\\x95\x5C\x8E\xA6.mp3", "\x8E\xA6",
     "\x95\x5C\x8E\xA6"},
    {"playing file, empty name", "", "D:\\audio\\\x95\x5C\x8E\xA6.mp3", "\x8E\xA6",
     "\x95\x5C\x8E\xA6"},
    {"nothing played yet keeps the title", nullptr, "", "Stream title", "Stream title"},
    {"nothing played, empty title", nullptr, "", "", ""},
    {"path ending in a separator keeps the title", "D:\\audio\\", "", "audio", "audio"},
    {"no separator at all", "song.mp3", "", "song.mp3", "song"},
    {"lone lead byte at the end", "D:\\a\\b\x81", "", "b\x81", "b\x81"},
    {"path ending in the 5C of 表", "D:\\audio\\\x95\x5C", "", "", "\x95\x5C"},
    {"表 ends a folder name", "D:\\\x95\x5C\\song.mp3", "", "song", "song"},
    {"表 cut in a folder and the name", "D:\\\x95\x5C\\\x95\x5C.mp3", "", "", "\x95\x5C"},
    {"half-width katakana are single bytes", "C:\\\xB1\\\xB2\xDF.mp3", "", "\xB2\xDF", "\xB2\xDF"},
    {"half-width katakana before 表", "C:\\\xB1\x95\x5C.mp3", "", "", "\xB1\x95\x5C"},
    {"あ before the cut", "C:\\\x82\xA0\x95\x5C\x8B\xC8.mp3", "", "\x8B\xC8",
     "\x82\xA0\x95\x5C\x8B\xC8"}, // あ表曲
    {"URL without a separator", "http://example/a.mp3", "", "a.mp3", "a.mp3"},
    // 曲ソ.mp3: ソ is 83 5C, so the byte-wise base name is .mp3 and the stem empty.
    {"empty stem keeps a tag title", "D:\\\x8B\xC8\x83\x5C.mp3", "", "Artist - Title",
     "Artist - Title"},
    {"empty stem, title of the base name", "D:\\\x8B\xC8\x83\x5C.mp3", "", ".mp3 (1)",
     "\x8B\xC8\x83\x5C.mp3 (1)"},
    {"empty stem, empty title", "D:\\\x8B\xC8\x83\x5C.mp3", "", "", "\x8B\xC8\x83\x5C"},
    {"empty base name keeps a title", "D:\\audio\\\x95\x5C", "", "Artist", "Artist"},
    {"name of only an extension keeps its title", "D:\\audio\\.mp3", "", ".mp3", ".mp3"},
    // A name cut inside a character keeps what the plug-in added after the
    // cut stem: 十字架.adx gives 字架#2 (bgm_title) for its second subsong.
    {"cut title keeps a subsong", "D:\\m\\\x8F\x5C\x8E\x9A\x89\xCB.mp3", "",
     "\x8E\x9A\x89\xCB#2 (bgm_title)", "\x8F\x5C\x8E\x9A\x89\xCB#2 (bgm_title)"},
    {"cut title keeps (live)", "D:\\\x95\x5C\x8E\xA6.mp3", "", "\x8E\xA6 (live)",
     "\x95\x5C\x8E\xA6 (live)"},
    {"cut title loses its extension", "D:\\\x95\x5C\x8E\xA6.mp3", "", "\x8E\xA6.mp3",
     "\x95\x5C\x8E\xA6"},
    {"cut stem before a letter is a tag title",
     "D:\\\x95\x5C"
     "A.mp3",
     "", "Aerosmith - Dream On", "Aerosmith - Dream On"},
    {"cut stem before a digit is a tag title",
     "D:\\\x95\x5C"
     "1.mp3",
     "", "12 Steps", "12 Steps"},
    {"cut stem before a double-byte character", "D:\\\x95\x5C\x83\x41.mp3", "",
     "\x83\x41\x81\x5B\x83\x65\x83\x42\x83\x58\x83\x67", // 表ア.mp3, アーティスト
     "\x83\x41\x81\x5B\x83\x65\x83\x42\x83\x58\x83\x67"},
    {"uncut name keeps the old rule", "D:\\a\\song.mp3", "", "song #2", "song"},
    // '/' separates too, and a repaired title never holds a folder.
    {"forward slashes", "C:/m/\x95\x5C\x8E\xA6.mp3", "", "\x8E\xA6", "\x95\x5C\x8E\xA6"},
    {"URL cut inside a character", "http://host/\x95\x5C\x8E\xA6.mp3", "", "\x8E\xA6",
     "\x95\x5C\x8E\xA6"},
    {"plug-in that cuts at '/'", "C:/m/t.mp3", "", "t", "t"},
    {"folder after the last 5C", "D:\\\x95\x5C\\x/y.mp3", "", "x/y", "y"},
    {"whole URL as title", "http://host/a.mp3", "", "http://host/a.mp3", "a"},
    {"1252: é is a character of its own", "D:\\Caf\xE9\\song.mp3", "", "song", "song", 1252},
    {"1252: every 5C is a separator", "D:\\\x95\x5C\x8E\xA6.mp3", "", "\x8E\xA6", "\x8E\xA6", 1252},
    {"950: cut inside 功", "D:\\x\\\xA5\x5C\xAF\xE0.mp3", "", "\xAF\xE0", "\xA5\x5C\xAF\xE0",
     950}, // 功能
    {"936: cut inside 淺", "D:\\x\\\x9C\x5C\xC4\xDC.mp3", "", "\xC4\xDC", "\x9C\x5C\xC4\xDC",
     936}, // 淺能
};

TEST_F(TitleRepair, Rows) {
    for (const RepairRow &row : kRows) {
        SCOPED_TRACE(row.what);
        platform_control::UseCodePage(row.codePage);
        ReadLeadBytes();
        lstrcpynA(g_proxy.currentFile, row.playing, sizeof g_proxy.currentFile);
        std::string title = Query(row.file, row.inner);
        EXPECT_EQ(row.expected, title)
            << "path " << Escaped(row.file ? row.file : row.playing) << ", inner title "
            << Escaped(row.inner) << ", got " << Escaped(title);
    }
}

// Every character whose second byte is 0x5C, at the start of the name, where
// the cut leaves the rest of the name; and in a folder, where it must not
// matter.
TEST_F(TitleRepair, EveryCharacterWithA5CSecondByte) {
    const struct {
        const char *name;
        const char *bytes;
    } characters[] = {
        {"―", "\x81\x5C"},  {"ソ", "\x83\x5C"}, {"Ы", "\x84\x5C"},  {"Ⅸ", "\x87\x5C"},
        {"噂", "\x89\x5C"}, {"欺", "\x8B\x5C"}, {"圭", "\x8C\x5C"}, {"構", "\x8D\x5C"},
        {"蚕", "\x8E\x5C"}, {"十", "\x8F\x5C"}, {"申", "\x90\x5C"}, {"貼", "\x93\x5C"},
        {"能", "\x94\x5C"}, {"表", "\x95\x5C"}, {"暴", "\x96\x5C"}, {"予", "\x97\x5C"},
    };
    for (const auto &c : characters) {
        SCOPED_TRACE(c.name);
        std::string bytes = c.bytes;
        std::string path = "C:\\music\\" + bytes + "x.mp3";
        EXPECT_EQ(bytes + "x", Query(path.c_str(), "x"));
        path = "C:\\" + bytes + "\\" + bytes + bytes + "y.mp3";
        EXPECT_EQ(bytes + bytes + "y", Query(path.c_str(), "y"));
        path = "C:\\a" + bytes + "\\z.mp3";
        EXPECT_EQ("z", Query(path.c_str(), "z.mp3"));
    }
}

TEST_F(TitleRepair, LongNamesAreCutAt255Bytes) {
    // The byte-wise cut falls near the end of a long name.
    std::string name = std::string(290, 'a') + "\x95\x5C" + "b.mp3";
    EXPECT_EQ(std::string(255, 'a'), Query(("C:\\" + name).c_str(), "b"));
    // The extension is looked for at the end of the 255 bytes kept.
    name = std::string(251, 'a') + ".mp3" + "\x95\x5C" + "b.mp3";
    EXPECT_EQ(std::string(251, 'a'), Query(("C:\\" + name).c_str(), "b"));
    // A stem longer than any title can be never matches.
    name = std::string(300, 'c') + ".mp3";
    std::string inner(255, 'c');
    EXPECT_EQ(inner, Query(("C:\\" + name).c_str(), inner.c_str()));
    // Never a first byte without its second: あ is 82 A0, and あ x 150 is
    // cut to 127 of them, not 127 and a half.
    std::string a150, a127;
    for (int i = 0; i < 150; ++i) {
        a150 += "\x82\xA0";
        a127 += i < 127 ? "\x82\xA0" : "";
    }
    EXPECT_EQ(a127, Query(("C:\\" + a150 + "\x95\x5C\x8E\xA6.mp3").c_str(), "\x8E\xA6"));
}

// Newer hosts give 2048 bytes, and plug-ins fill them: a repair may use as
// many bytes as the inner plug-in wrote.
TEST_F(TitleRepair, TitlesAsLongAsTheInnerPluginWrote) {
    g_hostTitle = 2048;
    std::string a150;
    for (int i = 0; i < 150; ++i) {
        a150 += "\x82\xA0";
    }
    EXPECT_EQ(a150, Query(("C:\\m\\" + a150 + ".mp3").c_str(), (a150 + ".mp3").c_str()));
    // Of a larger buffer, only what the inner plug-in wrote is known to be there.
    std::string a127 = a150.substr(0, 254);
    EXPECT_EQ(a127, Query(("C:\\m\\" + a150 + "\x95\x5C\x8E\xA6.mp3").c_str(), "\x8E\xA6"));
}

TEST_F(TitleRepair, PathsOf32KiB) {
    std::string path = "C:";
    while (path.size() < 32 * 1024) {
        path += "\\\x95\x5C\x8E\xA6";
    }
    path += "\\\x95\x5C\x8E\xA6.mp3";
    EXPECT_EQ("\x95\x5C\x8E\xA6", Query(path.c_str(), "\x8E\xA6"));
}

TEST_F(TitleRepair, PlayingFileOfFullLength) {
    // 259 characters of two bytes each: 518 bytes and the NUL.
    std::string path = "C:\\x";
    while (path.size() < 512) {
        path += "\x82\xA0";
    }
    path += "\\\x95\x5C.mp3";
    ASSERT_EQ(519u, path.size());
    RecordCurrentFile(path.c_str());
    EXPECT_EQ("\x95\x5C", Query(nullptr, ""));
}

TEST_F(TitleRepair, NullTitleOnlyAsksTheInnerPlugin) {
    int length = 0;
    char file[] = "C:\\a.mp3";
    GetFileInfoHook(file, nullptr, &length);
    EXPECT_EQ(1, g_inner.calls);
    EXPECT_EQ(file, g_inner.file);
    EXPECT_EQ(1234, length);
}

TEST_F(TitleRepair, PassesTheHostsArgumentsUnchanged) {
    Query(nullptr, "x");
    EXPECT_EQ(nullptr, g_inner.file);
    Query("", "x");
    EXPECT_STREQ("", g_inner.file);
}

TEST_F(TitleRepair, WithoutInnerEntryRepairsWhatTheBufferHeld) {
    g_proxy.savedGetFileInfo = nullptr;
    char title[kHostTitle] = "\x8E\xA6";
    int length = 77;
    char file[] = "D:\\\x95\x5C\x8E\xA6.mp3";
    GetFileInfoHook(file, title, &length);
    EXPECT_STREQ("\x95\x5C\x8E\xA6", title);
    EXPECT_EQ(77, length);
}

TEST_F(TitleRepair, EmptyTableComparesWholeNames) {
    UseExtensions({});
    EXPECT_EQ("song.mp3", Query("C:\\song.mp3", "song.mp3"));
    EXPECT_EQ("song", Query("C:\\song.mp3", "song"));
}

TEST_F(TitleRepair, FirstMatchingExtensionCuts) {
    UseExtensions({"gz;tar.gz", "Archives"});
    EXPECT_EQ("x.tar", Query("C:\\x.tar.gz", "x.tar"));
}

} // namespace
