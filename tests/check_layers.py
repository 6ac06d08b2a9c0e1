#!/usr/bin/env python3
"""Checks that liborv's layers depend only downwards.

usage: check_layers.py LIBORV_DIR

  - a file of wire/, link/, commands/ or platform/ includes only headers of
    its own layer or of the layers below it (platform/ < wire/ < link/ <
    commands/; wire/ and platform/ stand alone);
  - only link/ calls the D2XX functions;
  - every .cpp of the three layers is listed in ORV_LIBRARY_SOURCES or
    ORV_D2XX_BINDING_SOURCES of CMakeLists.txt, and every listed file exists.

Prints each breach; exits 1 when there is one.
"""
import os
import re
import sys

LAYERS = ("wire", "link", "commands", "platform")
SOURCE_LISTS = ("ORV_LIBRARY_SOURCES", "ORV_D2XX_BINDING_SOURCES")
ALLOWED = {
    "platform": {"platform"},
    "wire": {"wire"},
    "link": {"platform", "wire", "link"},
    "commands": {"platform", "wire", "link", "commands"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)
D2XX_CALL = re.compile(
    r"\bFT_(?:Open|Close|Read|Write|Purge|SetTimeouts|SetLatencyTimer|SetUSBParameters|"
    r"ResetDevice|CreateDeviceInfoList|GetDeviceInfoList)\s*\("
)


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def listed_sources(liborv, variable):
    with open(os.path.join(liborv, "CMakeLists.txt"), encoding="utf-8") as f:
        text = f.read()
    m = re.search(r"set\(" + variable + r"\s+(.*?)\)", text, re.S)
    return set(m.group(1).split()) if m else set()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    liborv = sys.argv[1]
    breaches = []
    sources = set()
    for layer in LAYERS:
        folder = os.path.join(liborv, layer)
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".cpp", ".h")):
                continue
            path = f"{layer}/{name}"
            if name.endswith(".cpp") and layer != "platform":
                sources.add(path)
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                text = strip_comments(f.read())
            for target in INCLUDE.findall(text):
                if target in LAYERS and target not in ALLOWED[layer]:
                    breaches.append(f"{path} includes a header of {target}/")
            if layer != "link" and D2XX_CALL.search(text):
                breaches.append(f"{path} calls D2XX (only link/ may)")
    listed = set()
    for variable in SOURCE_LISTS:
        names = listed_sources(liborv, variable)
        if not names:
            breaches.append(f"CMakeLists.txt: no {variable} list found")
        breaches += [f"{variable} names {s}, which does not exist" for s in sorted(names - sources)]
        listed |= names
    breaches += [f"{s} is in no source list" for s in sorted(sources - listed)]
    for breach in breaches:
        print(f"check_layers: {breach}")
    sys.exit(1 if breaches else 0)


if __name__ == "__main__":
    main()
