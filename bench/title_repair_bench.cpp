// The cost of one title query through the repair, beside what a byte-wise
// inner plug-in itself spends on the title: cut at the last 0x5C byte, copy,
// strip the extension. The player asks for a title for every playlist entry,
// so the repair has to stay within a small factor of that.
#include "examples/bytewise_title.h"
#include "tests/support/platform_control.h"
#include "title/extension_table.h"
#include "title/title_repair.h"

#include <benchmark/benchmark.h>

#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Path {
    const char *name;
    std::string path;
};

const std::vector<Path> &Paths() {
    static const std::vector<Path> paths = {
        {"ascii40", "D:\\Music\\Artist\\Album\\01 Song Title.mp3"},
        // D:\音楽\表示\ソフト能力表示.mp3: 表, ソ and 能 have 0x5C second bytes.
        {"sjis", "D:\\\x89\xb9\x8a\x79\\\x95\x5c\x8e\xa6\\\x83\x5c\x83\x74\x83\x67\x94\x5c\x97\xcd"
                 "\x95\x5c\x8e\xa6.mp3"},
        {"long250", "D:\\" + std::string(120, 'f') + "\\" + std::string(121, 'n') + ".mp3"},
    };
    return paths;
}

// A list of `count` extensions, the one that matches last: the worst place
// for a lookup that walks the table.
std::string ExtensionListOf(int count) {
    static const char *common[] = {"mp2", "mp1", "ogg", "wav", "flac", "aac", "m4a", "wma",
                                   "ape", "mpc", "wv",  "tta", "aiff", "au",  "voc", "mod",
                                   "s3m", "xm",  "it",  "mid", "kar",  "rmi", "cda", "nsf"};
    std::string group;
    for (int i = 0; i < count - 1; ++i) {
        std::string e = i < 24 ? common[i] : "x" + std::to_string(i);
        group += e + ";";
    }
    group += "mp3";
    return group + std::string(1, '\0') + "Audio" + std::string(2, '\0');
}

void Baseline(benchmark::State &state, const Path *path) {
    char title[256];
    for (auto _ : state) {
        BytewiseTitle(path->path.c_str(), title);
        benchmark::DoNotOptimize(title);
    }
}

void Repair(benchmark::State &state, const Path *path, int extensions) {
    platform_control::Reset();
    memset(&g_proxy, 0, sizeof g_proxy);
    ReadLeadBytes(); // code page 932's, from the stand-in
    std::string list = ExtensionListOf(extensions);
    BuildExtensionTable(list.c_str());
    char inner[256];
    BytewiseTitle(path->path.c_str(), inner);
    size_t innerSize = strlen(inner) + 1;
    char title[256];
    char *file = const_cast<char *>(path->path.c_str());
    for (auto _ : state) {
        memcpy(title, inner, innerSize); // what the inner plug-in left
        GetFileInfoHook(file, title, NULL);
        benchmark::DoNotOptimize(title);
    }
    ReleaseExtensionTable();
}

// Keeps every result, so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            // With repetitions, the median stands for the case: this machine
            // is shared, and single runs wander.
            if (run.run_type == Run::RT_Iteration && times_.count(run.run_name.str()) == 0) {
                times_[run.run_name.str()] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times_[run.run_name.str()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Time(const std::string &name) const {
        auto it = times_.find(name);
        return it != times_.end() ? it->second : 0;
    }

  private:
    std::map<std::string, double> times_;
};

const int kTableSizes[] = {5, 50, 700};

} // namespace

int main(int argc, char **argv) {
    for (const Path &path : Paths()) {
        benchmark::RegisterBenchmark(("Baseline/" + std::string(path.name)).c_str(), Baseline,
                                     &path);
        for (int size : kTableSizes) {
            benchmark::RegisterBenchmark(
                ("Repair/" + std::string(path.name) + "/" + std::to_string(size)).c_str(), Repair,
                &path, size);
        }
    }
    std::vector<char *> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    // Repetitions of all cases interleave, so that a slow spell of the
    // machine does not fall on one side of a ratio only.
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, {repetitions, aggregates, interleave});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    printf("\n%-22s %10s %12s %14s\n", "case", "ns", "x baseline", "x 50 entries");
    bool met = true;
    for (const Path &path : Paths()) {
        double baseline = reporter.Time("Baseline/" + std::string(path.name));
        double at50 = reporter.Time("Repair/" + std::string(path.name) + "/50");
        for (int size : kTableSizes) {
            std::string name = "Repair/" + std::string(path.name) + "/" + std::to_string(size);
            double t = reporter.Time(name);
            double ratio = baseline > 0 ? t / baseline : 0;
            double growth = at50 > 0 ? t / at50 : 0;
            printf("%-22s %10.1f %12.2f %14.2f\n", name.c_str(), t, ratio, growth);
            if ((size == 50 && ratio > 3.0) || (size == 700 && growth > 2.0)) {
                met = false;
            }
        }
    }
    printf("targets (<= 3x baseline with 50 entries, 700 entries <= 2x 50): %s\n",
           met ? "met" : "MISSED");
    benchmark::Shutdown();
    return 0;
}
