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

With --database (as root, with MariaDB and DataBaseds answering on
TANGO_HOST, default localhost:10000, started as
scripts/tango-deploy-check.sh starts them) it measures continuous
acquisition instead: for 1 and for 8 simulated 2048-pixel instruments in one
server registered in the database (events live as long as the client wants
there), each acquiring every 10 ms of integration in real time, the spectra
per second a client subscribed to the change event of `spectrum` receives
against what liborv alone reads from the same instruments
(orv_parallel_reads), the latency from each spectrum's time stamp (its end)
to the client's callback, the server's CPU per instrument and its resident
memory over up to --events events. What it registers it deletes again, and
it checks that the database's tables hold as many rows as before:

    /usr/bin/python3 bench/tango_bench.py --database [--server ...]

Exit status 0 when every target is met, 1 when one is missed, 2 when the
measurement cannot run.
"""

from __future__ import annotations

import argparse
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from typing import Dict, List, Tuple

import tango

import tango_figures


def free_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return int(probe.getsockname()[1])


def summary(name: str, seconds: List[float]) -> str:
    p99 = tango_figures.percentile(seconds, 0.99)
    return (f"{name}: {len(seconds)} calls, median {statistics.median(seconds) * 1000:.2f} ms, "
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


def start_server(argv: List[str], env: Dict[str, str]) -> subprocess.Popen:
    """Starts the server and returns once it accepts requests (60 s at most);
    its output is read on, so that it never blocks on a full pipe."""
    server = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True)
    ready = threading.Event()
    output: List[str] = []

    def drain() -> None:
        assert server.stdout is not None
        for line in server.stdout:
            if len(output) < 200:
                output.append(line)
            if "Ready to accept request" in line:
                ready.set()

    threading.Thread(target=drain, daemon=True).start()
    deadline = time.monotonic() + 60
    while not ready.wait(0.2):
        if server.poll() is not None or time.monotonic() > deadline:
            stop_server(server)
            raise RuntimeError("the server did not start:\n" + "".join(output[-20:]))
    return server


def stop_server(server: subprocess.Popen) -> None:
    server.terminate()
    try:
        server.wait(30)
    except subprocess.TimeoutExpired:
        print("the server did not stop on TERM within 30 s; killing it", file=sys.stderr)
        server.kill()
        server.wait(10)


def wait_on(device: tango.DeviceProxy, seconds: float) -> None:
    deadline = time.monotonic() + seconds
    while device.state() != tango.DevState.ON:
        if time.monotonic() > deadline:
            raise RuntimeError(f"{device.dev_name()} did not reach ON: {device.status()}")
        time.sleep(0.05)


def print_load() -> None:
    with open("/proc/loadavg") as load:
        print("load average:", " ".join(load.read().split()[:3]), flush=True)


def without_database(options: argparse.Namespace) -> int:
    folder = tempfile.mkdtemp(prefix="tango_bench.")
    properties = os.path.join(folder, "devices.res")
    with open(properties, "w") as out:
        out.write('OrvSpectrometer/bench/DEVICE/OrvSpectrometer: "bench/orv/1"\n'
                  'bench/orv/1->SerialNumber: "ORVSIM01"\n')
    port = free_port()
    env = {k: v for k, v in os.environ.items() if not k.startswith("ORVSIM_")}
    try:
        server = start_server([options.server, "bench", "-ORBendPoint",
                               f"giop:tcp:127.0.0.1:{port}", f"-file={properties}"], env)
    except RuntimeError as error:
        print(error, file=sys.stderr)
        return 1
    try:
        device = tango.DeviceProxy(f"tango://127.0.0.1:{port}/bench/orv/1#dbase=no")
        wait_on(device, 60)
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
        print_load()
    except RuntimeError as error:
        print(error, file=sys.stderr)
        return 1
    finally:
        stop_server(server)
    return 0


# ------------------------------------------------------------ with the database

DB_INSTANCE = "benchdb"
DB_SERVER = f"OrvSpectrometer/{DB_INSTANCE}"
SERIAL = "TANGOBENCH"
PIXELS = 2048


def scenario(count: int) -> str:
    """`count` bridges of the simulator's 2048-pixel UVVIS_ORV model at its
    default link timing, in real time: the instruments orv_parallel_reads
    reads (bench/parallel_reads.cpp), serials TANGOBENCH01, 02, ..."""
    return json.dumps({"time_scale": 1.0, "bridges": [
        {"serial": SERIAL, "description": "SIMULATED", "repeat": count,
         "instrument": {"model": "SIM-UV2048"}}]})


def device_names(count: int) -> List[str]:
    return [f"bench/orvdb/{i}" for i in range(1, count + 1)]


def sql(query: str) -> str:
    return subprocess.run(["mysql", "--batch", "--skip-column-names", "tango", "-e", query],
                          check=True, capture_output=True, text=True, timeout=60).stdout


def row_counts() -> Dict[str, int]:
    """Rows of every table but the history-id counters (single rows whose
    value only grows)."""
    tables = [t for t in sql("show tables").split() if not t.endswith("_history_id")]
    return {t: int(sql(f"select count(*) from {t}")) for t in tables}


def register(database: tango.Database, devices: List[str], provider: str) -> None:
    entries = []
    for name in devices:
        info = tango.DbDevInfo()
        info.name, info._class, info.server = name, "OrvSpectrometer", DB_SERVER
        entries.append(info)
    database.add_server(DB_SERVER, entries, with_dserver=True)
    for number, name in enumerate(devices, start=1):
        database.put_device_property(name, {"Provider": [provider],
                                            "SerialNumber": [f"{SERIAL}{number:02d}"],
                                            "ReconnectPeriod": ["500"]})


def unregister(devices: List[str]) -> None:
    """As scripts/tango-deploy-check.sh does: the server, its devices and
    their properties, and the property history the devices left (the
    memorized integration time writes an attribute property)."""
    subprocess.run(["tango_admin", "--delete-server", DB_SERVER, "--with-properties"],
                   stdout=subprocess.DEVNULL, timeout=60, check=False)
    names = ", ".join(f"'{name}'" for name in devices)
    sql(f"delete from property_attribute_device where device in ({names}); "
        f"delete from property_device_hist where device in ({names}); "
        f"delete from property_attribute_device_hist where device in ({names});")


def read_proc(pid: int, name: str) -> str:
    with open(f"/proc/{pid}/{name}") as f:
        return f.read()


def stream(count: int, options: argparse.Namespace, env: Dict[str, str]) -> tango_figures.Stream:
    """One run of `count` instruments acquiring continuously, watched by one
    client subscribed to every device's change event of `spectrum`."""
    devices = device_names(count)
    database = tango.Database()
    provider = os.path.join(os.path.dirname(os.path.abspath(options.server)), "libftd2xx.so")
    try:
        register(database, devices, provider)
        server = start_server([options.server, DB_INSTANCE], env)
        try:
            return watch(server.pid, devices, options)
        finally:
            stop_server(server)
    finally:
        unregister(devices)


