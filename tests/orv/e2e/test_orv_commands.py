"""orv's subcommands run as a user runs them, against simulated instruments:
outputs parsed, values compared with what liborv returns, failures and exit
statuses. The Windows build runs the same under wine, less what needs the
host to load liborv or send signals, or PNG (cairo, which Debian has for
Linux only)."""

import json
import math
import os
import pty
import re
import signal
import subprocess
import time
import unittest
from datetime import datetime

import orv_timing
from orv_e2e import (LIBRARY, WINDOWS_BUILD, command, environment, orv, reference, scratch,
                     spectra_of, start_orv, table_rows, transcript_calls)

USAGE, DEVICE, INSTRUMENT, OUTPUT, INTERRUPTED = 1, 2, 3, 4, 130
needs_liborv_on_host = unittest.skipUnless(LIBRARY, "liborv cannot be loaded by this host")
not_on_windows = unittest.skipIf(WINDOWS_BUILD, "not part of the Windows build")


class Program(unittest.TestCase):
    def test_version_help_and_usage_errors(self):
        run = orv("--version")
        self.assertEqual(run.status, 0, run)
        self.assertRegex(run.out, r"^orv \d+\.\d+\.\d+\s*$")
        run = orv("--help")
        self.assertEqual(run.status, 0, run)
        for word in ("list", "info", "get", "set", "read", "--provider", "Exit status", "130"):
            self.assertIn(word, run.out)
        for args in ([], ["frobnicate"], ["read", "--count", "0"], ["read", "--average", "300"],
                     ["read", "--bogus"]):
            run = orv(*args)
            self.assertEqual(run.status, USAGE, f"{args}: {run}")
            self.assertRegex(run.err, r"^orv: [^\n]+ \(see --help\)\n$")

    def test_every_subcommand_has_help_and_touches_no_instrument(self):
        transcript = os.path.join(scratch("help"), "transcript.txt")
        options = {"list": ["--probe", "--format FORMAT"],
                   "info": ["-d,--device DEVICE", "--format FORMAT"],
                   "get": ["PARAM", "-d,--device DEVICE", "xenon-pulse", "stored-smoothing"],
                   "set": ["PARAM", "VALUE", "-d,--device DEVICE", "dac", "0..4095"],
                   "read": ["-d,--device DEVICE", "--integration DURATION", "--average N",
                            "--range START:END", "--count N", "--interval DURATION",
                            "--format FORMAT", "-o,--output FILE"],
                   "plot": ["--input FILE", "-o,--output FILE", "--size WxH", "--count N"],
                   "serve": ["--port PORT", "--bind ADDRESS", "--integration DURATION"]}
        for command_name, expected in options.items():
            run = orv(command_name, "--help", transcript=transcript)
            self.assertEqual(run.status, 0, f"{command_name}: {run}")
            self.assertIn("Usage: ", run.out)
            self.assertIn(f" {command_name} [OPTIONS]", run.out)
            for text in expected:
                self.assertIn(text, run.out, command_name)
        self.assertNotIn("FT_Open", transcript_calls(transcript))

    @unittest.skipUnless(WINDOWS_BUILD, "the Windows build only")
    def test_windows_build_says_what_it_leaves_out(self):
        run = orv("--help")
        self.assertNotIn("plot is not part of this build", run.out)
        run = orv("plot", "--help")
        self.assertIn("PNG is not part of this build", run.out)
        run = orv("--provider", "x.dll", "list")
        self.assertEqual(run.status, USAGE, run)
        self.assertIn("Not available in the Windows build", run.err)


