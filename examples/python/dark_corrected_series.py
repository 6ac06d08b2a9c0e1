#!/usr/bin/env python3
"""A dark-corrected series of spectra from two instruments at once, one
thread each, plotted to a PNG file.

    python3 examples/python/dark_corrected_series.py --serial ORVSIM01 --serial ORVSIM03

Each instrument first takes a dark reference: the mean of --dark-scans
spectra at --dark-integration-us. With the default (the shortest time) the
reference is the detector's offset; for a true dark reference, block the
light and give the series' integration time. Then each takes --count
spectra at --integration-us and subtracts its reference. Without --serial
the first two instruments listed are used. Errors go to standard error with
exit status 1, and the PNG is written whole or not at all.
"""

from __future__ import annotations

import argparse
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from typing import List, Optional

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 (the backend comes first)
import numpy as np  # noqa: E402
import numpy.typing as npt  # noqa: E402

import orv  # noqa: E402
from example_support import FAILURES, save_figure  # noqa: E402


@dataclass
class Series:
    """One instrument's dark reference and corrected spectra."""

    chip_serial: str
    model: str
    wavelengths_nm: npt.NDArray[np.float64]
    dark: npt.NDArray[np.float64]
    corrected: List[npt.NDArray[np.float64]]
    seconds: List[float]


def take_series(chip_serial: str, args: argparse.Namespace) -> Series:
    """Runs in its own thread, with its own instrument."""
    with orv.Spectrometer(serial=chip_serial) as spectrometer:
        model = spectrometer.info.model
        wavelengths_nm = spectrometer.wavelengths()
        spectrometer.integration_time_us = args.dark_integration_us
        dark = np.mean([spectrometer.intensities() for _ in range(args.dark_scans)], axis=0)
        spectrometer.integration_time_us = args.integration_us
        corrected, seconds = [], []
        start = time.monotonic()
        for _ in range(args.count):
            counts = spectrometer.intensities().astype(np.float64)
            seconds.append(time.monotonic() - start)
            corrected.append(counts - dark)
    return Series(chip_serial, model, wavelengths_nm, dark, corrected, seconds)


def plot(series: List[Series], args: argparse.Namespace) -> "plt.Figure":
    figure, axes = plt.subplots(len(series), 1, figsize=(8, 3.2 * len(series)), squeeze=False)
    for row, one in zip(axes[:, 0], series):
        for seconds, corrected in zip(one.seconds, one.corrected):
            row.plot(one.wavelengths_nm, corrected, linewidth=0.7, label=f"{seconds:.2f} s")
        row.set_title(f"{one.chip_serial}: {one.model}, dark-corrected, "
                      f"{args.integration_us} µs")
        row.set_xlabel("Wavelength (nm)")
        row.set_ylabel("Counts - dark")
        row.grid(alpha=0.3)
        row.legend(fontsize="small", ncol=min(len(one.seconds), 5))
    figure.tight_layout()
    return figure


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--serial", action="append", default=[],
                        help="chip serial of an instrument's bridge (twice)")
    parser.add_argument("--integration-us", type=int, default=10_000)
    parser.add_argument("--dark-integration-us", type=int, default=1)
    parser.add_argument("--dark-scans", type=int, default=4)
    parser.add_argument("--count", type=int, default=5, help="spectra per instrument")
    parser.add_argument("--output", default="dark_corrected_series.png")
    args = parser.parse_args(argv)
    if args.count < 1 or args.dark_scans < 1:
        parser.error("--count and --dark-scans must be at least 1")
    try:
        serials = args.serial or [d.chip_serial for d in orv.list_devices() if d.is_instrument]
        if len(serials) < 2:
            raise orv.DeviceNotFoundError(f"two instruments are needed, found {serials}")
        with ThreadPoolExecutor(max_workers=2) as pool:
            series = list(pool.map(lambda serial: take_series(serial, args), serials[:2]))
    except FAILURES as error:
        print(f"dark_corrected_series: {error}", file=sys.stderr)
        return 1

    for one in series:
        for seconds, corrected in zip(one.seconds, one.corrected):
            peak = int(corrected.argmax())
            print(f"{one.chip_serial} {seconds:6.3f} s: peak {corrected[peak]:8.1f} counts "
                  f"above dark at {one.wavelengths_nm[peak]:.1f} nm")
    try:
        save_figure(plot(series, args), args.output)
    except OSError as error:
        print(f"dark_corrected_series: cannot write {args.output}: {error}", file=sys.stderr)
        return 1
    print(f"{args.output}: {len(series)} instruments, {args.count} spectra each")
    return 0


if __name__ == "__main__":
    sys.exit(main())
