#include "title/extension_table.h"

#include "tests/support/guarded_buffer.h"
#include "tests/support/platform_control.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform_control::Api;

const std::string k70(70, 'x');
const std::string k63(63, 'x');

class ExtensionTable : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProxyState();
    }
    void TearDown() override {
        ReleaseExtensionTable();
        EXPECT_EQ(0, platform_control::LiveHeaps()) << "a heap outlived the table";
        EXPECT_EQ(nullptr, g_proxy.extensions);
        EXPECT_EQ(nullptr, g_proxy.extensionHeap);
        EXPECT_EQ(0u, g_proxy.extensionCount);
    }
};

// Every entry's length is its name's, and every byte after the name is zero.
void ExpectWellFormedEntries() {
    for (DWORD i = 0; i < g_proxy.extensionCount; ++i) {
        const ExtensionEntry &entry = g_proxy.extensions[i];
        EXPECT_EQ(static_cast<int>(strlen(entry.name)), entry.length) << "entry " << i;
        for (size_t b = entry.length; b < sizeof entry.name; ++b) {
            EXPECT_EQ(0, entry.name[b]) << "entry " << i << " byte " << b;
        }
    }
}

struct ListRow {
    const char *what;
    std::vector<std::string> strings; // the list's strings, before its final empty one
    std::vector<std::string> expected;
};

const ListRow kListRows[] = {
    {"two in one group", {"mp3;MP2", "Audio"}, {"mp3", "MP2"}},
    {"three groups", {"mp3", "A", "ogg;oga", "B"}, {"mp3", "ogg", "oga"}},
    {"';' before the NUL ends the group only", {"mp3;", "Audio", "ogg", "B"}, {"mp3", "ogg"}},
    {"leading ';' adds no empty entry", {";mp3", "A"}, {"mp3"}},
    {"';;' adds no empty entry", {"mp3;;ogg", "A"}, {"mp3", "ogg"}},
    {"only ';'", {";", "A", "ogg", "B"}, {"ogg"}},
    {"70 characters then ';'", {k70 + ";ogg", "A"}, {k63, "ogg"}},
    {"70 characters end their group", {k70, "A", "ogg", "B"}, {k63, "ogg"}},
    {"63 characters kept whole", {k63 + ";a", "A"}, {k63, "a"}},
    {"missing description at the end", {"mp3"}, {"mp3"}},
    {"missing description after groups", {"mp3", "A", "ogg"}, {"mp3", "ogg"}},
    {"empty list", {}, {}},
    {"Shift_JIS bytes kept as they are", {"\x95\x5C;m\x82\xA0", "A"}, {"\x95\x5C", "m\x82\xA0"}},
};

TEST_F(ExtensionTable, ReadsListRows) {
    for (const ListRow &row : kListRows) {
        SCOPED_TRACE(row.what);
        ResetProxyState();
        std::string list = ExtensionList(row.strings);
        BuildExtensionTable(list.data());
        EXPECT_EQ(row.expected, TableNames()) << Escaped(list);
        ExpectWellFormedEntries();
        EXPECT_TRUE(platform_control::Boxes().empty());
        EXPECT_EQ(row.expected.empty() ? 0 : 1, platform_control::LiveHeaps());
        ReleaseExtensionTable();
    }
}

// The list's last byte sits right before an unreadable page: reading past the
// list's end crashes the test instead of passing unnoticed.
TEST_F(ExtensionTable, NeverReadsPastTheList) {
    for (const ListRow &row : kListRows) {
        SCOPED_TRACE(row.what);
        ResetProxyState();
        std::string list = ExtensionList(row.strings);
        GuardedBuffer guarded(list.data(), list.size());
        BuildExtensionTable(guarded.data());
        EXPECT_EQ(row.expected, TableNames()) << Escaped(list);
        ReleaseExtensionTable();
    }
}

TEST_F(ExtensionTable, NullListMakesNoTable) {
    BuildExtensionTable(nullptr);
    EXPECT_EQ(0u, g_proxy.extensionCount);
    EXPECT_EQ(0, platform_control::LiveHeaps());
    EXPECT_EQ(nullptr, FindKnownExtension("a.mp3", 5));
}

TEST_F(ExtensionTable, ReadsAThousandExtensions) {
    std::string group;
    std::vector<std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        expected.push_back("e" + std::to_string(i));
        group += (i ? ";" : "") + expected.back();
    }
    std::string list = ExtensionList({group, "Many"});
    BuildExtensionTable(list.data());
    ASSERT_EQ(expected, TableNames());
    ExpectWellFormedEntries();
    const ExtensionEntry *found = FindKnownExtension("song.E999", 9);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(999, found - g_proxy.extensions);
}

struct FailureRow {
    const char *what;
    Api api;
    int nth;
    const char *text;
    std::vector<std::string> kept;
};

TEST_F(ExtensionTable, AllocationFailuresShowOneBoxAndKeepAUsableTable) {
    const FailureRow rows[] = {
        {"heap creation", Api::HeapCreate, 1, kAllocationFailedText, {}},
        {"first block", Api::HeapAlloc, 1, kAllocationFailedText, {}},
        {"growth for the 2nd extension", Api::HeapReAlloc, 1, kGrowthFailedText, {"mp3"}},
        {"growth for the 4th extension",
         Api::HeapReAlloc,
         3,
         kGrowthFailedText,
         {"mp3", "mp2", "ogg"}},
    };
    for (const FailureRow &row : rows) {
        SCOPED_TRACE(row.what);
        ResetProxyState();
        platform_control::FailCall(row.api, row.nth);
        std::string list = ExtensionList({"mp3;mp2", "Audio", "ogg;oga;flac", "Vorbis"});
        BuildExtensionTable(list.data());

        const auto &boxes = platform_control::Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(row.text, boxes[0].text) << Escaped(boxes[0].text);
        EXPECT_EQ("plug.vlk", boxes[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_SETFOREGROUND), boxes[0].style);
        EXPECT_EQ(nullptr, boxes[0].owner);

        EXPECT_EQ(row.kept, TableNames());
        ExpectWellFormedEntries();
        EXPECT_EQ(row.kept.empty() ? 0 : 1, platform_control::LiveHeaps());
        EXPECT_EQ(row.kept.empty(), g_proxy.extensions == nullptr);
        EXPECT_EQ(row.kept.empty() ? nullptr : g_proxy.extensions, FindKnownExtension("a.MP3", 5));
        ReleaseExtensionTable();
        EXPECT_EQ(0, platform_control::LiveHeaps());
    }
}

TEST_F(ExtensionTable, MessagesAreCodePage932) {
    // "Allocating memory failed." / "Enlarging the allocated memory failed."
    EXPECT_EQ(std::string("\x83\x81\x83\x82\x83\x8a\x82\xcc\x8a\x84\x82\xe8\x93\x96\x82\xc4\x82\xc9"
                          "\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42"),
              kAllocationFailedText);
    EXPECT_EQ(
        std::string("\x8a\x84\x82\xe8\x93\x96\x82\xc4\x83\x81\x83\x82\x83\x8a\x82\xcc\x8a\x67"
                    "\x92\xa3\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42"),
        kGrowthFailedText);
}

TEST_F(ExtensionTable, ReleaseTwiceIsHarmless) {
    std::string list = ExtensionList({"mp3", "A"});
    BuildExtensionTable(list.data());
    ReleaseExtensionTable();
    ReleaseExtensionTable();
    BuildExtensionTable(list.data());
    EXPECT_NE(nullptr, FindKnownExtension("a.mp3", 5));
}

} // namespace