class ListCommand(unittest.TestCase):
    def test_text_lists_every_bridge(self):
        run = orv("list")
        self.assertEqual(run.status, 0, run)
        lines = run.out.splitlines()
        self.assertEqual(lines[0].split(), ["INDEX", "CHIP", "SERIAL", "USB", "ID", "DESCRIPTION"])
        self.assertEqual([line.split()[:3] for line in lines[1:]],
                         [["0", "ORVSIM01", "0403:6001"], ["1", "ORVSIM02", "0403:6001"],
                          ["2", "ORVSIM03", "0403:6001"], ["3", "ORVSIM04", "0403:6015"]])
        self.assertIn("SIMULATED NIR Spectrometer", lines[3])

    def test_probe_names_protocol_model_and_serial_of_each_instrument(self):
        run = orv("list", "--probe", "--format", "json")
        self.assertEqual(run.status, 0, run)
        listed = json.loads(run.out)
        self.assertEqual([entry["chip_serial"] for entry in listed],
                         ["ORVSIM01", "ORVSIM02", "ORVSIM03", "ORVSIM04"])
        self.assertEqual([entry["instrument"] and entry["instrument"]["protocol"]
                          for entry in listed], ["UVVIS_ORV", "UVVIS_ORV", "NIR_LEGACY", None])
        self.assertTrue(listed[0]["instrument"]["model"].startswith("SIM-UV"))
        self.assertEqual(listed[3]["usb_id"], "0403:6015")

    def test_no_bridges_and_a_missing_provider(self):
        run = orv("list", scenario_name="empty")
        self.assertEqual((run.status, run.out), (0, "no devices listed\n"), run)
        if not WINDOWS_BUILD:
            run = orv("--provider", "/nonexistent/libftd2xx.so", "list")
            self.assertEqual(run.status, DEVICE, run)
            self.assertRegex(run.err, r"^orv: no D2XX provider: cannot load /nonexistent/libftd2xx.so ")


class InfoCommand(unittest.TestCase):
    def test_several_instruments_and_no_choice_lists_them(self):
        run = orv("info")
        self.assertEqual(run.status, DEVICE, run)
        self.assertEqual(run.err.count("\n"), 1, run)
        self.assertIn("3 instruments attached", run.err)
        self.assertIn("0 ORVSIM01, 1 ORVSIM02, 2 ORVSIM03", run.err)
        for device in ("7", "NOPE"):
            run = orv("info", "-d", device)
            self.assertEqual(run.status, DEVICE, run)
            self.assertIn(f"-d {device}: no device", run.err)

    def test_uv_instrument_in_full(self):
        run = orv("info", "-d", "ORVSIM01", "--format", "json")
        self.assertEqual(run.status, 0, run)
        info = json.loads(run.out)
        self.assertEqual(info["protocol"], "UVVIS_ORV")
        self.assertTrue(info["simulated"])
        self.assertTrue(info["model"].startswith("SIM-"))
        self.assertEqual(info["wavelength_count"], 2048)
        self.assertEqual(len(info["wavelength_range"]), 2)
        self.assertEqual(len(info["calibration"]), 4)
        self.assertIsInstance(info["detector_serial"], str)
        self.assertIsInstance(info["slit_width"], int)
        self.assertIsInstance(info["integration"], int)
        self.assertIsInstance(info["stored_integration"], int)

    def test_nir_instrument_shows_what_it_lacks_as_not_supported(self):
        run = orv("info", "-d", "2")
        self.assertEqual(run.status, 0, run)
        fields = dict(re.split(r"\s{2,}", line, maxsplit=1) for line in run.out.splitlines())
        self.assertEqual(fields["protocol"], "NIR_LEGACY")
        for missing in ("detector serial", "slit width", "xenon-mode", "dac", "stored-average"):
            self.assertEqual(fields[missing], "not supported (NIR_LEGACY)")
        self.assertRegex(fields["integration"], r"^\d+(\.\d+)? (us|ms|s)$")

    def test_the_only_instrument_is_the_default(self):
        run = orv("info", "--format", "json", scenario_name="one_instrument")
        self.assertEqual(run.status, 0, run)
        self.assertEqual(json.loads(run.out)["chip_serial"], "ORVONE01")


