"""The values :class:`orv.Spectrometer` returns that are more than one number."""

from __future__ import annotations

import enum
from dataclasses import dataclass
from typing import NamedTuple, Optional


class Protocol(enum.IntEnum):
    """The protocol an instrument speaks, detected when it opens."""

    UVVIS_ORV = 1  #: register packets (UV-VIS instruments)
    NIR_LEGACY = 2  #: byte commands (older near-infrared instruments)
    UNKNOWN = 255  #: not detected (driven as UVVIS_ORV)

    @classmethod
    def of(cls, code: int) -> "Protocol":
        """The member for liborv's ``ORV_PROTOCOL_*`` code; UNKNOWN for others."""
        try:
            return cls(code)
        except ValueError:
            return cls.UNKNOWN


@dataclass(frozen=True)
class DeviceInfo:
    """What an instrument says about itself.

    Attributes:
        protocol: the detected protocol.
        capabilities: liborv's capability mask of that protocol.
        model: model text ("" when it could not be read).
        serial_number: the instrument's own serial number ("" when it could
            not be read; "NIR" on NIR_LEGACY, which has none).
        hardware_version: "AA.BB.CC.DD" (UVVIS_ORV) or the instrument's text.
        detector_serial: the detector's serial number; ``None`` on NIR_LEGACY.
        slit_width: the slit width code; ``None`` on NIR_LEGACY.
    """

    protocol: Protocol
    capabilities: int
    model: str
    serial_number: str
    hardware_version: str
    detector_serial: Optional[str]
    slit_width: Optional[int]


@dataclass(frozen=True)
class WavelengthRange:
    """A selected wavelength interval and the wavelength table positions in it.

    Attributes:
        requested_start_nm, requested_end_nm: the interval asked for, nm.
        first_wavelength_nm, last_wavelength_nm: the table's wavelengths at
            ``first_index`` and ``last_index``, nm.
        first_index, last_index: the lowest and highest table position inside.
        count: the number of positions, ``last_index - first_index + 1``.
    """

    requested_start_nm: float
    requested_end_nm: float
    first_wavelength_nm: float
    last_wavelength_nm: float
    first_index: int
    last_index: int
    count: int


class XenonPulse(NamedTuple):
    """The xenon lamp's two pulse parameters (instrument units)."""

    first: int
    second: int


class TriggerConfig(NamedTuple):
    """The external trigger configuration bytes 0, 1 and 3 (byte 2 is not
    settable)."""

    byte0: int
    byte1: int
    byte3: int
