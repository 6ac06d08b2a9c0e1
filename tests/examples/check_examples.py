#!/usr/bin/env python3
"""Runs the C examples against the built-in default scenario of the simulated
provider (four FTDI devices: two UV-VIS instruments, a NIR instrument and a
foreign converter) and checks what they print, write and return.

usage: check_examples.py LIST_AND_SAVE TWO_INSTRUMENTS OUTPUT_DIR
"""
import csv
import os
import shutil
import subprocess
import sys
import unittest

LIST_AND_SAVE, TWO_INSTRUMENTS, OUTPUT = sys.argv[1:4] if len(sys.argv) >= 4 else ("", "", "")


def run(*command, environment=None):
    env = dict(os.environ)
    env.update(environment or {})
    return subprocess.run(command, capture_output=True, text=True, timeout=120, env=env)


class ListAndSave(unittest.TestCase):
    def setUp(self):
        shutil.rmtree(OUTPUT, ignore_errors=True)
        os.makedirs(OUTPUT)

    def test_lists_every_device_and_what_it_is(self):
        result = run(LIST_AND_SAVE)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertRegex(lines[0], r"^liborv \d+\.\d+\.\d+ \(header \d+\.\d+\.\d+\)$")
        self.assertIn("UVVIS_ORV", lines[1])
        self.assertIn("NIR_LEGACY", lines[3])
        self.assertRegex(lines[4], r"^3  ORVSIM04 +not an instrument$")
        self.assertEqual(lines[-1], "4 device(s)")

    def test_writes_one_whole_spectrum_as_csv(self):
        path = os.path.join(OUTPUT, "spectrum.csv")
        result = run(LIST_AND_SAVE, path)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(path, newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual(rows[0], ["wavelength_nm", "counts"])
        samples = [(float(w), int(c)) for w, c in rows[1:]]
        self.assertEqual(len(samples), 2048)  # ORVSIM01, the first instrument
        wavelengths = [w for w, _ in samples]
        self.assertEqual(wavelengths, sorted(wavelengths))
        self.assertGreater(max(c for _, c in samples), 0)
        self.assertEqual(os.listdir(OUTPUT), ["spectrum.csv"])

    def test_an_unwritable_file_fails_and_leaves_nothing(self):
        path = os.path.join(OUTPUT, "missing-folder", "spectrum.csv")
        result = run(LIST_AND_SAVE, path)
        self.assertEqual(result.returncode, 1)
        self.assertIn("cannot write", result.stderr)
        self.assertEqual(os.listdir(OUTPUT), [])

    def test_without_a_d2xx_library_lists_nothing_and_saves_nothing(self):
        missing = {"ORV_D2XX_LIBRARY": os.path.join(OUTPUT, "no-such-libftd2xx.so")}
        listing = run(LIST_AND_SAVE, environment=missing)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertEqual(listing.stdout.splitlines()[-1], "0 device(s)")
        saving = run(LIST_AND_SAVE, os.path.join(OUTPUT, "x.csv"), environment=missing)
        self.assertEqual(saving.returncode, 2)
        self.assertEqual(os.listdir(OUTPUT), [])

    def test_bad_arguments(self):
        self.assertEqual(run(LIST_AND_SAVE, "a.csv", "b.csv").returncode, 1)
        self.assertEqual(run(LIST_AND_SAVE, "--help").returncode, 1)


class TwoInstruments(unittest.TestCase):
    def test_reads_the_first_two_instruments_side_by_side(self):
        result = run(TWO_INSTRUMENTS, "3")
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 2)
        self.assertTrue(lines[0].startswith("ORVSIM01  SIM-UV2048"), lines[0])
        self.assertTrue(lines[1].startswith("ORVSIM02  SIM-UV1024"), lines[1])
        for line in lines:
            self.assertRegex(line, r"3 spectra, peak [1-9]\d* counts at pixel \d+$")

    def test_rejects_a_count_out_of_range(self):
        for bad in ("0", "1001", "x", "", "5x"):
            result = run(TWO_INSTRUMENTS, bad)
            self.assertEqual(result.returncode, 1, bad)
            self.assertIn("must be 1 to 1000", result.stderr)

    def test_fewer_than_two_instruments(self):
        missing = {"ORV_D2XX_LIBRARY": os.path.join(OUTPUT, "no-such-libftd2xx.so")}
        self.assertEqual(run(TWO_INSTRUMENTS, environment=missing).returncode, 2)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