class GetSetCommands(unittest.TestCase):
    def test_set_reads_back_what_the_instrument_took(self):
        cases = [("integration", "20ms", "20 ms"), ("average", "3", "3"),
                 ("xenon-pulse", "100,200", "100,200"), ("trigger", "1,2,0x10", "0x01,0x02,0x10"),
                 ("dac", "0x800", "2048"), ("stored-integration", "1.5s", "1.5 s")]
        for name, value, shown in cases:
            run = orv("set", name, value, "-d", "ORVSIM01")
            self.assertEqual(run.status, 0, run)
            self.assertEqual(run.out.split(None, 1), [name, shown + "\n"], run)

    def test_get_all_as_json(self):
        run = orv("get", "all", "-d", "1", "--format", "json")
        self.assertEqual(run.status, 0, run)
        values = json.loads(run.out)
        self.assertEqual(set(values), {"integration", "average", "level", "xenon_pulse",
                                       "xenon_mode", "trigger", "dac", "stored_integration",
                                       "stored_average", "stored_smoothing"})
        self.assertEqual(len(values["trigger"]), 3)

    def test_bad_values_never_reach_the_instrument(self):
        transcript = os.path.join(scratch("get_set"), "transcript.txt")
        for args in (["set", "integration", "10"], ["set", "average", "0"],
                     ["set", "dac", "5000"], ["set", "colour", "red"], ["get", "colour"],
                     ["set", "xenon-pulse", "1"]):
            run = orv(*args, "-d", "ORVSIM01", transcript=transcript)
            self.assertEqual(run.status, USAGE, f"{args}: {run}")
            self.assertEqual(run.err.count("\n"), 1, run)
        self.assertNotIn("FT_Open", transcript_calls(transcript))

    def test_uv_only_setting_on_the_nir_instrument(self):
        run = orv("set", "xenon-mode", "1", "-d", "ORVSIM03")
        self.assertEqual(run.status, INSTRUMENT, run)
        self.assertEqual(run.err, "orv: set the xenon mode on ORVSIM03: ORV_ERR_UNSUPPORTED\n")
        run = orv("get", "dac", "-d", "ORVSIM03")
        self.assertEqual(run.status, INSTRUMENT, run)
        self.assertIn("not supported by NIR_LEGACY", run.err)


