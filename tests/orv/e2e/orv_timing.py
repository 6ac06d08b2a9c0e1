"""Times `orv read` on the built-in default scenario (real time, time scale
1) and compares it with the simulator's model of a spectrum read: link
latency + integration x averages + the reply's transfer at the link's
throughput. Prints the figures docs/performance.md records; the Timing
tests of test_orv_commands.py check the same with wider margins.

    ORV_PROGRAM=build/linux/bin/orv ORV_OUTPUT_DIR=build/linux/tests/orv/e2e-output \
        /usr/bin/python3 tests/orv/e2e/orv_timing.py
"""

import os
import statistics
import time
from datetime import datetime

from orv_e2e import orv, scratch, table_rows

LATENCY_MS = 1.0  # the default scenario's link latency and throughput
THROUGHPUT_BYTES_PER_MS = 1000.0
# A UVVIS_ORV spectrum reply: 28 header bytes, 1024 data words, CRC-32.
UVVIS_REPLY_BYTES = 28 + 1024 * 4 + 4
# A NIR_LEGACY spectrum reply of 256 pixels: ACK, (pixels + 6) x 2 frame bytes, CRC-16.
NIR_REPLY_BYTES = 1 + (256 + 6) * 2 + 2
SETTINGS = ("--integration", "10ms", "--average", "1")
INSTRUMENTS = ("ORVSIM01", "ORVSIM02", "ORVSIM03")  # of the default scenario


def modelled_ms(integration_ms, reply_bytes, average=1):
    return LATENCY_MS + integration_ms * average + reply_bytes / THROUGHPUT_BYTES_PER_MS


SINGLE_MODEL_MS = modelled_ms(10, UVVIS_REPLY_BYTES)


def timed_read(*args):
    """(wall seconds, {chip: [finish times of its spectra]}) of one orv read
    into a file."""
    target = os.path.join(scratch("timing"), "spectra.csv")
    started = time.monotonic()
    run = orv("read", *args, "-o", target, scenario_name=None)
    wall = time.monotonic() - started
    if run.status != 0:
        raise RuntimeError(str(run))
    with open(target, encoding="utf-8") as document:
        _, rows = table_rows(document.read())
    times = {}
    for row in rows:
        stamps = times.setdefault(row["instrument"], {})
        stamps[row["spectrum"]] = datetime.strptime(row["time_utc"],
                                                    "%Y-%m-%dT%H:%M:%S.%fZ").timestamp()
    return wall, {chip: sorted(stamps.values()) for chip, stamps in times.items()}


def per_read_ms(count, device, repeats=3):
    """Per-read time of a series of one instrument, the median of `repeats`
    runs: by wall time, the time of `count` reads less that of one (program
    start, open, detection and table read cancel out) over count - 1; and by
    the spectra's own time stamps."""
    by_wall, by_stamps = [], []
    for _ in range(repeats):
        wall_one, _ = timed_read("-d", device, "--count", "1", *SETTINGS)
        wall_many, times = timed_read("-d", device, "--count", str(count), *SETTINGS)
        stamps = times[device]
        by_wall.append((wall_many - wall_one) * 1000 / (count - 1))
        by_stamps.append((stamps[-1] - stamps[0]) * 1000 / (count - 1))
    return statistics.median(by_wall), statistics.median(by_stamps)


def every_instrument_s(count):
    """Wall seconds of `-d all --count N`, and of each instrument alone."""
    alone = {chip: timed_read("-d", chip, "--count", str(count), *SETTINGS)[0]
             for chip in INSTRUMENTS}
    together, _ = timed_read("-d", "all", "--count", str(count), *SETTINGS)
    return together, alone


def main():
    by_wall, by_stamps = per_read_ms(100, "ORVSIM01")
    print(f"read --count 100, ORVSIM01 at 10 ms: per read {by_wall:.3f} ms by wall time "
          f"(ratio {by_wall / SINGLE_MODEL_MS:.4f}), {by_stamps:.3f} ms by time stamps "
          f"(ratio {by_stamps / SINGLE_MODEL_MS:.4f}); model {SINGLE_MODEL_MS:.3f} ms")
    together, alone = every_instrument_s(50)
    print(f"read -d all --count 50 at 10 ms: {together:.3f} s; each alone: " +
          ", ".join(f"{chip} {seconds:.3f} s" for chip, seconds in alone.items()) +
          f"; slowest {max(alone.values()):.3f} s, sum {sum(alone.values()):.3f} s")


if __name__ == "__main__":
    main()
