"""Finding and loading liborv and the D2XX library it uses, once per process.

liborv: the file named by ``ORV_LIBRARY`` when that is set (nothing else is
tried then); else the copy installed with this package in ``orv/_lib/``; else
the system's, as the dynamic loader finds it (``ctypes.util.find_library``,
then ``liborv.so.0`` and ``liborv.so``, or ``liborv.dll`` on Windows).

The D2XX library whose device list :func:`orv.list_devices` reads must be the
one liborv drives: on Linux the file named by ``ORV_D2XX_LIBRARY`` when that is
set; else the one beside the liborv file that was loaded; else the system's.
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
PROVIDER_VARIABLE = "ORV_D2XX_LIBRARY"
PACKAGE_LIBRARY_DIR = Path(__file__).resolve().parent / "_lib"

if WINDOWS:
    LIBRARY_FILE = "liborv.dll"
    SYSTEM_LIBRARY_NAMES: Tuple[str, ...] = ("liborv.dll",)
    PROVIDER_FILE = "FTD2XX.dll"
else:
    LIBRARY_FILE = "liborv.so"
    SYSTEM_LIBRARY_NAMES = ("liborv.so.0", "liborv.so")
    PROVIDER_FILE = "libftd2xx.so"


class Native:
    """liborv and its D2XX library, loaded, with the exports the package calls."""

    def __init__(self, library: Any, library_path: str, provider: Any,
                 provider_path: str) -> None:
        self.library = library
        self.library_path = library_path
        self.provider = provider
        self.provider_path = provider_path
        self.functions = _prototypes.bind(library, _prototypes.all_library_prototypes())
        self.provider_functions = _prototypes.bind(provider, _prototypes.PROVIDER_FUNCTIONS)

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
    """liborv and its D2XX library, loaded at the first call.

    Raises :class:`orv.LibraryNotFoundError` naming every place tried, or when
    a library lacks an export the package needs (too old a liborv).
    """
    global _native
    with _lock:
        if _native is None:
            _native = _load()
        return _native


def _dll(path: str) -> Any:
    # D2XX uses the stdcall convention on 32-bit Windows; on x64 both are one.
    return ctypes.WinDLL(path) if WINDOWS else ctypes.CDLL(path)  # type: ignore[attr-defined]


def _try(path: str, tried: List[str]) -> Any:
    try:
        return _dll(path)
    except OSError as error:
        tried.append(f"{path} ({error})")
        return None


def _load_library(tried: List[str]) -> Tuple[Any, str, bool]:
    """liborv, where it came from (a path or the name the loader found), and
    whether that is a path."""
    named = os.environ.get(LIBRARY_VARIABLE)
    if named:
        loaded = _try(named, tried)
        if loaded is None:
            raise LibraryNotFoundError(f"liborv could not be loaded from {LIBRARY_VARIABLE}: "
                                       + "; ".join(tried))
        return loaded, named, True
    tried.append(f"{LIBRARY_VARIABLE} (not set)")

    bundled = PACKAGE_LIBRARY_DIR / LIBRARY_FILE
    if bundled.is_file():
        loaded = _try(str(bundled), tried)
        if loaded is not None:
            return loaded, str(bundled), True
    else:
        tried.append(f"{bundled} (no such file)")

    found = ctypes.util.find_library("orv")
    system_names = ([found] if found else []) + list(SYSTEM_LIBRARY_NAMES)
    for name in dict.fromkeys(system_names):
        loaded = _try(name, tried)
        if loaded is not None:
            return loaded, name, False
    raise LibraryNotFoundError("liborv not found; tried: " + "; ".join(tried)
                               + f". Set {LIBRARY_VARIABLE} to the path of {LIBRARY_FILE}.")


def _provider_candidates(library_dir: Optional[Path]) -> List[str]:
    """Where the D2XX library comes from, in order (the first that loads)."""
    named = None if WINDOWS else os.environ.get(PROVIDER_VARIABLE)
    if named:
        return [named]
    candidates = []
    if library_dir is not None:
        beside = library_dir / PROVIDER_FILE
        if beside.is_file():
            candidates.append(str(beside))
    candidates.append(PROVIDER_FILE)
    return candidates


def _load() -> Native:
    tried: List[str] = []
    # A D2XX library named in the environment is loaded before liborv, so that
    # liborv's dependency on that file name is met by the same copy.
    provider_named = not WINDOWS and bool(os.environ.get(PROVIDER_VARIABLE))
    provider: Any = None
    provider_path = ""
    if provider_named:
        provider_path = _provider_candidates(None)[0]
        provider = _try(provider_path, tried)
    if provider_named and provider is None:
        raise LibraryNotFoundError(f"the D2XX library could not be loaded from "
                                   f"{PROVIDER_VARIABLE}: " + "; ".join(tried))
    library, library_path, by_path = _load_library(tried)
    if provider is None:
        provider_tried: List[str] = []
        # Beside the file as named, like the loader's $ORIGIN (not where a
        # symbolic link points).
        library_dir = Path(os.path.abspath(library_path)).parent if by_path else None
        for candidate in _provider_candidates(library_dir):
            provider = _try(candidate, provider_tried)
            if provider is not None:
                provider_path = candidate
                break
        if provider is None:
            raise LibraryNotFoundError("the D2XX library liborv uses was not found; tried: "
                                       + "; ".join(provider_tried))
    try:
        return Native(library, library_path, provider, provider_path)
    except AttributeError as error:
        raise LibraryNotFoundError(f"{library_path} lacks an export this package needs "
                                   f"(older than the handle interface?): {error}") from None


def loaded_libraries() -> Dict[str, str]:
    """Which liborv and D2XX library this process uses, loading them first if
    needed: ``{"liborv": path, "d2xx": path}``; a path is the bare file name
    when the system's loader found the library."""
    current = native()
    return {"liborv": current.library_path, "d2xx": current.provider_path}
