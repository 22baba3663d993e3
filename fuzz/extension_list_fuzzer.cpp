// The inner plug-in's extension list as raw bytes. The harness ends it with
// the terminating empty string and places it in a block of its exact size,
// so that any read past the list's end is an AddressSanitizer report.
#include "tests/support/platform_control.h"
#include "title/extension_table.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char *list = static_cast<char *>(malloc(size + 2));
    memcpy(list, data, size);
    list[size] = '\0';     // ends the last string
    list[size + 1] = '\0'; // the empty string that ends the list
    platform_control::Reset();
    BuildExtensionTable(list);
    for (DWORD i = 0; i < g_proxy.extensionCount; ++i) {
        const ExtensionEntry &entry = g_proxy.extensions[i];
        if (entry.length < 1 || entry.length > EXTENSION_NAME_MAX ||
            entry.length != static_cast<int>(strlen(entry.name)) ||
            memchr(entry.name, ';', entry.length) != NULL) {
            abort();
        }
        // Each entry finds itself, or an earlier entry equal to it.
        char name[EXTENSION_NAME_MAX + 3] = "x.";
        memcpy(name + 2, entry.name, entry.length + 1);
        const ExtensionEntry *found = FindKnownExtension(name, entry.length + 2);
        if (found == NULL || found > &entry) {
            abort();
        }
    }
    ReleaseExtensionTable();
    if (platform_control::LiveHeaps() != 0) {
        abort();
    }
    free(list);
    return 0;
}
