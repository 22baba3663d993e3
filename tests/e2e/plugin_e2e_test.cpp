// The real plug-in DLL under Wine, driven as the host drives it: the export
// once, Init once, Play and GetFileInfo, Quit once. The suite runs in code
// pages 932, 950 and 1252; Names() gives the names of each.
#include "tests/e2e/plugin_host.h"

#include "examples/bytewise_title.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

namespace {

const UINT kErrorBox = MB_ICONERROR | MB_SETFOREGROUND;

// In code page 932 D:\表ソ能\表示.mp3: 表 is 95 5C, so a byte-wise cut gives 示.
const std::string kSongPath = std::string("D:\\") + Names().folder + "\\" + Names().name;
char *const kSong = const_cast<char *>(kSongPath.c_str());
const char *const kGiven = Names().given;
const std::string kRepaired = Names().repaired;

// メモリの割り当てに失敗しました。 / 割り当てメモリの拡張に失敗しました。
const char kAllocationFailed[] = "\x83\x81\x83\x82\x83\x8a\x82\xcc\x8a\x84\x82\xe8\x93\x96\x82\xc4"
                                 "\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
const char kGrowthFailed[] = "\x8a\x84\x82\xe8\x93\x96\x82\xc4\x83\x81\x83\x82\x83\x8a\x82\xcc"
                             "\x8a\x67\x92\xa3\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5"
                             "\x82\xbd\x81\x42";

// The system's text for `code`, with `path` for its inserts.
std::string SystemText(DWORD code, const std::string &path = std::string()) {
    DWORD_PTR inserts[99];
    for (DWORD_PTR &insert : inserts) {
        insert = reinterpret_cast<DWORD_PTR>(path.c_str());
    }
    char *text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_ARGUMENT_ARRAY,
                   nullptr, code, 0x400, reinterpret_cast<char *>(&text), 0,
                   reinterpret_cast<va_list *>(inserts));
    std::string result = text != nullptr ? text : "";
    LocalFree(text);
    return result;
}

// Wine creates some process-wide state, a heap among it, the first time a
// DLL like this is loaded; one full run before the tests keeps that out of
// their heap counts.
class WarmUp : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string folder = MakeTestFolder();
        CopyTo(ProxyDll(), folder + "\\plug.dll");
        CopyTo(InnerDll("good"), folder + "\\plug.vlk");
        {
            PluginUnderTest plugin(folder + "\\plug.dll");
            In_Module *module = plugin.GetInModule();
            if (module != nullptr) {
                module->Init();
                module->Quit();
                FreeLibrary(module->hDllInstance);
            }
        }
        RemoveTree(folder);
    }
};
::testing::Environment *const g_warmUp = ::testing::AddGlobalTestEnvironment(new WarmUp);

class Plugin : public ::testing::Test {
  protected:
    void SetUp() override {
        g_faults = Faults();
        g_events.clear();
        heaps_ = GetProcessHeaps(0, nullptr);
        folder_ = MakeTestFolder();
    }

    // The library never unloads the inner plug-in once it has handed over
    // its record; the test host does, as a host that uninstalls it would.
    void TearDown() override {
        plugin_.reset();
        UnloadInner();
        EXPECT_EQ(heaps_, GetProcessHeaps(0, nullptr)) << "a heap was left behind";
        RemoveTree(folder_);
    }

    void UnloadInner() {
        for (int i = 0; i < 100000 && InnerLoaded(); ++i) {
            FreeLibrary(GetModuleHandleA(InnerPath().c_str()));
        }
    }

    // Copies the DLL in as `proxyName` and, unless `variant` is empty, the
    // inner plug-in of that variant as plug.vlk; then loads the DLL.
    PluginUnderTest &Install(const std::string &proxyName, const std::string &variant) {
        EXPECT_TRUE(CopyTo(ProxyDll(), folder_ + "\\" + proxyName)) << ProxyDll();
        if (!variant.empty()) {
            EXPECT_TRUE(CopyTo(InnerDll(variant), InnerPath())) << InnerDll(variant);
        }
        plugin_.reset(new PluginUnderTest(folder_ + "\\" + proxyName));
        EXPECT_TRUE(plugin_->loaded());
        return *plugin_;
    }