def watch(pid: int, devices: List[str], options: argparse.Namespace) -> tango_figures.Stream:
    proxies = [tango.DeviceProxy(name) for name in devices]
    for proxy in proxies:
        wait_on(proxy, 60)
        proxy.integrationTime = 10.0
    result = tango_figures.Stream(len(devices))
    result.window = (float("inf"), float("inf"))

    def arrived(event: tango.EventData) -> None:
        now = time.time()
        if now < result.window[0]:
            return  # the value sent on subscription, or the warm-up
        value = None if event.err or event.attr_value is None else event.attr_value.value
        if value is None or len(value) != PIXELS:
            result.errors += 1
            return
        result.events.append((now, event.attr_value.time.totime()))

    subscriptions = [(proxy, proxy.subscribe_event("spectrum", tango.EventType.CHANGE_EVENT, arrived))
                     for proxy in proxies]
    try:
        for proxy in proxies:
            proxy.Start()
        time.sleep(options.warmup)
        counted = sum(proxy.acquisitionCounter for proxy in proxies)
        ticks = tango_figures.cpu_ticks(read_proc(pid, "stat"))
        result.rss_kib.append(tango_figures.rss_kib(read_proc(pid, "status")))
        began = time.time()
        result.window = (began, float("inf"))
        while len(result.events) < options.events and time.time() - began < options.max_seconds:
            time.sleep(1.0)
            result.rss_kib.append(tango_figures.rss_kib(read_proc(pid, "status")))
        ended = time.time()
        result.cpu_seconds = ((tango_figures.cpu_ticks(read_proc(pid, "stat")) - ticks)
                              / os.sysconf("SC_CLK_TCK"))
        result.acquired = sum(proxy.acquisitionCounter for proxy in proxies) - counted
        result.window = (began, ended)
        for proxy in proxies:
            proxy.Stop()
    finally:
        for proxy, subscription in subscriptions:
            proxy.unsubscribe_event(subscription)
    return result


