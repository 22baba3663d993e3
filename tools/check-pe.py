#!/usr/bin/env python3
"""Checks the built plug-in DLL from its PE headers.

usage: check-pe.py DLL MAP RUNTIME OBJDUMP

- exactly one export, winampGetInModule2, undecorated;
- the entry point is DllMain itself (from the linker map), there is no TLS
  callback and no constructor table: no C runtime start-up code;
- imports only from KERNEL32, USER32, SHLWAPI and RUNTIME (msvcrt.dll or
  MSVCR70.dll), only the functions the plug-in needs;
- a version resource naming the product, with a file version and
  descriptions in English and Japanese;
- code that an 80486 runs: no instruction of the Pentium or later (cmov,
  fcmov, fcomi, MMX, SSE and so on), which Windows 95 and 98 machines such as
  a Pentium MMX, K6-2 or VIA C3 lack in part;
- at most 11 KiB.
Prints one line per check and exits non-zero when any fails.
"""
import re
import struct
import subprocess
import sys

ALLOWED = {
    "KERNEL32.DLL": {
        "GetModuleFileNameA", "LoadLibraryA", "FreeLibrary", "GetProcAddress",
        "HeapCreate", "HeapAlloc", "HeapReAlloc", "HeapFree", "HeapDestroy",
        "lstrlenA", "lstrcpyA", "lstrcpynA", "GetLastError", "FormatMessageA", "LocalFree",
        "IsDBCSLeadByte", "LCMapStringA",
    },
    "USER32.DLL": {"MessageBoxA"},
    "SHLWAPI.DLL": {"PathStripPathA", "StrChrA", "StrCmpNA", "StrCmpNIA"},
}
RUNTIME_ALLOWED = {"strncpy", "memset", "memcpy"}
# 8 KiB until the code grew past its sixth 512-byte block of file alignment;
# 10.5 KiB since the title query's code is compiled for speed, 11 KiB since
# its byte searches are inline.
SIZE_LIMIT = 11264

# What the 80486 lacks: instructions of the Pentium, the Pentium Pro and
# later, and any MMX, SSE or AVX register.
LATER_MNEMONICS = re.compile(
    r"^(cmov\w*|fcmov\w*|f(u)?comip?|cpuid|rdtscp?|rdmsr|wrmsr|rdpmc|cmpxchg8b|cmpxchg16b|"
    r"sysenter|sysexit|syscall|sysret|fxsave|fxrstor|emms|femms|prefetch\w*|[lsm]fence|"
    r"clflush\w*|movnti|ldmxcsr|stmxcsr|popcnt|lzcnt|tzcnt|movbe|crc32\w*)$")
