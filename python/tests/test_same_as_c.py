"""What the package reads equals what liborv's process-wide C interface reads
from the same instrument of the same scenario, on both protocols, errors
included (an operation of the other protocol fails with the same code)."""

from __future__ import annotations

import ctypes
from ctypes import c_double, c_float, c_int32, c_uint8, c_uint16, c_uint32, c_uint64
from typing import Any, Callable, Dict, List, Tuple

import numpy as np

import orv
from conftest import (NIR_SERIAL, SELECTIONS, UV_SERIAL, ProcessWide, Simulator, nir, scenario,
                      uv)
from orv._prototypes import DeviceInfoRecord, WavelengthRangeRecord

# Python attribute, the liborv getter behind it, its output types.
SCALARS: List[Tuple[str, str, List[Any]]] = [
    ("protocol", "get_device_protocol", [c_int32]),
    ("capabilities", "get_capabilities", [c_uint32]),
    ("integration_time_us", "get_integration_time", [c_uint32]),
    ("average", "get_average_number", [c_uint8]),
    ("level_output", "get_level_output", [c_uint8]),
    ("xenon_mode", "get_xenon_mode", [c_uint8]),
    ("xenon_pulse", "get_xenon_pulse", [c_uint32, c_uint32]),
    ("usb_baud_rate", "get_usb_baud_rate", [c_uint16]),
    ("usb_status", "get_usb_status", [c_int32]),
    ("trigger_config", "get_external_trigger_config", [c_uint8, c_uint8, c_uint8]),
    ("capture_status", "get_spectrum_capture_status", [c_uint64]),
    ("dac_code", "get_dac_voltage", [c_uint16]),
    ("stored_integration_time_us", "get_stored_integration_time", [c_uint32]),
    ("stored_average", "get_stored_average_number", [c_uint8]),
    ("stored_smoothing_width", "get_stored_smoothing_width", [c_uint8]),
    ("temperature_c", "get_temperature", [c_float]),
    ("wavelength_count", "get_wavelength_count", [c_uint16]),
    ("wavelength_range_nm", "get_full_wavelength_range", [c_double, c_double]),
    ("flash_write_enabled", "get_flash_write_protect", [c_int32]),
]
FLASH_ADDRESS, FLASH_LENGTH = 0x100, 32
EXTERNAL_PARAMETER = 7


def plain(value: Any) -> Any:
    """A value as numbers, lists and strings, for comparing."""
    if isinstance(value, np.ndarray):
        return value.tolist()
    if isinstance(value, tuple):
        return tuple(plain(item) for item in value)
    if isinstance(value, bool):
        return int(value)
    if isinstance(value, int):
        return int(value)
    return value


def through_python(spectrometer: orv.Spectrometer) -> Dict[str, Any]:
    """Every reading, in a fixed order (the n-th spectrum of a scenario is the
    same every time, so both sides take their spectra in the same order)."""
    readings: Dict[str, Callable[[], Any]] = {
        name: (lambda name=name: getattr(spectrometer, name)) for name, _, _ in SCALARS
    }
    readings.update({
        "wavelengths": spectrometer.wavelengths,
        "intensities": spectrometer.intensities,
        "calibration": lambda: spectrometer.calibration,
        "info": lambda: spectrometer.info,
        "selected_range": lambda: spectrometer.select_range(*SELECTIONS[spectrometer.protocol]),
        "selected_wavelengths": spectrometer.selected_wavelengths,
        "selected_intensities": spectrometer.selected_intensities,
        "flash": lambda: spectrometer.flash_read(FLASH_ADDRESS, FLASH_LENGTH),
        "external": lambda: spectrometer.external_spectrum(EXTERNAL_PARAMETER),
    })
    results = {}
    for name, read in readings.items():
        try:
            value = read()
        except orv.OrvError as error:
            value = ("error", error.code)
        if isinstance(value, orv.DeviceInfo):
            value = (int(value.protocol), value.capabilities, value.model, value.serial_number,
                     value.hardware_version, value.detector_serial, value.slit_width)
        elif isinstance(value, orv.WavelengthRange):
            value = (value.requested_start_nm, value.requested_end_nm, value.first_wavelength_nm,
                     value.last_wavelength_nm, value.first_index, value.last_index, value.count)
        results[name] = plain(value)
    return results


