#!/usr/bin/env python3
"""Checks the release zip's contents.

usage: check-dist.py ZIP [JUNIT_XML]

Prints one line per check and, when asked, writes them as a JUnit report so
that the test run counts them. Exits non-zero when any check fails.
"""
import hashlib
import importlib.util
import io
import os
import struct
import sys
import zipfile
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("check_pe", os.path.join(HERE, "..", "tools", "check-pe.py"))
check_pe = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_pe)

EXPECTED = {"README-en.txt", "README-ja.txt", "CHANGELOG.md", "SHA256SUMS", "velkor.exe",
            "VelkorSetup.exe",
            "msvcrt/velkor.dll", "msvcr70/velkor.dll"}

# velkor.exe and the window must run on Windows XP: none of the functions
# that came with Windows Vista or later. The posix-thread runtime brings in
# GetTickCount64.
PROGRAM_DLLS = {"ADVAPI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL", "SHELL32.DLL", "USER32.DLL",
                "VERSION.DLL"}
WINDOW_DLLS = PROGRAM_DLLS | {"COMCTL32.DLL", "GDI32.DLL", "OLE32.DLL"}
VISTA_AND_LATER = {
    "GetTickCount64", "GetFinalPathNameByHandleA", "GetFinalPathNameByHandleW",
    "InitializeCriticalSectionEx", "CreateEventExA", "CreateEventExW", "CreateMutexExA",
    "CreateMutexExW", "CreateSemaphoreExA", "CreateSemaphoreExW", "CreateSymbolicLinkA",
    "CreateSymbolicLinkW", "GetFileInformationByHandleEx", "SetFileInformationByHandle",
    "CancelIoEx", "QueryFullProcessImageNameA", "QueryFullProcessImageNameW", "GetThreadId",
    "GetProcessIdOfThread", "GetErrorMode", "SetThreadErrorMode", "GetThreadErrorMode",
    "GetCurrentProcessorNumber", "RaiseFailFastException", "AddDllDirectory",
    "SetDefaultDllDirectories", "RemoveDllDirectory", "GetSystemTimePreciseAsFileTime",
    "GetLocaleInfoEx", "LCMapStringEx", "CompareStringEx", "CompareStringOrdinal",
    "GetUserDefaultLocaleName", "GetSystemDefaultLocaleName", "LocaleNameToLCID",
    "LCIDToLocaleName", "ResolveLocaleName", "IsValidLocaleName", "GetDateFormatEx",
    "GetTimeFormatEx", "GetNumberFormatEx", "GetCurrencyFormatEx", "EnumSystemLocalesEx",
    "GetCalendarInfoEx", "FindNLSStringEx", "GetThreadPreferredUILanguages",
    "SetThreadPreferredUILanguages", "GetUserPreferredUILanguages",
    "GetProcessPreferredUILanguages", "GetNamedPipeClientProcessId", "CreateRemoteThreadEx",
}
VISTA_AND_LATER_PARTS = ("Fls", "InitOnce", "SRWLock", "ConditionVariable", "Threadpool",
                         "ProcThreadAttribute")


def later_than_xp(function):
    return function in VISTA_AND_LATER or any(part in function for part in VISTA_AND_LATER_PARTS)


def manifest_ids(pe):
    """The ids of the manifests (resource type 24) in the image."""
    rva, _ = pe.dirs[2]
    if not rva:
        return []
    base = pe.offset(rva)

    def entries(offset):
        named, ids = struct.unpack_from("<HH", pe.data, base + offset + 12)
        for i in range(named + ids):
            yield struct.unpack_from("<II", pe.data, base + offset + 16 + 8 * i)

    return [name for kind, sub in entries(0) if kind == 24 and sub & 0x80000000
            for name, _ in entries(sub & 0x7FFFFFFF)]


def check_sums(z, names, check):
    """SHA256SUMS holds one line for every other file, in the format that
    sha256sum writes and checks: the hash, two spaces, the name."""
    if "SHA256SUMS" not in names:
        return
    lines = z.read("SHA256SUMS").decode("ascii", "replace").splitlines()
    listed = {}
    for line in lines:
        digest, _, name = line.partition("  ")
        listed[name] = digest
        ok = name in names and digest == hashlib.sha256(z.read(name)).hexdigest()
        check(ok, "SHA256SUMS: %s" % line)
    check(set(listed) == names - {"SHA256SUMS"},
          "SHA256SUMS lists every other file (%d lines)" % len(lines))


def main():
    path = sys.argv[1]
    results = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        results.append((what, ok))

    with zipfile.ZipFile(path) as z:
        names = {n for n in z.namelist() if not n.endswith("/")}
        check(names == EXPECTED, "files: %s" % ", ".join(sorted(names)))
        check_sums(z, names, check)
        for runtime in ("msvcrt", "msvcr70"):
            name = runtime + "/velkor.dll"
            if name not in names:
                continue
            pe = check_pe.Pe(z.read(name))
            exports, _ = pe.exports()
            imports = {d.lower() for d in pe.imports()}
            check(exports == ["winampGetInModule2"], name + ": exports winampGetInModule2")
            check(runtime + ".dll" in imports and
                  not ({"msvcrt.dll", "msvcr70.dll"} - {runtime + ".dll"}) & imports,
                  name + ": imports " + runtime + ".dll and no other runtime")
        for program, allowed in (("velkor.exe", PROGRAM_DLLS), ("VelkorSetup.exe", WINDOW_DLLS)):
            if program not in names:
                continue
            data = z.read(program)
            pe = check_pe.Pe(data)
            imports = pe.imports()
            check({d.upper() for d in imports} <= allowed,
                  "%s imports only from %s" % (program, ", ".join(sorted(imports))))
            later = sorted(f for funcs in imports.values() for f in funcs if later_than_xp(f))
            check(not later, program + " imports nothing after Windows XP" +
                  (" (found %s)" % ", ".join(later) if later else ""))
            check(1 in manifest_ids(pe) and b'level="asInvoker"' in data,
                  program + " carries its manifest, asInvoker")
        if "VelkorSetup.exe" in names:
            data = z.read("VelkorSetup.exe")
            check(b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in data,
                  "VelkorSetup.exe asks for common controls 6")
            check(b"<dpiAware" in data, "VelkorSetup.exe is DPI-aware")
        for readme, encoding in (("README-en.txt", "utf-8"), ("README-ja.txt", "cp932")):
            if readme not in names:
                continue
            raw = z.read(readme)
            try:
                text = raw.decode(encoding)
            except UnicodeDecodeError:
                text = ""
            check(bool(text), readme + " decodes as " + encoding)
            check(b"\r\n" in raw and raw.count(b"\n") == raw.count(b"\r\n"), readme + " has CRLF lines")
            for needle in ("表示", "in_xxx.vlk", "velkor install", "velkor scan", "Windows XP",
                           "msvcrt", "MSVCR70", "SHA256SUMS", "certutil -hashfile", "950", "936",
                           "メモリの割り当てに失敗しました。", "割り当てメモリの拡張に失敗しました。"):
                check(needle in text, "%s mentions %s" % (readme, needle))

    failed = [w for w, ok in results if not ok]
    if len(sys.argv) > 2:
        with open(sys.argv[2], "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<testsuite name="dist" tests="%d" failures="%d">\n'
                    % (len(results), len(failed)))
            for what, ok in results:
                f.write('  <testcase name=%s status="run">%s</testcase>\n'
                        % (quoteattr(what), "" if ok else "<failure/>"))
            f.write("</testsuite>\n")
    print("%s: %s" % (path, "all checks passed" if not failed else "%d failed" % len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