class ReadCommand(unittest.TestCase):
    @needs_liborv_on_host
    def test_csv_values_are_the_spectra_liborv_returns(self):
        run = orv("read", "-d", "ORVSIM01", "--integration", "10ms", "--average", "2",
                  "--count", "2")
        self.assertEqual(run.status, 0, run)
        comments, rows = table_rows(run.out)
        self.assertTrue(any("SIMULATED" in line and "ORVSIM01" in line for line in comments))
        self.assertIn("# settings ORVSIM01: integration 10 ms, average 2", comments)
        expected = reference("fast", 0, 10000, 2, 2)
        spectra = spectra_of(rows)
        self.assertEqual(list(spectra), [("ORVSIM01", 1), ("ORVSIM01", 2)])
        for number in (1, 2):
            wavelengths, counts = spectra[("ORVSIM01", number)]
            self.assertEqual(wavelengths, expected["wavelengths"])
            self.assertEqual(counts, expected["spectra"][number - 1])
        for row in rows:
            datetime.strptime(row["time_utc"], "%Y-%m-%dT%H:%M:%S.%fZ")

    @needs_liborv_on_host
    def test_every_instrument_at_once_as_json(self):
        run = orv("read", "-d", "all", "--integration", "5ms", "--count", "2", "--format", "json")
        self.assertEqual(run.status, 0, run)
        document = json.loads(run.out)
        self.assertEqual([entry["chip_serial"] for entry in document["instruments"]],
                         ["ORVSIM01", "ORVSIM02", "ORVSIM03"])
        self.assertTrue(all(entry["simulated"] for entry in document["instruments"]))
        for index, chip in enumerate(["ORVSIM01", "ORVSIM02", "ORVSIM03"]):
            mine = [s for s in document["spectra"] if s["instrument"] == chip]
            self.assertEqual([s["spectrum"] for s in mine], [1, 2])
            expected = reference("fast", index, 5000, 1, 2)
            self.assertEqual([s["counts"] for s in mine], expected["spectra"])
            self.assertEqual(mine[0]["wavelength_nm"], expected["wavelengths"])

    @needs_liborv_on_host
    def test_range_as_tsv(self):
        run = orv("read", "-d", "ORVSIM02", "--range", "400:700", "--integration", "10ms",
                  "--average", "1", "--format", "tsv")
        self.assertEqual(run.status, 0, run)
        _, rows = table_rows(run.out, delimiter="\t")
        wavelengths, counts = spectra_of(rows)[("ORVSIM02", 1)]
        self.assertTrue(all(400 <= w <= 700 for w in wavelengths))
        expected = reference("fast", 1, 10000, 1, 1, (400, 700))
        self.assertEqual((wavelengths, counts), (expected["wavelengths"], expected["spectra"][0]))

    def test_file_output_is_complete_and_alone(self):
        folder = scratch("read_file")
        target = os.path.join(folder, "spectra.json")
        run = orv("read", "-d", "ORVSIM03", "--count", "2", "--format", "json", "-o", target)
        self.assertEqual((run.status, run.out), (0, ""), run)
        self.assertEqual(os.listdir(folder), ["spectra.json"])
        with open(target, encoding="utf-8") as document:
            self.assertEqual(len(json.load(document)["spectra"]), 2)

    def test_instrument_failure_midway_leaves_no_file(self):
        folder = scratch("read_failure")
        target = os.path.join(folder, "spectra.csv")
        run = orv("read", "--count", "5", "-o", target, scenario_name="spectrum_timeout")
        self.assertEqual(run.status, INSTRUMENT, run)
        self.assertEqual(run.err, "orv: read spectrum from ORVFAIL1: ORV_ERR_TIMEOUT\n")
        self.assertEqual(os.listdir(folder), [])

    @not_on_windows
    def test_output_that_fails_midway_ends_every_instrument(self):
        started = time.monotonic()
        with open("/dev/full", "wb") as full:
            completed = subprocess.run(command("read", "-d", "all", "--count", "100000"),
                                       stdout=full, stderr=subprocess.PIPE, timeout=120,
                                       env=environment("fast"))
        self.assertEqual(completed.returncode, OUTPUT)
        self.assertEqual(completed.stderr.decode(), "orv: write standard output: write failed\n")
        self.assertLess(time.monotonic() - started, 30)  # not after the whole series

    def test_bad_input_never_reaches_the_instrument(self):
        folder = scratch("read_bad_input")
        transcript = os.path.join(folder, "transcript.txt")
        cases = [(["-o", os.path.join(folder, "missing", "x.csv")], OUTPUT, "write "),
                 (["-o", folder], OUTPUT, "it is a folder"),
                 (["--integration", "fast"], USAGE, "--integration: 'fast'"),
                 (["--range", "700:400"], USAGE, "--range: '700:400'"),
                 (["--interval", "1h"], USAGE, "--interval: '1h'"),
                 (["--format", "xml"], USAGE, "--format: 'xml'"),
                 (["-d", "ORVSIM09"], DEVICE, "-d ORVSIM09: no device")]
        for args, status, message in cases:
            device = [] if "-d" in args else ["-d", "ORVSIM01"]
            run = orv("read", *device, *args, transcript=transcript)
            self.assertEqual(run.status, status, f"{args}: {run}")
            self.assertIn(message, run.err)
            self.assertEqual(run.out, "")
        self.assertNotIn("FT_Open", transcript_calls(transcript))
        self.assertEqual([name for name in os.listdir(folder) if name != "transcript.txt"], [])

    def test_range_outside_the_instrument_sends_no_setting(self):
        transcript = os.path.join(scratch("read_range"), "transcript.txt")
        run = orv("read", "-d", "ORVSIM01", "--integration", "20ms", "--range", "100:150",
                  transcript=transcript)
        self.assertEqual(run.status, USAGE, run)
        self.assertRegex(run.err, r"^orv: --range 100:150: ORVSIM01 covers \S+ to \S+ nm only\n$")
        with open(transcript, encoding="utf-8") as lines:
            self.assertNotIn("00004E20", lines.read())  # 20000 us never written

    def test_interval_spaces_the_spectra(self):
        run = orv("read", "-d", "ORVSIM02", "--count", "3", "--interval", "400ms")
        self.assertEqual(run.status, 0, run)
        _, rows = table_rows(run.out)
        times = sorted({datetime.strptime(row["time_utc"], "%Y-%m-%dT%H:%M:%S.%fZ")
                        for row in rows})
        self.assertEqual(len(times), 3)
        for earlier, later in zip(times, times[1:]):
            self.assertGreater((later - earlier).total_seconds(), 0.3)

    @not_on_windows
    def test_progress_bar_for_a_long_series_on_a_terminal(self):
        folder = scratch("read_progress")

        def standard_error_on_a_terminal(count):
            terminal, side = pty.openpty()
            with subprocess.Popen(command("read", "-d", "ORVSIM01", "--integration", "10ms",
                                          "--count", count, "-o",
                                          os.path.join(folder, count + ".csv")),
                                  stdout=subprocess.PIPE, stderr=side,
                                  env=environment("fast")) as process:
                os.close(side)
                text = b""
                while True:
                    try:
                        chunk = os.read(terminal, 4096)
                    except OSError:  # the program ended and closed the terminal
                        break
                    if not chunk:
                        break
                    text += chunk
                self.assertEqual(process.wait(timeout=120), 0, text)
            os.close(terminal)
            return text.decode()

        # 400 x 10 ms is expected to take 4 s (the scenario runs it faster).
        drawn = [line.replace("\x1b[K", "").strip()
                 for line in standard_error_on_a_terminal("400").split("\r")]
        drawn = [line for line in drawn if line]
        self.assertGreaterEqual(len(drawn), 2)
        self.assertEqual(drawn[0], "[" + " " * 30 + "] 0/400")
        self.assertEqual(drawn[-1], "[" + "#" * 30 + "] 400/400")
        for line in drawn:
            self.assertRegex(line, r"^\[#* *\] \d+/400(, \d+ s left)?$")
        self.assertEqual(standard_error_on_a_terminal("100"), "")  # about 1 s: no bar

    @not_on_windows
    def test_ctrl_c_keeps_every_complete_spectrum_in_a_well_formed_file(self):
        for format_name in ("csv", "json"):
            folder = scratch("read_interrupt_" + format_name)
            target = os.path.join(folder, "spectra." + format_name)
            process = start_orv("read", "-d", "ORVSIM02", "--count", "1000", "--interval", "100ms",
                                "--format", format_name, "-o", target)
            time.sleep(2.0)
            process.send_signal(signal.SIGINT)
            _, err = process.communicate(timeout=60)
            self.assertEqual(process.returncode, INTERRUPTED, err)
            self.assertRegex(err.decode(), r"orv: interrupted: \d+ of 1000 spectra written to ")
            self.assertEqual(os.listdir(folder), [os.path.basename(target)])
            with open(target, encoding="utf-8") as document:
                if format_name == "json":
                    spectra = json.load(document)["spectra"]
                    self.assertGreater(len(spectra), 2)
                    self.assertTrue(all(len(s["counts"]) == 1024 for s in spectra))
                else:
                    _, rows = table_rows(document.read())
                    spectra = spectra_of(rows)
                    self.assertGreater(len(spectra), 2)
                    self.assertTrue(all(len(c) == 1024 for _, c in spectra.values()))


