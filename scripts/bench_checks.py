#!/usr/bin/env python3
"""Performance checks over the programs of the bench preset, each printing a
table and exiting 1 when a target is missed:

  overhead   medians of orv_bench's spectrum reads (from its JSON output):
             host overhead per read through liborv and through the binding,
             and the simulated provider's own share
  checksums  medians of orv_bench's CRC benchmarks (the exports) and of
             orv_crc_ways's (each way of computing them on its own):
             throughput against the CRC-32 target
  processing medians of orv_processing_bench: one 2048-pixel spectrum in
             each measurement mode, absorbance against its target
  fidelity   runs velmar_multi_device_speed on a scenario with a realistic
             link model and sets each case's avg_ms against the time the
             simulator models for that read (orv_modeled_reply)
  resources  CPU time over wall time of a whole run of the program, and peak
             resident memory after 10 and after 1000 spectrum reads
  recorder   orv_read_loop with the recording provider in front of the
             simulated one against without: the time it adds per D2XX call,
             and peak resident memory after 10 and after 10,000 reads
             while the capture streams to disk
  profile    instructions per spectrum read (callgrind), split into the
             binding, liborv and the simulated provider: a split that does
             not depend on the machine's load

Used by scripts/bench.sh; each command can also be run alone, e.g.
  python3 scripts/bench_checks.py fidelity --bin build/bench/bin
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_BIN = os.path.join(ROOT, "build", "bench", "bin")
DEFAULT_SCENARIO = os.path.join(ROOT, "d2xx", "sim", "scenarios", "default.json")
PROGRAM = "velmar_multi_device_speed"

# The instruments of orv_bench's spectrum reads (bench/bench_instruments.h):
# 2048 pixels on either protocol, and the simulator's 256-pixel NIR model.
INSTRUMENTS = ("uvvis", "nir", "nir_256")

# Targets (microseconds, bytes per second, fractions, KiB).
LIBORV_OVERHEAD_US = 5.0
BINDING_OVERHEAD_US = 35.0
# CRC-32 throughput of the export over a spectrum response's span and longer.
CRC32_BYTES_PER_S = 2e9
CRC32_TARGET_MIN_SPAN = 4116
# Absorbance of a 2048-pixel spectrum with dark and reference.
ABSORBANCE_US = 5.0
# orv read --format hdf5 keeps up with far faster instruments than there are.
HDF5_SPECTRA_PER_S = 1000
HDF5_RSS_SPECTRA = (1000, 100000)
FIDELITY_RATIO = 0.02
FIDELITY_MS = 0.3
CPU_SHARE = 0.05
RSS_GROWTH_KIB = 1024


def print_table(header, rows):
    widths = [max(len(str(r[i])) for r in [header] + rows) for i in range(len(header))]
    for r in [header] + rows:
        print("  ".join(str(v).rjust(w) for v, w in zip(r, widths)))


def verdict(ok):
    return "ok" if ok else "MISSED"


def program_env(scenario):
    env = dict(os.environ)
    env["ORVSIM_SCENARIO"] = scenario
    env.pop("ORVSIM_TRANSCRIPT", None)  # writing it would slow every call down
    env.pop("ORV_TRACE_TIMING", None)
    return env


# ----------------------------------------------------------------- overhead

def read_medians(path):
    """{(benchmark, instrument): (median real time, median CPU time)} in us of the read benchmarks."""
    with open(path) as f:
        data = json.load(f)
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        m = re.match(r"BM_SpectrumRead_(\w+)/(\w+)", b["run_name"])
        if m:
            scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[b["time_unit"]]
            medians[(m.group(1), m.group(2))] = (b["real_time"] * scale, b["cpu_time"] * scale)
    return medians


def overhead(args):
    medians = read_medians(args.json)
    rows = []
    ok = True
    for instrument in INSTRUMENTS:
        try:
            provider = medians[("ProviderOnly", instrument)]
            reads = (("liborv", medians[("Liborv", instrument)], LIBORV_OVERHEAD_US),
                     ("binding", medians[("Binding", instrument)], BINDING_OVERHEAD_US))
        except KeyError:
            print(f"overhead: no median of the {instrument} reads in {args.json}")
            return 1
        for path, total, target in reads:
            host = total[0] - provider[0]
            good = host <= target
            ok = ok and good
            rows.append([instrument, path, f"{total[0]:.1f}", f"{provider[0]:.1f}", f"{host:.1f}",
                         f"{total[1] - provider[1]:.1f}", f"<= {target:.0f}", verdict(good)])
    print("Host overhead of one full spectrum read (medians, us, instant link; uvvis and nir: 2048 pixels):")
    print_table(["instrument", "path", "total", "provider", "host", "host_cpu", "target", ""], rows)
    print("total = the whole read; provider = the simulated D2XX provider alone (the same D2XX calls);\n"
          "host = total - provider (wall clock; the target applies to it); host_cpu = the same in CPU time")
    return 0 if ok else 1


# ---------------------------------------------------------------- checksums

CRC_BENCHMARK = re.compile(r"(BM_Crc32|BM_Crc16Legacy|BM_CrcTable<(\w+)>|BM_CrcClmul<(\w+)>)/(\d+)$")


def crc_medians(path):
    """[(crc, way, span, median CPU ns, median bytes/s)] of the CRC benchmarks in one JSON output."""
    with open(path) as f:
        data = json.load(f)
    rows = []
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        m = CRC_BENCHMARK.match(b["run_name"])
        if not m:
            continue
        if m.group(1) in ("BM_Crc32", "BM_Crc16Legacy"):
            crc, way = ("CRC32" if m.group(1) == "BM_Crc32" else "CRC16"), "export"
        else:
            crc, way = m.group(2) or m.group(3), "table" if m.group(2) else "clmul"
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6}[b["time_unit"]]
        rows.append((crc, way, int(m.group(4)), b["cpu_time"] * scale, b["bytes_per_second"]))
    return rows


def checksums(args):
    rows = crc_medians(args.json)
    exports = [r for r in rows if r[1] == "export" and r[0] == "CRC32"]
    if not exports:
        print(f"checksums: no median of BM_Crc32 in {args.json}")
        return 1
    if args.ways:
        rows += crc_medians(args.ways)
    ok = True
    table = []
    order = {"export": 0, "table": 1, "clmul": 2}
    for crc, way, span, ns, rate in sorted(rows, key=lambda r: (r[0] != "CRC32", order[r[1]], r[2])):
        target = ""
        mark = ""
        if crc == "CRC32" and way == "export" and span >= CRC32_TARGET_MIN_SPAN:
            good = rate >= CRC32_BYTES_PER_S
            ok = ok and good
            target, mark = f">= {CRC32_BYTES_PER_S / 1e6:.0f}", verdict(good)
        table.append([crc, way, span, f"{ns:.0f}", f"{rate / 1e6:.0f}", target, mark])
    print("CRC throughput (medians, CPU time; export = orv_crc32 / orv_crc16_legacy, "
          "table and clmul = each way alone):")
    print_table(["crc", "way", "bytes", "ns", "MB/s", "target", ""], table)
    return 0 if ok else 1


# --------------------------------------------------------------- processing

def medians(path, name):
    """[(case, real us, cpu us, items per second)] of the medians of the
    benchmark `name` (BM_Process/<case>...) in a Google Benchmark JSON."""
    with open(path) as f:
        data = json.load(f)
    found = []
    for b in data["benchmarks"]:
        m = re.match(name + r"/(\w+)(/min_time:[\d.]+)?$", b.get("run_name", ""))
        if not m or b.get("aggregate_name") != "median":
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}[b["time_unit"]]
        found.append((m.group(1), b["real_time"] * scale, b["cpu_time"] * scale,
                      b.get("items_per_second", 0)))
    return found


def processing(args):
    rows = []
    ok = None
    cases = [(case, real, cpu) for case, real, cpu, _ in medians(args.json, "BM_Process")]
    cases += [(case + " (into a reused result)", real, cpu)
              for case, real, cpu, _ in medians(args.json, "BM_ProcessInto")]
    for case, real, cpu in cases:
        target = mark = ""
        if case == "absorbance":
            ok = cpu <= ABSORBANCE_US
            target, mark = f"<= {ABSORBANCE_US:.0f}", verdict(ok)
        rows.append([case, f"{real:.2f}", f"{cpu:.2f}", target, mark])
    if ok is None:
        print(f"processing: no median of BM_Process/absorbance in {args.json}")
        return 1
    print("One 2048-pixel spectrum processed against a dark and a reference (medians, us; "
          "the target applies to CPU time):")
    print_table(["mode", "time", "cpu", "target", ""], rows)
    return 0 if ok else 1


def hdf5(args):
    rows = []
    ok = None
    for case, real, cpu, _ in medians(args.json, "BM_Hdf5Series"):
        rate = 1e6 / real  # wall clock: the file's writes are the point
        ok = (ok is not False) and rate >= HDF5_SPECTRA_PER_S
        rows.append([case, f"{real:.1f}", f"{cpu:.1f}", f"{rate:,.0f}",
                     f">= {HDF5_SPECTRA_PER_S:,}", verdict(rate >= HDF5_SPECTRA_PER_S)])
    if ok is None:
        print(f"hdf5: no median of BM_Hdf5Series in {args.json}")
        return 1
    print("HDF5 series of 2048-pixel spectra, flushed after each (medians, us per spectrum; "
          "the target applies to wall-clock spectra per second):")
    print_table(["values", "time", "cpu", "spectra/s", "target", ""], rows)
    print()
    program = [os.path.join(args.bin, "orv_hdf5_series_bench"), "--rss"]
    alone = {n: probe_peaks(timed_run(program + [str(n)], os.environ)[3], "spectra")[n]
             for n in HDF5_RSS_SPECTRA}
    together = probe_peaks(timed_run(program + [str(n) for n in HDF5_RSS_SPECTRA],
                                     os.environ)[3], "spectra")
    rows = []
    few, many = HDF5_RSS_SPECTRA
    for method, peaks in (("separate processes", alone), ("one process", together)):
        growth = peaks[many] - peaks[few]
        ok = ok and growth < RSS_GROWTH_KIB
        rows.append([method, peaks[few], peaks[many], growth, f"< {RSS_GROWTH_KIB}",
                     verdict(growth < RSS_GROWTH_KIB)])
    print("Peak resident memory (KiB) after N spectra of one HDF5 series (orv_hdf5_series_bench --rss):")
    print_table(["method", f"N={few:,}", f"N={many:,}", "growth", "target", ""], rows)
    return 0 if ok else 1


# ----------------------------------------------------------------- fidelity

def run_modeled(bin_dir, scenario):
    """{(chip_serial, case): (integration_us, average, modeled_ms)}"""
    out = subprocess.run([os.path.join(bin_dir, "orv_modeled_reply")], env=program_env(scenario),
                         check=True, capture_output=True, text=True).stdout
    modeled = {}
    for line in out.splitlines():
        f = dict(kv.split("=", 1) for kv in line.split())
        modeled[(f["chip_serial"], int(f["case"]))] = (
            int(f["integration_us"]), int(f["average"]), float(f["modeled_ms"]))
    return modeled


CASE_LINE = re.compile(r"case integration=\S+ average=(\d+) .* iter=(\d+) len=(\d+) "
                       r"avg_ms=([\d.]+) min_ms=([\d.]+) max_ms=([\d.]+)")


def parse_report(text):
    """{(chip_serial, case): (iterations, length, avg_ms, min_ms, max_ms)} in report order."""
    cases = {}
    serial = None
    number = 0
    for line in text.splitlines():
        m = re.match(r"=== device \d+ chip_serial=(\S*) ===", line)
        if m:
            serial, number = m.group(1), 0
            continue
        m = CASE_LINE.match(line)
        if m and serial is not None:
            number += 1
            cases[(serial, number)] = (int(m.group(2)), int(m.group(3)), float(m.group(4)),
                                       float(m.group(5)), float(m.group(6)))
    return cases


def fidelity(args):
    modeled = run_modeled(args.bin, args.scenario)
    run = subprocess.run([os.path.join(args.bin, PROGRAM)], env=program_env(args.scenario),
                         capture_output=True, text=True)
    if run.returncode != 0:
        print(run.stdout + run.stderr)
        print(f"fidelity: {PROGRAM} exited with {run.returncode}")
        return 1
    measured = parse_report(run.stdout)
    if not modeled or set(modeled) != set(measured):
        print(f"fidelity: cases do not match: modelled {sorted(modeled)}, measured {sorted(measured)}")
        return 1
    rows = []
    ok = True
    for key in sorted(measured):
        integration_us, average, model_ms = modeled[key]
        iterations, length, avg_ms, min_ms, max_ms = measured[key]
        diff = avg_ms - model_ms
        ratio = avg_ms / model_ms
        good = abs(diff) <= FIDELITY_MS and abs(ratio - 1) <= FIDELITY_RATIO
        ok = ok and good
        rows.append([key[0], key[1], f"{integration_us / 1000:g}ms x{average}", length, iterations,
                     f"{model_ms:.3f}", f"{avg_ms:.2f}", f"{min_ms:.2f}", f"{max_ms:.2f}",
                     f"{diff:+.3f}", f"{ratio:.4f}", verdict(good)])
    print(f"Timing fidelity on {os.path.relpath(args.scenario, ROOT)} "
          f"(target: avg within {FIDELITY_RATIO:.0%} and {FIDELITY_MS} ms of the model):")
    print_table(["device", "case", "setting", "len", "iter", "model_ms", "avg_ms", "min_ms", "max_ms",
                 "diff_ms", "ratio", ""], rows)
    return 0 if ok else 1


# ---------------------------------------------------------------- recorder

RECORDER_US_PER_CALL = 5.0   # the recorder's time per forwarded D2XX call
RECORDER_READS = 10000
RECORDER_RUNS = 3            # the fastest run of each kind counts


def recorder(args):
    loop = [os.path.join(args.bin, "orv_read_loop"), "10", str(RECORDER_READS)]
    with tempfile.TemporaryDirectory() as folder:
        capture = os.path.join(folder, "loop.jsonl")
        recording = dict(os.environ, ORV_D2XX_LIBRARY=os.path.join(args.bin, "record", "libftd2xx.so"),
                         ORV_RECORD_PROVIDER=os.path.join(args.bin, "libftd2xx.so"),
                         ORV_RECORD_FILE=capture)
        plain_runs = [timed_run(loop, os.environ) for _ in range(RECORDER_RUNS)]
        recorded_runs = [timed_run(loop, recording) for _ in range(RECORDER_RUNS)]
        with open(capture, "rb") as f:
            calls = sum(1 for _ in f) - 1
        capture_mib = os.path.getsize(capture) / 2**20
    plain = min(run[0] for run in plain_runs)
    recorded = min(run[0] for run in recorded_runs)
    per_call_us = (recorded - plain) / calls * 1e6
    peaks = probe_peaks(min(recorded_runs)[3])
    growth = peaks[RECORDER_READS] - peaks[10]
    fast, flat = per_call_us <= RECORDER_US_PER_CALL, growth < RSS_GROWTH_KIB
    print(f"orv_read_loop 10 {RECORDER_READS} (uvvis, instant link), fastest of {RECORDER_RUNS} runs, "
          f"without and with the recorder ({calls} calls, capture {capture_mib:.1f} MiB):")
    print_table(["plain_s", "recorded_s", "us_per_call", "target", ""],
                [[f"{plain:.3f}", f"{recorded:.3f}", f"{per_call_us:.2f}", f"<= {RECORDER_US_PER_CALL}",
                  verdict(fast)]])
    print()
    print("Peak resident memory (KiB) through the recorder:")
    print_table(["N=10", f"N={RECORDER_READS}", "growth", "target", ""],
                [[peaks[10], peaks[RECORDER_READS], growth, f"< {RSS_GROWTH_KIB}", verdict(flat)]])
    return 0 if fast and flat else 1


# ---------------------------------------------------------------- resources

def peak_rss_of(pid):
    """VmHWM of a running process in KiB (0 once it has exited)."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def timed_run(argv, env):
    """(wall s, CPU s, peak RSS KiB, stdout) of one child process. The peak is
    sampled from /proc while the child runs: its ru_maxrss would include this
    script's own size, which Linux carries over through exec."""
    with tempfile.TemporaryFile(mode="w+") as out:
        start = time.monotonic()
        child = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.DEVNULL)
        peak = 0
        while True:
            peak = max(peak, peak_rss_of(child.pid))
            pid, status, usage = os.wait4(child.pid, os.WNOHANG)
            if pid:
                break
            time.sleep(0.02)
        wall = time.monotonic() - start
        code = os.waitstatus_to_exitcode(status)
        if code != 0:
            raise RuntimeError(f"{argv[0]} exited with {code}")
        out.seek(0)
        return wall, usage.ru_utime + usage.ru_stime, peak, out.read()


