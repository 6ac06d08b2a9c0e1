"""Fixtures of the OrvSpectrometer suite: a device server started in
file-database mode on 127.0.0.1 with the simulated D2XX provider, its
transcript, clients, and reference reads through liborv itself.

ORV_TANGO_SERVER names the server executable and ORV_LIBRARY the liborv of
the same build (the CTest sets both); the simulated provider sits beside them.
"""

from __future__ import annotations

import json
import os
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import Any, Callable, Dict, Iterator, List, Optional, Sequence

import pytest
import tango

SERVER = os.environ.get("ORV_TANGO_SERVER", "")
# Simulated time runs a hundred times faster than real time unless a test
# needs real durations.
FAST = 0.01
# How long a server may take to serve, and a state to be reached, on a loaded machine.
START_SECONDS = 60.0
STATE_SECONDS = 20.0


def uv(serial: str, **instrument: Any) -> Dict[str, Any]:
    return {"serial": serial, "description": "SIMULATED UV-VIS",
            "instrument": {"model": "SIM-UV2048", **instrument}}


def nir(serial: str, **instrument: Any) -> Dict[str, Any]:
    return {"serial": serial, "description": "SIMULATED NIR",
            "instrument": {"model": "SIM-NIR256", **instrument}}


def free_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return int(probe.getsockname()[1])


def wait_for(condition: Callable[[], bool], seconds: float = STATE_SECONDS,
             what: str = "condition") -> None:
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


