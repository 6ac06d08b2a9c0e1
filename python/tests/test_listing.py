"""list_devices reads the D2XX list of the provider liborv drives."""

from __future__ import annotations

import pytest

import orv
from conftest import ProcessWide, Simulator, foreign, nir, scenario, uv


def test_the_list_is_the_scenario_and_what_liborv_sees(sim: Simulator,
                                                      process_wide: ProcessWide) -> None:
    sim.load(scenario(uv(), foreign(), nir(), {"serial": "OTHER1", "description": "SIMULATED",
                                               "vendor": "1234", "product": "5678"}))
    devices = orv.list_devices()
    assert [(d.index, d.chip_serial, d.description) for d in devices] == [
        (0, "ORVSIM01", "SIMULATED SIM-UV2048"), (1, "CABLE01", "SIMULATED Serial Cable"),
        (2, "ORVSIM03", "SIMULATED SIM-NIR256"), (3, "OTHER1", "SIMULATED")]
    assert [d.usb_id for d in devices] == [0x04036001, 0x04036015, 0x04036001, 0x12345678]
    assert [d.is_instrument for d in devices] == [True, False, True, False]
    assert (devices[3].vendor_id, devices[3].product_id) == (0x1234, 0x5678)
    assert str(devices[1]) == "[1] CABLE01 SIMULATED Serial Cable (0403:6015)"
    assert [process_wide.chip_serial(d.index) for d in devices] == [
        d.chip_serial for d in devices]


def test_full_width_texts_and_bytes_that_are_not_utf8(sim: Simulator) -> None:
    sim.load(scenario({"serial": "S" * 15, "description_hex": "41 FF 42" + " 43" * 60}))
    (device,) = orv.list_devices()
    assert device.chip_serial == "S" * 15
    assert device.description == "A\ufffdB" + "C" * 60


def test_the_list_stops_where_liborv_stops(sim: Simulator) -> None:
    sim.load(scenario(uv(), dict(foreign("CABLE"), repeat=70)))
    devices = orv.list_devices()
    assert len(devices) == 64
    assert devices[-1].chip_serial == "CABLE63"


def test_a_list_the_driver_cannot_build(sim: Simulator) -> None:
    sim.load(scenario(uv(), list={"create_status": 18}))
    with pytest.raises(orv.DeviceNotFoundError, match="libftd2xx.so cannot list its devices"):
        orv.list_devices()
    sim.load(scenario(uv(), list={"get_status": 4}))
    with pytest.raises(orv.DeviceNotFoundError, match="cannot list"):
        orv.list_devices()


def test_an_empty_list(sim: Simulator) -> None:
    sim.load(scenario())
    assert orv.list_devices() == []
    with pytest.raises(orv.DeviceNotFoundError, match="empty"):
        orv.Spectrometer()
