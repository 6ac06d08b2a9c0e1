"""Times `orv read` on the built-in default scenario (real time, time scale
1) and compares it with the simulator's model of a spectrum read: link
latency + integration x averages + the reply's transfer at the link's
throughput. Prints the figures docs/performance.md records; the Timing
tests of test_orv_commands.py check the same with wider margins.

    ORV_PROGRAM=build/linux/bin/orv /usr/bin/python3 tests/orv/e2e/orv_timing.py
"""

import time
from datetime import datetime

from orv_e2e import orv, spectra_of, table_rows

LATENCY_MS = 1.0  # the default scenario's link latency and throughput
THROUGHPUT_BYTES_PER_MS = 1000.0
# A UVVIS_ORV spectrum reply: 28 header bytes, 1024 data words, CRC-32.
UVVIS_REPLY_BYTES = 28 + 1024 * 4 + 4
# A NIR_LEGACY spectrum reply of 256 pixels: ACK, (pixels + 6) x 2 frame bytes, CRC-16.
NIR_REPLY_BYTES = 1 + (256 + 6) * 2 + 2


def modelled_ms(integration_ms, reply_bytes, average=1):
    return LATENCY_MS + integration_ms * average + reply_bytes / THROUGHPUT_BYTES_PER_MS


def timed_read(*args):
    """(wall seconds, {chip: [finish times]}) of one orv read."""
    started = time.monotonic()
    run = orv("read", *args, scenario_name=None)
    wall = time.monotonic() - started
    if run.status != 0:
        raise RuntimeError(str(run))
    _, rows = table_rows(run.out)
    times = {}
    for (chip, _), _ in spectra_of(rows).items():
        times.setdefault(chip, [])
    seen = set()
    for row in rows:
        key = (row["instrument"], row["spectrum"])
        if key not in seen:
            seen.add(key)
            times[row["instrument"]].append(
                datetime.strptime(row["time_utc"], "%Y-%m-%dT%H:%M:%S.%fZ").timestamp())
    return wall, times


def series_per_read_ms(count, *args):
    """Per-read time of a series: the wall time of `count` reads less that of
    one read (program start, open, detection and table read cancel out),
    over count - 1; and the same from the spectra's own time stamps."""
    wall_one, _ = timed_read("--count", "1", *args)
    wall_many, times = timed_read("--count", str(count), *args)
    stamps = next(iter(times.values()))
    return ((wall_many - wall_one) * 1000 / (count - 1),
            (stamps[-1] - stamps[0]) * 1000 / (len(stamps) - 1), wall_many)


def main():
    model = modelled_ms(10, UVVIS_REPLY_BYTES)
    by_wall, by_stamps, wall = series_per_read_ms(100, "-d", "ORVSIM01", "--integration", "10ms",
                                                  "--average", "1")
    print(f"read --count 100, ORVSIM01 at 10 ms: {wall:.3f} s in all; per read "
          f"{by_wall:.3f} ms by wall time, {by_stamps:.3f} ms by time stamps; "
          f"model {model:.3f} ms; ratio {by_wall / model:.4f}")

    slowest = max(modelled_ms(10, UVVIS_REPLY_BYTES), modelled_ms(10, NIR_REPLY_BYTES))
    total = 2 * modelled_ms(10, UVVIS_REPLY_BYTES) + modelled_ms(10, NIR_REPLY_BYTES)
    count = 50
    wall_one, _ = timed_read("-d", "all", "--integration", "10ms", "--average", "1",
                             "--count", "1")
    wall_all, _ = timed_read("-d", "all", "--integration", "10ms", "--average", "1",
                             "--count", str(count))
    per_round = (wall_all - wall_one) * 1000 / (count - 1)
    print(f"read -d all --count {count} at 10 ms: {wall_all:.3f} s in all; per round of three "
          f"spectra {per_round:.3f} ms; slowest instrument's model {slowest:.3f} ms, "
          f"sum of the three {total:.3f} ms")


if __name__ == "__main__":
    main()
