"""OrvSpectrometer through a real Tango client, against simulated instruments.

Each process has simulated instruments of its own: the reference reads of
liborv (conftest.liborv_reads) see fresh copies of the server's instruments.
"""

from __future__ import annotations

import threading
import time
from typing import List

import pytest
import tango

from conftest import liborv_reads, nir, subscribe, uv, wait_for, wait_state

UV, NIR = "ORVSIM01", "ORVSIM03"
INTEGRATION = (0xC1, 0x00)  # register and address of the integration time


class Counters:
    """Data-ready events of a device: the counters they carried."""

    def __init__(self, device: tango.DeviceProxy) -> None:
        self.values: List[int] = []
        self.lock = threading.Lock()
        subscribe(device, "spectrum", tango.EventType.DATA_READY_EVENT, self)

    def push_event(self, event: tango.DataReadyEventData) -> None:
        with self.lock:
            if not event.err:
                self.values.append(event.ctr)

    def snapshot(self) -> List[int]:
        with self.lock:
            return list(self.values)


def refused(write) -> str:
    with pytest.raises(tango.DevFailed) as failure:
        write()
    return str(failure.value.args[0].desc)


def test_identity_and_wavelengths_equal_liborv(server):
    running = server([uv(UV), nir(NIR)], {"1": {"SerialNumber": UV}, "2": {"SerialNumber": NIR}})
    for serial, name in ((UV, "1"), (NIR, "2")):
        device = running.device(name)
        wait_state(device, tango.DevState.ON)
        reference = liborv_reads(running.scenario, serial)
        assert device.model == reference["model"]
        assert device.serialNumber == reference["serial"]
        assert device.hardwareVersion == reference["hardware"]
        assert device.protocol == reference["protocol"]
        assert list(device.wavelengths) == pytest.approx(reference["wavelengths"])


