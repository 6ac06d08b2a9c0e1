"""The FTDI device list, as liborv lists it from the D2XX library it drives."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import List

from . import _prototypes
from ._native import native, provider_path
from .errors import DeviceNotFoundError

# The USB id of the instruments' bridges, 0403h:6001h (vendor << 16 | product).
INSTRUMENT_USB_ID = _prototypes.ORV_INSTRUMENT_USB_ID


@dataclass(frozen=True)
class ListedDevice:
    """One entry of the D2XX device list.

    Attributes:
        index: the list position, as :class:`orv.Spectrometer` takes it.
        chip_serial: the bridge chip's serial (not the instrument's own serial
            number).
        description: the bridge's description text.
        usb_id: vendor id << 16 | product id.
    """

    index: int
    chip_serial: str
    description: str
    usb_id: int

    @property
    def vendor_id(self) -> int:
        """USB vendor id (0403h for FTDI)."""
        return self.usb_id >> 16

    @property
    def product_id(self) -> int:
        """USB product id (6001h for the instruments' bridges)."""
        return self.usb_id & 0xFFFF

    @property
    def is_instrument(self) -> bool:
        """Whether the bridge has the instruments' USB id 0403h:6001h."""
        return self.usb_id == INSTRUMENT_USB_ID

    def __str__(self) -> str:
        return (f"[{self.index}] {self.chip_serial} {self.description} "
                f"({self.vendor_id:04X}:{self.product_id:04X})")


def _text(field: bytes) -> str:
    # A ctypes char array stops at the first NUL and never reads past its size.
    return field.decode("utf-8", "replace")


def list_devices() -> List[ListedDevice]:
    """The FTDI devices the D2XX library lists, at most 64 (the list positions
    liborv reaches), in list order.

    Every bridge is listed, also those with other USB ids
    (:attr:`ListedDevice.is_instrument` tells the instruments apart). Nothing
    is opened and nothing is sent to an instrument.

    Raises:
        orv.DeviceNotFoundError: the D2XX library cannot build the list or
            reports more devices than believable; an empty list is not an error.
        orv.LibraryNotFoundError: liborv or its D2XX library cannot be loaded.
    """
    records = (_prototypes.BridgeRecord * _prototypes.ORV_MAX_BRIDGES)()
    count = ctypes.c_int(0)
    status = native().functions["orv_list_bridges"](records, len(records), ctypes.byref(count),
                                                    None)
    if status != 0:
        # Raises LibraryNotFoundError when there is no D2XX library at all.
        provider = provider_path()
        raise DeviceNotFoundError(f"the D2XX library {provider} cannot list its devices",
                                  function="orv_list_bridges")
    return [
        ListedDevice(index=records[i].index, chip_serial=_text(records[i].chip_serial),
                     description=_text(records[i].description), usb_id=records[i].usb_id)
        for i in range(min(count.value, len(records)))
    ]