    std::string InnerPath() const {
        return folder_ + "\\plug.vlk";
    }

    bool InnerLoaded() const {
        return GetModuleHandleA(InnerPath().c_str()) != nullptr;
    }

    // The record that the inner plug-in's export returned, as it reported it.
    static const void *InnerRecord() {
        auto records = EventsNamed("record");
        return records.empty() ? nullptr : records.back().detail;
    }

    // Export and Init, as the host does them.
    In_Module *Start(const std::string &variant) {
        In_Module *module = Install("plug.dll", variant).GetInModule();
        EXPECT_NE(nullptr, module);
        if (module != nullptr) {
            module->hMainWindow = reinterpret_cast<HWND>(0x1234);
            module->hDllInstance = reinterpret_cast<HINSTANCE>(0x5678);
            module->Init();
        }
        return module;
    }

    std::string Title(In_Module *module, const char *file, const char *before = "") {
        char title[256 + 16];
        memset(title, '\xEE', sizeof title);
        lstrcpynA(title, before, 256);
        int length = -1;
        module->GetFileInfo(const_cast<char *>(file), title, &length);
        for (size_t i = 256; i < sizeof title; ++i) {
            EXPECT_EQ('\xEE', title[i]) << "written past 256 bytes at " << i;
        }
        return title;
    }

    std::unique_ptr<PluginUnderTest> plugin_;
    std::string folder_;
    DWORD heaps_;
};

TEST_F(Plugin, HandsTheHostTheInnerRecordItself) {
    In_Module *module = Start("good");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(InnerRecord(), module);
    // What the host wrote is what the inner plug-in saw, except the instance
    // handle, which is the inner library's own while its Init runs.
    EXPECT_EQ(reinterpret_cast<const void *>(0x1234), EventsNamed("init.hMainWindow")[0].detail);
    EXPECT_EQ(GetModuleHandleA(InnerPath().c_str()), EventsNamed("init.hDllInstance")[0].detail);
    EXPECT_EQ(GetModuleHandleA(InnerPath().c_str()), module->hDllInstance);
    // Init stays diverted; the other three are diverted after the inner Init.
    EXPECT_TRUE(plugin_->Contains(reinterpret_cast<const void *>(module->Init)));
    EXPECT_TRUE(plugin_->Contains(reinterpret_cast<const void *>(module->Quit)));
    EXPECT_TRUE(plugin_->Contains(reinterpret_cast<const void *>(module->Play)));
    EXPECT_TRUE(plugin_->Contains(reinterpret_cast<const void *>(module->GetFileInfo)));
    EXPECT_EQ(nullptr, EventsNamed("init.Quit")[0].detail) << "Quit was diverted before Init";
    EXPECT_EQ(1u, EventsNamed("init").size());
    EXPECT_TRUE(g_faults.boxes.empty());
    module->Quit();
}

TEST_F(Plugin, PlaysAndRepairsTitles) {
    In_Module *module = Start("good");
    ASSERT_NE(nullptr, module);
    // The inner plug-in's own Play and GetFileInfo were saved after its Init.
    EXPECT_EQ(0, module->Play(kSong));
    ASSERT_EQ(1u, EventsNamed("play").size());
    EXPECT_EQ(kSongPath, EventsNamed("play")[0].text);
    EXPECT_EQ(kRepaired, Title(module, kSong));
    EXPECT_EQ(kRepaired, Title(module, nullptr)) << "the playing file";
    EXPECT_EQ(kRepaired, Title(module, "")) << "the playing file";
    EXPECT_EQ("song", Title(module, "C:\\music\\song.OGG"));
    EXPECT_EQ(4u, EventsNamed("getfileinfo").size());
    module->Quit();
    EXPECT_EQ(1u, EventsNamed("quit").size());
}

