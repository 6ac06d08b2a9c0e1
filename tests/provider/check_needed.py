#!/usr/bin/env python3
"""Checks how liborv is tied to its D2XX provider.

usage: check_needed.py LIBRARY TOOL

  - an ELF liborv.so (TOOL: readelf) has no NEEDED entry for libftd2xx.so:
    it loads its provider at run time;
  - a PE liborv.dll (TOOL: the mingw objdump) imports FTD2XX.dll.

Prints what it found; exits 1 when the library is tied the wrong way.
"""
import re
import subprocess
import sys


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    library, tool = sys.argv[1], sys.argv[2]
    if library.lower().endswith(".dll"):
        text = subprocess.run([tool, "-p", library], check=True, capture_output=True, text=True).stdout
        imports = re.findall(r"DLL Name:\s*(\S+)", text)
        print(f"check_needed: {library} imports {', '.join(imports)}")
        ok = any(name.lower() == "ftd2xx.dll" for name in imports)
        if not ok:
            print("check_needed: liborv.dll must import FTD2XX.dll")
    else:
        text = subprocess.run([tool, "-d", library], check=True, capture_output=True, text=True).stdout
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", text)
        print(f"check_needed: {library} needs {', '.join(needed)}")
        ok = bool(needed) and not any(name.startswith("libftd2xx") for name in needed)
        if not ok:
            print("check_needed: liborv.so must not need a D2XX library")
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
