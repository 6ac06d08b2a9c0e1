"""Runs the real orv program against simulated instruments, for the tests of
this folder, and reads reference spectra straight from liborv.

The tests take their paths from the environment CTest sets:
ORV_PROGRAM (the program), ORV_EMULATOR (wine64 for the Windows build, else
empty), ORV_LIBRARY (liborv.so for reference reads; empty where the host
cannot load it), ORV_SCENARIOS (the scenario folder), ORV_OUTPUT_DIR (a
folder in the build tree for files the tests write), ORV_NODE and
ORV_JCAMPCONVERTER (node and the npm package that reads JCAMP-DX; empty
when not installed), ORVSIM_SERVE and ORV_TTY_PROVIDER (orvsim-serve and
the tty provider; empty but on Linux)."""

import csv
import ctypes
import io
import json
import os
import subprocess
import sys

PROGRAM = os.environ.get("ORV_PROGRAM", "")
EMULATOR = os.environ.get("ORV_EMULATOR", "")
LIBRARY = os.environ.get("ORV_LIBRARY", "")
SCENARIOS = os.environ.get("ORV_SCENARIOS", "")
OUTPUT_DIR = os.environ.get("ORV_OUTPUT_DIR", "")
NODE = os.environ.get("ORV_NODE", "")
JCAMPCONVERTER = os.environ.get("ORV_JCAMPCONVERTER", "")
SERVE_PROGRAM = os.environ.get("ORVSIM_SERVE", "")
TTY_PROVIDER = os.environ.get("ORV_TTY_PROVIDER", "")
WINDOWS_BUILD = PROGRAM.endswith(".exe")


class Checklist:
    """The checks of a script that goes on after a failure: each printed as it
    is made; exit_status() prints the count and gives 1 when one failed."""

    def __init__(self):
        self.failures = []

    def __call__(self, condition, message):
        print(("ok    " if condition else "FAIL  ") + message)
        if not condition:
            self.failures.append(message)

    def exit_status(self):
        print(f"{len(self.failures)} failed" if self.failures else "all checks passed")
        return 1 if self.failures else 0


def scenario(name):
    return os.path.join(SCENARIOS, name + ".json")


def scratch(name):
    """A path in this test's own scratch folder (emptied first)."""
    folder = os.path.join(OUTPUT_DIR, name)
    os.makedirs(folder, exist_ok=True)
    for entry in os.listdir(folder):
        os.remove(os.path.join(folder, entry))
    return folder


class Run:
    def __init__(self, completed):
        self.status = completed.returncode
        self.out = completed.stdout.decode("utf-8", "replace")
        self.err = completed.stderr.decode("utf-8", "replace")

    def __repr__(self):
        return f"status {self.status}\nstdout:\n{self.out}\nstderr:\n{self.err}"


def environment(scenario_name, transcript=None, extra=None):
    env = dict(os.environ)
    env.pop("ORVSIM_TRANSCRIPT", None)
    if scenario_name is None:
        env.pop("ORVSIM_SCENARIO", None)  # the built-in default
    else:
        env["ORVSIM_SCENARIO"] = scenario(scenario_name)
    if transcript:
        env["ORVSIM_TRANSCRIPT"] = transcript
    env.update(extra or {})
    return env


def command(*args):
    return ([EMULATOR] if EMULATOR else []) + [PROGRAM, *args]


def orv(*args, scenario_name="fast", transcript=None, extra_env=None, timeout=180):
    """Runs orv to its end."""
    completed = subprocess.run(command(*args), capture_output=True, timeout=timeout,
                               env=environment(scenario_name, transcript, extra_env))
    return Run(completed)


