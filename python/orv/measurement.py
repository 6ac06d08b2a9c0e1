"""Measurements from counts: a sample spectrum S, a dark spectrum D (light
blocked) and a reference spectrum R (blank cuvette or white standard), on
numpy arrays.

========================  ==============================  ======
mode                      value                           unit
========================  ==============================  ======
``counts``                S                               counts
``dark-corrected``        S - D                           counts
``transmittance``         100 (S - D) / (R - D)           %
``reflectance``           100 (S - D) / (R - D)           %
``absorbance``            -log10((S - D) / (R - D))       AU
========================  ==============================  ======

The same arithmetic and rules as the C++ tools' (``orv read --mode``), and
the same results on the same inputs (the test vectors both are checked
against): where a value has no meaning it is NaN, never infinite or
clipped, counted by cause (a pixel at full scale in S, D or R; R - D <= 0;
S - D <= 0). Several acquisitions of one spectrum (rows of a 2-D array) are
averaged on the host; a pixel saturated in any of them is saturated. The
boxcar smooths S, D and R over ``width`` pixels (odd) before the arithmetic,
its window shrinking symmetrically at the ends (the first and last pixel
stay as read); a pixel whose window holds a saturated one is saturated.

    import numpy as np
    from orv.measurement import measure
    result = measure("absorbance", sample, dark=dark, reference=reference, boxcar=5)
    result.values, result.undefined.total

A dark and a reference carry what they were taken with (:class:`Conditions`);
combining captures taken under other conditions raises
:class:`MeasurementError` naming the difference.
"""

from __future__ import annotations

from dataclasses import dataclass, field, replace
from typing import Dict, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

Floats = npt.NDArray[np.float64]
Flags = npt.NDArray[np.bool_]
Counts = Union[npt.ArrayLike, "Capture"]

#: The detector's full scale of 16-bit counts.
FULL_SCALE = 65535.0
#: The widest boxcar, in pixels.
MAX_BOXCAR = 1001


@dataclass(frozen=True)
class ModeInfo:
    name: str
    unit: str
    column: str
    label: str
    needs_dark: bool
    needs_reference: bool


MODES: Dict[str, ModeInfo] = {info.name: info for info in (
    ModeInfo("counts", "counts", "counts", "Counts", False, False),
    ModeInfo("dark-corrected", "counts", "dark_corrected_counts", "Dark-corrected counts",
             True, False),
    ModeInfo("transmittance", "%", "transmittance_percent", "Transmittance (%)", True, True),
    ModeInfo("reflectance", "%", "reflectance_percent", "Reflectance (%)", True, True),
    ModeInfo("absorbance", "AU", "absorbance_au", "Absorbance (AU)", True, True),
)}


class MeasurementError(ValueError):
    """A dark or reference that does not fit the sample, a boxcar width out of
    range, or spectra that cannot be averaged; the message names why."""


@dataclass(frozen=True)
class Conditions:
    """What a spectrum was taken with. Captures combine only when all of it
    is equal; ``taken_utc`` is kept for the record and never compared."""

    instrument: str
    wavelengths_nm: Floats
    integration_us: int
    average: int = 1
    taken_utc: str = ""


@dataclass
class Capture:
    """A spectrum as counts (float64), its pixels at full scale marked."""

    counts: Floats
    saturated: Flags
    conditions: Optional[Conditions] = None
    scans: int = 1  # spectra averaged on the host into this one


@dataclass
class Undefined:
    """How many values are NaN, by cause (a pixel counts once, under the
    first cause that applies in this order)."""

    saturated: int = 0
    reference_not_above: int = 0
    sample_not_above: int = 0

    @property
    def total(self) -> int:
        return self.saturated + self.reference_not_above + self.sample_not_above


@dataclass
class Processed:
    values: Floats
    undefined: Undefined = field(default_factory=Undefined)


def mode_info(mode: str) -> ModeInfo:
    try:
        return MODES[mode]
    except KeyError:
        raise MeasurementError(f"'{mode}' is not a mode: {', '.join(MODES)}") from None


def capture_of(counts: npt.ArrayLike, conditions: Optional[Conditions] = None,
               full_scale: float = FULL_SCALE) -> Capture:
    """One spectrum's counts (1-D), or the host average of several (rows of a
    2-D array)."""
    array = np.asarray(counts, dtype=np.float64)
    if array.ndim == 1:
        return Capture(array.copy(), array >= full_scale, conditions)
    if array.ndim != 2 or array.shape[0] == 0:
        raise MeasurementError(f"counts of shape {array.shape}: one spectrum or rows of them")
    return host_average([capture_of(row, conditions, full_scale) for row in array])


def _differ(what: str, prop: str, stored: str, sample: str) -> MeasurementError:
    return MeasurementError(f"the {what} was taken {prop} {stored}, the sample {prop} {sample} "
                            "(take it again with the sample's settings)")


def check_same_conditions(sample: Optional[Conditions], stored: Optional[Conditions],
                          what: str) -> None:
    """Raises MeasurementError when ``stored`` was taken under other conditions
    than ``sample`` (nothing to compare when either is not known)."""
    if sample is None or stored is None:
        return
    if stored.instrument != sample.instrument:
        raise _differ(what, "on", stored.instrument, sample.instrument)
    if stored.integration_us != sample.integration_us:
        raise _differ(what, "with integration", f"{stored.integration_us} us",
                      f"{sample.integration_us} us")
    if stored.average != sample.average:
        raise _differ(what, "with average", str(stored.average), str(sample.average))
    if len(stored.wavelengths_nm) != len(sample.wavelengths_nm):
        raise _differ(what, "with wavelength count", str(len(stored.wavelengths_nm)),
                      str(len(sample.wavelengths_nm)))
    different = np.flatnonzero(np.asarray(stored.wavelengths_nm) !=
                               np.asarray(sample.wavelengths_nm))
    if different.size:
        i = int(different[0])
        raise _differ(what, f"with wavelength {i}", f"{stored.wavelengths_nm[i]!r} nm",
                      f"{sample.wavelengths_nm[i]!r} nm")


