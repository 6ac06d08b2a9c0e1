"""Every liborv result code becomes its exception: the codes agree with orv.h,
and faulty simulated instruments produce each one through the package."""

from __future__ import annotations

import ctypes
import re
from typing import Any, Callable, Dict, List, Tuple

import pytest

import orv
from conftest import HEADER, UV_SERIAL, Simulator, nir, scenario, uv
from orv import _native
from orv.errors import error_for_code


def header_result_codes() -> Dict[str, int]:
    text = HEADER.read_text(encoding="utf-8")
    return {name: int(value) for name, value in
            re.findall(r"#define (ORV_ERR_\w+) \((-\d+)\)", text)}


def test_every_result_code_of_orv_h_has_its_exception() -> None:
    codes = header_result_codes()
    assert len(codes) == 11
    native = _native.native()
    for name, code in codes.items():
        error = error_for_code(code, "orv_device_x", "", native.result_name)
        assert type(error) is not orv.OrvError, name
        assert (error.code, error.name, error.function) == (code, name, "orv_device_x")
        assert type(error).code == code
        assert name in str(error)
    assert isinstance(error_for_code(codes["ORV_ERR_TIMEOUT"], None), TimeoutError)
    assert isinstance(error_for_code(codes["ORV_ERR_INVALID_PARAM"], None), ValueError)


def test_an_unknown_code_is_the_base_class() -> None:
    error = error_for_code(-99, "orv_device_x", "", _native.native().result_name)
    assert type(error) is orv.OrvError
    assert (error.code, error.name) == (-99, "unknown")


def uv_fault(kind: str, **match: Any) -> Dict[str, Any]:
    return scenario(uv(faults=[{"kind": kind, **match}]))


def nir_fault(kind: str, **match: Any) -> Dict[str, Any]:
    return scenario(nir(UV_SERIAL, faults=[{"kind": kind, **match}]))


TEMPERATURE = {"register": "C1", "address": "40"}
LEVEL = {"register": "C1", "address": "11"}


def temperature(s: orv.Spectrometer) -> Any:
    return s.temperature_c


# Scenario (its instrument at list position 0, chip serial UV_SERIAL), the call,
# the exception.
FAULTS: List[Tuple[str, Dict[str, Any], Callable[[orv.Spectrometer], Any], type]] = [
    ("uv no answer", uv_fault("no_answer", **TEMPERATURE), temperature, orv.DeviceTimeoutError),
    ("uv device timeout", uv_fault("reply_code", code="E0", **TEMPERATURE), temperature,
     orv.DeviceTimeoutError),
    ("uv bad crc", uv_fault("bad_crc", **TEMPERATURE), temperature, orv.CrcMismatchError),
    ("uv device crc error", uv_fault("reply_code", code="E1", **TEMPERATURE), temperature,
     orv.CrcMismatchError),
    ("uv bad preamble", uv_fault("bad_preamble", **TEMPERATURE), temperature,
     orv.InvalidPacketError),
    ("uv short data", uv_fault("short_data", bytes=0, **TEMPERATURE), temperature,
     orv.TransportError),
    ("uv read error", uv_fault("read_error", **TEMPERATURE), temperature, orv.TransportError),
    ("uv write protected", uv_fault("reply_code", code="E3", access="write", **LEVEL),
     lambda s: setattr(s, "level_output", 1), orv.WriteProtectedError),
    ("uv value refused", scenario(uv(integration_range_us=[10, 1000])),
     lambda s: setattr(s, "integration_time_us", 5000), orv.TransportError),
    ("uv range outside", scenario(uv()), lambda s: s.select_range(10, 20),
     orv.InvalidParamError),
    ("uv flash block too long", scenario(uv()), lambda s: s.flash_write(0, bytes(2017)),
     orv.InvalidParamError),
    ("nir no answer", nir_fault("no_answer", command="74"), temperature, orv.DeviceTimeoutError),
    ("nir nak", nir_fault("nak", command="74"), temperature, orv.TransportError),
    ("nir bad crc", nir_fault("bad_crc", command="74"), temperature, orv.CrcMismatchError),
    ("nir unsupported", scenario(nir(UV_SERIAL)), lambda s: s.xenon_mode,
     orv.UnsupportedError),
]


@pytest.mark.parametrize("description, call, expected", [f[1:] for f in FAULTS],
                         ids=[f[0] for f in FAULTS])
def test_faults_raise_the_exception_of_their_result_code(
        sim: Simulator, description: Dict[str, Any], call: Callable[[orv.Spectrometer], Any],
        expected: type) -> None:
    sim.load(description)
    with orv.Spectrometer(serial=UV_SERIAL) as spectrometer:
        with pytest.raises(expected) as raised:
            call(spectrometer)
        assert raised.value.code == expected.code
        assert raised.value.function.startswith("orv_device_")
        assert UV_SERIAL in str(raised.value)
        # The instrument still answers after the failure.
        assert spectrometer.wavelength_count > 0


def test_open_failures(sim: Simulator) -> None:
    sim.load(scenario(uv(), {"serial": "BROKEN1", "description": "SIMULATED", "open_status": 3}))
    with pytest.raises(orv.OpenFailedError) as raised:
        orv.Spectrometer(serial="BROKEN1")
    assert raised.value.function == "orv_device_open_by_chip_serial"
    with pytest.raises(orv.OpenFailedError):
        orv.Spectrometer(index=1)
    with pytest.raises(orv.DeviceNotFoundError, match="NOSUCH"):
        orv.Spectrometer(serial="NOSUCH")
    assert sim.open_handles() == 0


def test_codes_liborv_returns_only_for_misuse(sim: Simulator) -> None:
    # A NULL handle and a selection read without a selection cannot be made
    # through Spectrometer; the codes liborv returns for them still map.
    native = _native.native()
    value = ctypes.c_float()
    code = native.device_function("get_temperature")(None, ctypes.byref(value))
    assert isinstance(error_for_code(code, None, "", native.result_name), orv.NotOpenError)
    sim.load(scenario(uv()))
    with orv.Spectrometer(serial=UV_SERIAL) as spectrometer:
        samples = (ctypes.c_uint16 * 4)()
        with pytest.raises(orv.GenericError):
            spectrometer._call("get_selected_spectrum_data", samples, 4)

