"""Fixtures of the orv package's tests: the simulated D2XX provider's control
interface, scenarios built from small pieces, and open instruments of both
protocols.

The tests run against liborv and the simulated provider of a build tree:
ORV_LIBRARY names the liborv (the CTest sets it), the provider beside it is
the one liborv drives; the tests reach its control interface through the file
liborv says it loaded.
"""

from __future__ import annotations

import ctypes
import json
import os
from pathlib import Path
from typing import Any, Dict, Iterator, Sequence

import pytest

import orv
from orv import _native

REPOSITORY = Path(__file__).resolve().parents[2]
HEADER = REPOSITORY / "liborv" / "include" / "orv.h"

UV_SERIAL = "ORVSIM01"
NIR_SERIAL = "ORVSIM03"
# A wavelength interval inside the range of each protocol's instrument, nm.
SELECTIONS = {orv.Protocol.UVVIS_ORV: (400.0, 420.5), orv.Protocol.NIR_LEGACY: (1000.0, 1040.5)}
# Simulated time runs a hundred times faster than real time.
FAST = 0.01


def bridge(serial: str, model: str = "SIM-UV2048", faults: Sequence[Dict[str, Any]] = (),
           **instrument: Any) -> Dict[str, Any]:
    """A bridge with an instrument of a built-in model, optionally with faults
    and instrument keys of docs/simulator.md."""
    return {"serial": serial, "description": f"SIMULATED {model}",
            "instrument": {"model": model, "faults": list(faults), **instrument}}


def uv(serial: str = UV_SERIAL, **keys: Any) -> Dict[str, Any]:
    return bridge(serial, "SIM-UV2048", **keys)


def nir(serial: str = NIR_SERIAL, **keys: Any) -> Dict[str, Any]:
    return bridge(serial, "SIM-NIR256", **keys)


def foreign(serial: str = "CABLE01") -> Dict[str, Any]:
    """A bridge with another USB id and nothing behind it."""
    return {"serial": serial, "description": "SIMULATED Serial Cable", "product": "6015"}


def scenario(*bridges: Dict[str, Any], time_scale: float = FAST, **top: Any) -> Dict[str, Any]:
    return {"time_scale": time_scale, "bridges": list(bridges), **top}


class Simulator:
    """The simulated provider's control interface (orvsim.h)."""

    def __init__(self, provider: Any) -> None:
        self._provider = provider
        provider.orvsim_load_scenario_json.argtypes = [ctypes.c_char_p]
        provider.orvsim_load_scenario_json.restype = ctypes.c_int
        provider.orvsim_last_error.restype = ctypes.c_char_p
        provider.orvsim_write_count.argtypes = [ctypes.c_int]
        provider.orvsim_write_count.restype = ctypes.c_int
        provider.orvsim_open_handle_count.restype = ctypes.c_int

    def load(self, description: Dict[str, Any]) -> None:
        """Replaces the scenario (closing every D2XX handle)."""
        if self._provider.orvsim_load_scenario_json(json.dumps(description).encode()) != 0:
            raise AssertionError(self._provider.orvsim_last_error().decode())

    def writes(self, bridge_index: int) -> int:
        """FT_Write calls that reached the bridge since the scenario was loaded."""
        return int(self._provider.orvsim_write_count(bridge_index))

    def open_handles(self) -> int:
        return int(self._provider.orvsim_open_handle_count())


@pytest.fixture(scope="session")
def sim() -> Simulator:
    if not os.environ.get("ORV_LIBRARY"):
        pytest.skip("ORV_LIBRARY does not name a built liborv")
    return Simulator(ctypes.CDLL(_native.provider_path()))


@pytest.fixture(scope="session")
def process_wide() -> "ProcessWide":
    return ProcessWide(_native.native())


class ProcessWide:
    """liborv's process-wide interface (the built-in device), through the
    same prototypes as the handle twins minus the handle."""

    def __init__(self, native: _native.Native) -> None:
        from orv import _prototypes

        self.library = native.library
        self.functions: Dict[str, Any] = {}
        for name, arguments in _prototypes.DEVICE_OPERATIONS.items():
            function = getattr(native.library, "orv_" + name)
            function.restype = ctypes.c_int
            function.argtypes = list(arguments)
            self.functions[name] = function
        native.library.orv_open_device.argtypes = [ctypes.c_int]
        native.library.orv_open_device.restype = ctypes.c_int
        native.library.orv_get_chip_serial_by_index.argtypes = [ctypes.c_int, ctypes.c_char_p,
                                                                ctypes.c_int]
        native.library.orv_get_chip_serial_by_index.restype = ctypes.c_int

    def call(self, operation: str, *arguments: Any) -> int:
        return int(self.functions[operation](*arguments))

    def open(self, index: int) -> None:
        assert self.library.orv_open_device(index) == 0

    def close(self) -> None:
        self.library.orv_close_device()

    def chip_serial(self, index: int) -> str:
        buffer = ctypes.create_string_buffer(32)
        code = self.library.orv_get_chip_serial_by_index(index, buffer, len(buffer))
        return buffer.value.decode() if code == 0 else f"error {code}"


@pytest.fixture(params=[orv.Protocol.UVVIS_ORV, orv.Protocol.NIR_LEGACY], ids=["uv", "nir"])
def protocol(request: Any) -> orv.Protocol:
    return request.param  # type: ignore[no-any-return]


@pytest.fixture
def instrument(sim: Simulator, protocol: orv.Protocol) -> Iterator[orv.Spectrometer]:
    """An open instrument of each protocol, from a scenario with one of each
    (UV-VIS at list position 0, NIR at 1)."""
    sim.load(scenario(uv(), nir()))
    serial = UV_SERIAL if protocol == orv.Protocol.UVVIS_ORV else NIR_SERIAL
    with orv.Spectrometer(serial=serial) as spectrometer:
        yield spectrometer
