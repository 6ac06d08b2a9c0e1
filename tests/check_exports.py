#!/usr/bin/env python3
"""Checks that a built liborv exports exactly the functions orv.h declares with ORV_API.

usage: check_exports.py HEADER LIBRARY TOOL
  LIBRARY  liborv.so (read with TOOL = nm) or liborv.dll (TOOL = the mingw objdump)

Prints the declared functions that are not exported and the exported symbols
that are not declared; exits 1 when either list is not empty.
"""
import re
import subprocess
import sys

# Symbols the linker itself defines in every ELF shared object.
ELF_LINKER_SYMBOLS = {"_init", "_fini", "__bss_start", "_edata", "_end"}


def declared_functions(header_path):
    with open(header_path, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    text = re.sub(r"^\s*#(?:[^\n]*\\\n)*[^\n]*", " ", text, flags=re.M)  # preprocessor lines
    return set(re.findall(r"\bORV_API\b[^;{}()#]*?\b(\w+)\s*\(", text))


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"check_exports: {' '.join(command)} failed:\n{result.stderr}")
    return result.stdout


def elf_exports(library, nm):
    names = set()
    for line in run([nm, "-D", "--defined-only", library]).splitlines():
        fields = line.split()
        if len(fields) >= 3:
            names.add(fields[2].split("@")[0])
    return names - ELF_LINKER_SYMBOLS


def dll_exports(library, objdump):
    names = set()
    in_table = False
    for line in run([objdump, "-p", library]).splitlines():
        if "[Ordinal/Name Pointer] Table" in line:
            in_table = True
            continue
        if in_table:
            m = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s*$", line)
            if not m:
                break
            names.add(m.group(1))
    return names


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    header, library, tool = sys.argv[1:]
    declared = declared_functions(header)
    if not declared:
        sys.exit(f"check_exports: no ORV_API declarations found in {header}")
    exported = dll_exports(library, tool) if library.lower().endswith(".dll") else elf_exports(library, tool)

    missing = sorted(declared - exported)
    extra = sorted(exported - declared)
    print(f"{library}: {len(exported)} exported, {len(declared)} declared in {header}")
    for name in missing:
        print(f"  declared but not exported: {name}")
    for name in extra:
        print(f"  exported but not declared: {name}")
    if missing or extra:
        print(f"FAIL: {len(missing)} missing, {len(extra)} unexpected")
        return 1
    print("OK: the library exports exactly the declared orv_* functions")
    return 0


if __name__ == "__main__":
    sys.exit(main())
