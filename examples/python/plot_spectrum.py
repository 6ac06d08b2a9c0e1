#!/usr/bin/env python3
"""Takes one spectrum from an instrument and plots it to a PNG file.

    python3 examples/python/plot_spectrum.py --serial ORVSIM01 --output spectrum.png

Without --serial the one instrument attached is used. The file is written
whole or not at all; errors go to standard error with exit status 1.
"""

from __future__ import annotations

import argparse
import sys
from typing import List, Optional

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 (the backend comes first)

import orv  # noqa: E402
from example_support import FAILURES, save_figure  # noqa: E402


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--serial", help="chip serial of the instrument's bridge")
    parser.add_argument("--integration-us", type=int, default=10_000,
                        help="integration time in microseconds (default 10000)")
    parser.add_argument("--average", type=int, default=1, help="scans averaged (default 1)")
    parser.add_argument("--output", default="spectrum.png", help="PNG file to write")
    args = parser.parse_args(argv)
    try:
        with orv.Spectrometer(serial=args.serial) as spectrometer:
            spectrometer.integration_time_us = args.integration_us
            spectrometer.average = args.average
            info = spectrometer.info
            wavelengths_nm, counts = spectrometer.spectrum()
    except FAILURES as error:
        print(f"plot_spectrum: {error}", file=sys.stderr)
        return 1

    figure, axes = plt.subplots(figsize=(8, 4.5))
    axes.plot(wavelengths_nm, counts, linewidth=0.8)
    axes.set_xlabel("Wavelength (nm)")
    axes.set_ylabel("Counts")
    axes.set_title(f"{info.model} ({info.protocol.name}), {args.integration_us} µs "
                   f"x {args.average}")
    axes.grid(alpha=0.3)
    figure.tight_layout()
    try:
        save_figure(figure, args.output)
    except OSError as error:
        print(f"plot_spectrum: cannot write {args.output}: {error}", file=sys.stderr)
        return 1
    peak = int(counts.argmax())
    print(f"{args.output}: {len(counts)} pixels, {wavelengths_nm[0]:.1f} to "
          f"{wavelengths_nm[-1]:.1f} nm, peak {counts[peak]:.0f} counts at "
          f"{wavelengths_nm[peak]:.1f} nm")
    return 0


if __name__ == "__main__":
    sys.exit(main())
