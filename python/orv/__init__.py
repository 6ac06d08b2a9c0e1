"""Compact USB spectrometers from Python, over liborv.

    import orv
    with orv.Spectrometer(serial="ORVSIM01") as spectrometer:
        spectrometer.integration_time_us = 20_000
        wavelengths_nm, counts = spectrometer.spectrum()

:func:`list_devices` lists the bridges; :class:`Spectrometer` opens one
instrument through its own liborv handle. Failures raise :class:`OrvError`
subclasses, one per liborv result code. Which liborv is loaded:
``ORV_LIBRARY`` if set, else the copy installed with the package, else the
system's (see :func:`loaded_libraries`).
"""

from . import measurement
from ._native import loaded_libraries
from ._version import __version__
from .errors import (AmbiguousDeviceError, CrcMismatchError, DeviceNotFoundError,
                     DeviceTimeoutError, GenericError, InvalidPacketError, InvalidParamError,
                     LibraryNotFoundError, NotOpenError, OpenFailedError, OrvError,
                     TransportError, UnsupportedError, WriteProtectedError)
from .listing import INSTRUMENT_USB_ID, ListedDevice, list_devices
from .records import DeviceInfo, Protocol, TriggerConfig, WavelengthRange, XenonPulse
from .spectrometer import Spectrometer, set_protocol_preference

__all__ = [
    "__version__",
    "AmbiguousDeviceError",
    "CrcMismatchError",
    "DeviceInfo",
    "DeviceNotFoundError",
    "DeviceTimeoutError",
    "GenericError",
    "INSTRUMENT_USB_ID",
    "InvalidPacketError",
    "InvalidParamError",
    "LibraryNotFoundError",
    "ListedDevice",
    "NotOpenError",
    "OpenFailedError",
    "OrvError",
    "Protocol",
    "Spectrometer",
    "TransportError",
    "TriggerConfig",
    "UnsupportedError",
    "WavelengthRange",
    "WriteProtectedError",
    "XenonPulse",
    "list_devices",
    "loaded_libraries",
    "measurement",
    "set_protocol_preference",
]
