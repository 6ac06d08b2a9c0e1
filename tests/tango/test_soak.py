"""A thousand acquisitions with a subscribed client, then a clean stop.

In the sanitize preset (CTest `tango_soak_sanitized`) the server runs under
AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer: an error
aborts it and a leak (beyond tests/lsan.supp) makes its exit status non-zero,
which the fixture's stop checks. Without the database a subscription lives
about 10 s, so the run is kept well inside that: simulated time a hundred
times faster, 1 ms integration.
"""

from __future__ import annotations

import threading
import time
from typing import List

import tango

from conftest import STATE_SECONDS, subscribe, uv, wait_for, wait_state

ACQUISITIONS = 1000
PIXELS = 2048


def test_soak_a_thousand_acquisitions_with_a_subscribed_client(server) -> None:
    one = server([uv("ORVSOAK1")], {"1": {"SerialNumber": "ORVSOAK1"}})
    device = one.ready("1")
    device.integrationTime = 1.0
    lock = threading.Lock()
    counters: List[int] = []
    bad: List[str] = []
    changes = [0]

    def ready(event: tango.DataReadyEventData) -> None:
        with lock:
            if event.err:
                bad.append(str(event.errors))
            else:
                counters.append(event.ctr)

    def changed(event: tango.EventData) -> None:
        with lock:
            value = None if event.err or event.attr_value is None else event.attr_value.value
            if event.err:
                bad.append(str(event.errors))
            elif value is None:
                pass  # sent on subscription, before the first spectrum
            elif len(value) == PIXELS:
                changes[0] += 1
            else:
                bad.append(f"a change event with {len(value)} values")

    subscribe(device, "spectrum", tango.EventType.DATA_READY_EVENT, ready)
    subscribe(device, "spectrum", tango.EventType.CHANGE_EVENT, changed)
    first = int(device.acquisitionCounter)
    began = time.monotonic()
    device.Start()
    wait_for(lambda: device.acquisitionCounter >= first + ACQUISITIONS, 60.0,
             f"{ACQUISITIONS} acquisitions")
    device.Stop()
    wait_state(device, tango.DevState.ON, STATE_SECONDS)
    last = int(device.acquisitionCounter)
    wait_for(lambda: bool(counters) and counters[-1] == last, 10.0, "the last spectrum's event")
    seconds = time.monotonic() - began
    with lock:
        assert not bad, bad[:3]
        # Every spectrum of the run reached the client, in order.
        run = [c for c in counters if c > first]
        assert run == list(range(first + 1, last + 1)), \
            f"{len(run)} data-ready events for {last - first} spectra in {seconds:.1f} s"
        assert changes[0] >= last - first
