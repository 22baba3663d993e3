#include "proxy/proxy_state.h"

// Zero-initialised by the loader; no constructor runs.
ProxyState g_proxy;

namespace {

// Tries before a query gives up on the playing file and leaves the title as
// the inner plug-in made it.
const int kCopyAttempts = 64;

// Keeps the compiler from moving the name's bytes across the sequence count.
// Nothing more is needed on x86: its stores become visible in program order
// and its loads are not reordered with other loads, so the one writer that
// holds the lock and any number of readers see the count and the bytes in
// the order written here.
inline void CompilerBarrier(void) {
#if defined(__GNUC__)
    __asm__ __volatile__("" ::: "memory");
#endif
}

// The player calls Play on worker threads for conversion and analysis, so
// two writers happen. The guard is an exchange, which the 80486 has locked
// (Windows 95's kernel32 has no InterlockedCompareExchange); it is held only
// while a name of at most 520 bytes is copied, so a writer that finds it
// taken waits on it.
void TakePlayLock(void) {
    while (__sync_lock_test_and_set(&g_proxy.playLock, 1) != 0) {
        while (g_proxy.playLock != 0) {
            CompilerBarrier();
        }
    }
}

void ReleasePlayLock(void) {
    __sync_lock_release(&g_proxy.playLock);
}

} // namespace

// Play may run on a decoding thread while titles are asked for on another.
// The count is odd while the name is rewritten, so that a reader can tell a
// name recorded whole from one it read half old, half new. One writer at a
// time: with two, one writer's second increment could make the count even
// while the other still copies. When two Play calls overlap, the name that
// stays is the one recorded last, whole.
void RecordCurrentFile(const char *file) {
    TakePlayLock();
    g_proxy.playSequence = g_proxy.playSequence + 1;
    CompilerBarrier();
    // A name that does not fit (URLs can be longer) is not kept at all: a
    // cut-off path would repair the title wrongly, and an older name would
    // name the wrong file. The copy is bounded all the same: readers rely on
    // the buffer's last byte.
    if (file != NULL && lstrlenA(file) < static_cast<int>(sizeof g_proxy.currentFile)) {
        lstrcpynA(g_proxy.currentFile, file, sizeof g_proxy.currentFile);
    } else {
        g_proxy.currentFile[0] = '\0';
    }
    CompilerBarrier();
    g_proxy.playSequence = g_proxy.playSequence + 1;
    ReleasePlayLock();
}

bool CopyCurrentFile(CurrentFile copy) {
    const int last = sizeof(CurrentFile) - 1;
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        DWORD before = g_proxy.playSequence;
        CompilerBarrier();
        // The source's last byte is always NUL, but a name being rewritten
        // may lack its own: the copy is bounded all the same.
        int i = 0;
        while (i < last && (copy[i] = g_proxy.currentFile[i]) != '\0') {
            ++i;
        }
        copy[i] = '\0';
        CompilerBarrier();
        if ((before & 1) == 0 && g_proxy.playSequence == before) {
            return true;
        }
    }
    return false;
}