def start_orv(*args, scenario_name="fast", transcript=None):
    """Starts orv and returns the process (stdout and stderr piped)."""
    return subprocess.Popen(command(*args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=environment(scenario_name, transcript))


def table_rows(text, delimiter=","):
    """Comment lines and rows (dicts) of a table orv read wrote."""
    lines = text.splitlines()
    comments = [line for line in lines if line.startswith("#")]
    body = "\n".join(line for line in lines if not line.startswith("#"))
    return comments, list(csv.DictReader(io.StringIO(body), delimiter=delimiter))


def spectra_of(rows):
    """{(instrument, number): (wavelengths, counts)} of table rows, in row order."""
    spectra = {}
    for row in rows:
        key = (row["instrument"], int(row["spectrum"]))
        wavelengths, counts = spectra.setdefault(key, ([], []))
        wavelengths.append(float(row["wavelength_nm"]))
        counts.append(int(row["counts"]))
    return spectra


def transcript_calls(path):
    """The D2XX call names of a simulator transcript ([] when there is none)."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as transcript:
        return [line.split()[1] for line in transcript if len(line.split()) > 1]


# --- reference spectra straight from liborv --------------------------------

def reference(scenario_name, index, integration_us, average, count, wavelength_range=None):
    """Spectra as liborv's handle interface returns them in a fresh process
    (the simulator then starts its sequence of spectra anew, as for orv):
    {"wavelengths": [...], "spectra": [[...], ...]}."""
    args = [sys.executable, os.path.abspath(__file__), "reference", str(index),
            str(integration_us), str(average), str(count)]
    if wavelength_range:
        args += [str(wavelength_range[0]), str(wavelength_range[1])]
    completed = subprocess.run(args, capture_output=True, timeout=120,
                               env=environment(scenario_name))
    if completed.returncode != 0:
        raise RuntimeError(completed.stderr.decode())
    return json.loads(completed.stdout)


def _reference_main(index, integration_us, average, count, start=None, end=None):
    orv_lib = ctypes.CDLL(LIBRARY)
    device = ctypes.c_void_p()

    def check(code, what):
        if code < 0:
            raise SystemExit(f"{what}: {code}")

    check(orv_lib.orv_device_open(index, ctypes.byref(device)), "open")
    check(orv_lib.orv_device_set_integration_time(device, ctypes.c_uint32(integration_us)),
          "integration")
    check(orv_lib.orv_device_set_average_number(device, ctypes.c_uint8(average)), "average")
    if start is not None:
        check(orv_lib.orv_device_set_selected_wavelength_range(
            device, ctypes.c_double(start), ctypes.c_double(end)), "range")

        class Range(ctypes.Structure):
            _fields_ = [("requested_start", ctypes.c_double), ("requested_end", ctypes.c_double),
                        ("first_wavelength", ctypes.c_double),
                        ("last_wavelength", ctypes.c_double), ("first_index", ctypes.c_uint16),
                        ("last_index", ctypes.c_uint16), ("count", ctypes.c_uint16)]
        selected = Range()
        check(orv_lib.orv_device_get_selected_wavelength_range(device, ctypes.byref(selected)),
              "selection")
        size = selected.count
        read_wavelengths = orv_lib.orv_device_get_selected_wavelength_data
        read_spectrum = orv_lib.orv_device_get_selected_spectrum_data
    else:
        pixels = ctypes.c_uint16()
        check(orv_lib.orv_device_get_wavelength_count(device, ctypes.byref(pixels)), "count")
        size = pixels.value
        read_wavelengths = orv_lib.orv_device_get_full_wavelength_data
        read_spectrum = orv_lib.orv_device_get_full_spectrum_data
    wavelengths = (ctypes.c_double * size)()
    check(read_wavelengths(device, wavelengths, size), "wavelengths")
    spectra = []
    for _ in range(count):
        samples = (ctypes.c_uint16 * size)()
        check(read_spectrum(device, samples, size), "spectrum")
        spectra.append(list(samples))
    orv_lib.orv_device_close(device)
    print(json.dumps({"wavelengths": list(wavelengths), "spectra": spectra}))


if __name__ == "__main__" and len(sys.argv) >= 6 and sys.argv[1] == "reference":
    numbers = sys.argv[2:]
    _reference_main(int(numbers[0]), int(numbers[1]), int(numbers[2]), int(numbers[3]),
                    *(float(value) for value in numbers[4:6]))
