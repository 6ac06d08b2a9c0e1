#!/usr/bin/env python3
"""Counts the GoogleTest cases of one CTest run from the XML files the test
programs write (build/<preset>/gtest-results, see orv_add_gtest), whether
CTest ran one process per case or per program, and lists the slowest.

    gtest_results.py DIR            # one line: cases run, failed, skipped
    gtest_results.py DIR --slowest 20
    gtest_results.py --ctest-slowest LOG 20   # the slowest tests of a ctest log

Exits 1 when DIR holds a file that is no complete GoogleTest report (a
program that crashed mid-run writes none, which CTest reports as a failure).
"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ElementTree


def read_cases(folder):
    """(name, seconds, outcome) of every case reported in the folder's files."""
    cases = []
    # Parameterised cases have a slash in their name, so a file per case
    # can sit in a subfolder.
    for path in sorted(pathlib.Path(folder).rglob("*.xml")):
        try:
            root = ElementTree.parse(path).getroot()
        except ElementTree.ParseError as error:
            raise SystemExit(f"{path}: not a GoogleTest report: {error}")
        # One file per program holds "handle.<program>.xml"; one per case
        # holds "handle.<suite>.<case>.xml": the prefix tells the interface.
        relative = path.relative_to(folder).as_posix()
        prefix = "handle." if relative.startswith("handle.") else ""
        for case in root.iter("testcase"):
            if case.get("status", "run") != "run":
                continue  # DISABLED_ cases are listed but never run
            if case.find("failure") is not None:
                outcome = "failed"
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                outcome = "skipped"
            else:
                outcome = "passed"
            name = f"{prefix}{case.get('classname')}.{case.get('name')}"
            cases.append((name, float(case.get("time", "0")), outcome))
    return cases


def summary(cases):
    count = {"passed": 0, "failed": 0, "skipped": 0}
    for _, _, outcome in cases:
        count[outcome] += 1
    return (f"{len(cases)} GoogleTest cases: {count['passed']} passed, "
            f"{count['failed']} failed, {count['skipped']} skipped")


def ctest_slowest(log, limit):
    pattern = re.compile(r"Test +#\d+: (\S+) \.*\**\s*(\w[\w ]*?)\s+([0-9.]+) sec")
    rows = []
    for line in pathlib.Path(log).read_text(errors="replace").splitlines():
        match = pattern.search(line)
        if match:
            rows.append((float(match.group(3)), match.group(1), match.group(2)))
    rows.sort(reverse=True)
    for seconds, name, outcome in rows[:limit]:
        print(f"  {seconds:8.2f} s  {name} ({outcome})")


def main(argv):
    if len(argv) == 3 and argv[0] == "--ctest-slowest":
        ctest_slowest(argv[1], int(argv[2]))
        return 0
    if len(argv) not in (1, 3) or (len(argv) == 3 and argv[1] != "--slowest"):
        print(__doc__, file=sys.stderr)
        return 2
    cases = read_cases(argv[0])
    if len(argv) == 3:
        for name, seconds, outcome in sorted(cases, key=lambda c: -c[1])[:int(argv[2])]:
            print(f"  {seconds:8.2f} s  {name} ({outcome})")
        return 0
    print(summary(cases))
    for name, _, outcome in cases:
        if outcome == "failed":
            print(f"  failed: {name}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