def test_instrument_found_by_its_own_serial(server):
    own_serial = liborv_reads(server([uv(UV)], {}).scenario, UV)["serial"]
    running = server([nir(NIR), uv(UV)], {"1": {"SerialNumber": own_serial}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    assert device.protocol == "UVVIS_ORV"


def test_writes_reach_the_instrument_and_refused_writes_do_not(server):
    running = server([uv(UV), nir(NIR)], {"1": {"SerialNumber": UV}, "2": {"SerialNumber": NIR}})
    device, nir_device = running.device("1"), running.device("2")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 12.5
    device.averages = 3
    device.dacVoltage = 4095
    wait_for(lambda: running.writes(0, *INTEGRATION)[-1:] == [(12500).to_bytes(4, "big")],
             what="the integration time written to the instrument")
    assert device.integrationTime == 12.5
    assert device.averages == 3
    assert device.dacVoltage == 4095

    before = running.writes(0, *INTEGRATION)
    assert "minimum 0.001 ms" in refused(lambda: device.write_attribute("integrationTime", 0.0))
    assert "maximum 100000 ms" in refused(
        lambda: device.write_attribute("integrationTime", 100000.5))
    assert "minimum 1" in refused(lambda: device.write_attribute("averages", 0))
    assert "maximum 255" in refused(lambda: device.write_attribute("averages", 256))
    assert "maximum 4095" in refused(lambda: device.write_attribute("dacVoltage", 4096))
    wait_state(nir_device, tango.DevState.ON)
    assert "NIR_LEGACY" in refused(lambda: nir_device.write_attribute("xenonMode", 1))
    device.Acquire()  # the worker applies pending set points before acquiring
    wait_state(device, tango.DevState.ON)
    assert running.writes(0, *INTEGRATION) == before
    assert device.integrationTime == 12.5 and device.averages == 3


def test_acquire_gives_exactly_one_spectrum_equal_to_liborv(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 20.0
    counters = Counters(device)
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    wait_for(lambda: counters.snapshot() == [1], what="one data-ready event")
    time.sleep(0.3)
    assert counters.snapshot() == [1]
    assert device.acquisitionCounter == 1
    reference = liborv_reads(running.scenario, UV, integration_us=20000)
    assert list(device.spectrum) == reference["spectrum"]


def test_acquire_is_refused_while_running_and_in_fault(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}, "2": {"SerialNumber": "ABSENT"}},
                     time_scale=1.0)
    device, absent = running.device("1"), running.device("2")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 1000.0
    device.Acquire()
    assert device.state() == tango.DevState.RUNNING
    with pytest.raises(tango.DevFailed):
        device.Acquire()
    wait_state(absent, tango.DevState.FAULT)
    with pytest.raises(tango.DevFailed):
        absent.Acquire()


def test_start_delivers_events_with_a_gapless_counter(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 10.0
    states: List[tango.DevState] = []
    subscribe(device, "State", tango.EventType.CHANGE_EVENT,
              lambda e: states.append(e.attr_value.value) if not e.err else None)
    counters = Counters(device)
    device.Start()
    wait_for(lambda: len(counters.snapshot()) >= 50, what="50 spectra")
    device.Stop()
    wait_state(device, tango.DevState.ON)
    time.sleep(0.3)
    got = counters.snapshot()
    assert got == list(range(1, len(got) + 1))
    assert device.acquisitionCounter == got[-1]
    assert tango.DevState.RUNNING in states and states[-1] == tango.DevState.ON


@pytest.mark.parametrize("count", [2, 8])
def test_instruments_of_one_server_acquire_in_parallel(server, count):
    serials = [f"PAR{n:02d}" for n in range(count)]
    running = server([uv(serial) for serial in serials],
                     {str(n): {"SerialNumber": serial} for n, serial in enumerate(serials)},
                     time_scale=1.0)
    devices = [running.device(str(n)) for n in range(count)]
    for device in devices:
        wait_state(device, tango.DevState.ON, 60)
        device.integrationTime = 500.0
    for device in devices:
        device.Acquire()  # applies the set point, then acquires for 500 ms
    began = time.monotonic()
    for device in devices:
        wait_state(device, tango.DevState.ON)
    # One after the other they would take count x 500 ms.
    assert time.monotonic() - began < 0.5 * count * 0.75 + 0.3
    assert all(device.acquisitionCounter == 1 for device in devices)


def test_unplug_gives_fault_then_recovers_by_itself(server):
    # The third spectrum request loses the bridge until it is closed, as an
    # unplugged and replugged instrument does.
    unplug = {"kind": "read_error", "persistent": True, "register": "C6", "occurrence": 3}
    running = server([uv(UV, faults=[unplug])],
                     {"1": {"SerialNumber": UV, "ReconnectPeriod": "300"}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 7.0
    states: List[tango.DevState] = []
    subscribe(device, "State", tango.EventType.CHANGE_EVENT,
              lambda e: states.append(e.attr_value.value) if not e.err else None)
    device.Start()
    wait_state(device, tango.DevState.FAULT, 5)
    status = device.status()
    assert "reading a spectrum failed (ORV_ERR_" in status
    assert "reconnecting every 300 ms" in status
    wait_state(device, tango.DevState.ON, 10)
    assert running.opens(0) == 2
    # The set point was applied again to the reopened instrument.
    assert running.writes(0, *INTEGRATION)[-2:] == [(7000).to_bytes(4, "big")] * 2
    wait_for(lambda: tango.DevState.ON in states[states.index(tango.DevState.FAULT):],
             what="the state events FAULT then ON")
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    assert device.acquisitionCounter == 3


def test_without_reconnect_period_reset_leaves_fault(server):
    unplug = {"kind": "read_error", "persistent": True, "register": "C6", "occurrence": 1}
    running = server([uv(UV, faults=[unplug])],
                     {"1": {"SerialNumber": UV, "ReconnectPeriod": "0"}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.Acquire()
    wait_state(device, tango.DevState.FAULT)
    assert "Reset reconnects" in device.status()
    time.sleep(1.0)
    assert device.state() == tango.DevState.FAULT
    device.Reset()
    wait_state(device, tango.DevState.ON)
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    assert device.acquisitionCounter == 1


def test_fault_states_say_why(server, tmp_path):
    busy = dict(uv("BUSY01"), open_status=3)
    running = server([uv(UV), busy], {
        "wrong": {"SerialNumber": "NOSUCH1"},
        "busy": {"SerialNumber": "BUSY01"},
        "provider": {"SerialNumber": UV, "Provider": str(tmp_path / "missing" / "libftd2xx.so")},
        "several": {},
        "period": {"SerialNumber": UV, "ReconnectPeriod": "-5"},
    })
    expected = {
        "wrong": "no instrument with serial NOSUCH1 among the attached bridges (ORVSIM01, BUSY01)",
        "busy": "bridge BUSY01 cannot be opened (ORV_ERR_OPEN_FAILED)",
        "provider": "missing/libftd2xx.so cannot be read: No such file or directory",
        "several": "2 bridges attached (ORVSIM01, BUSY01): set the property SerialNumber",
        "period": "ReconnectPeriod -5 ms is outside 0 to 3600000 ms",
    }
    for name, text in expected.items():
        device = running.device(name)
        wait_state(device, tango.DevState.FAULT)
        assert text in device.status(), device.status()
        assert f"test/orv/{name}" in device.status()


def test_no_provider_at_all_is_a_fault(server, tmp_path):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}},
                     environment={"ORV_D2XX_LIBRARY": str(tmp_path / "none.so")})
    device = running.device("1")
    wait_state(device, tango.DevState.FAULT)
    # liborv's own reason: the provider named and why it did not load.
    assert "the D2XX device list cannot be read: no D2XX provider" in device.status()
    assert str(tmp_path / "none.so") in device.status(), device.status()


def test_reads_are_answered_during_a_long_integration(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}}, time_scale=1.0)
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 5000.0
    device.Acquire()
    began, delays = time.monotonic(), []
    while time.monotonic() - began < 4.0:
        for read in (device.state, lambda: device.temperature, lambda: device.integrationTime,
                     lambda: device.acquisitionCounter):
            asked = time.monotonic()
            read()
            delays.append(time.monotonic() - asked)
    assert device.state() == tango.DevState.RUNNING
    # Nearly every answer within 100 ms, none near the client timeout; the
    # few slower ones are the scheduler of a loaded machine, not the server.
    delays.sort()
    assert delays[int(len(delays) * 0.95)] < 0.1, delays[-10:]
    assert delays[-1] < 1.0
    wait_state(device, tango.DevState.ON)


def test_memorized_integration_time_survives_a_restart(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 33.0
    running.stop()
    running.transcript.unlink()
    running.start()
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    assert device.integrationTime == 33.0
    wait_for(lambda: running.writes(0, *INTEGRATION) == [(33000).to_bytes(4, "big")],
             what="the memorized integration time written to the instrument")


def test_a_set_point_the_instrument_refuses_is_dropped_not_a_fault(server):
    running = server([uv(UV, integration_range_us=[1000, 1000000])], {"1": {"SerialNumber": UV}})
    device = running.device("1")
    wait_state(device, tango.DevState.ON)
    device.integrationTime = 0.5
    wait_for(lambda: "integration time 500 refused" in device.status(),
             what="the refusal in the status")
    assert device.state() == tango.DevState.ON
    assert device.integrationTime == 10.0  # the instrument's own value again
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    assert device.acquisitionCounter == 1