@not_on_windows
class MeasurementModes(unittest.TestCase):
    """orv read --mode with a dark and a reference written by orv read. The
    simulator repeats its sequence of spectra in every fresh process, so the
    sample of a processed run equals the first spectrum of a plain one."""

    @staticmethod
    def _write(path, text):
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)

    def _stored_files(self, folder):
        """sample.csv (one spectrum), reference.csv (three, averaged when
        used) and dark.csv: the sample's file with counts of 800, except a
        pixel at the reference's level (R - D <= 0), one above the sample
        (S - D <= 0) and one saturated."""
        sample, reference = (os.path.join(folder, n) for n in ("sample.csv", "reference.csv"))
        self.assertEqual(orv("read", "-d", "ORVSIM01", "-o", sample).status, 0)
        self.assertEqual(orv("read", "-d", "ORVSIM01", "--count", "3", "-o", reference).status, 0)
        with open(sample, encoding="utf-8") as text:
            lines = text.read().splitlines()
        header = [line for line in lines if line.startswith("#") or line.startswith("instrument")]
        rows = [line.split(",") for line in lines if line not in header]
        with open(reference, encoding="utf-8") as text:
            _, reference_rows = table_rows(text.read())
        spectra = spectra_of(reference_rows)
        mean_reference = [sum(c) / 3 for c in zip(*(spectra[("ORVSIM01", n)][1] for n in (1, 2, 3)))]
        sample_counts = [int(row[4]) for row in rows]
        dark = [800] * len(rows)
        dark[10] = 65535
        dark[20] = int(mean_reference[20]) + 1
        # A pixel where only S - D fails: the reference stays above that dark.
        low = next(i for i in range(30, len(rows)) if sample_counts[i] + 5 < mean_reference[i])
        dark[low] = sample_counts[low] + 5
        self._write(os.path.join(folder, "dark.csv"), "\n".join(
            header + [",".join(row[:4] + [str(d)]) for row, d in zip(rows, dark)]) + "\n")
        return sample_counts, dark, mean_reference

    def test_each_mode_equals_the_values_computed_from_the_files(self):
        folder = scratch("measure_modes")
        sample, dark, reference = self._stored_files(folder)
        paths = ["--dark", os.path.join(folder, "dark.csv"),
                 "--reference", os.path.join(folder, "reference.csv")]

        def expected(mode, s, d, r):
            if d >= 65535:
                return None
            if mode == "dark-corrected":
                return s - d
            if r - d <= 0 or s - d <= 0:
                return None
            ratio = (s - d) / (r - d)
            return -math.log10(ratio) if mode == "absorbance" else 100 * ratio

        for mode, column in (("absorbance", "absorbance_au"),
                             ("transmittance", "transmittance_percent"),
                             ("dark-corrected", "dark_corrected_counts")):
            args = paths if mode != "dark-corrected" else paths[:2]
            run = orv("read", "-d", "ORVSIM01", "--mode", mode, *args, "--format", "json")
            self.assertEqual(run.status, 0, run)
            document = json.loads(run.out)
            self.assertEqual(document["measurement"]["mode"], mode)
            values = document["spectra"][0][column]
            wanted = [expected(mode, s, d, r) for s, d, r in zip(sample, dark, reference)]
            self.assertEqual([i for i, v in enumerate(values) if v is None],
                             [i for i, v in enumerate(wanted) if v is None], mode)
            for got, want in zip(values, wanted):
                if want is not None:
                    self.assertAlmostEqual(got, want, places=9)
            undefined = document["spectra"][0]["undefined"]
            if mode == "absorbance":
                self.assertEqual(undefined, {"saturated": 1, "reference_not_above_dark": 1,
                                             "sample_not_above_dark": 1})
                self.assertIn("3 values undefined (NaN) in 1 of 1 spectra", run.err)

        # CSV carries the mode and units in its header; a boxcar smooths S, D
        # and R before the ratio, its window shrinking at the ends.
        run = orv("read", "-d", "ORVSIM01", "--mode", "transmittance", *paths, "--boxcar", "3")
        self.assertEqual(run.status, 0, run)
        comments, rows = table_rows(run.out)
        self.assertIn("# mode: transmittance (%)", comments)

        def smooth(values, i):
            h = min(1, i, len(values) - 1 - i)
            window = values[i - h:i + h + 1]
            return sum(window) / len(window)

        for i in (0, 1, 100, len(sample) - 1):
            s, d, r = smooth(sample, i), smooth(dark, i), smooth(reference, i)
            self.assertAlmostEqual(float(rows[i]["transmittance_percent"]),
                                   100 * (s - d) / (r - d), places=9)
        self.assertEqual(rows[11]["transmittance_percent"], "nan")  # next to the saturated pixel

    def test_mismatched_or_missing_stored_spectra_are_refused_before_anything_is_written(self):
        folder = scratch("measure_refusals")
        other_integration, other_instrument, processed = (
            os.path.join(folder, n) for n in ("slow.csv", "orvsim02.json", "absorbance.csv"))
        self.assertEqual(orv("read", "-d", "ORVSIM01", "--integration", "20ms",
                             "-o", other_integration).status, 0)
        self.assertEqual(orv("read", "-d", "ORVSIM02", "--format", "json",
                             "-o", other_instrument).status, 0)
        self.assertEqual(orv("read", "-d", "ORVSIM01", "--integration", "20ms", "--mode",
                             "dark-corrected", "--dark", other_integration, "-o", processed).status, 0)
        target = os.path.join(folder, "out.csv")
        cases = [(["--dark", other_integration, "--reference", other_integration], USAGE,
                  "the dark was taken with integration 20000 us, the sample with integration "
                  "10000 us"),
                 (["--integration", "20ms", "--dark", other_integration,
                   "--reference", other_instrument], USAGE,
                  "the reference was taken on SIM-UV1024 serial SIMUV1024-01 (ORVSIM02, "
                  "SIMULATED), the sample on SIM-UV2048"),
                 (["--dark", other_integration], USAGE, "--mode absorbance needs --reference"),
                 (["--dark", processed, "--reference", other_integration], USAGE,
                  "holds dark-corrected values, not counts"),
                 (["--dark", os.path.join(folder, "none.csv"), "--reference", processed], USAGE,
                  "cannot be read"),
                 (["--dark", other_integration, "--reference", other_integration,
                   "--boxcar", "4"], USAGE, "not an odd number")]
        for args, status, message in cases:
            run = orv("read", "-d", "ORVSIM01", "--mode", "absorbance", *args, "-o", target)
            self.assertEqual(run.status, status, f"{args}: {run}")
            self.assertIn(message, run.err)
        for args, message in ((["--mode", "optical-density"], "is not a mode"),
                              (["--dark", other_integration], "--dark requires --mode"),
                              (["--mode", "counts", "--dark", other_integration], "uses no --dark")):
            run = orv("read", "-d", "ORVSIM01", *args, "-o", target)
            self.assertEqual(run.status, USAGE, f"{args}: {run}")
            self.assertIn(message, run.err)
        self.assertNotIn("out.csv", os.listdir(folder))

    def test_plot_of_a_processed_file_and_of_a_processed_acquisition(self):
        folder = scratch("measure_plot")
        dark = os.path.join(folder, "dark.json")
        self.assertEqual(orv("read", "-d", "ORVSIM01", "--format", "json", "-o", dark).status, 0)
        processed = os.path.join(folder, "corrected.json")
        self.assertEqual(orv("read", "-d", "ORVSIM01", "--mode", "dark-corrected", "--dark", dark,
                             "--format", "json", "-o", processed).status, 0)
        for args in (["--input", processed],
                     ["-d", "ORVSIM01", "--mode", "dark-corrected", "--dark", dark]):
            target = os.path.join(folder, "plot.svg")
            run = orv("plot", *args, "-o", target)
            self.assertEqual(run.status, 0, f"{args}: {run}")
            with open(target, encoding="utf-8") as image:
                self.assertIn("</svg>", image.read())


    def test_the_simulated_light_path_gives_back_the_scenario_absorbance(self):
        """Dark with the lamp off, reference through the blank holder, then the
        sample: orv read --mode absorbance finds the scenario's absorbance
        spectrum within the noise. Each run has its own noise seed, so the
        noise of the three does not cancel."""
        folder = scratch("measure_light_path")
        baseline, band_nm, band_au, band_width = 0.3, 550.0, 0.8, 40.0

        def scenario_file(name, lamp, holder, seed):
            instrument = {"model": "SIM-UV1024", "wavelengths": {"polynomial": [200, 1]},
                          "order": "ascending", "noise_seed": seed,
                          "sample": {"baseline": baseline, "bands": [
                              {"nm": band_nm, "absorbance": band_au, "width_nm": band_width}]},
                          "light_path": {"lamp": lamp, "holder": holder}}
            path = os.path.join(folder, name + ".json")
            self._write(path, json.dumps({"time_scale": 0.05, "bridges": [
                {"serial": "ORVLIGHT", "description": "SIMULATED UV-VIS Spectrometer",
                 "instrument": instrument}]}))
            return {"ORVSIM_SCENARIO": path}

        dark, reference = os.path.join(folder, "dark.csv"), os.path.join(folder, "reference.csv")
        for path, lamp, holder, seed in ((dark, "off", "blank", 11), (reference, "on", "blank", 12)):
            run = orv("read", "-d", "ORVLIGHT", "--count", "3", "-o", path,
                      extra_env=scenario_file(os.path.basename(path)[:-4], lamp, holder, seed))
            self.assertEqual(run.status, 0, run)
        run = orv("read", "-d", "ORVLIGHT", "--mode", "absorbance", "--dark", dark,
                  "--reference", reference, "--format", "json",
                  extra_env=scenario_file("sample", "on", "sample", 13))
        self.assertEqual(run.status, 0, run)
        spectrum = json.loads(run.out)["spectra"][0]
        with open(reference, encoding="utf-8") as text:
            _, rows = table_rows(text.read())
        lamp = [sum(c) / 3 - 800 for c in zip(*(spectra_of(rows)[("ORVLIGHT", n)][1]
                                                  for n in (1, 2, 3)))]

        # One scan's noise is 40 counts; dark and reference average three.
        noise, averaged = 40.0, 40.0 / math.sqrt(3)
        deviations = []
        for nm, value, light in zip(spectrum["wavelength_nm"], spectrum["absorbance_au"], lamp):
            if light < 5000:
                continue  # the lamp's weak ends, where the noise dominates
            wanted = baseline + band_au * math.exp(-0.5 * ((nm - band_nm) / band_width) ** 2)
            through = light * 10 ** -wanted
            sigma = math.hypot(math.hypot(noise, averaged) / through,
                               math.hypot(averaged, averaged) / light) / math.log(10)
            self.assertIsNotNone(value, nm)
            self.assertLess(abs(value - wanted), 5 * sigma + 0.002, f"at {nm} nm")
            deviations.append(value - wanted)
        self.assertGreater(len(deviations), 300)
        self.assertLess(abs(sum(deviations) / len(deviations)), 0.005)  # no bias

