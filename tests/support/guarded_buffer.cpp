#include "tests/support/guarded_buffer.h"

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

size_t PageSize() {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
}

} // namespace

GuardedBuffer::GuardedBuffer(const void *bytes, size_t size) {
    size_t page = PageSize();
    size_t dataPages = (size + page - 1) / page;
    if (dataPages == 0) {
        dataPages = 1;
    }
    regionSize_ = (dataPages + 1) * page;
#ifdef _WIN32
    region_ = static_cast<char *>(
        VirtualAlloc(NULL, regionSize_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    bool guarded = region_ != NULL &&
                   VirtualProtect(region_ + dataPages * page, page, PAGE_NOACCESS, &old) != 0;
#else
    void *mapped =
        mmap(NULL, regionSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    region_ = mapped == MAP_FAILED ? NULL : static_cast<char *>(mapped);
    bool guarded = region_ != NULL && mprotect(region_ + dataPages * page, page, PROT_NONE) == 0;
#endif
    if (!guarded) {
        abort();
    }
    char *start = region_ + dataPages * page - size;
    memcpy(start, bytes, size);
    data_ = start;
}

GuardedBuffer::~GuardedBuffer() {
#ifdef _WIN32
    VirtualFree(region_, 0, MEM_RELEASE);
#else
    munmap(region_, regionSize_);
#endif
}