class Server:
    """One OrvSpectrometer process serving the devices test/orv/<n>."""

    def __init__(self, folder: Path, bridges: Sequence[Dict[str, Any]],
                 devices: Dict[str, Dict[str, str]], time_scale: float = FAST) -> None:
        self.folder = folder
        self.scenario = folder / "scenario.json"
        self.scenario.write_text(json.dumps({"time_scale": time_scale, "bridges": list(bridges)}))
        self.transcript = folder / "transcript.txt"
        self.properties = folder / "devices.res"
        lines = ['OrvSpectrometer/test/DEVICE/OrvSpectrometer: ' +
                 ", ".join(f'"test/orv/{name}"' for name in devices)]
        for name, props in devices.items():
            lines += [f"test/orv/{name}->{key}: \"{value}\"" for key, value in props.items()]
        self.properties.write_text("\n".join(lines) + "\n")
        self.port = 0
        self.process: Optional[subprocess.Popen[str]] = None
        self.output: List[str] = []

    def start(self, environment: Optional[Dict[str, str]] = None) -> "Server":
        self.port = free_port()
        env = dict(os.environ, ORVSIM_SCENARIO=str(self.scenario),
                   ORVSIM_TRANSCRIPT=str(self.transcript), **(environment or {}))
        self.output = []
        self.process = subprocess.Popen(
            [SERVER, "test", "-ORBendPoint", f"giop:tcp:127.0.0.1:{self.port}",
             f"-file={self.properties}"], env=env, stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT, text=True)
        ready = threading.Event()

        def drain() -> None:
            assert self.process is not None and self.process.stdout is not None
            for line in self.process.stdout:
                self.output.append(line)
                if "Ready to accept request" in line:
                    ready.set()

        threading.Thread(target=drain, daemon=True).start()
        if not ready.wait(START_SECONDS):
            self.stop()
            raise AssertionError("the server did not start:\n" + "".join(self.output))
        return self

    def stop(self) -> None:
        if self.process is None:
            return
        # One SIGTERM: the server deletes its devices (their workers stop).
        self.process.terminate()
        try:
            status = self.process.wait(30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("the server did not stop on SIGTERM")
        self.process = None
        assert status == 0, f"the server ended with {status}:\n" + "".join(self.output)

    def restart(self) -> "Server":
        """Stops the server and starts it again with a new transcript; the
        properties file keeps the memorized values."""
        self.stop()
        self.transcript.unlink()
        return self.start()

    def device(self, name: str) -> tango.DeviceProxy:
        proxy = tango.DeviceProxy(f"tango://127.0.0.1:{self.port}/test/orv/{name}#dbase=no")
        proxy.set_timeout_millis(3000)
        return proxy

    def ready(self, name: str) -> tango.DeviceProxy:
        """A client of device test/orv/<name>, once the device is ON."""
        device = self.device(name)
        wait_state(device, tango.DevState.ON)
        return device

    def writes(self, bridge: int, register: int, address: int) -> List[bytes]:
        """The data of every UVVIS_ORV write request to a register, in order."""
        found = []
        if not self.transcript.exists():
            return found
        for line in self.transcript.read_text().splitlines():
            fields = line.split()
            if len(fields) < 3 or fields[1] != "FT_Write" or f"dev={bridge}" not in fields:
                continue
            data = bytes.fromhex(next(f[5:] for f in fields if f.startswith("data=")))
            if len(data) >= 32 and data[13] in (0xAD, 0x3D) and data[21] == register and \
                    int.from_bytes(data[22:25], "big") == address:
                found.append(data[28:-4])
        return found

    def opens(self, bridge: int) -> int:
        if not self.transcript.exists():
            return 0
        return sum(1 for line in self.transcript.read_text().splitlines()
                   if " FT_Open status=0 " in line and f"index={bridge} " in line + " ")


# Every subscription of a test, dropped before its servers stop: a client's
# event keep-alive thread that finds a subscribed server gone for 10 s
# reconnects and, in PyTango 9.3 without the database, may crash the client.
SUBSCRIPTIONS: List[Any] = []


def subscribe(device: tango.DeviceProxy, attribute: str, kind: Any, callback: Any) -> None:
    SUBSCRIPTIONS.append((device, device.subscribe_event(attribute, kind, callback)))


def wait_state(device: tango.DeviceProxy, state: tango.DevState,
               seconds: float = STATE_SECONDS) -> None:
    wait_for(lambda: device.state() == state, seconds, f"{device.name()} in {state}")


@pytest.fixture
def server(tmp_path: Path) -> Iterator[Callable[..., Server]]:
    """Starts servers; every one still running is stopped (and must stop
    cleanly) at the end of the test."""
    if not SERVER:
        pytest.skip("ORV_TANGO_SERVER is not set")
    started: List[Server] = []

    def make(bridges: Sequence[Dict[str, Any]], devices: Dict[str, Dict[str, str]],
             time_scale: float = FAST, environment: Optional[Dict[str, str]] = None) -> Server:
        folder = tmp_path / f"server{len(started)}"
        folder.mkdir()
        one = Server(folder, bridges, devices, time_scale)
        started.append(one)
        return one.start(environment)

    yield make
    while SUBSCRIPTIONS:
        device, subscription = SUBSCRIPTIONS.pop()
        try:
            device.unsubscribe_event(subscription)
        except tango.DevFailed:
            pass
    for one in started:
        one.stop()


REFERENCE = """
import json, sys
import orv
with orv.Spectrometer(serial=sys.argv[1]) as instrument:
    if int(sys.argv[2]):
        instrument.integration_time_us = int(sys.argv[2])
    info = instrument.info
    print(json.dumps({"model": info.model, "serial": info.serial_number,
                      "hardware": info.hardware_version, "protocol": info.protocol.name,
                      "wavelengths": instrument.wavelengths().tolist(),
                      "spectrum": instrument.intensities().tolist()}))
"""


def liborv_reads(scenario: Path, serial: str, integration_us: int = 0) -> Dict[str, Any]:
    """What liborv alone reads from a fresh copy of the simulated instrument:
    identity, wavelengths and the first spectrum."""
    env = dict(os.environ, ORVSIM_SCENARIO=str(scenario))
    env.pop("ORVSIM_TRANSCRIPT", None)
    done = subprocess.run([sys.executable, "-c", REFERENCE, serial, str(integration_us)],
                          env=env, capture_output=True, text=True, timeout=120, check=True)
    result: Dict[str, Any] = json.loads(done.stdout)
    return result
