"""Spectrometer against the simulated instruments: every operation on both
protocols, decoded values, arguments refused before anything is sent, and
the life cycle (choosing, closing, using a closed instrument)."""

from __future__ import annotations

import gc
from typing import Any, Callable, List, Tuple

import numpy as np
import pytest

import orv
from conftest import NIR_SERIAL, SELECTIONS, UV_SERIAL, Simulator, foreign, nir, scenario, uv

UV_ONLY = orv.Protocol.UVVIS_ORV
BOTH = None

# Attribute, a value to set, the protocol it needs (None: both).
SETTINGS: List[Tuple[str, Any, Any]] = [
    ("integration_time_us", 25_000, BOTH),
    ("average", 3, BOTH),
    ("level_output", 1, BOTH),
    ("xenon_mode", 2, UV_ONLY),
    ("xenon_pulse", (10, 20), UV_ONLY),
    ("usb_baud_rate", 0x0102, UV_ONLY),
    ("trigger_config", (1, 2, 3), UV_ONLY),
    ("dac_code", 0x7FF, UV_ONLY),
    ("stored_integration_time_us", 50_000, UV_ONLY),
    ("stored_average", 4, UV_ONLY),
]


def list_position(spectrometer: orv.Spectrometer) -> int:
    return 0 if spectrometer.chip_serial == UV_SERIAL else 1


def test_settings_round_trip_or_are_refused_by_the_other_protocol(
        instrument: orv.Spectrometer, sim: Simulator) -> None:
    position = list_position(instrument)
    for name, value, needs in SETTINGS:
        if needs in (None, instrument.protocol):
            setattr(instrument, name, value)
            assert getattr(instrument, name) == value, name
            continue
        before = sim.writes(position)
        with pytest.raises(orv.UnsupportedError):
            setattr(instrument, name, value)
        with pytest.raises(orv.UnsupportedError):
            getattr(instrument, name)
        assert sim.writes(position) == before, name


def test_stored_smoothing_width_is_kept_by_uvvis_and_ignored_by_nir(
        instrument: orv.Spectrometer) -> None:
    instrument.stored_smoothing_width = 5
    if instrument.protocol == orv.Protocol.UVVIS_ORV:
        assert instrument.stored_smoothing_width == 5
    else:
        with pytest.raises(orv.UnsupportedError):
            instrument.stored_smoothing_width


def test_spectra_are_arrays_of_the_pixel_count(instrument: orv.Spectrometer) -> None:
    pixels = instrument.wavelength_count
    wavelengths = instrument.wavelengths()
    samples = instrument.intensities()
    assert wavelengths.dtype == np.float64 and wavelengths.shape == (pixels,)
    assert samples.dtype == np.uint16 and samples.shape == (pixels,)
    first, last = instrument.wavelength_range_nm
    assert first == min(wavelengths) and last == max(wavelengths)
    spectrum = instrument.spectrum()
    assert spectrum.shape == (2, pixels) and spectrum.dtype == np.float64
    assert np.array_equal(spectrum[0], wavelengths)


def test_the_integration_time_reaches_the_instrument(sim: Simulator) -> None:
    # Without noise, the signal above the dark level scales with the time.
    sim.load(scenario(uv(noise_counts=0, dark_counts=800), nir(noise_counts=0, dark_counts=800)))
    for serial in (UV_SERIAL, NIR_SERIAL):
        with orv.Spectrometer(serial=serial) as spectrometer:
            spectrometer.integration_time_us = 5_000
            short = spectrometer.intensities().astype(float) - 800
            assert spectrometer.spectrum()[1].tolist() == (short + 800).tolist()
            spectrometer.integration_time_us = 10_000
            long = spectrometer.intensities().astype(float) - 800
            peak = int(np.argmax(long))
            assert long[peak] == pytest.approx(2 * short[peak], rel=0.01)


def test_decoded_identity_and_health(sim: Simulator) -> None:
    sim.load(scenario(
        uv(temperature_raw=0x190, calibration=[1.5, 2.5, -3.5, 4.25], model_text="SIM-UV-TEST",
           serial_number="SN-0042", detector_serial="DET00001", slit_width=25),
        nir(temperature_raw=0xFFF0, version_text="SIM-NIR-V1.2")))
    with orv.Spectrometer(serial=UV_SERIAL) as spectrometer:
        assert spectrometer.temperature_c == 25.0
        assert spectrometer.calibration == (1.5, 2.5, -3.5, 4.25)
        info = spectrometer.info
        assert (info.protocol, info.model, info.serial_number, info.detector_serial,
                info.slit_width) == (orv.Protocol.UVVIS_ORV, "SIM-UV-TEST", "SN-0042",
                                     "DET00001", 25)
        assert info.capabilities == spectrometer.capabilities == 0x7FFF
        spectrometer.write_serial_number("NEW-SN-7")
        assert spectrometer.info.serial_number == "NEW-SN-7"
    with orv.Spectrometer(serial=NIR_SERIAL) as spectrometer:
        assert spectrometer.temperature_c == -1.0
        info = spectrometer.info
        assert (info.protocol, info.hardware_version, info.serial_number, info.detector_serial,
                info.slit_width) == (orv.Protocol.NIR_LEGACY, "SIM-NIR-V1.2", "NIR", None, None)
        with pytest.raises(orv.UnsupportedError):
            spectrometer.write_serial_number("NEW-SN-7")