class PlotCommand(unittest.TestCase):
    @not_on_windows
    def test_png_of_an_acquisition(self):
        folder = scratch("plot_png")
        target = os.path.join(folder, "spectra.png")
        run = orv("plot", "-d", "all", "-o", target, "--size", "900x500")
        self.assertEqual(run.status, 0, run)
        with open(target, "rb") as image:
            header = image.read(24)
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual((int.from_bytes(header[16:20], "big"), int.from_bytes(header[20:24], "big")),
                         (900, 500))

    def test_svg_of_a_csv_from_read(self):
        folder = scratch("plot_svg")
        table = os.path.join(folder, "spectra.csv")
        self.assertEqual(orv("read", "-d", "ORVSIM01", "--count", "2", "-o", table).status, 0)
        target = os.path.join(folder, "spectra.svg")
        run = orv("plot", "--input", table, "-o", target, scenario_name="empty")
        self.assertEqual(run.status, 0, run)
        with open(target, encoding="utf-8") as image:
            svg = image.read()
        self.assertTrue(svg.lstrip().startswith("<?xml"))
        self.assertIn("</svg>", svg)
        self.assertGreaterEqual(svg.count("<path"), 2)

    def test_bad_requests(self):
        folder = scratch("plot_bad")
        cases = [(["-o", os.path.join(folder, "x.gif")], USAGE, ".png or .svg"),
                 (["-o", os.path.join(folder, "x.svg"), "--size", "10x10"], USAGE, "--size"),
                 (["-o", os.path.join(folder, "x.svg"), "--input", os.path.join(folder, "none")],
                  USAGE, "cannot be read"),
                 (["-o", os.path.join(folder, "no", "x.svg"), "-d", "0"], OUTPUT, "write "),
                 (["-o", os.path.join(folder, "x.svg"), "--input", os.path.join(folder, "a.csv"),
                   "--count", "3"], USAGE, "--count excludes --input")]
        if WINDOWS_BUILD:
            cases += [(["-o", os.path.join(folder, "x.png"), "-d", "0"], USAGE, "SVG only"),
                      (["-o", os.path.join(folder, "x"), "--format", "png"], USAGE, "SVG only")]
        for args, status, message in cases:
            run = orv("plot", *args)
            self.assertEqual(run.status, status, f"{args}: {run}")
            self.assertIn(message, run.err)
        self.assertEqual(os.listdir(folder), [])



