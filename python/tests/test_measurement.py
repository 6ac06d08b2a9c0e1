"""orv.measurement: the modes on numpy arrays equal the C++ library's results
on the shared test vectors (tests/processing/vectors/modes.json, written by
the C++ library), and through Spectrometer against the simulated light path."""

from __future__ import annotations

import json
import math
from typing import Any, Dict, Iterator

import numpy as np
import pytest

import orv
from orv import measurement
from orv.measurement import MeasurementError

from conftest import REPOSITORY, Simulator, scenario, uv

VECTORS = REPOSITORY / "tests" / "processing" / "vectors" / "modes.json"


def _vectors() -> Dict[str, Any]:
    with open(VECTORS, encoding="utf-8") as text:
        return json.load(text)  # type: ignore[no-any-return]


VECTOR_FILE = _vectors()


@pytest.mark.parametrize("case", VECTOR_FILE["cases"],
                         ids=lambda c: f"{c['spectra']}-{c['mode']}-boxcar{c['boxcar']}")
def test_every_mode_equals_the_cpp_results_on_the_shared_vectors(case: Dict[str, Any]) -> None:
    counts = VECTOR_FILE["spectra"][case["spectra"]]
    result = measurement.measure(case["mode"], np.array(counts["sample"]),
                                 dark=np.array(counts["dark"]),
                                 reference=np.array(counts["reference"]),
                                 boxcar=case["boxcar"], full_scale=case["full_scale"])
    wanted = np.array([math.nan if v is None else v for v in case["values"]])
    assert np.array_equal(np.isnan(result.values), np.isnan(wanted))  # NaN positions identical
    assert not np.isinf(result.values).any()
    defined = ~np.isnan(wanted)
    if case["mode"] == "absorbance":
        # log10 of numpy and of the C library may differ in the last bit.
        np.testing.assert_allclose(result.values[defined], wanted[defined], rtol=1e-15, atol=0)
    else:
        assert np.array_equal(result.values[defined], wanted[defined])  # bit for bit
    assert (result.undefined.saturated, result.undefined.reference_not_above,
            result.undefined.sample_not_above) == (
        case["undefined"]["saturated"], case["undefined"]["reference_not_above"],
        case["undefined"]["sample_not_above"])


def test_hand_computed_values_and_the_undefined_rules() -> None:
    # 900 of 1000, 400 of 1000, S = D, S < D, S saturated, R = D.
    sample, dark = [1000, 500, 100, 50, 65535, 900], [100] * 6
    reference = [1100, 1100, 1100, 1100, 1100, 100]
    nan = math.nan
    for mode, wanted in (("counts", [1000, 500, 100, 50, nan, 900]),
                         ("dark-corrected", [900, 400, 0, -50, nan, 800]),
                         ("transmittance", [90, 40, nan, nan, nan, nan]),
                         ("absorbance", [-math.log10(0.9), -math.log10(0.4), nan, nan, nan, nan])):
        result = measurement.measure(mode, sample, dark=dark, reference=reference)
        np.testing.assert_allclose(result.values, wanted, rtol=1e-12)
    undefined = measurement.measure("absorbance", sample, dark, reference).undefined
    assert (undefined.saturated, undefined.reference_not_above, undefined.sample_not_above,
            undefined.total) == (1, 1, 2, 4)
    # The host average of rows; a pixel saturated in one row is saturated.
    averaged = measurement.capture_of([[10, 65535, 4], [20, 0, 6]])
    assert averaged.counts.tolist() == [15, 32767.5, 5] and averaged.scans == 2
    assert averaged.saturated.tolist() == [False, True, False]
    # The boxcar's window shrinks at the ends; the first and last stay.
    smoothed = measurement.boxcar(measurement.capture_of([0, 3, 6, 9, 30]), 5)
    assert smoothed.counts.tolist() == [0, 3, 9.6, 15, 30]


def test_refusals_name_what_is_wrong() -> None:
    with pytest.raises(MeasurementError, match="absorbance needs a reference"):
        measurement.measure("absorbance", [1, 2], dark=[0, 0])
    with pytest.raises(MeasurementError, match="is not a mode"):
        measurement.measure("optical-density", [1, 2])
    for width in (0, 4, 1003):
        with pytest.raises(MeasurementError, match="not an odd number"):
            measurement.measure("counts", [1, 2], boxcar=width)
    with pytest.raises(MeasurementError, match="the dark has 3 samples, the sample 2"):
        measurement.measure("dark-corrected", [1, 2], dark=[0, 0, 0])
    wavelengths = np.array([400.0, 401.0])
    taken = measurement.Conditions("SIM serial 1 (A)", wavelengths, 10000, 1)
    for other, message in ((measurement.Conditions("SIM serial 2 (B)", wavelengths, 10000, 1),
                            "the dark was taken on SIM serial 2 \\(B\\), the sample on"),
                           (measurement.Conditions("SIM serial 1 (A)", wavelengths, 20000, 1),
                            "with integration 20000 us, the sample with integration 10000 us"),
                           (measurement.Conditions("SIM serial 1 (A)", wavelengths + 1, 10000, 1),
                            "with wavelength 0 401.0 nm")):
        with pytest.raises(MeasurementError, match=message):
            measurement.measure("dark-corrected", measurement.capture_of([5, 6], taken),
                                dark=measurement.capture_of([1, 1], other))


BASELINE, BAND_NM, BAND_AU, BAND_WIDTH = 0.3, 550.0, 0.8, 40.0


@pytest.fixture
def light_path(sim: Simulator) -> Iterator[orv.Spectrometer]:
    sample = {"baseline": BASELINE,
              "bands": [{"nm": BAND_NM, "absorbance": BAND_AU, "width_nm": BAND_WIDTH}]}
    sim.load(scenario(uv(sample=sample)))
    with orv.Spectrometer(serial="ORVSIM01") as spectrometer:
        yield spectrometer


def test_spectrometer_measures_the_scenario_absorbance(sim: Simulator,
                                                       light_path: orv.Spectrometer) -> None:
    provider = sim._provider  # orvsim_set_light_path(bridge, lamp_on, sample_in)
    with pytest.raises(MeasurementError, match="absorbance needs a dark: store_dark"):
        light_path.measure("absorbance")
    assert provider.orvsim_set_light_path(0, 0, 0) == 0
    light_path.store_dark(count=4)
    assert provider.orvsim_set_light_path(0, 1, 0) == 0
    reference = light_path.store_reference(count=4)
    assert provider.orvsim_set_light_path(0, 1, 1) == 0
    result = light_path.measure("absorbance", count=2, boxcar=3)
    nm = light_path.wavelengths()
    wanted = BASELINE + BAND_AU * np.exp(-0.5 * ((nm - BAND_NM) / BAND_WIDTH) ** 2)
    bright = (reference.counts - light_path.dark.counts) > 5000  # type: ignore[union-attr]
    assert bright.sum() > 300
    deviation = result.values[bright] - wanted[bright]
    assert np.nanmax(np.abs(deviation)) < 0.05
    assert abs(np.nanmean(deviation)) < 0.005
    # Settings changed since the dark: refused, naming the difference.
    light_path.integration_time_us = 20_000
    with pytest.raises(MeasurementError, match="with integration 10000 us, the sample with "
                                               "integration 20000 us"):
        light_path.measure("transmittance")
