// The library that the dependency stand-in imports; the test puts it in the
// folder above the plug-ins folder, beside where the player's program is.
extern "C" __declspec(dllexport) int __cdecl standInDependency(void) {
    return 1;
}
