// The cost of Velkor on the platform itself, through the real DLL: title
// queries, and start and stop, each against the same inner plug-in driven
// directly. Runs under Wine in code page 932.
#include "host/in_module.h"

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef void(__cdecl *SetCountFn)(int);

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
        if (module == NULL || setCount == NULL) {
            return false;
        }
        setCount(extensions);
        module->hDllInstance = library;
        module->Init();
        return true;
    }

    void Stop() {
        if (module != NULL) {
            module->Quit();
        }
        if (library != NULL) {
            FreeLibrary(library);
        }
        library = NULL;
        module = NULL;
    }
};

// Nanoseconds per GetFileInfo call, over one batch.
double QueryBatch(In_Module *module, const char *path, int count) {
    char title[2048];
    int length = 0;
    double start = Now();
    for (int i = 0; i < count; ++i) {
        module->GetFileInfo(const_cast<char *>(path), title, &length);
    }
    return (Now() - start) * 1e9 / count;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: platform_bench VELKOR.dll BENCH_INNER.dll\n");
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

    struct PathCase {
        const char *name;
        const char *path;
    } paths[] = {
        {"ascii", "D:\\Music\\Artist\\Album\\01 Song Title.mp3"},
        // D:\音楽\表示\ソフト能力表示.mp3
        {"sjis", "D:\\\x89\xb9\x8a\x79\\\x95\x5c\x8e\xa6\\\x83\x5c\x83\x74\x83\x67\x94\x5c\x97\xcd"
                 "\x95\x5c\x8e\xa6.mp3"},
    };
    const int sizes[] = {4, 50, 700};
    const int batch = 20000;
    bool met = true;

    printf("Per title query (median of %d batches of %d):\n", kRepetitions, batch);
    printf("%-6s %6s %12s %12s %8s %10s\n", "path", "ext.", "direct ns", "Velkor ns", "ratio",
           "added ns");
    for (const PathCase &p : paths) {
        for (int size : sizes) {
            Loaded plain, proxied;
            if (!plain.Start(direct, direct, size) || !proxied.Start(front, inner, size)) {
                fprintf(stderr, "platform_bench: cannot start the plug-ins\n");
                return 1;
            }
            std::vector<double> a, b;
            for (int r = 0; r < kRepetitions; ++r) {
                a.push_back(QueryBatch(plain.module, p.path, batch));
                b.push_back(QueryBatch(proxied.module, p.path, batch));
            }
            double da = Median(a), db = Median(b);
            printf("%-6s %6d %12.1f %12.1f %8.2f %10.1f\n", p.name, size, da, db, db / da, db - da);
            met = met && db - da <= 60.0;
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
        printf("%6d %12.3f %12.3f %10.3f\n", size, da, db, db - da);
        met = met && (size != 700 || db - da <= 3.0);
    }
    printf("\ntargets (at most 60 ns added per query with 4, 50 and 700 extensions, at most 3 ms "
           "added to start and stop with 700): %s\n",
           met ? "met" : "MISSED");

    DeleteFileA(direct.c_str());
    DeleteFileA(front.c_str());
    DeleteFileA(inner.c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
