#!/usr/bin/env python3
"""Checks that every test docs/fault-matrix.md names exists.

usage: check_fault_matrix.py REPOSITORY

Reads the last cell ("Checked by") of every table row. A name of the form
`binary: Instantiation/Suite.Test/Parameter` (binary, instantiation and
parameter optional; `handle.` before the suite is the run through handles;
`…` or `*` for the test stands for several, `…/Parameter` is another
parameter of the name before it) must match a gtest in the
repository's C++ sources: TEST, TEST_F or TEST_P(Suite, Test), the
instantiation an INSTANTIATE_TEST_SUITE_P of that suite, the binary a target
some CMakeLists.txt adds. A path (`scripts/x.sh`) must exist. Prints every
name that matches nothing and exits 1 if there is one.
"""
import os
import re
import sys

NAME = re.compile(r"^(?:(?P<binary>[\w-]+): )?(?:(?P<inst>\w+)/)?(?:handle\.)?"
                  r"(?P<suite>\w+)(?:\.(?P<test>\w+|…|\*)|(?P<elided>…))?(?P<param>/\S*)?$")
SKIPPED_DIRS = {".git", "build", "node_modules", "__pycache__"}


def sources(root):
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d not in SKIPPED_DIRS and not d.startswith("build")]
        for name in files:
            yield os.path.join(folder, name)


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def known_tests(root):
    """Suites with their tests, instantiations with their suites, targets."""
    tests, instantiations, targets = {}, set(), set()
    for path in sources(root):
        if path.endswith((".cpp", ".h")):
            text = read(path)
            for suite, test in re.findall(r"\bTEST(?:_F|_P)?\(\s*(\w+)\s*,\s*(\w+)\s*\)", text):
                tests.setdefault(suite, set()).add(test)
            for inst, suite in re.findall(r"INSTANTIATE_TEST_SUITE_P\(\s*(\w+)\s*,\s*(\w+)", text):
                instantiations.add((inst, suite))
        elif os.path.basename(path) == "CMakeLists.txt":
            text = read(path)
            targets.update(re.findall(r"\b(?:orv_add_\w+|add_executable|add_library)\(\s*"
                                      r"([\w-]+)", text))
            targets.update(re.findall(r"\bLABELS\s+\"?([\w-]+)", text))
    return tests, instantiations, targets


def named_tests(matrix_path):
    """(line number, name) of every name in a row's last cell."""
    for number, line in enumerate(read(matrix_path).splitlines(), 1):
        if not line.startswith("|") or line.startswith("|---"):
            continue
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) < 2 or cells[-1] == "Checked by":
            continue
        for name in re.findall(r"`([^`]+)`", cells[-1]):
            yield number, name


def problem(root, name, tests, instantiations, targets):
    """Why name matches nothing, or None."""
    if re.fullmatch(r"[\w./-]+/[\w-]+\.(?:sh|py|cmake|md)", name):
        return None if os.path.exists(os.path.join(root, name)) else f"no file {name}"
    if name.startswith("…/"):
        return None  # another parameter of the name before it
    match = NAME.match(name)
    named = match and (match.group("test") or match.group("elided") or match.group("binary"))
    if not named:
        # A bare word (a fuzz target, a CTest label) names a target or nothing checkable.
        if re.fullmatch(r"[\w-]+", name) and (name in targets or name in tests):
            return None
        return "names no test, target or file"
    binary, inst, suite, test = (match.group(k) for k in ("binary", "inst", "suite", "test"))
    if binary and binary not in targets:
        return f"no target {binary}"
    if suite not in tests:
        return f"no suite {suite}"
    if test not in (None, "…", "*") and test not in tests[suite]:
        return f"no test {suite}.{test}"
    if inst and (inst, suite) not in instantiations:
        return f"no instantiation {inst} of {suite}"
    return None


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    root = argv[1]
    tests, instantiations, targets = known_tests(root)
    matrix = os.path.join(root, "docs", "fault-matrix.md")
    failures = 0
    for number, name in named_tests(matrix):
        why = problem(root, name, tests, instantiations, targets)
        if why:
            print(f"docs/fault-matrix.md:{number}: `{name}`: {why}")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