def probe_peaks(out, counted="reads"):
    """{count: peak KiB} from lines "reads=N peak_rss_kib=K" (orv_read_loop;
    orv_hdf5_series_bench --rss counts spectra)."""
    return {int(m.group(1)): int(m.group(2))
            for m in re.finditer(counted + r"=(\d+) peak_rss_kib=(-?\d+)", out)}


def resources(args):
    ok = True
    wall, cpu, rss, _ = timed_run([os.path.join(args.bin, PROGRAM)], program_env(args.scenario))
    share = cpu / wall
    ok = share <= CPU_SHARE
    print(f"CPU time of a whole run of {PROGRAM} on {os.path.relpath(args.scenario, ROOT)}:")
    print_table(["wall_s", "cpu_s", "cpu/wall", "target", "peak_rss_kib", ""],
                [[f"{wall:.2f}", f"{cpu:.3f}", f"{share:.2%}", f"<= {CPU_SHARE:.0%}", rss, verdict(ok)]])
    print()

    loop = os.path.join(args.bin, "orv_read_loop")
    rows = []
    for instrument in INSTRUMENTS:
        flag = ["--instrument", instrument]
        # One process per count (peak of the whole process), and one process
        # that reports its peak after 10 and after 1000 reads.
        alone = {n: probe_peaks(timed_run([loop] + flag + [str(n)], os.environ)[3])[n] for n in (10, 1000)}
        together = probe_peaks(timed_run([loop] + flag + ["10", "1000"], os.environ)[3])
        for method, peaks in (("separate processes", alone), ("one process", together)):
            growth = peaks[1000] - peaks[10]
            good = growth < RSS_GROWTH_KIB
            ok = ok and good
            rows.append([instrument, method, peaks[10], peaks[1000], growth, f"< {RSS_GROWTH_KIB}",
                         verdict(good)])
    print("Peak resident memory (KiB) after N spectrum reads through the binding (orv_read_loop):")
    print_table(["instrument", "method", "N=10", "N=1000", "growth", "target", ""], rows)
    return 0 if ok else 1