def through_c(c: ProcessWide, pixels: int, protocol: orv.Protocol) -> Dict[str, Any]:
    """The same readings through the process-wide exports."""

    def outputs(operation: str, *types: Any) -> Any:
        values = [ctype() for ctype in types]
        code = c.call(operation, *(ctypes.byref(value) for value in values))
        if code < 0:
            return ("error", code)
        return values[0].value if len(values) == 1 else tuple(v.value for v in values)

    def array(operation: str, ctype: Any, count: int, *leading: Any) -> Any:
        buffer = (ctype * count)()
        code = c.call(operation, *leading, buffer, count)
        return ("error", code) if code < 0 else (list(buffer), code)

    def text(operation: str) -> Any:
        buffer = ctypes.create_string_buffer(64)
        code = c.call(operation, buffer, 64)
        return ("error", code) if code < 0 else buffer.value.decode()

    results: Dict[str, Any] = {name: outputs(op, *types) for name, op, types in SCALARS}
    results["wavelengths"] = array("get_full_wavelength_data", c_double, pixels)[0]
    results["intensities"] = array("get_full_spectrum_data", c_uint16, pixels)[0]
    coefficients = (c_double * 4)()
    code = c.call("get_calibration_coefficients", coefficients)
    results["calibration"] = tuple(coefficients) if code == 0 else ("error", code)
    record = DeviceInfoRecord()
    assert c.call("get_device_info", ctypes.byref(record)) == 0
    detector = text("get_detector_serial_number")
    slit = outputs("get_slit_width", c_uint8)
    unsupported = ("error", orv.UnsupportedError.code)
    results["info"] = (record.protocol, record.capabilities, record.model.decode(),
                       record.serial_number.decode(), record.hardware_version.decode(),
                       None if detector == unsupported else detector,
                       None if detector == unsupported else slit)
    assert c.call("set_selected_wavelength_range", *SELECTIONS[protocol]) == 0
    selected = WavelengthRangeRecord()
    assert c.call("get_selected_wavelength_range", ctypes.byref(selected)) == 0
    results["selected_range"] = (selected.requested_start, selected.requested_end,
                                 selected.first_wavelength, selected.last_wavelength,
                                 selected.first_index, selected.last_index, selected.count)
    results["selected_wavelengths"] = array("get_selected_wavelength_data", c_double,
                                            selected.count)[0]
    results["selected_intensities"] = array("get_selected_spectrum_data", c_uint16,
                                            selected.count)[0]
    flash = array("flash_read", c_uint8, FLASH_LENGTH, FLASH_ADDRESS)
    results["flash"] = flash if flash[0] == "error" else bytes(flash[0][:flash[1]])
    external = array("external_spectrum_control", c_uint16, pixels, EXTERNAL_PARAMETER)
    results["external"] = external if external[0] == "error" else external[0][:external[1] // 2]
    return {name: plain(value) for name, value in results.items()}


def test_every_reading_equals_the_c_interface(sim: Simulator, process_wide: ProcessWide,
                                              protocol: orv.Protocol) -> None:
    description = scenario(uv(), nir())
    serial, index = (UV_SERIAL, 0) if protocol == orv.Protocol.UVVIS_ORV else (NIR_SERIAL, 1)

    sim.load(description)
    with orv.Spectrometer(serial=serial) as spectrometer:
        pixels = spectrometer.wavelength_count
        from_python = through_python(spectrometer)

    sim.load(description)
    process_wide.open(index)
    try:
        from_c = through_c(process_wide, pixels, protocol)
    finally:
        process_wide.close()

    assert from_python.keys() == from_c.keys()
    for name in from_python:
        assert from_python[name] == from_c[name], name
    # The comparison means something: the protocol's own readings worked.
    assert len(from_python["intensities"]) == pixels
    assert from_python["selected_range"][6] == len(from_python["selected_intensities"]) > 0
    if protocol == orv.Protocol.NIR_LEGACY:
        assert from_python["xenon_mode"] == ("error", orv.UnsupportedError.code)
    else:
        assert len(from_python["external"]) == pixels
