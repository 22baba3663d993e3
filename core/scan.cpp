// scan and check: the plug-ins as the player would load them, each in a
// child process, and what their titles of test names say about them.
#include "core/commands.h"

#include "core/output.h"
#include "core/test_names.h"
#include "core/text.h"
#include "core/velkor_copy.h"
#include "host/in_module.h"

#include <algorithm>

namespace {

// Above this many extensions, a list is summed up.
const size_t kExtensionsShown = 8;
const size_t kExtensionsFirst = 5;
const int kDescriptionCells = 32;

// A table's header, its cells parted by '|'.
std::vector<std::wstring> Cells(const Text &header) {
    std::vector<std::wstring> cells;
    std::wstring text = Say(header) + L"|";
    for (size_t start = 0, bar; (bar = text.find(L'|', start)) != std::wstring::npos;
         start = bar + 1) {
        cells.push_back(text.substr(start, bar - start));
    }
    return cells;
}

std::vector<std::wstring> Underline(const std::vector<std::wstring> &header) {
    std::vector<std::wstring> line;
    for (const std::wstring &cell : header) {
        line.push_back(std::wstring(DisplayWidth(cell), L'-'));
    }
    return line;
}

std::wstring ExtensionSummary(const std::string &block) {
    std::vector<std::string> all = FirstExtensions(block, static_cast<size_t>(-1));
    if (all.empty()) {
        return Say(msg::kNoExtensions);
    }
    std::wstring text;
    if (all.size() > kExtensionsShown) {
        for (size_t i = 0; i < kExtensionsFirst; ++i) {
            text += (i ? L", " : L"") + Wide(all[i]);
        }
        return Say(msg::kExtensionsMany, Number(all.size()), text);
    }
    // Short lists as the plug-in gives them: "mp3;mp2 (Audio), ogg (Vorbis)".
    for (size_t at = 0; at < block.size() && block[at] != '\0';) {
        std::string list = block.c_str() + at;
        at += list.size() + 1;
        std::string description = at < block.size() ? block.c_str() + at : "";
        at += description.size() + 1;
        text += (text.empty() ? L"" : L", ") + Wide(list) +
                (description.empty() ? L"" : L" (" + Wide(description) + L")");
    }
    return text;
}

std::wstring Header(const ProbeResult &probe, const Finding &finding) {
    std::wstring description =
        probe.description.empty() ? Say(msg::kNoDescription) : Wide(probe.description);
    return Say(msg::kLabelPlugin) + description + L"\n" + Say(msg::kLabelVersion) +
           HexNumber(probe.version) + L"\n" + Say(msg::kLabelExtensions) +
           ExtensionSummary(probe.extensions) + L"\n" + Say(msg::kLabelVerdict) +
           VerdictName(finding.verdict) + L" (" + finding.basis + L")\n\n";
}

std::wstring TitlesTable(const ProbeResult &alone, const ProbeResult &behind, bool testNames) {
    std::vector<std::wstring> header = Cells(msg::kCheckColumns);
    std::vector<std::vector<std::wstring>> rows = {header, Underline(header)};
    size_t differ = 0;
    for (size_t i = 0; i < alone.titles.size(); ++i) {
        const TitleAnswer &answer = alone.titles[i];
        std::string through = i < behind.titles.size() ? behind.titles[i].title : std::string();
        // No title behind Velkor is no repair: Velkor gave nothing at all.
        bool repaired = !through.empty() && through != answer.title;
        differ += repaired;
        rows.push_back({Wide(testNames ? NameOf(answer.file) : answer.file),
                        TitleText(answer.title), TitleText(through),
                        repaired ? Say(msg::kRepaired) : L""});
    }
    return Table(rows) + L"\n" +
           Say(msg::kCheckSummary, Number(differ), Number(alone.titles.size()));
}

// The plug-in behind a Velkor copy of its own, in a folder of their own:
// Velkor fronts X.vlk when it is installed as X.dll.
ProbeResult ProbeBehindVelkor(const std::string &plugin, const std::string &velkor,
                              const std::string &namesFolder,
                              const std::vector<std::string> &files) {
    ProbeResult behind;
    std::string folder = MakeWorkFolder("-front");
    std::string stem = StemOf(NameOf(plugin));
    std::string front = folder + "\\" + stem + ".dll";
    if (CopyFileA(plugin.c_str(), (folder + "\\" + stem + ".vlk").c_str(), FALSE) &&
        CopyFileA(velkor.c_str(), front.c_str(), FALSE)) {
        behind = RunProbe({front, FolderOf(plugin), namesFolder, files});
    }
    RemoveWorkFolder(folder);
    return behind;
}

} // namespace

