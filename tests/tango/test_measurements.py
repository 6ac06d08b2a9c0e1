"""Dark, reference and the measurement mode through a Tango client: the
processed spectrum is the stored dark and reference combined with each new
spectrum, equal to the formula on the spectra the client read, NaN where the
formula has no value; an unfit dark is said, never used."""

from __future__ import annotations

import numpy as np
import pytest
import tango

from conftest import uv, wait_for, wait_state

UV = "ORVSIM01"


def acquire(device: tango.DeviceProxy) -> np.ndarray:
    """One new spectrum, once its processed twin is ready too."""
    before = device.acquisitionCounter
    device.Acquire()
    wait_for(lambda: device.acquisitionCounter == before + 1, what="the next spectrum")
    wait_state(device, tango.DevState.ON)
    spectrum = device.read_attribute("spectrum")
    wait_for(lambda: device.read_attribute("processedSpectrum").time.totime() ==
             spectrum.time.totime() or "needs" in device.measurementStatus or
             "was taken" in device.measurementStatus,
             what="the spectrum processed")
    return np.asarray(spectrum.value, dtype=float)


def test_absorbance_and_transmittance_follow_the_stored_dark_and_reference(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    with pytest.raises(tango.DevFailed, match="unknown mode"):
        device.write_attribute("mode", "absorbence")
    device.mode = "absorbance"
    assert device.mode == "absorbance" and device.processedUnit == "AU"
    with pytest.raises(tango.DevFailed, match="acquire one first"):
        device.StoreDark()

    dark = acquire(device)
    assert "needs a stored dark" in device.measurementStatus
    assert device.read_attribute("processedSpectrum").quality == tango.AttrQuality.ATTR_INVALID
    device.StoreDark()
    reference = acquire(device)
    device.StoreReference()
    sample = acquire(device)

    with np.errstate(divide="ignore", invalid="ignore"):
        ratio = (sample - dark) / (reference - dark)
        expected = -np.log10(ratio)
    undefined = ((sample - dark) <= 0) | ((reference - dark) <= 0) | \
        (np.maximum(np.maximum(sample, dark), reference) >= 65535)
    expected[undefined] = np.nan
    processed = np.asarray(device.processedSpectrum, dtype=float)
    assert processed.shape == sample.shape
    np.testing.assert_array_equal(np.isnan(processed), np.isnan(expected))
    np.testing.assert_allclose(processed[~undefined], expected[~undefined], rtol=1e-12)
    if undefined.any():
        assert f"{int(undefined.sum())} pixels undefined" in device.measurementStatus

    device.mode = "transmittance"  # the last spectrum again, at once
    assert device.processedUnit == "%"
    processed = np.asarray(device.processedSpectrum, dtype=float)
    np.testing.assert_allclose(processed[~undefined], 100 * ratio[~undefined], rtol=1e-12)


def test_a_dark_taken_with_other_settings_is_refused_by_name(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.mode = "dark-corrected"
    dark = acquire(device)
    device.StoreDark()
    sample = acquire(device)
    np.testing.assert_array_equal(np.asarray(device.processedSpectrum), sample - dark)

    device.integrationTime = device.integrationTime * 2
    acquire(device)
    assert "integration" in device.measurementStatus
    assert device.read_attribute("processedSpectrum").quality == tango.AttrQuality.ATTR_INVALID
    assert "dark: " in device.measurementStatus and " us x 1" in device.measurementStatus
