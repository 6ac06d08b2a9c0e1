"""What a Tango client gets from OrvSpectrometer: how many reads of the
`spectrum` attribute per second (idle, and during continuous acquisition at
10 ms), and the round trip of `Acquire` (the command sent until the
data-ready event of its spectrum arrives).

Starts the server without a database on 127.0.0.1 with the simulated
provider on its built-in default scenario (ORVSIM01, time scale 1), so the
instrument takes the time a real one would. Run with Debian's Python:

    /usr/bin/python3 bench/tango_bench.py [--server build/linux/bin/OrvSpectrometer]

Prints one line per figure; exit status 0, or 1 when the server does not
come up.
"""

from __future__ import annotations

import argparse
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from typing import List

import tango


def free_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return int(probe.getsockname()[1])


def summary(name: str, seconds: List[float]) -> str:
    ordered = sorted(seconds)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return (f"{name}: {len(ordered)} calls, median {statistics.median(ordered) * 1000:.2f} ms, "
            f"p99 {p99 * 1000:.2f} ms")


def read_rate(device: tango.DeviceProxy, seconds: float, name: str, pixels: int) -> None:
    latencies: List[float] = []
    began = time.monotonic()
    while time.monotonic() - began < seconds:
        asked = time.monotonic()
        reply = device.read_attribute("spectrum")
        latencies.append(time.monotonic() - asked)
        if len(reply.value) != pixels:
            raise RuntimeError(f"a read gave {len(reply.value)} values, not {pixels}")
    rate = len(latencies) / (time.monotonic() - began)
    print(f"{summary(name, latencies)}, {rate:.0f} reads/s", flush=True)


def acquire_round_trips(device: tango.DeviceProxy, count: int) -> None:
    arrived = threading.Event()

    def push(event: tango.DataReadyEventData) -> None:
        if not event.err:
            arrived.set()

    # Without the database a subscription lives about 10 s: keep this short.
    subscription = device.subscribe_event("spectrum", tango.EventType.DATA_READY_EVENT, push)
    arrived.clear()
    trips: List[float] = []
    for _ in range(count):
        while device.state() != tango.DevState.ON:
            time.sleep(0.001)
        arrived.clear()
        sent = time.monotonic()
        device.Acquire()
        if not arrived.wait(5.0):
            raise RuntimeError("no data-ready event within 5 s")
        trips.append(time.monotonic() - sent)
    device.unsubscribe_event(subscription)
    print(summary("Acquire to data-ready event, 10 ms integration", trips), flush=True)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--server", default="build/linux/bin/OrvSpectrometer")
    parser.add_argument("--seconds", type=float, default=5.0, help="per read-rate run")
    parser.add_argument("--acquires", type=int, default=200)
    options = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="tango_bench.")
    properties = os.path.join(folder, "devices.res")
    with open(properties, "w") as out:
        out.write('OrvSpectrometer/bench/DEVICE/OrvSpectrometer: "bench/orv/1"\n'
                  'bench/orv/1->SerialNumber: "ORVSIM01"\n')
    port = free_port()
    env = {k: v for k, v in os.environ.items() if not k.startswith("ORVSIM_")}
    server = subprocess.Popen([options.server, "bench", "-ORBendPoint",
                               f"giop:tcp:127.0.0.1:{port}", f"-file={properties}"],
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        assert server.stdout is not None
        for line in server.stdout:
            if "Ready to accept request" in line:
                break
        else:
            print("the server did not start", file=sys.stderr)
            return 1
        threading.Thread(target=server.stdout.read, daemon=True).start()
        device = tango.DeviceProxy(f"tango://127.0.0.1:{port}/bench/orv/1#dbase=no")
        deadline = time.monotonic() + 60
        while device.state() != tango.DevState.ON:
            if time.monotonic() > deadline:
                print("the device did not reach ON:", device.status(), file=sys.stderr)
                return 1
            time.sleep(0.05)
        device.integrationTime = 10.0
        device.Acquire()
        while device.state() != tango.DevState.ON:
            time.sleep(0.01)
        pixels = len(device.spectrum)
        print(f"spectrum: {pixels} pixels", flush=True)
        read_rate(device, options.seconds, "read spectrum, idle", pixels)
        device.Start()
        read_rate(device, options.seconds, "read spectrum, acquiring every 10 ms", pixels)
        device.Stop()
        acquire_round_trips(device, options.acquires)
        with open("/proc/loadavg") as load:
            print("load average:", " ".join(load.read().split()[:3]), flush=True)
    finally:
        server.terminate()
        server.wait(30)
    return 0


if __name__ == "__main__":
    sys.exit(main())
