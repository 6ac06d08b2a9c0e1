#!/usr/bin/env python3
"""check_fault_matrix.py on small trees: a matrix whose names all exist
passes, and each kind of stale name (test, suite, instantiation, binary,
file) is reported with its line.

usage: check_fault_matrix_test.py CHECK_FAULT_MATRIX_PY
"""
import os
import subprocess
import sys
import tempfile

SOURCES = {
    "tests/CMakeLists.txt": "orv_add_gtest(link_test SOURCES a_test.cpp)\n"
                            "orv_add_fuzzer(fuzz_reply f.cpp)\n",
    "tests/a_test.cpp": "TEST_F(Open, Fails) {}\nTEST_P(Fault, Code) {}\n"
                        "INSTANTIATE_TEST_SUITE_P(Every, Fault, testing::Values(1));\n",
    "scripts/demo.sh": "",
}
HEAD = "| Failure | Checked by |\n|---|---|\n"
GOOD = ("| a | `link_test: Open.Fails`, `handle.Open.Fails` |\n"
        "| b | `link_test: Every/Fault.Code/One`, `…/Two`, `Every/Fault…/Three` |\n"
        "| c | `fuzz_reply`, `scripts/demo.sh`, `Open.*` |\n")
STALE = [
    ("| d | `link_test: Open.Renamed` |\n", "no test Open.Renamed"),
    ("| d | `Gone.Fails` |\n", "no suite Gone"),
    ("| d | `Other/Fault.Code` |\n", "no instantiation Other of Fault"),
    ("| d | `old_test: Open.Fails` |\n", "no target old_test"),
    ("| d | `scripts/gone.sh` |\n", "no file scripts/gone.sh"),
    ("| d | `threads` |\n", "names no test, target or file"),
]


def run(check, matrix):
    with tempfile.TemporaryDirectory() as root:
        for path, text in {**SOURCES, "docs/fault-matrix.md": HEAD + matrix}.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                f.write(text)
        return subprocess.run([sys.executable, check, root], capture_output=True, text=True)


def main(argv):
    check = argv[1]
    failures = []
    clean = run(check, GOOD)
    if clean.returncode != 0:
        failures.append(f"clean matrix refused:\n{clean.stdout}")
    for row, reason in STALE:
        result = run(check, GOOD + row)
        if result.returncode != 1 or f"fault-matrix.md:6: " not in result.stdout \
                or reason not in result.stdout:
            failures.append(f"{row.strip()}: expected '{reason}' on line 6, got "
                            f"{result.returncode}:\n{result.stdout}")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
