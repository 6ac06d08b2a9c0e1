"""OrvSpectrometer against clients that misbehave: values out of range or of
the wrong type, commands in the wrong state, crowds of readers and
subscribers, connections that say nothing or nonsense, and clients killed
in the middle of their work. The server must stay up, keep answering the
others, and never run the instrument with half of a client's settings.
"""

from __future__ import annotations

import os
import signal
import socket
import subprocess
import sys
import textwrap
import time
from typing import List, Tuple

import pytest
import tango

from conftest import subscribe, uv, wait_for, wait_state

UV = "ORVSIM01"
INTEGRATION = (0xC1, 0x00)  # register and address of the integration time
AVERAGES = (0xC1, 0x10)


def refusal(write) -> str:
    with pytest.raises(tango.DevFailed) as failure:
        write()
    return " ".join(str(error.desc) for error in failure.value.args)


def listening(pid: int) -> List[Tuple[str, int]]:
    """The TCP sockets the process listens on: (address in /proc's hex, port)."""
    inodes = set()
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    found = []
    for table in ("tcp", "tcp6"):
        with open(f"/proc/{pid}/net/{table}") as rows:
            for row in rows.read().splitlines()[1:]:
                fields = row.split()
                if fields[3] == "0A" and fields[9] in inodes:
                    address, port = fields[1].split(":")
                    found.append((address, int(port, 16)))
    return found


def resident_kib(pid: int) -> int:
    with open(f"/proc/{pid}/status") as status:
        line = next(line for line in status if line.startswith("VmRSS:"))
    return int(line.split()[1])


# A client of its own process: reads the device in a loop and counts its
# data-ready events, then prints "reads events errors slowest-answer".
CLIENT = textwrap.dedent("""
    import sys, time, tango
    device = tango.DeviceProxy(sys.argv[1])
    device.set_timeout_millis(3000)
    events, errors, slowest = [], 0, 0.0
    def push(event):
        if not event.err:
            events.append(event.ctr)
    subscription = device.subscribe_event("spectrum", tango.EventType.DATA_READY_EVENT, push)
    print("subscribed", flush=True)
    reads, ends = 0, time.monotonic() + float(sys.argv[2])
    while time.monotonic() < ends:
        for name in ("spectrum", "State", "integrationTime", "acquisitionCounter"):
            asked = time.monotonic()
            try:
                device.read_attribute(name)
                reads += 1
            except tango.DevFailed:
                errors += 1
            slowest = max(slowest, time.monotonic() - asked)
    device.unsubscribe_event(subscription)
    print(reads, len(events), errors, slowest, int(events == sorted(events)), flush=True)
""")