// Hosts read the record after Quit, and call through it: it stays loaded
// and holds the plug-in's own entries again.
TEST_F(Plugin, QuitGivesTheRecordBack) {
    In_Module *module = Start("good");
    ASSERT_NE(nullptr, module);
    module->Quit();
    EXPECT_TRUE(InnerLoaded());
    EXPECT_EQ(1u, EventsNamed("quit").size());
    for (const void *entry : {reinterpret_cast<const void *>(module->Init),
                              reinterpret_cast<const void *>(module->Quit),
                              reinterpret_cast<const void *>(module->Play),
                              reinterpret_cast<const void *>(module->GetFileInfo)}) {
        EXPECT_FALSE(plugin_->Contains(entry)) << entry;
    }
    EXPECT_EQ(0, module->Play(kSong));
    EXPECT_EQ(GetModuleHandleA(InnerPath().c_str()), module->hDllInstance);
}

TEST_F(Plugin, UpperCaseDllNameLoadsItsVlk) {
    In_Module *module = Install("PLUG.DLL", "good").GetInModule();
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(InnerRecord(), module);
    module->Init();
    module->Quit();
    EXPECT_TRUE(g_faults.boxes.empty());
}

TEST_F(Plugin, OtherExtensionIsRefusedSilently) {
    EXPECT_EQ(nullptr, Install("plug.bin", "good").GetInModule());
    EXPECT_EQ(0, g_faults.loadLibraryCalls);
    EXPECT_TRUE(g_events.empty());
    EXPECT_TRUE(g_faults.boxes.empty());
}

TEST_F(Plugin, MissingInnerFileShowsTheSystemText) {
    EXPECT_EQ(nullptr, Install("plug.dll", "").GetInModule());
    ASSERT_EQ(1u, g_faults.boxes.size());
    const ShownBox &box = g_faults.boxes[0];
    EXPECT_EQ("LoadLibrary", box.caption);
    EXPECT_EQ(SystemText(ERROR_MOD_NOT_FOUND), box.text);
    EXPECT_EQ(kErrorBox, box.style);
    EXPECT_EQ(nullptr, box.owner);
    // The text the system allocated is freed, once.
    EXPECT_EQ(1, g_faults.localFreeCalls);
    EXPECT_EQ(g_faults.formatted, g_faults.freed);
}

