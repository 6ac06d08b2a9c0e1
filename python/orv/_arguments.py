"""Checks of caller arguments, made before anything reaches liborv."""

from __future__ import annotations

import math
import operator
from typing import Any

UINT8_MAX = 0xFF
UINT16_MAX = 0xFFFF
UINT32_MAX = 0xFFFFFFFF


def integer(value: Any, name: str, low: int, high: int) -> int:
    """``value`` as an int in ``[low, high]``. Accepts ints and integer-like
    objects (numpy integers), not bools, floats or strings.

    Raises :class:`TypeError` for another type, :class:`ValueError` outside
    the range.
    """
    if isinstance(value, bool):
        raise TypeError(f"{name} must be an integer, not bool")
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    if not low <= number <= high:
        raise ValueError(f"{name} must be {low} to {high}, not {number}")
    return number


def integers(value: Any, name: str, length: int, high: int) -> tuple[int, ...]:
    """``value``, a tuple or list of ``length`` integers in ``[0, high]``."""
    if not isinstance(value, (tuple, list)) or len(value) != length:
        raise TypeError(f"{name} must be a tuple of {length} integers")
    return tuple(integer(item, f"{name}[{i}]", 0, high) for i, item in enumerate(value))


def real(value: Any, name: str) -> float:
    """``value`` as a finite float (ints and numpy numbers too, not bools or
    strings). Raises :class:`TypeError` or :class:`ValueError`."""
    if isinstance(value, (bool, str, bytes)):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}") from None
    if not math.isfinite(number):
        raise ValueError(f"{name} must be finite, not {number}")
    return number


def wavelength_interval(start_nm: Any, end_nm: Any) -> tuple[float, float]:
    """A wavelength interval ``start_nm < end_nm``, both finite and positive."""
    start = real(start_nm, "start_nm")
    end = real(end_nm, "end_nm")
    if start <= 0:
        raise ValueError(f"start_nm must be above 0 nm, not {start}")
    if start >= end:
        raise ValueError(f"start_nm ({start}) must be below end_nm ({end})")
    return start, end


def ascii_text(value: Any, name: str, max_bytes: int) -> bytes:
    """``value``, a str of printable ASCII, 1 to ``max_bytes`` characters, as bytes."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    if not value or len(value) > max_bytes:
        raise ValueError(f"{name} must be 1 to {max_bytes} characters, not {len(value)}")
    if not (value.isascii() and value.isprintable()):
        raise ValueError(f"{name} must be printable ASCII: {value!r}")
    return value.encode("ascii")


def byte_block(value: Any, name: str, max_bytes: int) -> bytes:
    """``value``, a bytes-like object of 1 to ``max_bytes`` bytes, as bytes."""
    if isinstance(value, str) or not isinstance(value, (bytes, bytearray, memoryview)):
        raise TypeError(f"{name} must be bytes-like, not {type(value).__name__}")
    block = bytes(value)
    if not 1 <= len(block) <= max_bytes:
        raise ValueError(f"{name} must hold 1 to {max_bytes} bytes, not {len(block)}")
    return block
