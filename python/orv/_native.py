"""Finding and loading liborv, once per process.

liborv: the file named by ``ORV_LIBRARY`` when that is set (nothing else is
tried then); else the copy installed with this package in ``orv/_lib/``; else
the system's, as the dynamic loader finds it (``ctypes.util.find_library``,
then ``liborv.so.0`` and ``liborv.so``, or ``liborv.dll`` on Windows).

The D2XX library is liborv's to choose and load (``ORV_D2XX_LIBRARY`` on
Linux); the package only asks liborv which one it uses
(:func:`provider_path`).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Tuple

from . import _prototypes
from .errors import LibraryNotFoundError

WINDOWS = sys.platform == "win32"
LIBRARY_VARIABLE = "ORV_LIBRARY"
PACKAGE_LIBRARY_DIR = Path(__file__).resolve().parent / "_lib"

if WINDOWS:
    LIBRARY_FILE = "liborv.dll"
    SYSTEM_LIBRARY_NAMES: Tuple[str, ...] = ("liborv.dll",)
else:
    LIBRARY_FILE = "liborv.so"
    SYSTEM_LIBRARY_NAMES = ("liborv.so.0", "liborv.so")


class Native:
    """liborv, loaded, with the exports the package calls."""

    def __init__(self, library: Any, library_path: str) -> None:
        self.library = library
        self.library_path = library_path
        self.functions = _prototypes.bind(library, _prototypes.all_library_prototypes())

    def result_name(self, code: int) -> str:
        """liborv's name of a result code ("ORV_ERR_TIMEOUT", "unknown")."""
        name = self.functions["orv_result_name"](code)
        return str(name.decode("ascii", "replace")) if name else "unknown"

    def device_function(self, operation: str) -> Callable[..., int]:
        """The handle twin ``orv_device_<operation>``."""
        return self.functions["orv_device_" + operation]  # type: ignore[no-any-return]


_lock = threading.Lock()
_native: Optional[Native] = None


def native() -> Native:
    """liborv, loaded at the first call.

    Raises :class:`orv.LibraryNotFoundError` naming every place tried, or when
    a library lacks an export the package needs (too old a liborv).
    """
    global _native
    with _lock:
        if _native is None:
            _native = _load()
        return _native


def _dll(path: str) -> Any:
    return ctypes.CDLL(path)


def _try(path: str, tried: List[str]) -> Any:
    try:
        return _dll(path)
    except OSError as error:
        tried.append(f"{path} ({error})")
        return None


def _load_library(tried: List[str]) -> Tuple[Any, str]:
    """liborv and where it came from (a path or the name the loader found)."""
    named = os.environ.get(LIBRARY_VARIABLE)
    if named:
        loaded = _try(named, tried)
        if loaded is None:
            raise LibraryNotFoundError(f"liborv could not be loaded from {LIBRARY_VARIABLE}: "
                                       + "; ".join(tried))
        return loaded, named
    tried.append(f"{LIBRARY_VARIABLE} (not set)")

    bundled = PACKAGE_LIBRARY_DIR / LIBRARY_FILE
    if bundled.is_file():
        loaded = _try(str(bundled), tried)
        if loaded is not None:
            return loaded, str(bundled)
    else:
        tried.append(f"{bundled} (no such file)")

    found = ctypes.util.find_library("orv")
    system_names = ([found] if found else []) + list(SYSTEM_LIBRARY_NAMES)
    for name in dict.fromkeys(system_names):
        loaded = _try(name, tried)
        if loaded is not None:
            return loaded, name
    raise LibraryNotFoundError("liborv not found; tried: " + "; ".join(tried)
                               + f". Set {LIBRARY_VARIABLE} to the path of {LIBRARY_FILE}.")


def _load() -> Native:
    tried: List[str] = []
    library, library_path = _load_library(tried)
    try:
        return Native(library, library_path)
    except AttributeError as error:
        raise LibraryNotFoundError(f"{library_path} lacks an export this package needs "
                                   f"(older than this package?): {error}") from None


def provider_path() -> str:
    """The file of the D2XX library liborv drives, as liborv tells it (loading
    the library first if none is loaded yet).

    Raises :class:`orv.LibraryNotFoundError` with liborv's reason when it has
    none.
    """
    text = ctypes.create_string_buffer(1024)
    code = native().functions["orv_d2xx_provider"](text, len(text))
    reason = text.value.decode("utf-8", "replace")
    if code != 0:
        raise LibraryNotFoundError(f"liborv has no D2XX library: {reason}")
    return reason


def loaded_libraries() -> Dict[str, str]:
    """Which liborv and D2XX library this process uses, loading them first if
    needed: ``{"liborv": path, "d2xx": path}``; liborv's path is the bare file
    name when the system's loader found it, the D2XX library's is the file
    liborv loaded (:func:`provider_path`)."""
    return {"liborv": native().library_path, "d2xx": provider_path()}
