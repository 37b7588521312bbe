#!/usr/bin/env python3
"""Counts test results from what the runners report: ctest's JUnit file, and
the GoogleTest report of each test program written during this run.

A test program's report gives its cases. A GoogleTest program (named in
PROGRAMS, one per line) that wrote no fresh report is a failure whatever its
exit code: it did not run its cases (a loader that cannot run it may well exit
0). Any other ctest test without a fresh report (a script check) counts as one
case, passed or failed as ctest says. A test that ctest failed although its
report shows no failure (a crash at exit, a timeout) adds one failure, and a
test that ctest did not run counts as failed: it was meant to run.

usage: count-tests.py JUNIT REPORT_DIR SINCE [PROGRAMS]
       -> prints "PASSED FAILED SKIPPED"
"""
import os
import sys
import xml.etree.ElementTree as ElementTree


def report_counts(path):
    root = ElementTree.parse(path).getroot()
    tests = int(root.get("tests", 0))
    failures = int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped = sum(1 for case in root.iter("testcase") if case.get("result") == "skipped")
    return tests - failures - skipped, failures, skipped


def program_names(path):
    if path is None or not os.path.exists(path):
        return set()
    with open(path) as names:
        return {line.strip() for line in names if line.strip()}


def count(junit, reports, since, programs=frozenset()):
    passed = failed = skipped = 0
    for case in ElementTree.parse(junit).getroot().iter("testcase"):
        ran_ok = case.get("status") == "run"
        report = os.path.join(reports, case.get("name") + ".xml")
        counts = None
        if os.path.exists(report) and os.path.getmtime(report) >= since:
            try:
                counts = report_counts(report)
            except (ElementTree.ParseError, ValueError):
                counts = None
        if counts is None and case.get("name") in programs:
            print(f"count-tests: {case.get('name')} wrote no report: counted as failed",
                  file=sys.stderr)
            failed += 1
            continue
        if counts is None:
            passed, failed = (passed + 1, failed) if ran_ok else (passed, failed + 1)
            continue
        passed += counts[0]
        failed += counts[1] + (1 if not ran_ok and counts[1] == 0 else 0)
        skipped += counts[2]
    return passed, failed, skipped


if __name__ == "__main__":
    try:
        programs = program_names(sys.argv[4] if len(sys.argv) > 4 else None)
        print(*count(sys.argv[1], sys.argv[2], float(sys.argv[3]), programs))
    except (OSError, ElementTree.ParseError) as error:
        print(f"count-tests: {error}", file=sys.stderr)
        print(0, 1, 0)