// A 64-bit build, a truncated download or an empty file: the system's text
// for such errors holds an insert for the file's name.
TEST_F(Plugin, BadInnerImageShowsTheSystemTextWithThePath) {
    std::string dll;
    {
        std::ifstream in(InnerDll("good"), std::ios::binary);
        dll.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(dll.size(), 1024u);
    for (size_t size : {size_t(0), size_t(1024)}) {
        SCOPED_TRACE(size);
        g_faults = Faults();
        {
            std::ofstream out(InnerPath(), std::ios::binary | std::ios::trunc);
            out.write(dll.data(), static_cast<std::streamsize>(size));
        }
        ASSERT_EQ(nullptr, LoadLibraryA(InnerPath().c_str()));
        DWORD code = GetLastError();
        EXPECT_EQ(nullptr, Install("plug.dll", "").GetInModule());
        ASSERT_EQ(1u, g_faults.boxes.size());
        EXPECT_EQ("LoadLibrary", g_faults.boxes[0].caption);
        EXPECT_EQ(SystemText(code, InnerPath()), g_faults.boxes[0].text) << "error " << code;
        EXPECT_NE(std::string::npos, g_faults.boxes[0].text.find(InnerPath()))
            << g_faults.boxes[0].text;
        EXPECT_EQ(1, g_faults.localFreeCalls);
        plugin_.reset();
    }
}

TEST_F(Plugin, NoSystemTextShowsTheErrorCode) {
    g_faults.failFormatMessage = true;
    EXPECT_EQ(nullptr, Install("plug.dll", "").GetInModule());
    ASSERT_EQ(1u, g_faults.boxes.size());
    EXPECT_EQ("Error 126", g_faults.boxes[0].text);
    EXPECT_EQ("LoadLibrary", g_faults.boxes[0].caption);
    EXPECT_EQ(0, g_faults.localFreeCalls) << "freed what the system did not allocate";
}

TEST_F(Plugin, FailingLocalFreeIsHarmless) {
    g_faults.failLocalFree = true;
    EXPECT_EQ(nullptr, Install("plug.dll", "").GetInModule());
    EXPECT_EQ(1u, g_faults.boxes.size());
    EXPECT_EQ(1, g_faults.localFreeCalls);
}

TEST_F(Plugin, InnerWithoutExportIsUnloaded) {
    EXPECT_EQ(nullptr, Install("plug.dll", "noexport").GetInModule());
    ASSERT_EQ(1u, g_faults.boxes.size());
    EXPECT_EQ("GetProcAddress", g_faults.boxes[0].caption);
    EXPECT_EQ(SystemText(ERROR_PROC_NOT_FOUND), g_faults.boxes[0].text);
    EXPECT_EQ(kErrorBox, g_faults.boxes[0].style);
    EXPECT_FALSE(InnerLoaded());
    EXPECT_TRUE(EventsNamed("quit").empty());
}

TEST_F(Plugin, RefusedRecordsAreUnloadedSilently) {
    for (const char *variant : {"nullrecord", "noinit", "v101"}) {
        SCOPED_TRACE(variant);
        g_faults = Faults();
        g_events.clear();
        EXPECT_EQ(nullptr, Install("plug.dll", variant).GetInModule());
        EXPECT_EQ(1u, EventsNamed("export").size());
        EXPECT_TRUE(g_faults.boxes.empty());
        EXPECT_FALSE(InnerLoaded());
        EXPECT_TRUE(EventsNamed("quit").empty()) << "Quit of a plug-in whose Init never ran";
        EXPECT_TRUE(EventsNamed("init").empty());
        plugin_.reset();
    }
}

// Wide records, and records whose Init returns an int, are handed over as
// they are: refusing them would take the plug-in from the player. Only Init
// is diverted, for the plug-in's own instance handle, and returns what the
// plug-in's Init returns.
TEST_F(Plugin, FlaggedRecordsAreHandedOverUnrepaired) {
    const struct {
        const char *variant;
        int returned;
    } rows[] = {{"v0f000100", -1}, {"vf0000101", 42}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.variant);
        g_events.clear();
        In_Module *module = Install("plug.dll", row.variant).GetInModule();
        ASSERT_NE(nullptr, module);
        EXPECT_EQ(InnerRecord(), module);
        int result = reinterpret_cast<In_InitReturningFn>(module->Init)();
        if (row.returned >= 0) {
            EXPECT_EQ(row.returned, result);
        }
        EXPECT_EQ(GetModuleHandleA(InnerPath().c_str()),
                  EventsNamed("init.hDllInstance")[0].detail);
        EXPECT_FALSE(plugin_->Contains(reinterpret_cast<const void *>(module->Play)));
        EXPECT_FALSE(plugin_->Contains(reinterpret_cast<const void *>(module->GetFileInfo)));
        char own[256];
        BytewiseTitle(kSong, own);
        EXPECT_EQ(own, Title(module, kSong)) << "a wide record's titles are its own";
        // Unloaded without Quit, the library gives the record back first: its
        // Init is the plug-in's own again.
        plugin_.reset();
        size_t inits = EventsNamed("init").size();
        reinterpret_cast<In_InitReturningFn>(module->Init)();
        EXPECT_EQ(inits + 1, EventsNamed("init").size());
        module->Quit();
        UnloadInner();
    }
}