def liborv_alone(options: argparse.Namespace) -> Dict[int, Tuple[float, float]]:
    program = options.parallel_reads or os.path.join(os.path.dirname(options.server),
                                                     "orv_parallel_reads")
    argv = [program, "--seconds", str(options.liborv_seconds)] + [str(n) for n in options.counts]
    env = {k: v for k, v in os.environ.items() if not k.startswith("ORVSIM_")}
    run = subprocess.run(argv, env=env, capture_output=True, text=True,
                         timeout=60 + 4 * options.liborv_seconds * len(options.counts))
    print(run.stdout, end="", flush=True)
    rates = tango_figures.liborv_rates(run.stdout)
    missing = [n for n in options.counts if n not in rates]
    if missing:
        raise RuntimeError(f"{program} gave no rate for {missing} instrument(s): {run.stderr}")
    return rates


def with_database(options: argparse.Namespace) -> int:
    env = {k: v for k, v in os.environ.items() if not k.startswith("ORVSIM_")}
    env.setdefault("TANGO_HOST", "localhost:10000")
    os.environ["TANGO_HOST"] = env["TANGO_HOST"]
    try:
        tango.Database()
        before = row_counts()
        if DB_SERVER in list(tango.Database().get_server_list(DB_SERVER).value_string):
            raise RuntimeError(f"{DB_SERVER} is registered already (a run that did not clean up?): "
                               f"tango_admin --delete-server {DB_SERVER} --with-properties")
    except (tango.DevFailed, subprocess.CalledProcessError, OSError, RuntimeError) as error:
        print(f"no Tango database to measure with on {env['TANGO_HOST']} (start MariaDB and "
              f"DataBaseds as scripts/tango-deploy-check.sh does, as root): {error}", file=sys.stderr)
        return 2
    folder = tempfile.mkdtemp(prefix="tango_bench.")
    env["ORVSIM_SCENARIO"] = os.path.join(folder, "scenario.json")
    with open(env["ORVSIM_SCENARIO"], "w") as out:
        out.write(scenario(max(options.counts)))
    met = True
    try:
        rates = liborv_alone(options)
        for count in options.counts:
            lines, ok = tango_figures.report(stream(count, options, env), rates[count])
            print("\n".join(lines), flush=True)
            met = met and ok
    except (tango.DevFailed, RuntimeError, subprocess.SubprocessError, OSError) as error:
        print(f"the measurement failed: {error}", file=sys.stderr)
        return 2
    finally:
        after = row_counts()
        if after != before:
            changed = {t: (before.get(t), after.get(t)) for t in set(before) | set(after)
                       if before.get(t) != after.get(t)}
            print(f"the Tango database holds other row counts than before: {changed}", file=sys.stderr)
            met = False
        print_load()
    return 0 if met else 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--server", default="build/linux/bin/OrvSpectrometer")
    parser.add_argument("--seconds", type=float, default=5.0, help="per read-rate run")
    parser.add_argument("--acquires", type=int, default=200)
    parser.add_argument("--database", action="store_true",
                        help="continuous acquisition through the Tango database on TANGO_HOST")
    parser.add_argument("--counts", type=int, nargs="+", default=[1, 8],
                        help="instruments per run, ascending (--database)")
    parser.add_argument("--events", type=int, default=10000,
                        help="events a run waits for (--database)")
    parser.add_argument("--max-seconds", type=float, default=30.0,
                        help="the longest a run waits for them (--database)")
    parser.add_argument("--warmup", type=float, default=2.0,
                        help="seconds of acquisition before a run's window (--database)")
    parser.add_argument("--liborv-seconds", type=float, default=5.0,
                        help="per orv_parallel_reads run (--database)")
    parser.add_argument("--parallel-reads", help="orv_parallel_reads (default: beside the server)")
    options = parser.parse_args()
    if options.counts != sorted(options.counts) or min(options.counts) < 1 or max(options.counts) > 64:
        parser.error("--counts: ascending instrument counts from 1 to 64")
    return with_database(options) if options.database else without_database(options)


if __name__ == "__main__":
    sys.exit(main())