def test_selection(instrument: orv.Spectrometer) -> None:
    assert instrument.selected_range is None
    with pytest.raises(orv.GenericError):
        instrument.selected_intensities()
    start, end = SELECTIONS[instrument.protocol]
    selected = instrument.select_range(start, end)
    assert selected == instrument.selected_range
    assert (selected.requested_start_nm, selected.requested_end_nm) == (start, end)
    wavelengths = instrument.selected_wavelengths()
    assert len(wavelengths) == selected.count == selected.last_index - selected.first_index + 1
    assert all(start <= w <= end for w in wavelengths)
    assert selected.first_wavelength_nm == wavelengths[0]
    assert instrument.selected_intensities().shape == (selected.count,)
    assert instrument.selected_spectrum().shape == (2, selected.count)
    # A refused selection keeps the one before; a reset drops it.
    with pytest.raises(orv.InvalidParamError):
        instrument.select_range(10, 20)
    assert instrument.selected_range == selected
    instrument.reset()
    assert instrument.selected_range is None


def test_reset_restores_power_up_settings(instrument: orv.Spectrometer) -> None:
    power_up = instrument.integration_time_us
    instrument.integration_time_us = power_up + 1000
    instrument.enable_flash_write()
    assert instrument.flash_write_enabled
    instrument.reset()
    assert instrument.integration_time_us == power_up
    assert not instrument.flash_write_enabled
    assert instrument.intensities().shape == (instrument.wavelength_count,)


def test_flash_write_and_read_back(instrument: orv.Spectrometer) -> None:
    block = bytes(range(7, 7 + 64))
    if instrument.protocol == orv.Protocol.NIR_LEGACY:
        # NIR_LEGACY instruments refuse flash writes until the gate is opened.
        with pytest.raises(orv.TransportError):
            instrument.flash_write(0x0200, block)
        instrument.enable_flash_write()
    instrument.flash_write(0x0200, block)
    assert instrument.flash_read(0x0200, len(block)) == block


def test_external_spectrum_is_uvvis_only(instrument: orv.Spectrometer) -> None:
    if instrument.protocol == orv.Protocol.UVVIS_ORV:
        assert instrument.external_spectrum(3).shape == (instrument.wavelength_count,)
    else:
        with pytest.raises(orv.UnsupportedError):
            instrument.external_spectrum(3)


# A call with a wrong argument (named) and the exception it must raise before
# anything is sent.
REFUSED: List[Tuple[str, Callable[[orv.Spectrometer], Any], type]] = [
    ("negative integration", lambda s: setattr(s, "integration_time_us", -1), ValueError),
    ("zero integration", lambda s: setattr(s, "integration_time_us", 0), ValueError),
    ("integration over 32 bits", lambda s: setattr(s, "integration_time_us", 2**32), ValueError),
    ("float integration", lambda s: setattr(s, "integration_time_us", 1.5), TypeError),
    ("bool integration", lambda s: setattr(s, "integration_time_us", True), TypeError),
    ("text integration", lambda s: setattr(s, "integration_time_us", "10"), TypeError),
    ("average 0", lambda s: setattr(s, "average", 0), ValueError),
    ("average 256", lambda s: setattr(s, "average", 256), ValueError),
    ("level 256", lambda s: setattr(s, "level_output", 256), ValueError),
    ("dac over 12 bits", lambda s: setattr(s, "dac_code", 4096), ValueError),
    ("xenon pulse of one", lambda s: setattr(s, "xenon_pulse", (1,)), TypeError),
    ("trigger byte 256", lambda s: setattr(s, "trigger_config", (1, 2, 256)), ValueError),
    ("reversed range", lambda s: s.select_range(500, 400), ValueError),
    ("empty range", lambda s: s.select_range(500, 500), ValueError),
    ("negative range", lambda s: s.select_range(-5, 400), ValueError),
    ("nan range", lambda s: s.select_range(float("nan"), 400), ValueError),
    ("infinite range", lambda s: s.select_range(400, float("inf")), ValueError),
    ("text range", lambda s: s.select_range("400", 500), TypeError),
    ("flash address", lambda s: s.flash_read(0x10000, 4), ValueError),
    ("flash length 0", lambda s: s.flash_read(0, 0), ValueError),
    ("empty flash block", lambda s: s.flash_write(0, b""), ValueError),
    ("text flash block", lambda s: s.flash_write(0, "data"), TypeError),
    ("long serial number", lambda s: s.write_serial_number("X" * 13), ValueError),
    ("non-ASCII serial number", lambda s: s.write_serial_number("SN-\u00e9"), ValueError),
    ("external parameter", lambda s: s.external_spectrum(-1), ValueError),
]


