"""Runs every case of the OrvSpectrometer suite in a Python process of its
own, one after another.

A PyTango client keeps process-wide event machinery (the ZMQ consumer and its
keep-alive thread) alive from a test's subscriptions into the next test; on a
loaded machine that thread, finding a server of an earlier test gone, could
crash the whole run. A process per case starts each case with none of it.

Usage: run_each.py SUITE_FOLDER [pytest options...]; exit status 0 when every
case passed, 1 when one failed, 2 when none was collected.
"""

from __future__ import annotations

import os
import subprocess
import sys
import time
from typing import List


def collect(suite: str, options: List[str]) -> List[str]:
    listing = subprocess.run(
        [sys.executable, "-m", "pytest", "--collect-only", "-q", f"--rootdir={suite}", *options,
         suite], cwd=suite, capture_output=True, text=True, check=False)
    cases = [line.strip() for line in listing.stdout.splitlines() if "::" in line]
    if listing.returncode != 0 or not cases:
        sys.stdout.write(listing.stdout + listing.stderr)
    return cases


def main(arguments: List[str]) -> int:
    if not arguments:
        sys.stderr.write(__doc__ or "")
        return 2
    suite, options = arguments[0], arguments[1:]
    if not os.path.isdir(suite):
        print("run_each: no suite folder", suite)
        return 2
    cases = collect(suite, options)
    if not cases:
        print("no test collected from", suite)
        return 2
    failed: List[str] = []
    for case in cases:
        began = time.monotonic()
        # Node ids are relative to the root folder, which is the working folder.
        run = subprocess.run([sys.executable, "-m", "pytest", "-q", f"--rootdir={suite}",
                              *options, case], cwd=suite, capture_output=True, text=True,
                             check=False)
        verdict = "passed" if run.returncode == 0 else "FAILED"
        print(f"{verdict} {case} ({time.monotonic() - began:.1f} s)", flush=True)
        if run.returncode != 0:
            failed.append(case)
            sys.stdout.write(run.stdout + run.stderr)
    print(f"{len(cases) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