def host_average(captures: Sequence[Capture]) -> Capture:
    """The mean of captures taken under the same conditions."""
    if not captures:
        raise MeasurementError("no spectra to average")
    first = captures[0]
    total = first.counts.copy()
    saturated = first.saturated.copy()
    scans = first.scans
    for k, capture in enumerate(captures[1:], start=2):
        check_same_conditions(first.conditions, capture.conditions, f"spectrum {k}")
        if capture.counts.shape != total.shape:
            raise MeasurementError(f"spectrum {k} has {capture.counts.size} samples, "
                                   f"the first {total.size}")
        total += capture.counts  # one spectrum after the other, as the C++ sum
        saturated |= capture.saturated
        scans += capture.scans
    return Capture(total / len(captures), saturated, first.conditions, scans)


def check_boxcar_width(width: int) -> None:
    if not isinstance(width, (int, np.integer)) or isinstance(width, bool) or \
            width < 1 or width % 2 == 0 or width > MAX_BOXCAR:
        raise MeasurementError(f"boxcar width {width} is not an odd number of pixels from 1 "
                               f"to {MAX_BOXCAR}")


def boxcar(capture: Capture, width: int) -> Capture:
    """Pixel i is the mean of pixels i-h..i+h, h = (width-1)/2, the window
    shrinking symmetrically at the ends."""
    check_boxcar_width(width)
    n = capture.counts.size
    if width == 1 or n == 0:
        return replace(capture, counts=capture.counts.copy(), saturated=capture.saturated.copy())
    index = np.arange(n)
    h = np.minimum(np.minimum(width // 2, index), n - 1 - index)
    first, end = index - h, index + h + 1
    # Running sums, each window a difference of two: the C++ order of operations.
    sums: Floats = np.zeros(n + 1)
    sums[1:] = np.cumsum(capture.counts)
    flags: npt.NDArray[np.int64] = np.zeros(n + 1, dtype=np.int64)
    flags[1:] = np.cumsum(capture.saturated, dtype=np.int64)
    smoothed = np.where(h == 0, capture.counts, (sums[end] - sums[first]) / (end - first))
    return replace(capture, counts=smoothed, saturated=flags[end] != flags[first])


_boxcar = boxcar  # measure's keyword argument hides the name


def _checked(stored: Optional[Capture], what: str, mode: ModeInfo, sample: Capture) -> Capture:
    if stored is None:
        raise MeasurementError(f"{mode.name} needs a {what}")
    check_same_conditions(sample.conditions, stored.conditions, what)
    if stored.counts.size != sample.counts.size:
        raise MeasurementError(f"the {what} has {stored.counts.size} samples, the sample "
                               f"{sample.counts.size}")
    return stored


def process(mode: str, sample: Capture, dark: Optional[Capture] = None,
            reference: Optional[Capture] = None) -> Processed:
    """The values of ``mode`` for ``sample``; the dark and reference the mode
    does not use are ignored."""
    info = mode_info(mode)
    saturated = sample.saturated.copy()
    if info.needs_dark:
        dark = _checked(dark, "dark", info, sample)
        saturated |= dark.saturated
    if info.needs_reference:
        reference = _checked(reference, "reference", info, sample)
        saturated |= reference.saturated
    undefined = Undefined(saturated=int(np.count_nonzero(saturated)))
    if not info.needs_dark:
        values = sample.counts.copy()
    else:
        assert dark is not None
        values = sample.counts - dark.counts
        if info.needs_reference:
            assert reference is not None
            full = reference.counts - dark.counts
            no_reference = ~saturated & ~(full > 0)
            no_sample = ~saturated & ~no_reference & ~(values > 0)
            defined = ~saturated & ~no_reference & ~no_sample
            ratio = np.divide(values, full, out=np.ones_like(values), where=defined)
            with np.errstate(divide="ignore", invalid="ignore"):
                values = -np.log10(ratio) if info.name == "absorbance" else 100 * ratio
            values[no_reference | no_sample] = np.nan
            undefined.reference_not_above = int(np.count_nonzero(no_reference))
            undefined.sample_not_above = int(np.count_nonzero(no_sample))
    values[saturated] = np.nan
    return Processed(values, undefined)


def _as_capture(counts: Optional[Counts], full_scale: float,
                conditions: Optional[Conditions]) -> Optional[Capture]:
    if counts is None or isinstance(counts, Capture):
        return counts
    return capture_of(counts, conditions, full_scale)


def measure(mode: str, sample: Counts, dark: Optional[Counts] = None,
            reference: Optional[Counts] = None, *, boxcar: int = 1,
            full_scale: float = FULL_SCALE) -> Processed:
    """``mode``'s values from counts (1-D arrays, 2-D arrays of several
    acquisitions averaged on the host, or :class:`Capture`), each smoothed by
    the boxcar first: what ``orv read --mode`` computes."""
    info = mode_info(mode)
    check_boxcar_width(boxcar)
    taken = _as_capture(sample, full_scale, None)
    assert taken is not None
    smooth = _boxcar
    stored = {}
    for what, counts, needed in (("dark", dark, info.needs_dark),
                                 ("reference", reference, info.needs_reference)):
        capture = _as_capture(counts, full_scale, None) if needed else None
        stored[what] = smooth(capture, boxcar) if capture is not None else None
    return process(mode, smooth(taken, boxcar), stored["dark"], stored["reference"])