TEST_F(Plugin, InnerWithoutPlayGivesMinusOneAndRecordsTheName) {
    In_Module *module = Start("noplay");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(-1, module->Play(kSong));
    // This inner plug-in knows of no playing file and leaves the buffer as
    // the host gave it.
    EXPECT_EQ(kRepaired, Title(module, nullptr, kGiven));
    module->Quit();
}

TEST_F(Plugin, InnerWithoutGetFileInfoStillRepairs) {
    In_Module *module = Start("nogetfileinfo");
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(kRepaired, Title(module, kSong, kGiven));
    EXPECT_EQ("Artist", Title(module, kSong, "Artist"));
    module->Quit();
}

TEST_F(Plugin, InnerWithoutQuitGetsItsRecordBack) {
    In_Module *module = Start("noquit");
    ASSERT_NE(nullptr, module);
    module->Quit();
    EXPECT_EQ(nullptr, module->Quit);
    EXPECT_TRUE(EventsNamed("quit").empty());
}

TEST_F(Plugin, LongOrNullNamesAreNotRecorded) {
    // Without the inner GetFileInfo the buffer keeps what the host put there:
    // 示 would become 表示 if the older name were still recorded.
    In_Module *module = Start("nogetfileinfo");
    ASSERT_NE(nullptr, module);
    module->Play(kSong);
    EXPECT_EQ(kRepaired, Title(module, nullptr, kGiven));
    std::string url = "http://example.invalid/" + std::string(520, 'a') + ".mp3";
    EXPECT_EQ(0, module->Play(const_cast<char *>(url.c_str())));
    EXPECT_EQ(url, EventsNamed("play").back().text) << "the inner Play gets the name unchanged";
    EXPECT_EQ(kGiven, Title(module, nullptr, kGiven)) << "an older name was kept";
    module->Play(kSong);
    module->Play(nullptr);
    EXPECT_EQ(nullptr, EventsNamed("play").back().detail);
    EXPECT_EQ(kGiven, Title(module, nullptr, kGiven));
    // 519 bytes still fit: 259 characters of two bytes each.
    std::string name = Names().name;
    std::string longest = "C:\\" + std::string(515 - name.size(), 'd') + "\\" + name;
    ASSERT_EQ(519u, longest.size());
    module->Play(const_cast<char *>(longest.c_str()));
    EXPECT_EQ(kRepaired, Title(module, nullptr, kGiven));
    module->Quit();
}

TEST_F(Plugin, SecondExportCallHandsOverTheSameRecord) {
    PluginUnderTest &plugin = Install("plug.dll", "good");
    In_Module *first = plugin.GetInModule();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, plugin.GetInModule());
    EXPECT_EQ(1, g_faults.loadLibraryCalls);
    first->Init(); // would never return if InitHook had saved itself
    EXPECT_EQ(1u, EventsNamed("init").size());
    EXPECT_EQ(0, first->Play(kSong));
    first->Quit();
    EXPECT_EQ(1u, EventsNamed("quit").size());
}

struct TableFailure {
    const char *what;
    int Faults::*call;
    int nth;
    const char *text;
};

TEST_F(Plugin, TableFailuresShowOneJapaneseBox) {
    const TableFailure rows[] = {
        {"HeapCreate", &Faults::failHeapCreate, 1, kAllocationFailed},
        {"HeapAlloc", &Faults::failHeapAlloc, 1, kAllocationFailed},
        {"HeapReAlloc, first growth", &Faults::failHeapReAlloc, 1, kGrowthFailed},
        {"HeapReAlloc, later growth", &Faults::failHeapReAlloc, 2, kGrowthFailed},
    };
    for (const TableFailure &row : rows) {
        SCOPED_TRACE(row.what);
        g_faults = Faults();
        g_events.clear();
        g_faults.*row.call = row.nth;
        In_Module *module = Start("good");
        ASSERT_NE(nullptr, module);
        ASSERT_EQ(1u, g_faults.boxes.size());
        EXPECT_EQ(row.text, g_faults.boxes[0].text);
        EXPECT_EQ("plug.vlk", g_faults.boxes[0].caption);
        EXPECT_EQ(kErrorBox, g_faults.boxes[0].style);
        EXPECT_EQ(nullptr, g_faults.boxes[0].owner);
        // The plug-in keeps working with what the table holds.
        EXPECT_EQ(0, module->Play(kSong));
        Title(module, kSong);
        module->Quit();
        plugin_.reset();
        UnloadInner();
        EXPECT_EQ(heaps_, GetProcessHeaps(0, nullptr));
    }
}

