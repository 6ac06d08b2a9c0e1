"""The client half of scripts/tango-deploy-check.sh: finds an OrvSpectrometer
device through the Tango database (TANGO_HOST), waits for it to be ON, checks
that the database knows it as exported by its server, subscribes to the
data-ready event of `spectrum`, acquires one spectrum and reads `spectrum`,
`model` and `State`. Runs under Debian's /usr/bin/python3 (python3-tango).
Prints one line on success; exits non-zero with the reason otherwise.

    TANGO_HOST=localhost:10000 /usr/bin/python3 scripts/tango_deploy_client.py \
        DEVICE SERVER MODEL PIXELS
"""

from __future__ import annotations

import sys
import threading
import time
from typing import Any, Callable, List

import tango

# A loaded machine may take a while for the first connection and state.
STATE_SECONDS = 30.0
EVENT_SECONDS = 30.0


def wait_for(condition: Callable[[], bool], seconds: float, what: str) -> None:
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise SystemExit(f"tango-deploy-client: timed out after {seconds:.0f} s waiting for {what}")
        time.sleep(0.05)


def main(argv: List[str]) -> int:
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    name, server, model, pixels = argv[1], argv[2], argv[3], int(argv[4])

    database = tango.Database()
    exported = database.get_device_exported_for_class("OrvSpectrometer")
    if name not in [str(entry) for entry in exported]:
        raise SystemExit(f"tango-deploy-client: the database lists no exported {name} (it has {list(exported)})")
    info = database.get_device_info(name)
    if info.ds_full_name != server:
        raise SystemExit(f"tango-deploy-client: {name} belongs to {info.ds_full_name}, not {server}")

    device = tango.DeviceProxy(name)
    wait_for(lambda: bool(device.state() == tango.DevState.ON), STATE_SECONDS,
             f"{name} to be ON (status: {device.status().strip()})")
    if device.model != model:
        raise SystemExit(f"tango-deploy-client: model {device.model!r}, expected {model!r}")

    counters: List[int] = []
    arrived = threading.Event()

    def spectrum_ready(event: Any) -> None:
        if not event.err:
            counters.append(event.ctr)
            arrived.set()

    subscription = device.subscribe_event("spectrum", tango.EventType.DATA_READY_EVENT, spectrum_ready)
    try:
        before = device.acquisitionCounter
        device.Acquire()
        if not arrived.wait(EVENT_SECONDS):
            raise SystemExit(f"tango-deploy-client: no data-ready event on {name}/spectrum "
                             f"within {EVENT_SECONDS:.0f} s")
        wait_for(lambda: bool(device.state() == tango.DevState.ON), STATE_SECONDS, f"{name} to be ON after Acquire")
        spectrum = device.read_attribute("spectrum")
        state = device.read_attribute("State").value
    finally:
        device.unsubscribe_event(subscription)

    if counters[-1] != before + 1:
        raise SystemExit(f"tango-deploy-client: data-ready counter {counters[-1]}, expected {before + 1}")
    if spectrum.quality != tango.AttrQuality.ATTR_VALID or len(spectrum.value) != pixels:
        raise SystemExit(f"tango-deploy-client: spectrum of {len(spectrum.value)} values, quality "
                         f"{spectrum.quality}; expected {pixels} valid values")
    if state != tango.DevState.ON:
        raise SystemExit(f"tango-deploy-client: State {state}, expected ON")
    print(f"{name} ({model}, server {server}) found through the database: State {state}, "
          f"spectrum of {len(spectrum.value)} values, data-ready event {counters[-1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
