#!/usr/bin/env python3
"""The figures of tango_bench.py's database mode: reading a server's CPU time
and memory from /proc texts (a command name may hold spaces and parentheses),
reading liborv's own rate from orv_parallel_reads's report, and judging a
run: only events inside the window count, and each target fails alone."""

import os
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import tango_figures as figures  # noqa: E402


class ProcTexts(unittest.TestCase):
    def test_cpu_ticks_count_fields_from_the_last_parenthesis(self):
        tail = "S 1 2 3 0 -1 4194560 100 0 0 0 250 75 0 0 20 0 9 0 1234 1000000 500"
        self.assertEqual(figures.cpu_ticks(f"4242 (OrvSpectrometer) {tail}"), 325)
        self.assertEqual(figures.cpu_ticks(f"4242 (a) (b c) {tail}"), 325)
        for broken in ("", "4242 OrvSpectrometer S 1 2", "4242 (x) S 1 2 3"):
            with self.assertRaises(ValueError, msg=broken):
                figures.cpu_ticks(broken)

    def test_rss_is_the_resident_line_not_the_peak(self):
        status = "Name:\tOrvSpectrometer\nVmHWM:\t   90000 kB\nVmRSS:\t   81234 kB\nThreads:\t12\n"
        self.assertEqual(figures.rss_kib(status), 81234)
        with self.assertRaises(ValueError):
            figures.rss_kib("Name:\tzombie\nState:\tZ (zombie)\n")


class LiborvReport(unittest.TestCase):
    def test_rates_are_those_of_the_handle_runs(self):
        # Lines as orv_parallel_reads prints them (bench/parallel_reads.cpp).
        report = (
            "2048-pixel UVVIS_ORV instruments, 10 ms integration, default link, 5.0 s per run\n"
            "   N  interface      spectra  spectra/s  per instr.  vs N x 1 CPU us/spectrum"
            "   peak RSS KiB  failures\n"
            "   1  handles            329       65.8       65.80     1.000            40.1"
            "           5120         0  met 0.9\n"
            "   1  one by one         330       66.0       66.00     1.003            39.0"
            "                        0\n"
            "   8  handles           2611      522.2       65.27     0.992            41.0"
            "           6400         0  met 0.9\n"
            "   8  one by one         320       64.0        8.00     0.122            80.0"
            "                        0\n"
            "parallel reads: all targets met\n")
        self.assertEqual(figures.liborv_rates(report), {1: (65.8, 40.1), 8: (522.2, 41.0)})
        self.assertEqual(figures.liborv_rates("orv_parallel_reads: instrument 0 does not open\n"), {})


class Percentile(unittest.TestCase):
    def test_nearest_rank(self):
        values = [float(v) for v in range(100, 0, -1)]
        self.assertEqual(figures.percentile(values, 0.99), 99.0)
        self.assertEqual(figures.percentile(values, 0.5), 50.0)
        # Fewer than 100 values: the 99th percentile is the largest.
        self.assertEqual(figures.percentile([3.0, 1.0, 2.0], 0.99), 3.0)
        self.assertEqual(figures.percentile([7.0], 0.99), 7.0)
        with self.assertRaises(ValueError):
            figures.percentile([], 0.5)


def run(rate=100.0, latency=0.001, cpu=0.2, rss=(50000, 50100), errors=0):
    """10 s of one instrument at `rate` events/s with `latency`, plus events
    outside the window that would spoil every figure if they counted."""
    stream = figures.Stream(1, window=(1000.0, 1010.0), cpu_seconds=cpu, rss_kib=list(rss),
                            errors=errors)
    count = int(rate * 10)
    for i in range(count):
        arrival = 1000.0 + i * 10.0 / count
        stream.events.append((arrival, arrival - latency))
    stream.events += [(999.9, 990.0), (1010.0, 1000.0)]
    return stream


class Verdicts(unittest.TestCase):
    def missed(self, stream, liborv=100.0):
        lines, ok = figures.report(stream, (liborv, 40.0))
        return ok, [line.split()[0] for line in lines if "MISSED" in line]

    def test_a_run_within_every_target(self):
        stream = run()
        self.assertEqual(stream.delivered_per_second(), 100.0)
        self.assertAlmostEqual(max(stream.latencies()), 0.001)
        self.assertEqual(self.missed(stream, liborv=105.0), (True, []))

    def test_each_target_is_missed_on_its_own(self):
        cases = {
            "delivered": (run(rate=94.0), 100.0),
            "latency": (run(latency=0.003), 100.0),
            "server": (run(cpu=0.31), 100.0),
        }
        for name, (stream, liborv) in cases.items():
            self.assertEqual(self.missed(stream, liborv), (False, [name]), name)
        rss = run(rss=(50000, 50000 + figures.RSS_FLAT_KIB))
        self.assertEqual(self.missed(rss), (False, ["server"]))
        self.assertIn("RSS", [line for line in figures.report(rss, (100.0, 40.0))[0] if "MISSED" in line][0])

    def test_more_than_one_slow_event_in_a_hundred_misses_the_p99(self):
        # 1000 events: 11 slow ones put the 990th in order among them; 10 do not.
        stream = run()
        for i in range(11):
            stream.events[i] = (stream.events[i][0], stream.events[i][0] - 0.050)
        self.assertEqual(self.missed(stream), (False, ["latency"]))
        stream.events[0] = (stream.events[0][0], stream.events[0][0] - 0.001)
        self.assertEqual(self.missed(stream), (True, []))

    def test_error_events_or_none_at_all_fail_the_run(self):
        self.assertFalse(figures.report(run(errors=1), (100.0, 40.0))[1])
        empty = figures.Stream(8, window=(0.0, 10.0), rss_kib=[1, 1])
        lines, ok = figures.report(empty, (500.0, 40.0))
        self.assertFalse(ok)
        self.assertIn("no event", lines[0])


if __name__ == "__main__":
    unittest.main()