def start_client(address: str, seconds: float) -> subprocess.Popen[str]:
    client = subprocess.Popen([sys.executable, "-c", CLIENT, address, str(seconds)],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert client.stdout is not None
    first = client.stdout.readline()
    if first.strip() != "subscribed":
        raise AssertionError(first + client.communicate(timeout=60)[0])
    return client


def test_refused_writes_change_nothing_on_the_instrument(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.ready("1")
    device.integrationTime = 20.0
    device.averages = 4
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    integration, averages = running.writes(0, *INTEGRATION), running.writes(0, *AVERAGES)

    # Not numbers, beyond the limits, beyond the type: refused with a reason.
    for value in (float("nan"), float("inf"), float("-inf")):
        assert "NaN or INF" in refusal(lambda: device.write_attribute("integrationTime", value))
    for value, limit in ((-1.0, "minimum 0.001 ms"), (0.0, "minimum 0.001 ms"),
                         (1e300, "maximum 100000 ms"), (4294967.296, "maximum 100000 ms")):
        assert limit in refusal(lambda: device.write_attribute("integrationTime", value))
    for value, limit in ((0, "minimum 1"), (256, "maximum 255"), (-1, "minimum 1"),
                         (2**31 - 1, "maximum 255")):
        assert limit in refusal(lambda: device.write_attribute("averages", value))
    assert "minimum 0" in refusal(lambda: device.write_attribute("levelOutput", -1))
    assert "maximum 4095" in refusal(lambda: device.write_attribute("dacVoltage", 65536))
    # Values of the wrong type stop in the client; read-only attributes in the server.
    with pytest.raises((TypeError, tango.DevFailed)):
        device.write_attribute("integrationTime", "10 ms")
    for name, value in (("temperature", 20.0), ("spectrum", [1.0, 2.0]),
                        ("acquisitionCounter", 0)):
        assert "not writable" in refusal(lambda: device.write_attribute(name, value))
    # One refused value of a multi-attribute write: none of it is applied.
    assert "averages" in refusal(
        lambda: device.write_attributes([("integrationTime", 5.0), ("averages", 0)]))

    device.Acquire()  # pending set points would be applied now
    wait_state(device, tango.DevState.ON)
    assert device.integrationTime == 20.0 and device.averages == 4
    assert running.writes(0, *INTEGRATION) == integration
    assert running.writes(0, *AVERAGES) == averages
    assert device.acquisitionCounter == 2

    # A refused value is not memorized either: a restart applies 20 ms.
    running.restart()
    device = running.ready("1")
    assert device.integrationTime == 20.0


def test_commands_in_the_wrong_state_are_refused_or_harmless(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}, "absent": {"SerialNumber": "GONE01"}})
    device, absent = running.device("1"), running.device("absent")
    wait_state(device, tango.DevState.ON)
    device.Stop()  # nothing to stop
    assert device.state() == tango.DevState.ON

    wait_state(absent, tango.DevState.FAULT)
    for command in ("Acquire", "Start"):
        assert "not allowed" in refusal(lambda: absent.command_inout(command))
    absent.Stop()
    absent.Reset()  # tries again at once; the instrument is still absent
    wait_state(absent, tango.DevState.FAULT)
    assert "GONE01" in absent.status()

    device.integrationTime = 10.0
    device.Start()
    device.Start()  # already running: harmless
    assert "not allowed" in refusal(device.Acquire)
    device.Reset()  # in the middle of continuous acquisition
    wait_state(device, tango.DevState.ON)
    device.Start()
    # Init right after Start may meet the worker pushing the RUNNING state,
    # which waits for the device's monitor Init holds: Init then takes up to
    # the monitor's 3.2 s timeout (docs/tango.md, known behaviour).
    device.set_timeout_millis(10000)
    device.Init()  # the device starts over: a new worker, the set point kept
    device.set_timeout_millis(3000)
    wait_state(device, tango.DevState.ON)
    assert device.integrationTime == 10.0
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    assert device.acquisitionCounter == 1
    assert running.process is not None and running.process.poll() is None


