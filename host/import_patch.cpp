#include "host/import_patch.h"

#include <string.h>

FARPROC *FindImportSlot(HMODULE module, const char *dll, const char *function) {
    BYTE *base = reinterpret_cast<BYTE *>(module);
    IMAGE_DOS_HEADER *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    IMAGE_NT_HEADERS *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    FARPROC *found = NULL;
    if (dir.VirtualAddress == 0) {
        return NULL;
    }
    IMAGE_IMPORT_DESCRIPTOR *desc =
        reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
    for (; desc->Name != 0 && found == NULL; ++desc) {
        if (_stricmp(reinterpret_cast<char *>(base + desc->Name), dll) != 0) {
            continue;
        }
        // The name table stays as linked; the address table holds the
        // resolved addresses at the same positions.
        DWORD names = desc->OriginalFirstThunk != 0 ? desc->OriginalFirstThunk : desc->FirstThunk;
        IMAGE_THUNK_DATA *name = reinterpret_cast<IMAGE_THUNK_DATA *>(base + names);
        IMAGE_THUNK_DATA *address = reinterpret_cast<IMAGE_THUNK_DATA *>(base + desc->FirstThunk);
        for (; name->u1.AddressOfData != 0 && found == NULL; ++name, ++address) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
                continue;
            }
            IMAGE_IMPORT_BY_NAME *byName =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + name->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char *>(byName->Name), function) == 0) {
                found = reinterpret_cast<FARPROC *>(&address->u1.Function);
            }
        }
    }
    return found;
}

FARPROC PatchImportSlot(FARPROC *slot, FARPROC replacement) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    FARPROC old = *slot;
    *slot = replacement;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return old;
}
