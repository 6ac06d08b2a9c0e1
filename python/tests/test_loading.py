"""Which liborv and D2XX library the package loads, the prototypes it gives
liborv's exports (checked against orv.h), and its version."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import re
import subprocess
import sys
import textwrap
from pathlib import Path
from typing import Any, Dict, List

import pytest

import orv
from conftest import HEADER, REPOSITORY
from orv import _native, _prototypes

C_TYPES: Dict[str, Any] = {
    "uint8_t": ctypes.c_uint8, "uint16_t": ctypes.c_uint16, "uint32_t": ctypes.c_uint32,
    "uint64_t": ctypes.c_uint64, "int32_t": ctypes.c_int32, "int": ctypes.c_int,
    "float": ctypes.c_float, "double": ctypes.c_double,
    "orv_wavelength_range": _prototypes.WavelengthRangeRecord,
    "orv_device_info": _prototypes.DeviceInfoRecord,
}


def ctype_of(declaration: str) -> Any:
    """The ctypes type of one C parameter declaration ("const uint8_t *data")."""
    text = declaration.replace("const ", "").strip()
    pointer = "*" in text
    base = text.split("*")[0].split()[0] if pointer else text.split()[0]
    if base == "char" and pointer:
        return ctypes.c_char_p
    return ctypes.POINTER(C_TYPES[base]) if pointer else C_TYPES[base]


def header_device_operations() -> Dict[str, List[Any]]:
    """Every orv_device_<name>(orv_device *device, ...) of orv.h with the types
    of its arguments after the handle."""
    text = re.sub(r"/\*.*?\*/", " ", HEADER.read_text(encoding="utf-8"), flags=re.S)
    operations = {}
    for name, arguments in re.findall(
            r"ORV_API\s+int\s+orv_device_(\w+)\(\s*orv_device\s*\*\s*device\s*([^)]*)\)", text):
        rest = [part for part in arguments.split(",") if part.strip()]
        operations[name] = [ctype_of(part) for part in rest]
    return operations


def same_type(left: Any, right: Any) -> bool:
    if hasattr(left, "_type_") and hasattr(right, "_type_") and left is not right:
        return bool(left.__name__.startswith("LP_") and right.__name__.startswith("LP_")
                    and same_type(left._type_, right._type_))
    return bool(left is right)


def test_every_device_operation_of_orv_h_is_bound_with_its_types() -> None:
    declared = header_device_operations()
    assert len(declared) > 40
    assert declared.keys() == _prototypes.DEVICE_OPERATIONS.keys()
    for name, types in declared.items():
        bound = list(_prototypes.DEVICE_OPERATIONS[name])
        assert len(bound) == len(types), name
        assert all(same_type(b, t) for b, t in zip(bound, types)), name


TABLE = REPOSITORY / "liborv" / "commands" / "device_commands.h"


def table_device_operations() -> Dict[str, List[Any]]:
    """The rows of liborv's table of device exports (DEVICE_COMMANDS), in its
    order, with the types of their parameters."""
    text = TABLE.read_text(encoding="utf-8")
    body = text.split("#define DEVICE_COMMANDS(X)", 1)[1].split("// clang-format on", 1)[0]
    body = body.replace("\\\n", " ")
    operations = {}
    for name, parameters in re.findall(r"X\(\s*(\w+)\s*,\s*\(([^)]*)\)", body):
        operations[name] = [ctype_of(part) for part in parameters.split(",") if part.strip()]
    return operations


def test_the_operation_table_follows_liborvs_table_of_device_exports() -> None:
    # Row for row and in the same order: a row added to liborv's table and not
    # here (or the other way round, or with other types) fails.
    table = table_device_operations()
    assert len(table) > 40
    assert list(table) == list(_prototypes.DEVICE_OPERATIONS)
    for name, types in table.items():
        bound = list(_prototypes.DEVICE_OPERATIONS[name])
        assert len(bound) == len(types), name
        assert all(same_type(b, t) for b, t in zip(bound, types)), name


def test_the_version_is_the_projects() -> None:
    cmake = (REPOSITORY / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(orv VERSION ([0-9.]+)", cmake)
    assert match is not None
    assert orv.__version__ == match.group(1)


def built_library() -> Path:
    named = os.environ.get("ORV_LIBRARY")
    if not named:
        pytest.skip("ORV_LIBRARY does not name a built liborv")
    return Path(named).resolve()


def test_orv_library_is_the_only_place_tried_when_set(monkeypatch: Any, tmp_path: Path) -> None:
    missing = tmp_path / "liborv.so"
    monkeypatch.setenv("ORV_LIBRARY", str(missing))
    with pytest.raises(orv.LibraryNotFoundError, match=f"ORV_LIBRARY: {missing}"):
        _native._load()


def test_the_package_copy_comes_next(monkeypatch: Any, tmp_path: Path) -> None:
    library = built_library()
    (tmp_path / "liborv.so").symlink_to(library)
    monkeypatch.delenv("ORV_LIBRARY")
    monkeypatch.setattr(_native, "PACKAGE_LIBRARY_DIR", tmp_path)
    assert _native._load().library_path == str(tmp_path / "liborv.so")


def test_the_constants_are_those_of_orv_h() -> None:
    header = HEADER.read_text(encoding="utf-8")
    for name in ("ORV_INSTRUMENT_USB_ID", "ORV_MAX_BRIDGES", "ORV_BRIDGE_OPENED",
                 "ORV_BRIDGE_HIGH_SPEED"):
        match = re.search(rf"#define {name} (0x[0-9A-Fa-f]+|[0-9]+)u?\b", header)
        assert match is not None, name
        assert getattr(_prototypes, name) == int(match.group(1), 0), name
    fields = re.search(r"typedef struct orv_bridge_info \{(.*?)\}", header, re.S)
    assert fields is not None
    declared = re.findall(r"(\w+)(?:\[\d+\])?;", re.sub(r"/\*.*?\*/", "", fields.group(1)))
    assert declared == [name for name, _ in _prototypes.BridgeRecord._fields_]


def run_python(code: str, **environment: str) -> subprocess.CompletedProcess:  # type: ignore
    """Runs code in a fresh /usr/bin/python3 that imports the package from this
    source tree, with the environment variables given (and no others of the
    package's)."""
    env = {key: value for key, value in os.environ.items()
           if key not in ("ORV_LIBRARY", "ORV_D2XX_LIBRARY", "LD_LIBRARY_PATH")}
    env.update(environment, PYTHONPATH=str(REPOSITORY / "python"))
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env,
                          capture_output=True, text=True, timeout=60)


