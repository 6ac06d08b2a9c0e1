#!/usr/bin/env python3
"""The fidelity check joins the benchmark program's case lines with the
simulator's modelled times by chip serial and case number. This runs the
real program (path given as the argument) on the default instruments with
time scaled down and checks that every case line is found and read right, so
that a change of the report format cannot silently empty the check. The
overhead and checksum checks are run on made-up Google Benchmark output:
a missed target fails them, on every instrument and only where it applies."""

import argparse
import contextlib
import io
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


def median(run_name, time_us, bytes_per_second=None):
    b = {"run_name": run_name, "aggregate_name": "median", "real_time": time_us,
         "cpu_time": time_us, "time_unit": "us"}
    if bytes_per_second is not None:
        b["bytes_per_second"] = bytes_per_second
    return b


class Verdicts(unittest.TestCase):
    def run_check(self, check, benchmarks, **args):
        with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
            json.dump({"benchmarks": benchmarks}, f)
        out = io.StringIO()
        try:
            with contextlib.redirect_stdout(out):
                status = check(argparse.Namespace(json=f.name, **args))
        finally:
            os.unlink(f.name)
        return status, out.getvalue()

    def reads(self, liborv_host_us):
        benchmarks = []
        for instrument in bench_checks.INSTRUMENTS:
            benchmarks += [median(f"BM_SpectrumRead_ProviderOnly/{instrument}/real_time", 20.0),
                           median(f"BM_SpectrumRead_Liborv/{instrument}/real_time",
                                  20.0 + liborv_host_us.get(instrument, 1.0)),
                           median(f"BM_SpectrumRead_Binding/{instrument}/real_time", 23.0)]
        return benchmarks

    def test_overhead_fails_on_any_instrument_over_the_target(self):
        status, _ = self.run_check(bench_checks.overhead, self.reads({}))
        self.assertEqual(status, 0)
        for instrument in bench_checks.INSTRUMENTS:
            over = bench_checks.LIBORV_OVERHEAD_US + 1
            status, out = self.run_check(bench_checks.overhead, self.reads({instrument: over}))
            self.assertEqual(status, 1, instrument)
            missed = [line.split()[:2] for line in out.splitlines() if "MISSED" in line]
            self.assertEqual(missed, [[instrument, "liborv"]])

    def test_checksums_hold_the_crc32_export_to_the_target_over_long_spans(self):
        target = bench_checks.CRC32_BYTES_PER_S

        def crc_run(rate_4116, rate_24):
            return [median("BM_Crc32/24", 0.01, rate_24), median("BM_Crc32/4116", 1.0, rate_4116),
                    median("BM_Crc16Legacy/4109", 1.0, target / 10)]

        self.assertEqual(self.run_check(bench_checks.checksums, crc_run(target * 1.2, target / 4),
                                        ways=None)[0], 0)
        status, out = self.run_check(bench_checks.checksums, crc_run(target * 0.9, target * 2),
                                     ways=None)
        self.assertEqual(status, 1)
        self.assertIn("MISSED", next(line for line in out.splitlines() if " 4116 " in line))
        self.assertEqual(self.run_check(bench_checks.checksums, [], ways=None)[0], 1)

    def test_processing_holds_absorbance_alone_to_the_target(self):
        target = bench_checks.ABSORBANCE_US

        def modes(absorbance_us, others_us):
            return [median("BM_Process/absorbance", absorbance_us),
                    median("BM_Process/transmittance", others_us),
                    median("BM_Process/dark_corrected", others_us)]

        self.assertEqual(self.run_check(bench_checks.processing, modes(target * 0.9, target * 3))[0], 0)
        status, out = self.run_check(bench_checks.processing, modes(target * 1.1, target / 3))
        self.assertEqual(status, 1)
        self.assertEqual([line.split()[0] for line in out.splitlines() if "MISSED" in line], ["absorbance"])
        # Without the absorbance figure there is nothing to judge: a failure, not a pass.
        self.assertEqual(self.run_check(bench_checks.processing, modes(target, target)[1:])[0], 1)


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
