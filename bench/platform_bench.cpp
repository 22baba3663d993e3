// The cost of Velkor on the platform itself, through the real DLL: title
// queries, and start and stop, each against the same inner plug-in driven
// directly. Runs under Wine in code page 932, with synthetic extension lists
// and with a real plug-in's own (vgmstream's), and names that are common and
// names that are the worst for the lookup.
#include "host/in_module.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef void(__cdecl *SetCountFn)(int);
typedef void(__cdecl *SetListFn)(const char *, int);

// The real plug-in's list, read once; a size of 0 in a row means this list.
std::string g_realList;

const int kRepetitions = 15;

double Now() {
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Fn> Fn Lookup(HMODULE module, const char *name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

// One plug-in as the player loads it: the DLL the player sees, and the DLL
// that holds the benchmark's inner plug-in (the same one when direct).
struct Loaded {
    HMODULE library = NULL;
    In_Module *module = NULL;

    bool Start(const std::string &dll, const std::string &inner, int extensions) {
        library = LoadLibraryA(dll.c_str());
        WinampGetInModule2Fn get =
            library ? Lookup<WinampGetInModule2Fn>(library, "winampGetInModule2") : NULL;
        module = get ? get() : NULL;
        HMODULE innerLibrary = GetModuleHandleA(inner.c_str());
        SetCountFn setCount =
            innerLibrary ? Lookup<SetCountFn>(innerLibrary, "benchSetExtensionCount") : NULL;
        SetListFn setList =
            innerLibrary ? Lookup<SetListFn>(innerLibrary, "benchSetExtensionList") : NULL;
        if (module == NULL || setCount == NULL || setList == NULL) {
            return false;
        }
        if (extensions > 0) {
            setCount(extensions);
        } else {
            setList(g_realList.data(), static_cast<int>(g_realList.size()));
        }
        module->hDllInstance = library;
        module->Init();
        return true;
    }

    // As a host that uninstalls the plug-in: Quit, then its instance handle,
    // which behind Velkor is the inner library that Velkor leaves loaded.
    void Stop() {
        if (module != NULL) {
            HMODULE own = module->hDllInstance;
            module->Quit();
            if (own != library) {
                FreeLibrary(own);
            }
        }
        if (library != NULL) {
            FreeLibrary(library);
        }
        library = NULL;
        module = NULL;
    }
};

// The extension list of a real plug-in, as it hands it over after Init.
std::string ReadRealList(const char *path) {
    std::string list;
    HMODULE plugin = LoadLibraryA(path);
    WinampGetInModule2Fn get =
        plugin ? Lookup<WinampGetInModule2Fn>(plugin, "winampGetInModule2") : NULL;
    In_Module *module = get ? get() : NULL;
    if (module != NULL) {
        module->hDllInstance = plugin;
        module->Init();
        for (const char *p = module->FileExtensions; p != NULL && *p != '\0';) {
            size_t extensions = strlen(p) + 1;
            size_t description = strlen(p + extensions) + 1;
            list.append(p, extensions + description);
            p += extensions + description;
            if (description == 1) {
                break;
            }
        }
        list.append(2, '\0');
        module->Quit();
    }
    if (plugin != NULL) {
        FreeLibrary(plugin);
    }
    return list;
}

// Nanoseconds per GetFileInfo call, over one batch that goes round the names.
double QueryBatch(In_Module *module, const std::vector<std::string> &paths, int count) {
    char title[2048];
    int length = 0;
    double start = Now();
    for (int i = 0; i < count; ++i) {
        module->GetFileInfo(const_cast<char *>(paths[i % paths.size()].c_str()), title, &length);
    }
    return (Now() - start) * 1e9 / count;
}

// Names of one kind, each a little different, so that nothing the platform
// may keep between calls makes them cheaper: `pattern` with %d.
std::vector<std::string> Names(const char *pattern) {
    std::vector<std::string> names;
    for (int i = 0; i < 64; ++i) {
        char name[512];
        snprintf(name, sizeof name, pattern, i);
        names.push_back(name);
    }
    return names;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: platform_bench VELKOR.dll BENCH_INNER.dll [REAL_PLUGIN.dll]\n");
        return 1;
    }
    // The player has these loaded long before any plug-in; loading them
    // inside a measurement would measure Wine's start-up of them instead.
    LoadLibraryA("user32.dll");
    LoadLibraryA("shlwapi.dll");

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder =
        std::string(temp) + "velkor-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), NULL);
    std::string direct = folder + "\\in_bench.dll";
    std::string front = folder + "\\plug.dll";
    std::string inner = folder + "\\plug.vlk";
    if (!CopyFileA(argv[2], direct.c_str(), FALSE) || !CopyFileA(argv[2], inner.c_str(), FALSE) ||
        !CopyFileA(argv[1], front.c_str(), FALSE)) {
        fprintf(stderr, "platform_bench: cannot set up %s\n", folder.c_str());
        return 1;
    }

    if (argc >= 4) {
        g_realList = ReadRealList(argv[3]);
        if (g_realList.size() < 3) {
            fprintf(stderr, "platform_bench: no extension list from %s\n", argv[3]);
            return 1;
        }
    }

    // Nanoseconds added at most, per kind of name.
    const double kCommon = 50.0, kOneTail = 2000.0, kManyDots = 10000.0;
    struct PathCase {
        const char *name;
        const char *pattern;
        double target;
    } paths[] = {
        {"ascii", "D:\\Music\\Artist\\Album\\%02d Song Title.wav", kCommon},
        // D:\音楽\表示\ソフト能力表示N.adx
        {"sjis",
         "D:\\\x89\xb9\x8a\x79\\\x95\x5c\x8e\xa6\\\x83\x5c\x83\x74\x83\x67\x94\x5c\x97\xcd"
         "\x95\x5c\x8e\xa6%d.adx",
         kCommon},
        // 表示N.あ
        {"5c.a", "D:\\m\\\x95\x5c\x8e\xa6%d.\x82\xa0", kOneTail},
        // 曲N.あいう
        {"n.aiu", "D:\\m\\\x8b\xc8%d.\x82\xa0\x82\xa2\x82\xa4", kOneTail},
        // 曲.あN: a tail of its own in every name
        {"a.n", "D:\\m\\\x8b\xc8.\x82\xa0%d", kOneTail},
        // 曲N............あ
        {"dots", "D:\\m\\\x8b\xc8%d............\x82\xa0", kManyDots},
    };
    std::vector<int> sizes = {4, 50, 700};
    if (!g_realList.empty()) {
        sizes.push_back(0);
    }
    const int batch = 20000;
    bool met = true;

    printf("Per title query (median of %d batches of %d; \"real\" is vgmstream's list):\n",
           kRepetitions, batch);
    printf("%-6s %6s %12s %12s %8s %10s %8s\n", "name", "ext.", "direct ns", "Velkor ns", "ratio",
           "added ns", "target");
    for (const PathCase &p : paths) {
        std::vector<std::string> names = Names(p.pattern);
        for (int size : sizes) {
            Loaded plain, proxied;
            if (!plain.Start(direct, direct, size) || !proxied.Start(front, inner, size)) {
                fprintf(stderr, "platform_bench: cannot start the plug-ins\n");
                return 1;
            }
            std::vector<double> a, b;
            for (int r = 0; r < kRepetitions; ++r) {
                a.push_back(QueryBatch(plain.module, names, batch));
                b.push_back(QueryBatch(proxied.module, names, batch));
            }
            double da = Median(a), db = Median(b);
            char sizeText[16];
            snprintf(sizeText, sizeof sizeText, size > 0 ? "%d" : "real", size);
            printf("%-6s %6s %12.1f %12.1f %8.2f %10.1f %8.0f\n", p.name, sizeText, da, db, db / da,
                   db - da, p.target);
            met = met && db - da <= p.target;
            plain.Stop();
            proxied.Stop();
        }
    }

    printf("\nStart and stop: load, export, Init, Quit, unload (median of %d):\n", kRepetitions);
    printf("%6s %12s %12s %10s\n", "ext.", "direct ms", "Velkor ms", "added ms");
    for (int size : sizes) {
        std::vector<double> a, b;
        for (int r = 0; r < kRepetitions; ++r) {
            Loaded plain, proxied;
            double t0 = Now();
            bool ok = plain.Start(direct, direct, size);
            plain.Stop();
            double t1 = Now();
            ok = proxied.Start(front, inner, size) && ok;
            proxied.Stop();
            double t2 = Now();
            if (!ok) {
                fprintf(stderr, "platform_bench: cannot start the plug-ins\n");
                return 1;
            }
            a.push_back((t1 - t0) * 1e3);
            b.push_back((t2 - t1) * 1e3);
        }
        double da = Median(a), db = Median(b);
        printf("%6s %12.3f %12.3f %10.3f\n", size > 0 ? std::to_string(size).c_str() : "real", da,
               db, db - da);
        met = met && ((size != 700 && size != 0) || db - da <= 3.0);
    }
    printf("\ntargets (added per query: common names 50 ns, one non-ASCII tail 2 us, 12 dots "
           "10 us, with every list; added to start and stop with 700 and the real list: 3 ms): "
           "%s\n",
           met ? "met" : "MISSED");

    DeleteFileA(direct.c_str());
    DeleteFileA(front.c_str());
    DeleteFileA(inner.c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
