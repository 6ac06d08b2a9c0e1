"""Exceptions raised by the orv package.

Every failure liborv reports becomes an :class:`OrvError` (or one of its
subclasses, one per result code of ``orv.h``) carrying the code, its name and
the liborv function that returned it. Arguments that are wrong before anything
reaches liborv raise the built-in :class:`TypeError` or :class:`ValueError`.
"""

from __future__ import annotations

from typing import Callable, Dict, Optional, Sequence, Type


class OrvError(Exception):
    """A result code other than ``ORV_OK`` from liborv.

    Attributes:
        code: the negative result code (``ORV_ERR_*``).
        name: its name, ``"ORV_ERR_TIMEOUT"`` and so on; ``"unknown"`` for a
            code liborv does not define.
        function: the liborv export that returned it (``"orv_device_open"``),
            or ``None`` when the package itself found the failure.
    """

    code: int = 0

    def __init__(self, message: str, code: Optional[int] = None, name: str = "",
                 function: Optional[str] = None) -> None:
        super().__init__(message)
        if code is not None:
            self.code = code
        self.name = name or _CODE_NAMES.get(self.code, "unknown")
        self.function = function


class GenericError(OrvError):
    """``ORV_ERR_GENERIC``: for example a selection read without a selected range."""

    code = -1


class DeviceNotFoundError(OrvError, LookupError):
    """``ORV_ERR_DEVICE_NOT_FOUND``: the device list is empty or unavailable, or
    has no device with the index or chip serial asked for."""

    code = -2


class NotOpenError(OrvError):
    """``ORV_ERR_NOT_OPEN``: the instrument is closed."""

    code = -3


class TransportError(OrvError, OSError):
    """``ORV_ERR_TRANSPORT``: the D2XX driver failed, or the reply was short,
    malformed or carried a reply code without a meaning of its own (such as an
    instrument refusing a value)."""

    code = -4


class InvalidParamError(OrvError, ValueError):
    """``ORV_ERR_INVALID_PARAM``: liborv refused an argument (a wavelength range
    outside the instrument's, a block too long for its flash, ...)."""

    code = -5


class OpenFailedError(OrvError, OSError):
    """``ORV_ERR_OPEN_FAILED``: the D2XX driver refused to open the bridge
    (also when it is open already, in this or another process)."""

    code = -6


class CrcMismatchError(OrvError, OSError):
    """``ORV_ERR_CRC_MISMATCH``: a reply's checksum was wrong, or the instrument
    reported a wrong checksum of the request."""

    code = -7


class InvalidPacketError(OrvError, OSError):
    """``ORV_ERR_INVALID_PACKET``: a UVVIS_ORV reply with a wrong preamble."""

    code = -8


class DeviceTimeoutError(OrvError, TimeoutError):
    """``ORV_ERR_TIMEOUT``: no reply in time, the instrument reported a timeout,
    or a completion poll ran out. Also a built-in :class:`TimeoutError`."""

    code = -9


class WriteProtectedError(OrvError, PermissionError):
    """``ORV_ERR_WRITE_PROTECTED``: the instrument refused a write because its
    flash write-protect gate is closed."""

    code = -10


class UnsupportedError(OrvError):
    """``ORV_ERR_UNSUPPORTED``: the operation does not exist for the
    instrument's protocol; nothing was sent."""

    code = -11


class AmbiguousDeviceError(LookupError):
    """Several instruments are attached and none was named.

    Attributes:
        choices: the instruments to choose from (:class:`orv.ListedDevice`).
    """

    def __init__(self, message: str, choices: Sequence[object]) -> None:
        super().__init__(message)
        self.choices = list(choices)


class LibraryNotFoundError(OSError):
    """liborv (or the D2XX library) could not be loaded; the message names every
    place that was tried and why each failed."""


_ERROR_CLASSES: Dict[int, Type[OrvError]] = {
    cls.code: cls
    for cls in (GenericError, DeviceNotFoundError, NotOpenError, TransportError,
                InvalidParamError, OpenFailedError, CrcMismatchError, InvalidPacketError,
                DeviceTimeoutError, WriteProtectedError, UnsupportedError)
}

# Names for the errors the package raises before liborv is loaded or without
# asking it; liborv's own orv_result_name is used whenever it is at hand.
_CODE_NAMES: Dict[int, str] = {
    -1: "ORV_ERR_GENERIC",
    -2: "ORV_ERR_DEVICE_NOT_FOUND",
    -3: "ORV_ERR_NOT_OPEN",
    -4: "ORV_ERR_TRANSPORT",
    -5: "ORV_ERR_INVALID_PARAM",
    -6: "ORV_ERR_OPEN_FAILED",
    -7: "ORV_ERR_CRC_MISMATCH",
    -8: "ORV_ERR_INVALID_PACKET",
    -9: "ORV_ERR_TIMEOUT",
    -10: "ORV_ERR_WRITE_PROTECTED",
    -11: "ORV_ERR_UNSUPPORTED",
}


def error_for_code(code: int, function: Optional[str], context: str = "",
                   name_of: Optional[Callable[[int], str]] = None) -> OrvError:
    """The exception for a failed call: the subclass of ``code`` (the base
    class for an unknown code), with a message naming the function, the code
    and what was being done."""
    name = name_of(code) if name_of is not None else _CODE_NAMES.get(code, "unknown")
    cls = _ERROR_CLASSES.get(code, OrvError)
    where = f"{function}" if function else "orv"
    message = f"{where} failed: {name} ({code})"
    if context:
        message += f" ({context})"
    return cls(message, code=code, name=name, function=function)
