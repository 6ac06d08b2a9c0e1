#!/usr/bin/env python3
"""Checks that the tty provider exports exactly the D2XX calls ftd2xx.h declares.

usage: check_exports.py HEADER LIBRARY NM
"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from check_exports import elf_exports  # noqa: E402  (tests/check_exports.py)


def declared_calls(header_path):
    with open(header_path, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return set(re.findall(r"^FTD2XX_API\b[^;]*?\b(FT_\w+)\s*\(", text, flags=re.M))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    header, library, nm = sys.argv[1:]
    declared = declared_calls(header)
    exported = elf_exports(library, nm)
    print(f"{library}: {len(exported)} exported, {len(declared)} declared in {header}")
    for name in sorted(declared - exported):
        print(f"  declared but not exported: {name}")
    for name in sorted(exported - declared):
        print(f"  exported but not declared: {name}")
    if len(declared) != 11 or declared != exported:
        print("FAIL")
        return 1
    print("OK: exactly the eleven D2XX calls")
    return 0


if __name__ == "__main__":
    sys.exit(main())
