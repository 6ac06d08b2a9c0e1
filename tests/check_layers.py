#!/usr/bin/env python3
"""Checks that liborv's layers depend only downwards, that liborv is the one
door to the D2XX provider, and that no folder compiles another's sources.

usage: check_layers.py LIBORV_DIR

  - a file of wire/, link/, commands/ or platform/ includes only headers of
    its own layer or of the layers below it (platform/ < wire/ < link/ <
    commands/; wire/ and platform/ stand alone);
  - only link/ calls the D2XX functions;
  - every .cpp of the three layers is listed in ORV_LIBRARY_SOURCES or
    ORV_D2XX_BINDING_SOURCES of CMakeLists.txt, and every listed file exists;
  - the orv program (tools/orv) and the Python package (python/orv) neither
    load the D2XX provider nor call it: they list through liborv
    (orv_list_bridges, orv_d2xx_provider). The benchmark program lists for
    itself and is not checked;
  - a CMakeLists.txt names no source file of another folder, neither by path
    nor through a source list another folder defines: it links a target;
  - every header of the layers is included by liborv itself: code only the
    tests or the fuzz targets use lives under tests/.

Prints each breach; exits 1 when there is one.
"""
import ast
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
INCLUDED_HEADER = re.compile(r'^\s*#\s*include\s+"([a-z_]+/[^"]+\.h)"', re.M)
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


# A tool reaching the provider: its header, a D2XX call, the dynamic loader.
TOOL_PROVIDER_USE = re.compile(
    r'#\s*include\s*[<"]ftd2xx\.h[>"]|\bFT_[A-Z]\w*\s*\(|\b(?:dlopen|dlsym|LoadLibrary\w*|'
    r"GetProcAddress)\s*\("
)
# Where the orv program's sources are; every file below it is checked.
TOOL_FOLDER = os.path.join("tools", "orv")
PACKAGE_FOLDER = os.path.join("python", "orv")
# The one package module that loads a library (liborv).
PACKAGE_LOADER = "_native.py"
LOADING_CALLS = {"CDLL", "WinDLL", "OleDLL", "PyDLL", "LoadLibrary"}
SOURCE_FILE = re.compile(r"[^\s()\"]+\.(?:c|cc|cpp)\b")
TOP_FOLDER = re.compile(r"^\$\{(?:PROJECT_SOURCE_DIR|CMAKE_SOURCE_DIR)\}/(.+)$")
VARIABLE = re.compile(r"\$\{(\w+)\}")
EXPORTED_LIST = re.compile(r"set\((\w+)\s[^)]*\bPARENT_SCOPE\s*\)")


def tool_breaches(root):
    """The orv program's files that load or call the D2XX provider."""
    breaches = []
    for folder, _, names in os.walk(os.path.join(root, TOOL_FOLDER)):
        for name in sorted(names):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding="utf-8") as f:
                if TOOL_PROVIDER_USE.search(strip_comments(f.read())):
                    breaches.append(f"{os.path.relpath(path, root)} loads or calls the D2XX "
                                    "provider (list through liborv)")
    return breaches


def package_breaches(root):
    """The Python package's modules that load a library other than liborv, or
    name the provider's calls or files."""
    breaches = []
    folder = os.path.join(root, PACKAGE_FOLDER)
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".py"):
            continue
        path = os.path.join(PACKAGE_FOLDER, name)
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            tree = ast.parse(f.read(), path)
        docstrings = {id(node.body[0].value) for node in ast.walk(tree)
                      if isinstance(node, (ast.Module, ast.ClassDef, ast.FunctionDef))
                      and node.body and isinstance(node.body[0], ast.Expr)
                      and isinstance(node.body[0].value, ast.Constant)}
        for node in ast.walk(tree):
            if isinstance(node, ast.Name):
                word = node.id
            elif isinstance(node, ast.Attribute):
                word = node.attr
            elif (isinstance(node, ast.Constant) and isinstance(node.value, str)
                  and id(node) not in docstrings):
                word = node.value
            else:
                continue
            if re.search(r"\bFT_[A-Z]|ftd2xx", word, re.I):
                breaches.append(f"{path}:{node.lineno} names the D2XX provider ({word!r})")
            elif word in LOADING_CALLS and name != PACKAGE_LOADER:
                breaches.append(f"{path}:{node.lineno} loads a library ({word})")
    return breaches


def cmake_files(root):
    for folder, folders, names in os.walk(root):
        folders[:] = [f for f in folders if not f.startswith((".", "build"))]
        if "CMakeLists.txt" in names:
            yield os.path.relpath(folder, root).replace(os.sep, "/"), os.path.join(
                folder, "CMakeLists.txt")


def crossing_breaches(root):
    """Source files a CMakeLists.txt takes from another folder."""
    texts = {}
    for folder, path in cmake_files(root):
        with open(path, encoding="utf-8") as f:
            texts[folder] = re.sub(r"#[^\n]*", " ", f.read())
    exported = {name: folder for folder, text in texts.items() for name in
                EXPORTED_LIST.findall(text)}
    crossings = set()
    for folder, text in texts.items():
        for source in SOURCE_FILE.findall(text):
            top = TOP_FOLDER.match(source)
            if top and not (top.group(1) + "/").startswith(folder + "/"):
                crossings.add((folder, top.group(1)))
            elif "../" in source:
                crossings.add((folder, source))
        for name in VARIABLE.findall(text):
            home = exported.get(name)
            if home is not None and home != folder and name.endswith(("_SOURCES", "_SOURCE")):
                crossings.add((folder, name))
    return [f"{folder}/CMakeLists.txt compiles {what} of another folder (link a target)"
            for folder, what in sorted(crossings)]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    liborv = sys.argv[1]
    root = os.path.dirname(os.path.abspath(liborv))
    breaches = tool_breaches(root) + package_breaches(root) + crossing_breaches(root)
    sources = set()
    headers = set()
    included = set()
    for layer in LAYERS:
        folder = os.path.join(liborv, layer)
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".cpp", ".h")):
                continue
            path = f"{layer}/{name}"
            if name.endswith(".cpp") and layer != "platform":
                sources.add(path)
            if name.endswith(".h"):
                headers.add(path)
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                text = strip_comments(f.read())
            included |= set(INCLUDED_HEADER.findall(text))
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
    breaches += [f"{h} is included by no liborv source (test-only code lives under tests/)"
                 for h in sorted(headers - included)]
    for breach in breaches:
        print(f"check_layers: {breach}")
    sys.exit(1 if breaches else 0)


if __name__ == "__main__":
    main()