TEST_F(Plugin, OwnPathOf255CharactersWorksAndLongerIsRefused) {
    for (size_t length : {255u, 256u}) {
        SCOPED_TRACE(length);
        g_faults = Faults();
        g_events.clear();
        std::string folder = folder_ + "\\";
        folder += std::string(length - folder.size() - strlen("\\plug.dll"), 'd');
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder.size();
        std::string proxy = folder + "\\plug.dll";
        ASSERT_EQ(length, proxy.size());
        ASSERT_TRUE(CopyTo(ProxyDll(), proxy));
        ASSERT_TRUE(CopyTo(InnerDll("good"), folder + "\\plug.vlk"));
        {
            PluginUnderTest plugin(proxy);
            ASSERT_TRUE(plugin.loaded());
            In_Module *module = plugin.GetInModule();
            EXPECT_TRUE(g_faults.boxes.empty());
            if (length == 255) {
                ASSERT_NE(nullptr, module);
                module->Init();
                module->Quit();
                FreeLibrary(module->hDllInstance);
            } else {
                EXPECT_EQ(nullptr, module);
                EXPECT_EQ(0, g_faults.loadLibraryCalls);
            }
        }
        RemoveTree(folder);
    }
}

// Decoding for conversion calls Play on a worker thread while titles are
// asked for elsewhere. A query about the playing file works only on a name
// that one Play recorded whole: with 示表 and 力能 alternating, 示能 names
// neither file. Velkor gives one of the two names, or the inner plug-in's
// empty title.
TEST_F(Plugin, PlayAndGetFileInfoOnTwoThreads) {
    const SystemNames &names = Names();
    if (names.racing[0] == nullptr) {
        GTEST_SKIP() << "no name is cut in code page " << names.codePage;
    }
    // Without an inner Play, Play does nothing but record the name, as often
    // as it can; the inner plug-in then knows of no playing file.
    In_Module *module = Start("noplay");
    ASSERT_NE(nullptr, module);
    const std::string titles[] = {names.racing[0], names.racing[1]};
    const std::string paths[] = {"C:\\x\\" + titles[0] + ".mp3", "C:\\y\\" + titles[1] + ".mp3"};
    std::atomic<bool> stop(false);
    std::thread player([&] {
        for (int i = 0; !stop; ++i) {
            module->Play(const_cast<char *>(paths[i % 2].c_str()));
        }
    });
    int mixed = 0, whole = 0, unterminated = 0;
    std::string example;
    for (int i = 0; i < 200000; ++i) {
        char title[256 + 16];
        memset(title, '\xEE', sizeof title);
        title[0] = '\0';
        module->GetFileInfo(nullptr, title, nullptr);
        if (memchr(title, 0, 256) == nullptr || title[256] != '\xEE') {
            ++unterminated;
        } else if (title == titles[0] || title == titles[1]) {
            ++whole;
        } else if (title[0] != '\0') {
            ++mixed;
            example = title;
        }
    }
    stop = true;
    player.join();
    EXPECT_EQ(0, unterminated);
    EXPECT_EQ(0, mixed) << "for example " << example;
    EXPECT_LT(0, whole) << "no query got a whole name";
    module->Quit();
}

} // namespace