// The files that the player loads as input plug-ins, by their long names:
// a pattern also matches short names, which the player's own test does not.
std::vector<std::string> InputPlugins(const std::string &folder) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\in_*.dll").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), 3, "in_", 3) ==
                    CSTR_EQUAL &&
                EndsWithNoCase(name, ".dll")) {
                found.push_back(folder + "\\" + name);
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    std::sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    return found;
}

// The program may be unpacked under a folder that the code page cannot
// write; the short name of its path serves then.
std::string VelkorDll(const std::string &runtime) {
    std::vector<wchar_t> self(32768, L'\0');
    GetModuleFileNameW(NULL, self.data(), static_cast<DWORD>(self.size()));
    std::string path;
    AnsiPath(self.data(), &path);
    return FolderOf(path) + runtime + "\\velkor.dll";
}

// The plug-ins whose files are in the folder, each by its X.dll, whether
// that is there or not: a change cut short may have left only X.vlk, or
// only a spare copy.
std::vector<std::string> PluginsWithFiles(const std::string &folder) {
    std::vector<std::string> found = InputPlugins(folder);
    for (const char *pattern : {"\\in_*.vlk", "\\in_*.velkor-*"}) {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((folder + pattern).c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            std::string name = entry.cFileName;
            size_t dot = name.find(".velkor-");
            dot = dot != std::string::npos ? dot : name.size() - 4;
            std::string dll = folder + "\\" + name.substr(0, dot) + ".dll";
            bool known = false;
            for (const std::string &plugin : found) {
                known = known || lstrcmpiA(plugin.c_str(), dll.c_str()) == 0;
            }
            // The patterns also match short names; only the long ones count.
            bool ours = EndsWithNoCase(name, ".vlk") || name.find(kSpareNew) != std::string::npos ||
                        name.find(kSpareOld) != std::string::npos;
            ours = ours && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), 3, "in_",
                                          3) == CSTR_EQUAL;
            if (ours && !known && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                found.push_back(dll);
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    std::sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    return found;
}

std::vector<ScanRow> ScanPlugin(const std::string &plugin, const std::string &namesFolder) {
    std::vector<ScanRow> rows;
    PluginFiles files = FindPluginFiles(plugin);
    PluginState state = StateOf(files);
    if (state == kStateCutShort) {
        rows.push_back({plugin, Wide(NameOf(files.vlk.path)), std::wstring(), kCutShort,
                        Say(msg::kBasisCutShort, Wide(NameOf(plugin)), QuotedPath(plugin)), false,
                        false});
    } else if (state != kStateNone) {
        Finding finding =
            files.dll.velkor ? JudgeCopy(plugin, namesFolder)
                             : Judge(plugin, RunProbe({plugin, FolderOf(plugin), namesFolder, {}}));
        rows.push_back({plugin, Wide(NameOf(plugin)), finding.description, finding.verdict,
                        finding.basis, files.dll.velkor,
                        files.dll.velkor && IsOlderCopy(ReadCopy(plugin))});
    }
    if (state == kStateLeftoverVlk) {
        rows.push_back({plugin, Wide(NameOf(files.vlk.path)), std::wstring(), kLeftOver,
                        Say(msg::kBasisLeftOver, Wide(NameOf(plugin))), false, false});
    }
    for (const std::string &spare : SpareCopies(files)) {
        rows.push_back({plugin, Wide(NameOf(spare)), std::wstring(), kSpareCopy,
                        Say(msg::kBasisSpare, QuotedPath(plugin)), true, false});
    }
    return rows;
}

bool CheckScanFolder(const std::string &folder) {
    if (Wide(folder).size() >= MAX_PATH) {
        Err(Say(msg::kNameTooLong, Wide(folder), Number(static_cast<DWORD>(Wide(folder).size()))));
        return false;
    } else if (!FolderExists(folder)) {
        Err(Say(msg::kFolderMissing, Wide(folder), SystemText(ERROR_PATH_NOT_FOUND, folder)));
        return false;
    }
    return true;
}

int Scan(const std::string &folderArgument) {
    std::string folder = WithoutSeparator(FullPath(folderArgument));
    if (!CheckScanFolder(folder)) {
        return 2;
    }
    std::vector<std::string> plugins = PluginsWithFiles(folder);
    if (plugins.empty()) {
        Out(Say(msg::kScanNone, Wide(folder)));
        return 0;
    }
    SayTestNames();
    Out(Say(msg::kScanHeader, Wide(folder)) + L"\n");
    TestNamesFolder names;
    std::vector<std::wstring> header = Cells(msg::kScanColumns);
    std::vector<std::vector<std::wstring>> rows = {header, Underline(header)};
    std::vector<std::string> needing;
    for (const std::string &plugin : plugins) {
        Progress(Wide(NameOf(plugin)));
        for (const ScanRow &row : ScanPlugin(plugin, names.path())) {
            rows.push_back({row.file, Shortened(row.description, kDescriptionCells),
                            VerdictName(row.verdict), row.basis});
            if (row.verdict == kNeedsVelkor) {
                needing.push_back(plugin);
            }
        }
    }
    Progress(std::wstring());
    Out(Table(rows));
    if (!needing.empty()) {
        Out(L"\n" + Say(msg::kScanInstallHint));
        for (const std::string &plugin : needing) {
            Out(L"  velkor install " + QuotedPath(plugin) + L"\n");
        }
    }
    return 0;
}

int Check(const std::string &pluginArgument, const std::vector<std::string> &files,
          Verdict *verdict) {
    std::string plugin = FullPath(pluginArgument);
    if (!FileExists(plugin)) {
        Err(Say(msg::kNotFound, Wide(plugin), SystemText(ERROR_FILE_NOT_FOUND, plugin)));
        return 2;
    }
    bool copy = IsVelkorCopy(plugin);
    std::string alonePath = copy ? InnerOf(plugin) : plugin;
    std::string velkor = VelkorDll("msvcrt");
    if (!FileExists(velkor)) {
        velkor = VelkorDll("msvcr70");
    }
    if (copy && !FileExists(alonePath)) {
        Err(Say(msg::kCopyWithoutInner, Wide(NameOf(plugin)), Wide(NameOf(alonePath))));
        return 2;
    } else if (!copy && !FileExists(velkor)) {
        Err(Say(msg::kNoVelkorDll, Wide(VelkorDll("msvcrt"))));
        return 2;
    }
    if (copy) {
        Out(Say(msg::kCheckCopy, Wide(NameOf(plugin)), Wide(NameOf(alonePath))));
    }
    if (files.empty()) {
        SayTestNames();
    }
    TestNamesFolder names;
    std::string namesFolder = files.empty() ? names.path() : std::string();
    ProbeResult alone = RunProbe({alonePath, FolderOf(plugin), namesFolder, files});
    Finding finding = Judge(alonePath, alone);
    if (verdict != NULL) {
        *verdict = copy ? kFronted : finding.verdict;
    }
    if (!CanFront(alone)) {
        Err(Say(msg::kUnusable, Wide(NameOf(alonePath)), VerdictName(finding.verdict),
                finding.basis));
        return 2;
    }
    ProbeResult behind = copy ? RunProbe({plugin, FolderOf(plugin), namesFolder, files})
                              : ProbeBehindVelkor(plugin, velkor, namesFolder, files);
    Out(Header(alone, finding) + TitlesTable(alone, behind, files.empty()));
    if (behind.end != ProbeResult::kFinished || !behind.boxes.empty() || !behind.hasRecord ||
        (behind.version & IN_UNICODE) != 0) {
        Finding through = Judge(copy ? plugin : alonePath, behind);
        std::wstring said;
        for (const std::string &box : behind.boxes) {
            said += L"; " + Say(msg::kBasisVelkorSaid, Wide(box));
        }
        Err(Say(msg::kVerifyUnusable, Wide(NameOf(alonePath)), VerdictName(through.verdict),
                through.basis + said) +
            L"\n");
        return 2;
    }
    return 0;
}
