"""The FTDI device list, read from the same D2XX library liborv drives."""

from __future__ import annotations

import ctypes
from dataclasses import dataclass
from typing import List

from . import _prototypes
from ._native import native
from .errors import DeviceNotFoundError

# The USB id of the instruments' bridges, 0403h:6001h (vendor << 16 | product).
INSTRUMENT_USB_ID = 0x04036001
# liborv looks devices up by chip serial among the first 64 list positions;
# the listing stops at the same place so that every listed device opens.
MAX_LISTED_DEVICES = 64
# A count the driver reports beyond this is not believed.
MAX_REPORTED_DEVICES = 4096


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
    """The FTDI devices the D2XX library lists, at most 64, in list order.

    Every bridge is listed, also those with other USB ids
    (:attr:`ListedDevice.is_instrument` tells the instruments apart). Nothing
    is opened and nothing is sent to an instrument.

    Raises:
        orv.DeviceNotFoundError: the D2XX library cannot build the list or
            reports more devices than believable; an empty list is not an error.
        orv.LibraryNotFoundError: liborv or its D2XX library cannot be loaded.
    """
    functions = native().provider_functions
    reported = ctypes.c_uint32(0)
    status = functions["FT_CreateDeviceInfoList"](ctypes.byref(reported))
    if status != _prototypes.FT_OK:
        raise DeviceNotFoundError(f"FT_CreateDeviceInfoList failed with D2XX status {status}",
                                  function="FT_CreateDeviceInfoList")
    if reported.value == 0:
        return []
    if reported.value > MAX_REPORTED_DEVICES:
        raise DeviceNotFoundError(f"the D2XX library reports {reported.value} devices",
                                  function="FT_CreateDeviceInfoList")
    # Room for every device reported: a driver may fill as many as it
    # announced, whatever count it is given.
    capacity = reported.value
    nodes = (_prototypes.ListNode * capacity)()
    filled = ctypes.c_uint32(capacity)
    status = functions["FT_GetDeviceInfoList"](nodes, ctypes.byref(filled))
    if status != _prototypes.FT_OK:
        raise DeviceNotFoundError(f"FT_GetDeviceInfoList failed with D2XX status {status}",
                                  function="FT_GetDeviceInfoList")
    count = min(filled.value, capacity, MAX_LISTED_DEVICES)
    return [
        ListedDevice(index=i, chip_serial=_text(nodes[i].SerialNumber),
                     description=_text(nodes[i].Description), usb_id=nodes[i].ID)
        for i in range(count)
    ]
