#!/usr/bin/env python3
"""check_layers.py on small trees: a clean one passes, and each breach of the
provider and folder rules is named (the orv program or the Python package
loading the D2XX provider, a CMakeLists.txt compiling another folder's file,
test-only code in liborv's layers).

usage: check_layers_test.py CHECK_LAYERS_PY
"""
import os
import subprocess
import sys
import tempfile

CLEAN = {
    "liborv/CMakeLists.txt": "set(ORV_LIBRARY_SOURCES link/list.cpp commands/c.cpp)\n"
                             "set(ORV_LIBRARY_SOURCES ${ORV_LIBRARY_SOURCES} PARENT_SCOPE)\n"
                             "set(ORV_D2XX_BINDING_SOURCES link/bind.cpp)\n",
    "liborv/link/list.cpp": '#include "wire/w.h"\n#include "platform/p.h"\n'
                            "int f() { return FT_Open(0, 0); }\n",
    "liborv/commands/c.cpp": '#include "commands/c.h"\n',
    "liborv/link/bind.cpp": "",
    "liborv/wire/w.h": "",
    "liborv/commands/c.h": "",
    "liborv/platform/p.h": "",
    "tools/orv/CMakeLists.txt": "add_library(orv_cli STATIC list.cpp)\n",
    "tools/orv/list.cpp": "// FT_Open( is only named in a comment\nint n = orv_list_bridges();\n",
    "python/orv/_native.py": '"""Loads liborv, never libftd2xx.so."""\nimport ctypes\n'
                             'lib = ctypes.CDLL("liborv.so")\n',
    "python/orv/listing.py": "def list_devices():\n    return []\n",
}

BREACHES = [
    ("tools/orv/wing/probe.cpp", '#include "ftd2xx.h"\n', "tools/orv/wing/probe.cpp loads or calls"),
    ("tools/orv/load.cpp", "void *m = dlopen(name, 0);\n", "tools/orv/load.cpp loads or calls"),
    ("python/orv/listing.py", 'PROVIDER = "libftd2xx.so"\n', "python/orv/listing.py:1 names the"),
    ("python/orv/listing.py", "import ctypes\nd = ctypes.CDLL(p)\n",
     "python/orv/listing.py:2 loads a library (CDLL)"),
    ("python/orv/listing.py", "x = f.FT_GetDeviceInfoList\n", "python/orv/listing.py:1 names the"),
    ("tools/orv/CMakeLists.txt", "add_library(a ${PROJECT_SOURCE_DIR}/liborv/link/list.cpp)\n",
     "tools/orv/CMakeLists.txt compiles liborv/link/list.cpp of another folder"),
    ("tools/orv/CMakeLists.txt", "add_library(a ${ORV_LIBRARY_SOURCES})\n",
     "tools/orv/CMakeLists.txt compiles ORV_LIBRARY_SOURCES of another folder"),
    ("tools/orv/CMakeLists.txt", "add_library(a ../../liborv/link/list.cpp)\n",
     "tools/orv/CMakeLists.txt compiles ../../liborv/link/list.cpp of another folder"),
    ("tests/hardening/CMakeLists.txt", "add_executable(t ${PROJECT_SOURCE_DIR}/fuzz/support/b.cpp)\n",
     "tests/hardening/CMakeLists.txt compiles fuzz/support/b.cpp of another folder"),
    # A header of liborv's that only tests use (a reference implementation).
    ("liborv/wire/crc_reference.h", "int reference();\n",
     "wire/crc_reference.h is included by no liborv source"),
]


def run(check, files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                f.write(text)
        result = subprocess.run([sys.executable, check, os.path.join(root, "liborv")],
                                capture_output=True, text=True, timeout=60)
        return result.returncode, result.stdout


def main():
    check = sys.argv[1]
    failures = []
    status, out = run(check, CLEAN)
    if status != 0:
        failures.append(f"the clean tree fails:\n{out}")
    for path, text, expected in BREACHES:
        status, out = run(check, dict(CLEAN, **{path: text}))
        if status != 1 or expected not in out:
            failures.append(f"{path} with {text!r}: status {status}, wanted '{expected}' in:\n{out}")
    for failure in failures:
        print(f"check_layers_test: {failure}")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
