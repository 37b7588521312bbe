#!/usr/bin/env python3
"""Counts test results from what the runners report: ctest's JUnit file, and
the GoogleTest report of each test program written during this run.

A test program's report gives its cases; a ctest test without a fresh report
(a script check, or a program that crashed before writing one) counts as one
case, passed or failed as ctest says. A test that ctest failed although its
report shows no failure (a crash at exit, a timeout) adds one failure, and a
test that ctest did not run counts as failed: it was meant to run.

usage: count-tests.py JUNIT REPORT_DIR SINCE   -> prints "PASSED FAILED SKIPPED"
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


def count(junit, reports, since):
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
        if counts is None:
            passed, failed = (passed + 1, failed) if ran_ok else (passed, failed + 1)
            continue
        passed += counts[0]
        failed += counts[1] + (1 if not ran_ok and counts[1] == 0 else 0)
        skipped += counts[2]
    return passed, failed, skipped


if __name__ == "__main__":
    try:
        print(*count(sys.argv[1], sys.argv[2], float(sys.argv[3])))
    except (OSError, ElementTree.ParseError) as error:
        print(f"count-tests: {error}", file=sys.stderr)
        print(0, 1, 0)
