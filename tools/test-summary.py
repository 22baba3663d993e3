#!/usr/bin/env python3
"""Sums the results of every suite of a test run into one closing line.

Each build directory holds ctest's JUnit report; a GoogleTest program also
leaves its own XML in test-results/, which is counted case by case. A ctest
test without such a file (a PE check, a corpus run) counts as one case. A
program whose cases all passed but which still failed (a crash at exit, a
leak report, a timeout) counts one failure more.
"""
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(path):
    root = ET.parse(path).getroot()
    passed = failed = 0
    for case in root.iter("testcase"):
        if case.get("status", "run") != "run" or case.get("result") == "skipped":
            continue
        if case.find("failure") is not None:
            failed += 1
        else:
            passed += 1
    return passed, failed


def suite_counts(build_dir):
    junit = os.path.join(build_dir, "ctest-junit.xml")
    if not os.path.exists(junit):
        return 0, 1, ["no ctest report in " + build_dir]
    passed = failed = 0
    notes = []
    for case in ET.parse(junit).getroot().iter("testcase"):
        name = case.get("name")
        ok = case.get("status") == "run" and case.find("failure") is None
        results = os.path.join(build_dir, "test-results", name + ".xml")
        if os.path.exists(results):
            p, f = gtest_counts(results)
            if not ok and f == 0:
                f = 1
                notes.append(name + ": the program failed after its cases")
        else:
            p, f = (1, 0) if ok else (0, 1)
        if f:
            notes.append(name + ": %d failed" % f)
        passed += p
        failed += f
    return passed, failed, notes


def main():
    total_passed = total_failed = 0
    for build_dir in sys.argv[1:]:
        passed, failed, notes = suite_counts(build_dir)
        print("%-16s %d passed, %d failed" % (os.path.basename(build_dir) + ":", passed, failed))
        for note in notes:
            print("    " + note)
        total_passed += passed
        total_failed += failed
    print("%d passed, %d failed" % (total_passed, total_failed))
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main())