def test_a_crowd_of_clients_reads_and_subscribes_while_acquiring(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.ready("1")
    device.integrationTime = 10.0
    device.Start()
    address = f"tango://127.0.0.1:{running.port}/test/orv/1#dbase=no"
    clients = [start_client(address, 4.0) for _ in range(8)]
    results = []
    for client in clients:
        output, _ = client.communicate(timeout=120)
        assert client.returncode == 0, output
        results.append(output.split())
    device.Stop()
    wait_state(device, tango.DevState.ON)
    for reads, events, errors, slowest, ordered in results:
        assert int(errors) == 0
        assert int(reads) > 20 and int(events) > 5
        assert int(ordered) == 1  # each client's counters only go up
        assert float(slowest) < 2.0  # never near the 3 s client timeout
    # Every spectrum of the crowd's time, none lost to the crowd.
    assert device.acquisitionCounter >= max(int(r[1]) for r in results)


def test_idle_and_garbage_connections_do_not_starve_the_others(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.ready("1")
    assert running.process is not None
    pid = running.process.pid
    # A subscription opens the event ports too; all of them face loopback only.
    counters: List[int] = []
    subscribe(device, "spectrum", tango.EventType.DATA_READY_EVENT,
              lambda event: counters.append(event.ctr) if not event.err else None)
    ports = listening(pid)
    assert ports and all(address == "0100007F" for address, _ in ports), ports
    before = resident_kib(pid)

    crowd: List[socket.socket] = []
    for _, port in ports:
        for n in range(40):
            one = socket.create_connection(("127.0.0.1", port), timeout=5)
            if n % 4 == 1:
                one.sendall(os.urandom(512))
            elif n % 4 == 2:  # a message header announcing 2 GiB, then silence
                one.sendall(b"GIOP\x01\x02\x01\x00" + (0x7FFFFFFF).to_bytes(4, "little"))
            elif n % 4 == 3:
                one.sendall(b"GIOP")  # half a header
            crowd.append(one)
    try:
        device.integrationTime = 10.0
        asked = time.monotonic()
        assert device.state() == tango.DevState.ON
        assert time.monotonic() - asked < 1.0
        device.Acquire()
        wait_state(device, tango.DevState.ON)
        wait_for(lambda: counters[-1:] == [1], what="the data-ready event of the acquisition")
        assert len(device.spectrum) == len(device.wavelengths)
        # Nothing was allocated for what the announced messages would hold.
        assert resident_kib(pid) < before + 64 * 1024
        # Another client, of a process of its own, is served in the crowd.
        address = f"tango://127.0.0.1:{running.port}/test/orv/1#dbase=no"
        output, _ = start_client(address, 1.0).communicate(timeout=60)
        assert output.split()[2] == "0", output
    finally:
        for one in crowd:
            one.close()
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    assert device.acquisitionCounter == 2


def test_a_client_killed_mid_work_leaves_the_others_and_the_instrument_sound(server):
    running = server([uv(UV)], {"1": {"SerialNumber": UV}})
    device = running.ready("1")
    device.integrationTime = 10.0
    address = f"tango://127.0.0.1:{running.port}/test/orv/1#dbase=no"
    counters: List[int] = []
    subscribe(device, "spectrum", tango.EventType.DATA_READY_EVENT,
              lambda event: counters.append(event.ctr) if not event.err else None)
    device.Start()
    # A subscribed reader killed in the middle of its reads of the spectrum.
    reader = start_client(address, 30.0)
    time.sleep(1.0)
    reader.send_signal(signal.SIGKILL)
    reader.communicate(timeout=30)
    # A writer killed in the middle of a storm of writes of two settings.
    storm = textwrap.dedent("""
        import sys, tango
        device = tango.DeviceProxy(sys.argv[1])
        print("writing", flush=True)
        n = 0
        while True:
            n += 1
            device.write_attributes([("integrationTime", 10.0 + n / 1000),
                                     ("averages", 1 + n % 200)])
    """)
    writer = subprocess.Popen([sys.executable, "-c", storm, address], stdout=subprocess.PIPE,
                              text=True)
    assert writer.stdout is not None and writer.stdout.readline().strip() == "writing"
    time.sleep(1.0)
    writer.send_signal(signal.SIGKILL)
    writer.communicate(timeout=30)

    seen = len(counters)
    wait_for(lambda: len(counters) > seen + 20, what="events after the kills")
    assert device.state() == tango.DevState.RUNNING
    device.Stop()
    wait_state(device, tango.DevState.ON)
    time.sleep(0.3)
    assert counters == list(range(counters[0], counters[0] + len(counters)))
    # The instrument runs with the settings the device reports, and both are
    # of the same write (the n-th write gives 10000 + n us and 1 + n % 200).
    device.Acquire()
    wait_state(device, tango.DevState.ON)
    integration_us = round(device.integrationTime * 1000)
    assert int.from_bytes(running.writes(0, *INTEGRATION)[-1], "big") == integration_us
    assert running.writes(0, *AVERAGES)[-1][-1] == device.averages
    assert device.averages == 1 + (integration_us - 10000) % 200

