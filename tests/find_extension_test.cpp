#include "title/extension_table.h"

#include "host/in_module.h"
#include "tests/support/platform_control.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <ctype.h>

#include <random>
#include <string>
#include <vector>

namespace {

class FindExtension : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProxyState();
    }
    void TearDown() override {
        ReleaseExtensionTable();
    }

    void Build(const std::vector<std::string> &strings) {
        list_ = ExtensionList(strings);
        BuildExtensionTable(list_.data());
    }

    // The entry's number in the table, or -1 for none.
    static int Find(const std::string &name) {
        const ExtensionEntry *found =
            FindKnownExtension(name.data(), static_cast<int>(name.size()));
        return found != nullptr ? static_cast<int>(found - g_proxy.extensions) : -1;
    }

  private:
    std::string list_;
};

struct FindRow {
    const char *group; // one group of extensions
    const char *name;
    int expected; // entry number, or -1
};

TEST_F(FindExtension, Rows) {
    const FindRow rows[] = {
        {"mp3", "song.MP3", 0},
        {"mp3", "song.mp3", 0},
        {"mp3", "mp3", -1}, // no dot before it
        {"mp3", ".mp3", 0}, // an empty stem
        {"mp3", "song.mp", -1},
        {"mp3", "songmp3", -1},
        {"mp3", "song.xmp3", -1},
        {"mp3", "a.mp3.bak", -1},
        {"mp3;p3", "x.mp3", 0},
        {"mp3;p3", "x.p3", 1},
        {"p3;mp3", "x.mp3", 1},
        {"MP3;mp3", "x.mp3", 0}, // the first in table order wins
        {"ogg;mp3", "x.MP3", 1},
        {"a", "x.A", 0},
        {"tar.gz;gz", "x.tar.gz", 0},
        {"gz;tar.gz", "x.tar.gz", 0},
        {"mp3", "\x95\x5C\x8E\xA6.mp3", 0}, // 表示.mp3
        {"mp3", "\x95\x5C", -1},            // 表 alone
        {"\x95\x5C", "a.\x95\x5C", 0},      // a Shift_JIS extension, 表
        {"3", "a.3", 0},
    };
    for (const FindRow &row : rows) {
        ResetProxyState();
        Build({row.group, "Desc"});
        EXPECT_EQ(row.expected, Find(row.name))
            << "extensions " << Escaped(row.group) << ", name " << Escaped(row.name);
    }
}

TEST_F(FindExtension, LengthLimitsTheName) {
    Build({"mp3", "A"});
    // Only the first `length` bytes count as the name.
    EXPECT_EQ(nullptr, FindKnownExtension("a.mp3x", 6));
    EXPECT_NE(nullptr, FindKnownExtension("a.mp3x", 5));
}

TEST_F(FindExtension, EntriesPastTheIndexAreFound) {
    std::string group;
    for (int i = 0; i < INDEXED_EXTENSIONS + 100; ++i) {
        group += (i ? ";x" : "x") + std::to_string(i);
    }
    Build({group, "Many"});
    ASSERT_EQ(static_cast<DWORD>(INDEXED_EXTENSIONS + 100), g_proxy.extensionCount);
    EXPECT_EQ(INDEXED_EXTENSIONS + 99, Find("a.X" + std::to_string(INDEXED_EXTENSIONS + 99)));
    EXPECT_EQ(5, Find("a.x5"));
}

// What a lookup must answer: the first entry in table order that the
// platform's comparison accepts, checked entry by entry.
int PlainScan(const std::string &name) {
    int n = static_cast<int>(name.size());
    for (DWORD i = 0; i < g_proxy.extensionCount; ++i) {
        const ExtensionEntry &e = g_proxy.extensions[i];
        if (n >= e.length + 1 && name[n - e.length - 1] == '.' &&
            StrCmpNIA(name.data() + n - e.length, e.name, e.length) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The index must never change which entry matches, whatever the platform's
// comparison folds: full-width letters, Cyrillic pairs whose second bytes
// look like ASCII letters, lone lead bytes and half-width katakana included.
TEST_F(FindExtension, IndexAgreesWithAPlainScan) {
    const std::vector<std::string> pieces = {
        "a",        "A", "b", "B", "3", "m", "M", "p", "P", ".",
        "\x82\x60", // Ａ, full-width
        "\x82\x81", // ａ
        "\x84\x41", // Б, second byte 'A'
        "\x84\x71", // б, second byte 'q'
        "q",        "Q",
        "\x95\x5C", // 表
        "\x81",     // a lead byte alone
        "\x82",     // another one
        "\xB1",     // ｱ, half-width katakana
        "\xDF",     // ﾟ
        "-",        " ", "_",
        "\x01", // a control character, which linguistic comparisons may ignore
    };
    std::mt19937 random(932);
    auto piece = [&] { return pieces[random() % pieces.size()]; };
    for (int round = 0; round < 200; ++round) {
        ResetProxyState();
        std::string group;
        int entries = 1 + random() % 12;
        for (int e = 0; e < entries; ++e) {
            std::string extension;
            int length = 1 + random() % 3;
            for (int k = 0; k < length; ++k) {
                extension += piece();
            }
            group += (e ? ";" : "") + extension;
        }
        Build({group, "Desc"});
        for (int probe = 0; probe < 50; ++probe) {
            std::string name = "n";
            int length = 1 + random() % 5;
            for (int k = 0; k < length; ++k) {
                name += piece();
            }
            ASSERT_EQ(PlainScan(name), Find(name))
                << "extensions " << Escaped(group) << ", name " << Escaped(name);
        }
    }
}

#ifdef _WIN32
// The list that a real plug-in hands over: vgmstream's 708 extensions, read
// from the vendored plug-in after its Init, against names of every kind.
TEST_F(FindExtension, IndexAgreesWithAPlainScanOnARealList) {
    std::string path = std::string("Z:") + VELKOR_REAL_PLUGINS_DIR + "/in_vgmstream.dll";
    for (char &c : path) {
        c = c == '/' ? '\\' : c;
    }
    HMODULE plugin = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, plugin) << path;
    auto get = reinterpret_cast<In_Module *(__cdecl *)(void)>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(plugin, "winampGetInModule2")));
    ASSERT_NE(nullptr, get);
    In_Module *module = get();
    module->hDllInstance = plugin;
    module->Init();
    BuildExtensionTable(module->FileExtensions);
    ASSERT_GT(g_proxy.extensionCount, 700u);
    std::vector<std::string> tails;
    for (DWORD i = 0; i < g_proxy.extensionCount; i += 7) {
        tails.push_back(g_proxy.extensions[i].name);
    }
    const std::vector<std::string> pieces = {"a",        "Z",        "3",    ".",    "-",       " ",
                                             "\x82\xA0", "\x95\x5C", "\x81", "\xB1", "\x82\x60"};
    std::mt19937 random(708);
    for (int probe = 0; probe < 5000; ++probe) {
        std::string name = "\x8B\xC8";
        int length = random() % 4;
        for (int k = 0; k < length; ++k) {
            name += pieces[random() % pieces.size()];
        }
        name += ".";
        std::string tail = tails[random() % tails.size()];
        for (char &c : tail) {
            c = random() % 3 == 0 ? static_cast<char>(toupper(static_cast<unsigned char>(c))) : c;
        }
        name += random() % 4 == 0 ? pieces[random() % pieces.size()] + tail : tail;
        ASSERT_EQ(PlainScan(name), Find(name)) << "name " << Escaped(name);
    }
    module->Quit();
    ReleaseExtensionTable();
    FreeLibrary(plugin);
}
#endif

} // namespace
