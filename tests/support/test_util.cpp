#include "tests/support/test_util.h"

#include "tests/support/platform_control.h"
#include "title/extension_table.h"
#include "title/title_repair.h"

#include <stdio.h>
#include <string.h>

std::string Escaped(const std::string &bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string ExtensionList(const std::vector<std::string> &strings) {
    std::string list;
    for (const std::string &s : strings) {
        list += s;
        list += '\0';
    }
    list += '\0';
    return list;
}

std::vector<std::string> TableNames() {
    std::vector<std::string> names;
    for (DWORD i = 0; i < g_proxy.extensionCount; ++i) {
        names.push_back(g_proxy.extensions[i].name);
    }
    return names;
}

void ResetProxyState() {
    ReleaseExtensionTable();
    platform_control::Reset();
    memset(&g_proxy, 0, sizeof g_proxy);
    strcpy(g_proxy.moduleName, "plug.vlk");
    ReadLeadBytes();
}