@not_on_windows
class Timing(unittest.TestCase):
    """The default scenario in real time (orv_timing.py prints the figures
    themselves). Load from other processes only makes a run slower, so each
    check takes the best of up to three runs and leaves room for a busy
    machine; it still catches work of 1.5 ms or more added to every read (a
    wavelength-table read, a wait) and instruments run one after the other."""

    ATTEMPTS = 3

    def test_a_series_takes_the_modelled_time_per_read(self):
        ratios = []
        for _ in range(self.ATTEMPTS):
            _, by_stamps = orv_timing.per_read_ms(30, "ORVSIM01", repeats=1)
            ratios.append(by_stamps / orv_timing.SINGLE_MODEL_MS)
            if ratios[-1] < 1.10:
                break
        self.assertLess(min(ratios), 1.10, ratios)
        self.assertGreater(min(ratios), 0.99, ratios)

    def test_every_instrument_at_once_takes_the_time_of_the_slowest(self):
        together, alone = orv_timing.every_instrument_s(30)
        for _ in range(self.ATTEMPTS - 1):
            if together < 1.25 * max(alone.values()):
                break
            together = min(together, orv_timing.timed_read(
                "-d", "all", "--count", "30", *orv_timing.SETTINGS)[0])
        self.assertLess(together, 1.25 * max(alone.values()), alone)
        self.assertLess(together, 0.9 * sum(alone.values()), alone)


if __name__ == "__main__":
    unittest.main()
