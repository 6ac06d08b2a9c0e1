"""orv serve's interface as the page uses it: instruments, a stream of
spectra, settings changes read back, pause, CSV download, bad requests."""

import json
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


if __name__ == "__main__":
    unittest.main()