def test_the_error_names_every_place_tried() -> None:
    if ctypes.util.find_library("orv"):
        pytest.skip("a liborv is installed on this system")
    result = run_python("""
        import orv
        try:
            orv.list_devices()
        except orv.LibraryNotFoundError as error:
            print(error)
    """)
    assert result.returncode == 0, result.stderr
    message = result.stdout
    for place in ("ORV_LIBRARY (not set)", "orv/_lib/liborv.so (no such file)", "liborv.so.0",
                  "liborv.so ("):
        assert place in message


def test_a_named_d2xx_library_that_is_missing_is_liborvs_reason(tmp_path: Path) -> None:
    missing = tmp_path / "libftd2xx.so"
    result = run_python("""
        import orv
        for call in (orv.list_devices, orv.loaded_libraries):
            try:
                call()
            except orv.LibraryNotFoundError as error:
                print(error)
    """, ORV_LIBRARY=str(built_library()), ORV_D2XX_LIBRARY=str(missing))
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert len(lines) == 2
    for line in lines:
        assert line.startswith(f"liborv has no D2XX library: cannot load {missing} "
                               "(named by ORV_D2XX_LIBRARY): "), line


def test_a_named_d2xx_library_is_the_one_liborv_drives(tmp_path: Path) -> None:
    # A copy of the simulated provider elsewhere: liborv would find the
    # original beside itself, unless the named copy is the one it uses.
    library = built_library()
    copy = tmp_path / "libftd2xx.so"
    copy.write_bytes((library.parent / "libftd2xx.so").read_bytes())
    result = run_python(f"""
        import ctypes, orv
        provider = ctypes.CDLL({str(copy)!r})
        scenario = (b'{{"bridges": [{{"serial": "COPY1", '
                    b'"instrument": {{"model": "SIM-UV1024"}}}}]}}')
        assert provider.orvsim_load_scenario_json(scenario) == 0
        print(orv.loaded_libraries()["d2xx"])
        print([device.chip_serial for device in orv.list_devices()])
        with orv.Spectrometer(serial="COPY1") as spectrometer:
            print(spectrometer.wavelength_count)
    """, ORV_LIBRARY=str(library), ORV_D2XX_LIBRARY=str(copy))
    assert result.returncode == 0, result.stderr
    assert result.stdout.split("\n")[:3] == [str(copy), "['COPY1']", "1024"]