# ------------------------------------------------------------------ profile

PROFILE_READS = (100, 300)


def inclusive_costs(callgrind_out):
    """{function: inclusive Ir} over the whole profiled run."""
    text = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", callgrind_out],
                          check=True, capture_output=True, text=True).stdout
    costs = {}
    for m in re.finditer(r"^\s*([\d,]+) \([^)]*\)\s+\S*?:(.+?) \[", text, re.M):
        costs[m.group(2)] = costs.get(m.group(2), 0) + int(m.group(1).replace(",", ""))
    return costs


def split_of(costs):
    """(binding read, liborv read, D2XX calls) inclusive Ir of one profiled run."""
    binding = sum(c for name, c in costs.items() if name.startswith("velmar::read_spectrum("))
    liborv = costs.get("orv_get_full_spectrum_data", 0)
    provider = sum(c for name, c in costs.items() if re.fullmatch(r"FT_\w+", name))
    return binding, liborv, provider


def profile(args):
    loop = os.path.join(args.bin, "orv_read_loop")
    rows = []
    for instrument in INSTRUMENTS:
        # The same program with two read counts: everything but the reads
        # (loading, scenario, open, settings) cancels in the difference.
        runs = []
        for reads in PROFILE_READS:
            out = os.path.join(args.out, f"callgrind.{instrument}.{reads}")
            subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                            loop, "--instrument", instrument, str(reads)],
                           check=True, capture_output=True)
            runs.append(split_of(inclusive_costs(out)))
        n = PROFILE_READS[1] - PROFILE_READS[0]
        binding, liborv, provider = ((b - a) / n for a, b in zip(*runs))
        for part, ir in (("binding", binding - liborv), ("liborv", liborv - provider),
                         ("provider", provider), ("whole read", binding)):
            rows.append([instrument, part, f"{ir:,.0f}", f"{ir / binding:.1%}"])
    print("Instructions per full spectrum read through the binding "
          f"(callgrind, reads {PROFILE_READS[0]} to {PROFILE_READS[1]} of orv_read_loop, instant link):")
    print_table(["instrument", "part", "Ir/read", "share"], rows)
    print("binding = look-up, buffers, conversion; liborv = its own code; "
          "provider = the D2XX calls into the simulator (incl. generating the spectrum)")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("overhead")
    p.add_argument("json", help="orv_bench output written with --benchmark_out")
    p = sub.add_parser("processing")
    p.add_argument("json", help="orv_processing_bench output written with --benchmark_out")
    p = sub.add_parser("hdf5")
    p.add_argument("json", help="orv_hdf5_series_bench output written with --benchmark_out")
    p.add_argument("--bin", default=DEFAULT_BIN, help="folder of the bench preset's programs")
    p = sub.add_parser("checksums")
    p.add_argument("json", help="orv_bench output written with --benchmark_out")
    p.add_argument("--ways", help="orv_crc_ways output written with --benchmark_out")
    p = sub.add_parser("recorder")
    p.add_argument("--bin", default=DEFAULT_BIN, help="folder of the bench preset's programs")
    for name in ("fidelity", "resources"):
        p = sub.add_parser(name)
        p.add_argument("--bin", default=DEFAULT_BIN, help="folder of the bench preset's programs")
        p.add_argument("--scenario", default=DEFAULT_SCENARIO, help="simulator scenario of the run")
    p = sub.add_parser("profile")
    p.add_argument("--bin", default=DEFAULT_BIN, help="folder of the bench preset's programs")
    p.add_argument("--out", default=os.path.join(ROOT, "build", "bench", "results"),
                   help="folder for the callgrind files")
    args = parser.parse_args()
    commands = {"overhead": overhead, "checksums": checksums, "processing": processing, "hdf5": hdf5, "fidelity": fidelity, "resources": resources, "recorder": recorder, "profile": profile}
    return commands[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
