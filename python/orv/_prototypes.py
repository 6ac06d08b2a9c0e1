"""The C types of liborv's exports and records, as declared in orv.h.

Every device operation ``orv_<name>`` of the process-wide interface has a twin
``orv_device_<name>`` that takes the handle first; :data:`DEVICE_OPERATIONS`
lists each once, by ``<name>``, with the arguments after the handle.
"""

from __future__ import annotations

import ctypes
from ctypes import (POINTER, c_char, c_char_p, c_double, c_float, c_int, c_int32, c_uint8,
                    c_uint16, c_uint32, c_uint64, c_void_p)
from typing import Any, Dict, Sequence, Tuple

# Constants of orv.h the package uses (the CTest python_package compares them
# with the header).
ORV_INSTRUMENT_USB_ID = 0x04036001
ORV_MAX_BRIDGES = 64
ORV_BRIDGE_OPENED = 0x1
ORV_BRIDGE_HIGH_SPEED = 0x2


class WavelengthRangeRecord(ctypes.Structure):
    """orv_wavelength_range: 40 bytes."""

    _fields_ = [
        ("requested_start", c_double),
        ("requested_end", c_double),
        ("first_wavelength", c_double),
        ("last_wavelength", c_double),
        ("first_index", c_uint16),
        ("last_index", c_uint16),
        ("count", c_uint16),
    ]


class DeviceInfoRecord(ctypes.Structure):
    """orv_device_info: 168 bytes, texts terminated."""

    _fields_ = [
        ("protocol", c_int32),
        ("capabilities", c_uint32),
        ("protocol_name", c_char * 32),
        ("model", c_char * 32),
        ("serial_number", c_char * 32),
        ("hardware_version", c_char * 64),
    ]


class BridgeRecord(ctypes.Structure):
    """orv_bridge_info: 128 bytes, texts terminated."""

    _fields_ = [
        ("index", c_int32),
        ("usb_id", c_uint32),
        ("flags", c_uint32),
        ("location", c_uint32),
        ("chip_serial", c_char * 32),
        ("description", c_char * 80),
    ]


for _record, _size in ((WavelengthRangeRecord, 40), (DeviceInfoRecord, 168), (BridgeRecord, 128)):
    if ctypes.sizeof(_record) != _size:  # pragma: no cover - a wrong platform ABI
        raise ImportError(f"{_record.__name__} is {ctypes.sizeof(_record)} bytes, not {_size}")

Prototype = Tuple[Any, Sequence[Any]]  # (result type, argument types)

# The device operations by the name after "orv_" / "orv_device_", with their
# arguments after the handle. Every one returns a result code (int).
DEVICE_OPERATIONS: Dict[str, Sequence[Any]] = {
    "get_device_protocol": (POINTER(c_int32),),
    "get_capabilities": (POINTER(c_uint32),),
    "set_integration_time": (c_uint32,),
    "get_integration_time": (POINTER(c_uint32),),
    "set_xenon_pulse": (c_uint32, c_uint32),
    "get_xenon_pulse": (POINTER(c_uint32), POINTER(c_uint32)),
    "set_xenon_mode": (c_uint8,),
    "get_xenon_mode": (POINTER(c_uint8),),
    "set_average_number": (c_uint8,),
    "get_average_number": (POINTER(c_uint8),),
    "set_level_output": (c_uint8,),
    "get_level_output": (POINTER(c_uint8),),
    "set_usb_baud_rate": (c_uint16,),
    "get_usb_baud_rate": (POINTER(c_uint16),),
    "get_usb_status": (POINTER(c_int32),),
    "set_external_trigger_config": (c_uint8, c_uint8, c_uint8),
    "get_external_trigger_config": (POINTER(c_uint8), POINTER(c_uint8), POINTER(c_uint8)),
    "get_spectrum_capture_status": (POINTER(c_uint64),),
    "set_dac_voltage": (c_uint16,),
    "get_dac_voltage": (POINTER(c_uint16),),
    "get_wavelength_count": (POINTER(c_uint16),),
    "get_full_wavelength_range": (POINTER(c_double), POINTER(c_double)),
    "get_full_wavelength_data": (POINTER(c_double), c_int32),
    "get_full_spectrum_data": (POINTER(c_uint16), c_int32),
    "set_selected_wavelength_range": (c_double, c_double),
    "get_selected_wavelength_range": (POINTER(WavelengthRangeRecord),),
    "get_selected_wavelength_data": (POINTER(c_double), c_int32),
    "get_selected_spectrum_data": (POINTER(c_uint16), c_int32),
    "get_calibration_coefficients": (POINTER(c_double),),
    "get_temperature": (POINTER(c_float),),
    "get_hardware_version": (c_char_p, c_int32),
    "get_detector_serial_number": (c_char_p, c_int32),
    "get_device_model": (c_char_p, c_int32),
    "get_slit_width": (POINTER(c_uint8),),
    "set_serial_number": (c_char_p,),
    "get_serial_number": (c_char_p, c_int32),
    "get_device_info": (POINTER(DeviceInfoRecord),),
    "set_flash_write_protect": (),
    "get_flash_write_protect": (POINTER(c_int32),),
    "reset_device": (),
    "flash_read": (c_uint16, POINTER(c_uint8), c_int32),
    "flash_write": (c_uint16, POINTER(c_uint8), c_int32),
    "external_spectrum_control": (c_uint16, POINTER(c_uint16), c_int32),
    "set_stored_integration_time": (c_uint32,),
    "get_stored_integration_time": (POINTER(c_uint32),),
    "set_stored_average_number": (c_uint8,),
    "get_stored_average_number": (POINTER(c_uint8),),
    "set_stored_smoothing_width": (c_uint8,),
    "get_stored_smoothing_width": (POINTER(c_uint8),),
}

# The handle: a pointer to the opaque orv_device.
DEVICE_HANDLE = c_void_p

# Exports outside the device operations that the package calls.
LIBRARY_FUNCTIONS: Dict[str, Prototype] = {
    "orv_result_name": (c_char_p, (c_int,)),
    "orv_device_open": (c_int, (c_int, POINTER(DEVICE_HANDLE))),
    "orv_device_open_by_chip_serial": (c_int, (c_char_p, POINTER(DEVICE_HANDLE))),
    "orv_device_close": (None, (DEVICE_HANDLE,)),
    "orv_set_protocol_preference": (c_int, (c_int,)),
    "orv_list_bridges": (c_int, (POINTER(BridgeRecord), c_int, POINTER(c_int), POINTER(c_int))),
    "orv_d2xx_provider": (c_int, (c_char_p, c_int)),
}


def all_library_prototypes() -> Dict[str, Prototype]:
    """Every liborv export the package binds: the library functions and the
    handle twin of every device operation."""
    prototypes = dict(LIBRARY_FUNCTIONS)
    for name, arguments in DEVICE_OPERATIONS.items():
        prototypes["orv_device_" + name] = (c_int, (DEVICE_HANDLE, *arguments))
    return prototypes


def bind(library: Any, prototypes: Dict[str, Prototype]) -> Dict[str, Any]:
    """The functions of a loaded library, their types set. Raises
    :class:`AttributeError` naming the first export the library lacks."""
    bound = {}
    for name, (result, arguments) in prototypes.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = list(arguments)
        bound[name] = function
    return bound
