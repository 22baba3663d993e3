// Replaces a module's imported function by rewriting its import address
// table: the module's calls go through that table, so they reach the
// replacement while every other module keeps the real function.
#pragma once

#include <windows.h>

// The table slot through which `module` calls `function` of `dll`, or null
// when the module does not import it by name.
FARPROC *FindImportSlot(HMODULE module, const char *dll, const char *function);

// Writes `replacement` into the slot and returns what it held, or null when
// there is no such import.
FARPROC PatchImportSlot(FARPROC *slot, FARPROC replacement);

// Typed wrapper: swaps `function` of `dll` in `module` for `replacement` and
// returns the original, or null when the module does not import it.
// Function pointers of other signatures pass through void (*)(void), the one
// type that converts to and from all of them without a warning.
typedef void (*AnyFunction)(void);

template <typename Fn>
Fn ReplaceImport(HMODULE module, const char *dll, const char *function, Fn replacement) {
    FARPROC *slot = FindImportSlot(module, dll, function);
    FARPROC old = NULL;
    if (slot != NULL) {
        old = PatchImportSlot(
            slot, reinterpret_cast<FARPROC>(reinterpret_cast<AnyFunction>(replacement)));
    }
    return reinterpret_cast<Fn>(reinterpret_cast<AnyFunction>(old));
}
