"""The figures of tango_bench.py's database mode, without Tango: what a
process's /proc files say about its CPU time and resident memory, the rates
orv_parallel_reads prints for liborv alone, and the statistics and verdicts
of one streaming run (spectra delivered, latency, CPU, memory)."""

from __future__ import annotations

import math
import re
import statistics
from dataclasses import dataclass, field
from typing import Dict, List, Sequence, Tuple

# Targets: delivered / liborv alone; latency (s) from a spectrum's time stamp
# to the client's callback; server CPU per instrument (fraction of a core);
# RSS growth (KiB) over a run that counts as flat (a few pages of allocator
# slack).
DELIVERY_RATIO = 0.95
LATENCY_MEDIAN_S = 0.002
LATENCY_P99_S = 0.010
CPU_PER_INSTRUMENT = 0.03
RSS_FLAT_KIB = 1024


def cpu_ticks(stat: str) -> int:
    """utime + stime of a /proc/<pid>/stat line, in clock ticks. The command
    name (field 2) is in parentheses and may itself hold spaces and
    parentheses, so the fields are counted from the last ')'."""
    end = stat.rfind(")")
    if end < 0:
        raise ValueError("not a /proc/<pid>/stat line")
    fields = stat[end + 1:].split()
    # fields[0] is field 3 (state); utime and stime are fields 14 and 15.
    if len(fields) < 13:
        raise ValueError("a /proc/<pid>/stat line with too few fields")
    return int(fields[11]) + int(fields[12])


def rss_kib(status: str) -> int:
    """VmRSS of a /proc/<pid>/status text, in KiB."""
    match = re.search(r"^VmRSS:\s+(\d+)\s+kB", status, re.MULTILINE)
    if not match:
        raise ValueError("no VmRSS in the status text (has the process ended?)")
    return int(match.group(1))


def liborv_rates(output: str) -> Dict[int, Tuple[float, float]]:
    """{instrument count: (spectra per second, CPU us per spectrum)} of the
    runs through handles (one thread per instrument) in orv_parallel_reads's
    report. Its CPU time is liborv's and the simulated provider's, which the
    server spends too."""
    rates: Dict[int, Tuple[float, float]] = {}
    for line in output.splitlines():
        words = line.split()
        if len(words) >= 7 and words[1] == "handles" and words[0].isdigit():
            rates[int(words[0])] = (float(words[3]), float(words[6]))
    return rates


def percentile(values: Sequence[float], fraction: float) -> float:
    """The nearest-rank percentile: the smallest value with at least
    `fraction` of the values at or below it."""
    if not values:
        raise ValueError("no values")
    ordered = sorted(values)
    rank = math.ceil(fraction * len(ordered) - 1e-9)
    return ordered[min(max(rank, 1), len(ordered)) - 1]


@dataclass
class Stream:
    """One run: the events a client received, and samples of the server."""
    instruments: int
    # (arrival, the spectrum's time stamp), both in seconds of the wall clock.
    events: List[Tuple[float, float]] = field(default_factory=list)
    errors: int = 0
    window: Tuple[float, float] = (0.0, 0.0)
    cpu_seconds: float = 0.0  # the server's, over the window
    rss_kib: List[int] = field(default_factory=list)  # sampled over the window
    acquired: int = 0  # spectra the devices counted over the window

    def in_window(self) -> List[Tuple[float, float]]:
        first, last = self.window
        return [e for e in self.events if first <= e[0] < last]

    def seconds(self) -> float:
        return self.window[1] - self.window[0]

    def delivered_per_second(self) -> float:
        return len(self.in_window()) / self.seconds()

    def latencies(self) -> List[float]:
        return [arrival - stamp for arrival, stamp in self.in_window()]

    def cpu_per_instrument(self) -> float:
        return self.cpu_seconds / self.seconds() / self.instruments

    def rss_growth_kib(self) -> int:
        return self.rss_kib[-1] - self.rss_kib[0]


def verdict(ok: bool) -> str:
    return "met" if ok else "MISSED"


def report(stream: Stream, liborv: Tuple[float, float]) -> Tuple[List[str], bool]:
    """The lines of one run and whether every target was met; `liborv` is
    what liborv alone did on the same instruments (liborv_rates)."""
    liborv_per_second, liborv_cpu_us = liborv
    latencies = stream.latencies()
    if not latencies:
        return [f"{stream.instruments} instrument(s): no event in the window"], False
    delivered = stream.delivered_per_second()
    ratio = delivered / liborv_per_second if liborv_per_second > 0 else 0.0
    median, p99 = statistics.median(latencies), percentile(latencies, 0.99)
    cpu = stream.cpu_per_instrument()
    growth = stream.rss_growth_kib()
    checks = [ratio >= DELIVERY_RATIO, median <= LATENCY_MEDIAN_S, p99 <= LATENCY_P99_S,
              cpu <= CPU_PER_INSTRUMENT, growth < RSS_FLAT_KIB, stream.errors == 0]
    n = stream.instruments
    lines = [
        f"{n} instrument(s), {len(latencies)} events in {stream.seconds():.1f} s "
        f"({stream.acquired} acquired by the devices, {stream.errors} error events)",
        f"  delivered {delivered:.1f} spectra/s, liborv alone {liborv_per_second:.1f}: "
        f"{ratio:.3f} x (>= {DELIVERY_RATIO}) {verdict(checks[0])}",
        f"  latency time stamp to callback: median {median * 1e3:.2f} ms "
        f"(<= {LATENCY_MEDIAN_S * 1e3:.0f}) {verdict(checks[1])}, p99 {p99 * 1e3:.2f} ms "
        f"(<= {LATENCY_P99_S * 1e3:.0f}) {verdict(checks[2])}, max {max(latencies) * 1e3:.2f} ms",
        f"  server CPU {cpu * 100:.2f} % of a core per instrument "
        f"(<= {CPU_PER_INSTRUMENT * 100:.0f}) {verdict(checks[3])}; liborv and the simulated "
        f"provider alone would spend {liborv_cpu_us * delivered / n / 1e4:.2f} % on as many spectra",
        f"  server RSS {stream.rss_kib[0]} -> {stream.rss_kib[-1]} KiB (max {max(stream.rss_kib)}), "
        f"growth {growth} KiB (< {RSS_FLAT_KIB}) {verdict(checks[4])}",
    ]
    return lines, all(checks)
