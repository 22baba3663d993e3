#!/usr/bin/env python3
"""Checks the release zip's contents.

usage: check-dist.py ZIP [JUNIT_XML]

Prints one line per check and, when asked, writes them as a JUnit report so
that the test run counts them. Exits non-zero when any check fails.
"""
import importlib.util
import io
import os
import sys
import zipfile
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("check_pe", os.path.join(HERE, "..", "tools", "check-pe.py"))
check_pe = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_pe)

EXPECTED = {"README-en.txt", "README-ja.txt", "velkor-probe.exe",
            "msvcrt/velkor.dll", "msvcr70/velkor.dll"}


def main():
    path = sys.argv[1]
    results = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        results.append((what, ok))

    with zipfile.ZipFile(path) as z:
        names = {n for n in z.namelist() if not n.endswith("/")}
        check(names == EXPECTED, "files: %s" % ", ".join(sorted(names)))
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
        if "velkor-probe.exe" in names:
            check(z.read("velkor-probe.exe")[:2] == b"MZ", "velkor-probe.exe is a program")
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
            for needle in ("表示", "in_xxx.vlk", "velkor-probe", "msvcrt", "MSVCR70",
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
