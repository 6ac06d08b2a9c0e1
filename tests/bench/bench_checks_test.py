#!/usr/bin/env python3
"""The fidelity check joins the benchmark program's case lines with the
simulator's modelled times by chip serial and case number. This runs the
real program (path given as the argument) on the default instruments with
time scaled down and checks that every case line is found and read right, so
that a change of the report format cannot silently empty the check."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import bench_checks  # noqa: E402

PROGRAM = None


class ReportParsing(unittest.TestCase):
    def test_every_case_of_every_instrument_is_read(self):
        with open(os.path.join(ROOT, "d2xx", "sim", "scenarios", "default.json")) as f:
            scenario = json.load(f)
        scenario["time_scale"] = 0.01
        with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
            json.dump(scenario, f)
        try:
            run = subprocess.run([PROGRAM], env=bench_checks.program_env(f.name),
                                 capture_output=True, text=True, timeout=120)
        finally:
            os.unlink(f.name)
        self.assertEqual(run.returncode, 0, run.stderr)

        cases = bench_checks.parse_report(run.stdout)
        pixels = {"ORVSIM01": 2048, "ORVSIM02": 1024, "ORVSIM03": 256}
        iterations = {1: 30, 2: 20, 3: 10, 4: 10}
        self.assertEqual(sorted(cases), sorted((s, c) for s in pixels for c in iterations))
        for (serial, number), (iters, length, avg_ms, min_ms, max_ms) in cases.items():
            self.assertEqual(iters, iterations[number])
            self.assertEqual(length, pixels[serial])
            self.assertTrue(0 < min_ms <= avg_ms <= max_ms, (serial, number, min_ms, avg_ms, max_ms))


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
