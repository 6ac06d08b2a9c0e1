"""orv serve's interface as the page uses it: instruments, a stream of
spectra, settings changes read back, pause, CSV download, bad requests; dark
and reference stored on the page and the measurement modes' values."""

import json
import math
import os
import time
import unittest

from orv_e2e import scratch, table_rows, spectra_of
from serve_session import ServeSession


class ServeApi(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.transcript = os.path.join(scratch("serve_api"), "transcript.txt")
        cls.session = ServeSession("-d", "all", "--integration", "5ms",
                                   transcript=cls.transcript)

    @classmethod
    def tearDownClass(cls):
        status = cls.session.stop()
        assert status == 0, f"orv serve ended with {status}"

    def test_instruments_with_identity_and_settings(self):
        status, instruments = self.session.json("/api/instruments")
        self.assertEqual(status, 200)
        self.assertEqual([entry["chip_serial"] for entry in instruments],
                         ["ORVSIM01", "ORVSIM02", "ORVSIM03"])
        self.assertTrue(all(entry["simulated"] for entry in instruments))
        self.assertEqual(instruments[2]["protocol"], "NIR_LEGACY")

    def test_spectra_keep_coming_and_wait_for_the_next(self):
        status, first = self.session.json("/api/spectrum", {"instrument": "ORVSIM02"})
        self.assertEqual(status, 200)
        self.assertEqual(len(first["counts"]), len(first["wavelength_nm"]))
        started = time.monotonic()
        sequence = first["sequence"]
        for _ in range(5):
            status, newer = self.session.json("/api/spectrum",
                                              {"instrument": "ORVSIM02", "after": sequence})
            self.assertEqual(status, 200)
            self.assertGreater(newer["sequence"], sequence)
            sequence = newer["sequence"]
        self.assertLess(time.monotonic() - started, 5)

    def test_settings_change_is_read_back_from_the_instrument(self):
        status, body, _ = self.session.post("/api/settings", {"instrument": "ORVSIM01",
                                                              "integration": "7ms",
                                                              "average": "2"})
        self.assertEqual(status, 200, body)
        settings = json.loads(body)["settings"]
        self.assertEqual((settings["integration_us"], settings["average"]), (7000, 2))
        with open(self.transcript, encoding="utf-8") as transcript:
            writes = [line for line in transcript if " FT_Write " in line and " dev=0 " in line]
        self.assertTrue(any("00001B58" in line for line in writes))  # 7000 us on the wire
        # Spectra taken from now on say so.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            _, spectrum = self.session.json("/api/spectrum", {"instrument": "ORVSIM01"})
            if spectrum and spectrum["settings"]["integration_us"] == 7000:
                break
        self.assertEqual((spectrum["settings"]["integration_us"], spectrum["settings"]["average"]),
                         (7000, 2))

    def test_bad_settings_are_refused_before_the_instrument(self):
        for params in ({"instrument": "ORVSIM01", "integration": "7"},
                       {"instrument": "ORVSIM01", "average": "0"}):
            status, body, _ = self.session.post("/api/settings", params)
            self.assertEqual(status, 400, body)
            self.assertIn("error", json.loads(body))
        status, _, _ = self.session.post("/api/settings", {"instrument": "NOPE", "average": "1"})
        self.assertEqual(status, 404)

    def test_pause_stops_the_stream_and_resume_restarts_it(self):
        self.session.post("/api/pause", {"instrument": "ORVSIM03", "paused": True})
        time.sleep(1.5)  # a read in progress ends
        _, latest = self.session.json("/api/spectrum", {"instrument": "ORVSIM03"})
        status, _ = self.session.json("/api/spectrum", {"instrument": "ORVSIM03",
                                                        "after": latest["sequence"]})
        self.assertEqual(status, 204)
        self.session.post("/api/pause", {"instrument": "ORVSIM03", "paused": False})
        status, newer = self.session.json("/api/spectrum", {"instrument": "ORVSIM03",
                                                            "after": latest["sequence"]})
        if status == 204:  # the NIR instrument's read may take longer than one poll
            status, newer = self.session.json("/api/spectrum", {"instrument": "ORVSIM03",
                                                                "after": latest["sequence"]})
        self.assertEqual(status, 200)

    def test_csv_download_is_the_current_spectrum(self):
        status, body, content_type = self.session.get("/api/spectrum.csv",
                                                      {"instrument": "ORVSIM02"})
        self.assertEqual(status, 200)
        self.assertTrue(content_type.startswith("text/csv"))
        comments, rows = table_rows(body.decode())
        self.assertTrue(any("SIMULATED" in line for line in comments))
        spectra = spectra_of(rows)
        self.assertEqual(len(spectra), 1)
        (chip, _), (wavelengths, counts) = next(iter(spectra.items()))
        self.assertEqual((chip, len(wavelengths)), ("ORVSIM02", 1024))

    def test_the_page_and_its_chart_library_come_from_the_program(self):
        status, page, content_type = self.session.get("/")
        self.assertEqual(status, 200)
        self.assertTrue(content_type.startswith("text/html"))
        self.assertNotIn(b"http://", page.replace(b"http://www.w3.org", b""))
        self.assertNotIn(b"https://", page)
        status, chart, _ = self.session.get("/chart.min.js")
        self.assertEqual(status, 200)
        self.assertIn(b"Chart.js", chart[:200])


MODES = ("counts", "dark-corrected", "transmittance", "reflectance", "absorbance")
FULL_SCALE = 65535


def expected_values(mode, sample, dark, reference):
    """The mode's values and undefined pixels by cause, computed here from counts."""
    values, causes = [], {"saturated": 0, "reference_not_above": 0, "sample_not_above": 0}
    for i, s in enumerate(sample):
        d = dark[i] if mode != "counts" else 0
        r = reference[i] if mode in MODES[2:] else d + 1
        if max(s, d, r) >= FULL_SCALE:
            cause = "saturated"
        elif mode in MODES[2:] and r - d <= 0:
            cause = "reference_not_above"
        elif mode in MODES[2:] and s - d <= 0:
            cause = "sample_not_above"
        else:
            if mode in MODES[:2]:
                values.append(s - d)
            elif mode == "absorbance":
                values.append(-math.log10((s - d) / (r - d)))
            else:
                values.append(100 * (s - d) / (r - d))
            continue
        causes[cause] += 1
        values.append(None)
    return values, causes


class ServeMeasurement(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = ServeSession("-d", "ORVSIM01", "--integration", "5ms")
        cls.unstored = {mode: cls.spectrum(mode) for mode in MODES}

    @classmethod
    def tearDownClass(cls):
        status = cls.session.stop()
        assert status == 0, f"orv serve ended with {status}"

    @classmethod
    def spectrum(cls, mode, after=0):
        status, spectrum = cls.session.json("/api/spectrum", {"instrument": "ORVSIM01",
                                                              "mode": mode, "after": after})
        assert status == 200, status
        return spectrum

    def store(self, what):
        status, body, _ = self.session.post("/api/store", {"instrument": "ORVSIM01", "what": what})
        self.assertEqual(status, 200, body)
        stored = json.loads(body)[what]
        self.assertTrue(stored["counts"])
        return stored

    def set_integration(self, integration, integration_us):
        status, body, _ = self.session.post("/api/settings", {"instrument": "ORVSIM01",
                                                              "integration": integration})
        self.assertEqual(status, 200, body)
        deadline = time.monotonic() + 10
        spectrum = self.spectrum("counts")
        while time.monotonic() < deadline:
            if spectrum["settings"]["integration_us"] == integration_us:
                return spectrum
            spectrum = self.spectrum("counts", after=spectrum["sequence"])
        self.fail(f"no spectrum at {integration_us} us")

    def test_a_mode_without_its_dark_or_reference_says_so_instead_of_values(self):
        for mode, missing in (("dark-corrected", "dark"), ("transmittance", "dark"),
                              ("absorbance", "dark")):
            spectrum = self.unstored[mode]
            self.assertIn(f"needs a {missing}", spectrum["mode"]["refusal"])
            self.assertNotIn("values", spectrum)
            self.assertTrue(spectrum["counts"])  # the counts still come
        counts = self.unstored["counts"]
        self.assertEqual(counts["values"], [float(c) for c in counts["counts"]])
        self.assertEqual((counts["mode"]["label"], counts["mode"]["unit"]), ("Counts", "counts"))

    def test_each_mode_equals_the_arithmetic_on_the_stored_spectra(self):
        dark = self.store("dark")
        self.spectrum("counts", after=dark["sequence"])  # the reference is another spectrum
        reference = self.store("reference")
        self.assertGreater(reference["sequence"], dark["sequence"])
        _, instruments = self.session.json("/api/instruments")
        self.assertEqual((instruments[0]["dark"]["sequence"],
                          instruments[0]["reference"]["sequence"]),
                         (dark["sequence"], reference["sequence"]))
        units = {}
        for mode in MODES:
            spectrum = self.spectrum(mode, after=reference["sequence"])
            info = spectrum["mode"]
            units[mode] = (info["unit"], info["label"], info["column"])
            self.assertNotIn("refusal", info)
            self.assertEqual(info["dark"]["sequence"], dark["sequence"])
            expected, causes = expected_values(mode, spectrum["counts"], dark["counts"],
                                               reference["counts"])
            got = spectrum["values"]
            self.assertEqual([v is None for v in got], [v is None for v in expected], mode)
            for value, want in zip(got, expected):
                if want is not None:
                    self.assertAlmostEqual(value, want, delta=1e-9 * max(1, abs(want)))
            undefined = spectrum["undefined"]
            self.assertEqual({cause: undefined[cause] for cause in causes}, causes, mode)
            self.assertEqual(undefined["total"], sum(causes.values()))
            self.assertLess(undefined["total"], len(got), mode)  # values to compare
        self.assertEqual(units["absorbance"], ("AU", "Absorbance (AU)", "absorbance_au"))
        self.assertEqual(units["transmittance"][0], "%")

    def test_stored_spectra_taken_with_other_settings_are_refused_by_name(self):
        self.store("dark")
        self.store("reference")
        try:
            self.set_integration("7ms", 7000)
            spectrum = self.spectrum("absorbance")
            refusal = spectrum["mode"]["refusal"]
            self.assertIn("integration", refusal)
            self.assertIn("5000", refusal)
            self.assertIn("7000", refusal)
            self.assertNotIn("values", spectrum)
            status, body, _ = self.session.get("/api/spectrum.csv", {"instrument": "ORVSIM01",
                                                                     "mode": "absorbance"})
            self.assertEqual(status, 409)
            self.assertIn("integration", json.loads(body)["error"])
            self.assertIn("values", self.spectrum("counts"))  # counts need nothing stored
        finally:
            latest = self.set_integration("5ms", 5000)
        # Back at the stored settings the values return.
        self.assertIn("values", self.spectrum("absorbance", after=latest["sequence"] - 1))

    def test_csv_download_carries_the_modes_column(self):
        self.store("dark")
        self.store("reference")
        status, body, content_type = self.session.get("/api/spectrum.csv",
                                                      {"instrument": "ORVSIM01",
                                                       "mode": "absorbance"})
        self.assertEqual(status, 200, body)
        self.assertTrue(content_type.startswith("text/csv"))
        comments, rows = table_rows(body.decode())
        self.assertTrue(any(line.startswith("# mode: absorbance") for line in comments), comments)
        self.assertEqual(len(rows), len(self.unstored["counts"]["counts"]))
        self.assertIn("absorbance_au", rows[0])
        self.assertNotIn("counts", rows[0])

    def test_bad_measurement_requests_are_refused(self):
        for path in ("/api/spectrum", "/api/spectrum.csv"):
            status, body, _ = self.session.get(path, {"instrument": "ORVSIM01", "mode": "ratio"})
            self.assertEqual(status, 400, body)
            self.assertIn("absorbance", json.loads(body)["error"])  # the modes are listed
        for fields, expected in (({"instrument": "ORVSIM01", "what": "sample"}, 400),
                                 ({"instrument": "ORVSIM01"}, 400),
                                 ({"instrument": "ORVSIM01", "what": 1.5}, 400),
                                 ({"instrument": "NOPE", "what": "dark"}, 404)):
            status, body, _ = self.session.post("/api/store", fields)
            self.assertEqual(status, expected, (fields, body))


if __name__ == "__main__":
    unittest.main()