LATER_REGISTERS = re.compile(r"%(mm[0-7]|[xyz]mm[0-9]+)\b")


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        opt = pe + 24
        if struct.unpack_from("<H", data, opt)[0] != 0x10B:
            raise ValueError("not a 32-bit image")
        self.entry = struct.unpack_from("<I", data, opt + 16)[0]
        self.image_base = struct.unpack_from("<I", data, opt + 28)[0]
        count = struct.unpack_from("<I", data, opt + 92)[0]
        self.dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(count)]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            s = table + 40 * i
            name = data[s:s + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((name, va, max(vsize, rsize), raw))

    def offset(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA %#x outside the sections" % rva)

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def cstr(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def exports(self):
        rva, size = self.dirs[0]
        if not rva:
            return []
        names = struct.unpack_from("<I", self.data, self.offset(rva) + 24)[0]
        table = struct.unpack_from("<I", self.data, self.offset(rva) + 32)[0]
        functions = struct.unpack_from("<I", self.data, self.offset(rva) + 20)[0]
        result = [self.cstr(self.u32(table + 4 * i)) for i in range(names)]
        return result, functions

    def imports(self):
        rva, _ = self.dirs[1]
        result = {}
        while rva:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, self.offset(rva))
            if name == 0:
                break
            functions = []
            thunk = lookup or first
            while True:
                entry = self.u32(thunk)
                if entry == 0:
                    break
                functions.append("#%d" % (entry & 0xFFFF) if entry & 0x80000000
                                 else self.cstr(entry + 2))
                thunk += 4
            result[self.cstr(name)] = functions
            rva += 20
        return result


def later_instructions(dll, objdump, map_file):
    """Instructions beyond the 80486, each with the function that holds it."""
    symbols = []
    for line in open(map_file, encoding="latin-1"):
        m = re.match(r"\s+0x([0-9a-f]+)\s+([^=\s][^=]*)$", line)
        if m:
            symbols.append((int(m.group(1), 16), m.group(2).strip()))
    symbols.sort()

    def holder(address):
        name = "?"
        for start, symbol in symbols:
            if start > address:
                break
            name = symbol
        return name

    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", dll], check=True,
                             capture_output=True, text=True).stdout
    found = []
    for line in listing.splitlines():
        m = re.match(r"\s*([0-9a-f]+):\s+(\S+)\s*(.*)$", line)
        if not m:
            continue
        mnemonic, operands = m.group(2), m.group(3)
        if LATER_MNEMONICS.match(mnemonic) or LATER_REGISTERS.search(operands):
            address = int(m.group(1), 16)
            found.append("%s %s in %s" % (mnemonic, operands, holder(address)))
    return found


def pe_checksum(data, pe_offset):
    """The image checksum as the loader computes it, over every byte but the
    checksum field itself, which lies 64 bytes into the optional header."""
    field = pe_offset + 24 + 64
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for i in range(0, len(padded), 2):
        if field <= i < field + 4:
            continue
        total += padded[i] | (padded[i + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def stored_checksum(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<I", data, pe + 24 + 64)[0], pe_checksum(data, pe)


# The 32-bit Windows API, whatever the kernel: 95, 98 and ME as well as NT.
VOS__WINDOWS32 = 0x4


def file_os(rsrc):
    """FILEOS of the version resource: 32 bytes into VS_FIXEDFILEINFO, which
    starts with its signature."""
    signature = rsrc.find(struct.pack("<I", 0xFEEF04BD))
    return struct.unpack_from("<I", rsrc, signature + 32)[0] if signature >= 0 else None


def utf16(text):
    return text.encode("utf-16-le")


def main():
    dll, map_file, runtime, objdump = sys.argv[1:5]
    data = open(dll, "rb").read()
    pe = Pe(data)
    failures = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        if not ok:
            failures.append(what)

    names, functions = pe.exports()
    check(names == ["winampGetInModule2"] and functions == 1,
          "one export, winampGetInModule2 (found %s)" % names)

    entry = None
    for line in open(map_file, encoding="latin-1"):
        m = re.match(r"\s+0x([0-9a-f]+)\s+_?DllMain@12\s*$", line)
        if m:
            entry = int(m.group(1), 16) - pe.image_base
    check(entry is not None and entry == pe.entry,
          "entry point is DllMain (entry %#x, DllMain %s)" % (pe.entry, hex(entry or 0)))
    check(pe.dirs[9][0] == 0, "no TLS directory")
    section_names = [s[0] for s in pe.sections]
    check(not any(n in (".CRT", ".tls", ".ctors", ".init_array") for n in section_names),
          "no start-up or constructor sections (%s)" % " ".join(section_names))

    imports = pe.imports()
    allowed = dict(ALLOWED)
    allowed[runtime.upper()] = RUNTIME_ALLOWED
    for dll_name, funcs in sorted(imports.items()):
        permitted = allowed.get(dll_name.upper())
        extra = sorted(set(funcs) - permitted) if permitted is not None else funcs
        check(permitted is not None and not extra,
              "imports from %s: %s" % (dll_name, ", ".join(sorted(funcs))) +
              ("" if not extra else " (not allowed: %s)" % ", ".join(extra)))
    check(any(d.upper() == runtime.upper() and "strncpy" in f for d, f in imports.items()),
          "strncpy comes from %s" % runtime)

    rsrc = data[pe.offset(pe.dirs[2][0]):] if pe.dirs[2][0] else b""
    check(utf16("ProductName\0") in rsrc and utf16("Velkor\0") in rsrc, "version resource: product Velkor")
    check(utf16("FileVersion\0") in rsrc, "version resource: file version")
    check(utf16("Velkor: repairs Shift_JIS") in rsrc, "version resource: English description")
    check(utf16("\u5225\u306e\u5165\u529b\u30d7\u30e9\u30b0\u30a4\u30f3") in rsrc,
          "version resource: Japanese description")

    stored, computed = stored_checksum(data)
    check(stored == computed, "PE checksum %#x is the image's (%#x)" % (stored, computed))
    os_flags = file_os(rsrc)
    check(os_flags == VOS__WINDOWS32, "version resource: FILEOS is VOS__WINDOWS32 (found %s)" %
          (hex(os_flags) if os_flags is not None else "none"))

    later = later_instructions(dll, objdump, map_file)
    check(not later, "code for the 80486" + ("" if not later else ": " + "; ".join(later[:8])))

    check(len(data) <= SIZE_LIMIT, "size %d bytes (at most %d)" % (len(data), SIZE_LIMIT))
    print("%s: %s" % (dll, "all checks passed" if not failures else "%d failed" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
