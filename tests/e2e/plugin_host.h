// A test host for the real plug-in DLL: it installs a copy of the DLL beside
// a test inner plug-in in a folder of its own, loads it, replaces some of the
// DLL's imports to catch message boxes and inject failures, and then plays
// the host's part of the plug-in contract.
#pragma once

#include "host/in_module.h"

#include <string>
#include <vector>

// Something the inner plug-in reported through the host's exported log.
struct InnerEvent {
    std::string name;
    const void *detail; // as passed
    std::string text;   // the detail as a string, for "play" and "getfileinfo"
};

struct ShownBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

// Failures to inject into the DLL's own calls, and what its calls did.
struct Faults {
    int failHeapCreate = 0;  // fail this call of HeapCreate (1 = the first)
    int failHeapAlloc = 0;   // likewise for HeapAlloc
    int failHeapReAlloc = 0; // likewise for HeapReAlloc
    bool failFormatMessage = false;
    bool failLocalFree = false;

    int loadLibraryCalls = 0;
    int localFreeCalls = 0;
    const void *formatted = nullptr; // the buffer that FormatMessageA allocated
    const void *freed = nullptr;     // what LocalFree was given
    std::vector<ShownBox> boxes;
};

extern Faults g_faults;
extern std::vector<InnerEvent> g_events;

// The events of one name, in order.
std::vector<InnerEvent> EventsNamed(const std::string &name);

// Names in the ANSI code page that the test runs in: 932, 950 or 1252.
struct SystemNames {
    UINT codePage;
    const char *folder;   // for test folders: characters whose second byte is 0x5C, if any
    const char *name;     // a file name, which a byte-wise plug-in cuts where it can
    const char *given;    // a title made from it the byte-wise way, which Velkor changes
    const char *repaired; // what Velkor makes of that title
    // Two base names of one length whose byte-wise stems are empty; null
    // where no character has a 0x5C second byte.
    const char *racing[2];
};
const SystemNames &Names();

// Folder and file helpers. Names are bytes in the ANSI code page.
std::string MakeTestFolder(const std::string &under = std::string());
void RemoveTree(const std::string &folder);
bool CopyTo(const std::string &from, const std::string &to);

// The built files that the tests install.
std::string ProxyDll();
std::string InnerDll(const std::string &variant);

// A loaded copy of the plug-in.
class PluginUnderTest {
  public:
    // Loads `path` and replaces its imports; Get() is then the export.
    explicit PluginUnderTest(const std::string &path);
    ~PluginUnderTest();
    PluginUnderTest(const PluginUnderTest &) = delete;
    PluginUnderTest &operator=(const PluginUnderTest &) = delete;

    bool loaded() const {
        return module_ != nullptr;
    }
    In_Module *GetInModule() const;
    bool Contains(const void *address) const; // within the DLL's image
    void Unload();

  private:
    HMODULE module_;
    WinampGetInModule2Fn export_;
};