def test_wrong_arguments_are_refused_before_anything_is_sent(
        instrument: orv.Spectrometer, sim: Simulator) -> None:
    position = list_position(instrument)
    before = sim.writes(position)
    for case, call, error in REFUSED:
        with pytest.raises(error):
            call(instrument)
            pytest.fail(f"{case}: accepted")
    assert sim.writes(position) == before


@pytest.mark.parametrize("arguments, error", [
    ({"serial": ""}, ValueError),
    ({"serial": 5}, TypeError),
    ({"index": -1}, ValueError),
    ({"index": "0"}, TypeError),
    ({"serial": UV_SERIAL, "index": 0}, ValueError),
])
def test_wrong_open_arguments(sim: Simulator, arguments: Any, error: type) -> None:
    sim.load(scenario(uv()))
    with pytest.raises(error):
        orv.Spectrometer(**arguments)
    assert sim.open_handles() == 0


def test_without_arguments_the_one_instrument_opens(sim: Simulator) -> None:
    sim.load(scenario(foreign(), nir()))
    with orv.Spectrometer() as spectrometer:
        assert (spectrometer.chip_serial, spectrometer.index) == (NIR_SERIAL, 1)
        assert spectrometer.protocol == orv.Protocol.NIR_LEGACY


def test_without_arguments_several_instruments_are_listed_as_choices(sim: Simulator) -> None:
    sim.load(scenario(uv(), foreign(), nir()))
    with pytest.raises(orv.AmbiguousDeviceError) as raised:
        orv.Spectrometer()
    assert [device.chip_serial for device in raised.value.choices] == [UV_SERIAL, NIR_SERIAL]
    assert UV_SERIAL in str(raised.value) and NIR_SERIAL in str(raised.value)
    assert sim.open_handles() == 0


def test_without_arguments_and_no_instrument(sim: Simulator) -> None:
    sim.load(scenario(foreign()))
    with pytest.raises(orv.DeviceNotFoundError, match="CABLE01"):
        orv.Spectrometer()


def test_open_by_index_and_by_serial(sim: Simulator) -> None:
    sim.load(scenario(uv(), nir()))
    with orv.Spectrometer(index=1) as by_index:
        assert by_index.chip_serial == NIR_SERIAL
        assert by_index.protocol == orv.Protocol.NIR_LEGACY
    with orv.Spectrometer(serial=UV_SERIAL) as by_serial:
        assert by_serial.index is None
        assert by_serial.protocol == orv.Protocol.UVVIS_ORV


def test_close_twice_and_use_after_close(sim: Simulator) -> None:
    sim.load(scenario(uv()))
    spectrometer = orv.Spectrometer(serial=UV_SERIAL)
    assert not spectrometer.closed and sim.open_handles() == 1
    spectrometer.close()
    spectrometer.close()
    assert spectrometer.closed and sim.open_handles() == 0
    assert "closed" in repr(spectrometer)
    for use in (lambda: spectrometer.intensities(), lambda: spectrometer.temperature_c,
                lambda: spectrometer.select_range(400, 500), lambda: spectrometer.reset(),
                lambda: setattr(spectrometer, "integration_time_us", 1000)):
        with pytest.raises(orv.NotOpenError, match=f"{UV_SERIAL} is closed"):
            use()
    # The bridge is free again.
    with orv.Spectrometer(serial=UV_SERIAL) as again:
        assert again.wavelength_count > 0


def test_context_manager_and_garbage_collection_close(sim: Simulator) -> None:
    sim.load(scenario(uv()))
    with pytest.raises(RuntimeError):
        with orv.Spectrometer(serial=UV_SERIAL) as spectrometer:
            raise RuntimeError("leaves the block")
    assert spectrometer.closed and sim.open_handles() == 0
    orv.Spectrometer(serial=UV_SERIAL)
    gc.collect()
    assert sim.open_handles() == 0


def test_a_bridge_opens_once(sim: Simulator) -> None:
    sim.load(scenario(uv()))
    with orv.Spectrometer(serial=UV_SERIAL):
        with pytest.raises(orv.OpenFailedError):
            orv.Spectrometer(serial=UV_SERIAL)


def test_protocol_preference_skips_detection(sim: Simulator) -> None:
    sim.load(scenario(nir()))
    try:
        orv.set_protocol_preference(orv.Protocol.UVVIS_ORV)
        with orv.Spectrometer(serial=NIR_SERIAL) as forced:
            assert forced.protocol == orv.Protocol.UVVIS_ORV
    finally:
        orv.set_protocol_preference(None)
    with orv.Spectrometer(serial=NIR_SERIAL) as detected:
        assert detected.protocol == orv.Protocol.NIR_LEGACY
    with pytest.raises(ValueError):
        orv.set_protocol_preference(orv.Protocol.UNKNOWN)
