"""One open instrument: :class:`Spectrometer`."""

from __future__ import annotations

import ctypes
import threading
import weakref
from datetime import datetime, timezone
from types import TracebackType
from typing import Any, Callable, Generic, List, Optional, Tuple, Type, TypeVar, overload

import numpy as np
import numpy.typing as npt

from . import _arguments, measurement
from ._native import Native, native
from ._prototypes import DEVICE_HANDLE, DeviceInfoRecord, WavelengthRangeRecord
from .errors import (AmbiguousDeviceError, DeviceNotFoundError, GenericError, NotOpenError,
                     UnsupportedError, error_for_code)
from .listing import ListedDevice, list_devices
from .records import DeviceInfo, Protocol, TriggerConfig, WavelengthRange, XenonPulse

# Room for any text an instrument reports (liborv cuts and terminates).
TEXT_CAPACITY = 64
# The instrument's serial number field, in bytes.
SERIAL_NUMBER_BYTES = 12
# A chip serial fills at most the 16-byte field of the D2XX list, terminated.
CHIP_SERIAL_BYTES = 15
# Flash addresses are 16 bits; no flash access moves more than this many bytes.
MAX_FLASH_BLOCK = 0x10000
# The DAC takes 12-bit codes.
DAC_MAX = 0xFFF

T = TypeVar("T")
Samples = npt.NDArray[np.uint16]
Floats = npt.NDArray[np.float64]


class _Setting(Generic[T]):
    """A get/set property over ``orv_device_get_<operation>`` and
    ``orv_device_set_<operation>`` with one integer value."""

    def __init__(self, operation: str, ctype: Any, low: int, high: int,
                 convert: Callable[[int], T], doc: str) -> None:
        self.operation = operation
        self.ctype = ctype
        self.low = low
        self.high = high
        self.convert = convert
        self.__doc__ = doc
        self.name = operation

    def __set_name__(self, owner: type, name: str) -> None:
        self.name = name

    @overload
    def __get__(self, instrument: None, owner: Any = None) -> "_Setting[T]":
        ...

    @overload
    def __get__(self, instrument: "Spectrometer", owner: Any = None) -> T:
        ...

    def __get__(self, instrument: Optional["Spectrometer"], owner: Any = None) -> Any:
        if instrument is None:
            return self
        value = self.ctype()
        instrument._call("get_" + self.operation, ctypes.byref(value))
        return self.convert(value.value)

    def __set__(self, instrument: "Spectrometer", value: Any) -> None:
        number = _arguments.integer(value, self.name, self.low, self.high)
        instrument._call("set_" + self.operation, number)


def _choose_instrument() -> ListedDevice:
    devices = list_devices()
    instruments = [device for device in devices if device.is_instrument]
    if len(instruments) == 1:
        return instruments[0]
    listed = "; ".join(str(device) for device in devices) or "the device list is empty"
    if not instruments:
        raise DeviceNotFoundError(f"no instrument (USB id 0403:6001) is attached ({listed})")
    raise AmbiguousDeviceError(
        f"{len(instruments)} instruments are attached; name one with serial= or index=: "
        + "; ".join(str(device) for device in instruments), instruments)


def _chip_serial_at(index: int) -> Optional[str]:
    """The chip serial at a list position, for messages; ``None`` when the
    list cannot tell (opening then reports what is wrong)."""
    try:
        devices = list_devices()
    except DeviceNotFoundError:
        return None
    return devices[index].chip_serial if index < len(devices) else None


class Spectrometer:
    """One open instrument, through its own liborv handle.

    ``Spectrometer()`` opens the one instrument attached (bridges with another
    USB id than 0403h:6001h do not count); ``Spectrometer(serial="ORVSIM01")``
    the one whose bridge has that chip serial; ``Spectrometer(index=2)`` list
    position 2 of :func:`orv.list_devices`. Use it as a context manager, or
    call :meth:`close`; it is also closed when garbage collected.

    Several instruments may be open at once and used from several threads:
    liborv serializes the calls on one instrument and runs calls on different
    instruments in parallel; the interpreter lock is released while liborv
    waits for an instrument.

    Failures raise :class:`orv.OrvError` subclasses (for example
    :class:`orv.DeviceTimeoutError` when an instrument does not answer, and
    :class:`orv.UnsupportedError` for an operation its protocol lacks, with
    nothing sent); wrong arguments raise :class:`TypeError` or
    :class:`ValueError` before anything is sent; every use after :meth:`close`
    raises :class:`orv.NotOpenError`.

    Raises (when opening):
        orv.DeviceNotFoundError: no such chip serial, or no instrument at all.
        orv.AmbiguousDeviceError: several instruments and none named.
        orv.OpenFailedError: the driver refused (for example the bridge is
            open already).
        orv.LibraryNotFoundError: liborv cannot be loaded.
    """

    def __init__(self, serial: Optional[str] = None, index: Optional[int] = None) -> None:
        self._handle: Optional[int] = None
        self._lock = threading.Lock()
        self._pixel_count: Optional[int] = None
        self.dark: Optional[measurement.Capture] = None
        """The dark :meth:`store_dark` took, used by :meth:`measure`."""
        self.reference: Optional[measurement.Capture] = None
        """The reference :meth:`store_reference` took, used by :meth:`measure`."""
        if serial is not None and index is not None:
            raise ValueError("give serial or index, not both")
        chip_serial = None
        wanted = b""
        if serial is not None:
            wanted = _arguments.ascii_text(serial, "serial", CHIP_SERIAL_BYTES)
            chip_serial = serial
        elif index is not None:
            index = _arguments.integer(index, "index", 0, 0x7FFFFFFF)
        self._native: Native = native()
        if serial is None and index is None:
            chosen = _choose_instrument()
            index, chip_serial = chosen.index, chosen.chip_serial
        elif index is not None:
            chip_serial = _chip_serial_at(index)
        self.chip_serial: Optional[str] = chip_serial
        """The chip serial of the instrument's bridge, when known."""
        self.index: Optional[int] = index
        """The list position it was opened by, or ``None`` (opened by serial)."""

        handle = DEVICE_HANDLE()
        functions = self._native.functions
        if serial is not None:
            function = "orv_device_open_by_chip_serial"
            code = functions[function](wanted, ctypes.byref(handle))
        else:
            function = "orv_device_open"
            code = functions[function](index, ctypes.byref(handle))
        if code != 0:
            raise error_for_code(code, function, self._label(), self._native.result_name)
        self._handle = handle.value
        self._finalizer = weakref.finalize(self, functions["orv_device_close"], handle.value)

    # -- life cycle --------------------------------------------------------

    def close(self) -> None:
        """Closes the instrument; calling it again does nothing. Waits for a
        call another thread is making on this instrument to finish."""
        with self._lock:
            if self._handle is not None:
                self._handle = None
                self._finalizer()

    @property
    def closed(self) -> bool:
        """Whether :meth:`close` has been called."""
        return self._handle is None

    def __enter__(self) -> "Spectrometer":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def _label(self) -> str:
        if self.chip_serial is not None:
            return f"instrument {self.chip_serial}"
        return f"instrument at list position {self.index}"

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<orv.Spectrometer {self._label()}, {state}>"

    # -- calls -------------------------------------------------------------

    def _call(self, operation: str, *arguments: Any) -> int:
        """Calls ``orv_device_<operation>`` on this instrument's handle; returns
        its non-negative result or raises the error of a negative one."""
        function = self._native.device_function(operation)
        with self._lock:
            if self._handle is None:
                raise NotOpenError(f"{self._label()} is closed", name="ORV_ERR_NOT_OPEN",
                                   function="orv_device_" + operation)
            code = function(self._handle, *arguments)
        if code < 0:
            raise error_for_code(code, "orv_device_" + operation, self._label(),
                                 self._native.result_name)
        return code

    def _get(self, operation: str, *ctypes_types: Any) -> List[Any]:
        """The values of a getter with one output per type."""
        values = [ctype() for ctype in ctypes_types]
        self._call(operation, *(ctypes.byref(value) for value in values))
        return [value.value for value in values]

    def _text(self, operation: str) -> str:
        buffer = ctypes.create_string_buffer(TEXT_CAPACITY)
        self._call(operation, buffer, TEXT_CAPACITY)
        return buffer.value.decode("utf-8", "replace")

    # -- protocol ----------------------------------------------------------

    @property
    def protocol(self) -> Protocol:
        """The protocol detected when the instrument opened (no device traffic)."""
        return Protocol.of(self._get("get_device_protocol", ctypes.c_int32)[0])

    @property
    def capabilities(self) -> int:
        """liborv's capability mask of the protocol (no device traffic)."""
        return int(self._get("get_capabilities", ctypes.c_uint32)[0])

    # -- acquisition settings ----------------------------------------------

    integration_time_us = _Setting(
        "integration_time", ctypes.c_uint32, 1, _arguments.UINT32_MAX, int,
        """Integration time in microseconds (1 to 2**32 - 1). An instrument
        refuses times outside its own range (TransportError).""")
    average = _Setting(
        "average_number", ctypes.c_uint8, 1, _arguments.UINT8_MAX, int,
        """Number of scans averaged into one spectrum (1 to 255).""")
    level_output = _Setting(
        "level_output", ctypes.c_uint8, 0, _arguments.UINT8_MAX, int,
        """The level output (0 to 255).""")
    xenon_mode = _Setting(
        "xenon_mode", ctypes.c_uint8, 0, _arguments.UINT8_MAX, int,
        """Xenon lamp mode (0 to 255). UVVIS_ORV only (else UnsupportedError).""")
    usb_baud_rate = _Setting(
        "usb_baud_rate", ctypes.c_uint16, 0, _arguments.UINT16_MAX, int,
        """USB baud-rate code (0 to 65535). UVVIS_ORV only.""")
    dac_code = _Setting(
        "dac_voltage", ctypes.c_uint16, 0, DAC_MAX, int,
        """DAC output as a 12-bit code (0 to 4095). UVVIS_ORV only.""")
    stored_integration_time_us = _Setting(
        "stored_integration_time", ctypes.c_uint32, 1, _arguments.UINT32_MAX, int,
        """Integration time stored in the instrument (not the live one), in
        microseconds. UVVIS_ORV only.""")
    stored_average = _Setting(
        "stored_average_number", ctypes.c_uint8, 1, _arguments.UINT8_MAX, int,
        """Average number stored in the instrument (1 to 255). UVVIS_ORV only.""")
    stored_smoothing_width = _Setting(
        "stored_smoothing_width", ctypes.c_uint8, 0, _arguments.UINT8_MAX, int,
        """Smoothing width stored in the instrument (0 to 255). UVVIS_ORV only
        (setting it on NIR_LEGACY is accepted and does nothing).""")

    @property
    def xenon_pulse(self) -> XenonPulse:
        """The xenon lamp's pulse parameters, two 32-bit values. UVVIS_ORV only."""
        first, second = self._get("get_xenon_pulse", ctypes.c_uint32, ctypes.c_uint32)
        return XenonPulse(first, second)

    @xenon_pulse.setter
    def xenon_pulse(self, value: Tuple[int, int]) -> None:
        self._call("set_xenon_pulse",
                   *_arguments.integers(value, "xenon_pulse", 2, _arguments.UINT32_MAX))

    @property
    def trigger_config(self) -> TriggerConfig:
        """External trigger configuration bytes 0, 1 and 3. UVVIS_ORV only."""
        return TriggerConfig(*self._get("get_external_trigger_config", ctypes.c_uint8,
                                        ctypes.c_uint8, ctypes.c_uint8))

    @trigger_config.setter
    def trigger_config(self, value: Tuple[int, int, int]) -> None:
        self._call("set_external_trigger_config",
                   *_arguments.integers(value, "trigger_config", 3, _arguments.UINT8_MAX))

    @property
    def usb_status(self) -> bool:
        """Whether the instrument reports its USB link as connected. UVVIS_ORV only."""
        return bool(self._get("get_usb_status", ctypes.c_int32)[0])

    @property
    def capture_status(self) -> int:
        """The spectrum capture status, a 64-bit value. UVVIS_ORV only."""
        return int(self._get("get_spectrum_capture_status", ctypes.c_uint64)[0])

    # -- wavelength table and spectra --------------------------------------

    @property
    def wavelength_count(self) -> int:
        """The number of pixels (wavelengths), asked from the instrument."""
        count = int(self._get("get_wavelength_count", ctypes.c_uint16)[0])
        self._pixel_count = count
        return count

    def _pixels(self) -> int:
        # The count does not change while the instrument is open (a reset
        # forgets it anyway), so the spectrum reads ask for it only once.
        count = self._pixel_count
        return self.wavelength_count if count is None else count

    @property
    def wavelength_range_nm(self) -> Tuple[float, float]:
        """The first and last wavelength of the table, nm (NIR_LEGACY: ascending)."""
        first, last = self._get("get_full_wavelength_range", ctypes.c_double, ctypes.c_double)
        return float(first), float(last)

    def _read_array(self, operation: str, dtype: Any, ctype: Any, count: int) -> npt.NDArray[Any]:
        array = np.zeros(count, dtype=dtype)
        self._call(operation, array.ctypes.data_as(ctypes.POINTER(ctype)), count)
        return array

    def wavelengths(self) -> Floats:
        """The wavelength table: one wavelength per pixel, nm, float64."""
        return self._read_array("get_full_wavelength_data", np.float64, ctypes.c_double,
                                self._pixels())

    def intensities(self) -> Samples:
        """One fresh spectrum: one sample per pixel, counts, uint16. Takes the
        integration time times the average number, and raises
        DeviceTimeoutError when the instrument does not deliver in time."""
        return self._read_array("get_full_spectrum_data", np.uint16, ctypes.c_uint16,
                                self._pixels())

    def spectrum(self) -> Floats:
        """The wavelength table and one fresh spectrum as a 2 x N float64 array:
        row 0 wavelengths in nm, row 1 counts."""
        return np.vstack((self.wavelengths(), self.intensities().astype(np.float64)))

    # -- measurements (orv.measurement) ------------------------------------

    def capture(self, count: int = 1) -> measurement.Capture:
        """``count`` fresh spectra averaged on the host, with what they were
        taken with: this instrument (model, serial number, chip serial), its
        wavelengths, integration time and averaging, and the UTC time."""
        count = _arguments.integer(count, "count", 1, 0xFFFF)
        info = self.info
        conditions = measurement.Conditions(
            instrument=f"{info.model} serial {info.serial_number} ({self.chip_serial})",
            wavelengths_nm=self.wavelengths(), integration_us=self.integration_time_us,
            average=self.average,
            taken_utc=datetime.now(timezone.utc).isoformat(timespec="milliseconds"))
        return measurement.capture_of(np.vstack([self.intensities() for _ in range(count)]),
                                      conditions)

    def store_dark(self, count: int = 1) -> measurement.Capture:
        """Takes and keeps the dark (light blocked) :meth:`measure` subtracts:
        ``count`` spectra averaged on the host."""
        self.dark = self.capture(count)
        return self.dark

    def store_reference(self, count: int = 1) -> measurement.Capture:
        """Takes and keeps the reference (blank or white standard) the ratio
        modes of :meth:`measure` divide by: ``count`` spectra averaged."""
        self.reference = self.capture(count)
        return self.reference

    def measure(self, mode: str, count: int = 1, boxcar: int = 1) -> measurement.Processed:
        """A fresh sample (``count`` spectra averaged on the host) in ``mode``
        (``counts``, ``dark-corrected``, ``transmittance``, ``reflectance``,
        ``absorbance``) with the stored dark and reference, smoothed by the
        boxcar first: the values of ``orv read --mode``, NaN where undefined.

        Raises:
            orv.measurement.MeasurementError: the mode needs a dark or
                reference not stored, or one taken with other settings
                (named in the message); before anything is read.
        """
        info = measurement.mode_info(mode)
        measurement.check_boxcar_width(boxcar)
        for what, stored in (("dark", self.dark), ("reference", self.reference)):
            if stored is None and (info.needs_reference if what == "reference"
                                   else info.needs_dark):
                raise measurement.MeasurementError(f"{mode} needs a {what}: store_{what}() first")
        return measurement.measure(mode, self.capture(count), self.dark, self.reference,
                                   boxcar=boxcar)

    # -- selected range ----------------------------------------------------

    def select_range(self, start_nm: float, end_nm: float) -> WavelengthRange:
        """Selects the table positions whose wavelengths lie in
        ``[start_nm, end_nm]`` and returns the selection.

        Raises :class:`ValueError` (before anything is sent) unless
        ``0 < start_nm < end_nm``, both finite; :class:`orv.InvalidParamError`
        when the interval leaves the instrument's range or holds no table
        position (the previous selection stays).
        """
        start, end = _arguments.wavelength_interval(start_nm, end_nm)
        self._call("set_selected_wavelength_range", start, end)
        selected = self.selected_range
        if selected is None:  # liborv keeps a selection it accepted
            raise GenericError(f"{self._label()} kept no selection", name="ORV_ERR_GENERIC")
        return selected

    @property
    def selected_range(self) -> Optional[WavelengthRange]:
        """The selection, or ``None`` when nothing is selected (no device
        traffic; opening and :meth:`reset` drop it)."""
        record = WavelengthRangeRecord()
        try:
            self._call("get_selected_wavelength_range", ctypes.byref(record))
        except GenericError:
            return None
        return WavelengthRange(record.requested_start, record.requested_end,
                               record.first_wavelength, record.last_wavelength,
                               record.first_index, record.last_index, record.count)

    def _selected_count(self) -> int:
        selected = self.selected_range
        if selected is None:
            raise GenericError(f"no wavelength range is selected on {self._label()}: "
                               "call select_range first", name="ORV_ERR_GENERIC")
        return selected.count

    def selected_wavelengths(self) -> Floats:
        """The selection's wavelengths, nm. Raises :class:`orv.GenericError`
        without a selection."""
        return self._read_array("get_selected_wavelength_data", np.float64, ctypes.c_double,
                                self._selected_count())

    def selected_intensities(self) -> Samples:
        """The selection's samples of one fresh spectrum, counts. Raises
        :class:`orv.GenericError` without a selection."""
        return self._read_array("get_selected_spectrum_data", np.uint16, ctypes.c_uint16,
                                self._selected_count())

    def selected_spectrum(self) -> Floats:
        """:meth:`selected_wavelengths` and :meth:`selected_intensities` as a
        2 x N float64 array."""
        return np.vstack((self.selected_wavelengths(),
                          self.selected_intensities().astype(np.float64)))

    # -- identity and health -----------------------------------------------

    @property
    def info(self) -> DeviceInfo:
        """Model, serial number, hardware version, detector serial, slit width,
        protocol and capabilities. Model, serial and version are "" when the
        instrument does not answer them; the detector serial and slit width
        are ``None`` on NIR_LEGACY."""
        record = DeviceInfoRecord()
        self._call("get_device_info", ctypes.byref(record))
        detector: Optional[str] = None
        slit: Optional[int] = None
        try:
            detector = self._text("get_detector_serial_number")
            slit = int(self._get("get_slit_width", ctypes.c_uint8)[0])
        except UnsupportedError:
            pass

        def text(field: bytes) -> str:
            return field.decode("utf-8", "replace")

        return DeviceInfo(protocol=Protocol.of(record.protocol),
                          capabilities=int(record.capabilities), model=text(record.model),
                          serial_number=text(record.serial_number),
                          hardware_version=text(record.hardware_version),
                          detector_serial=detector, slit_width=slit)

    def write_serial_number(self, serial_number: str) -> None:
        """Writes the instrument's own serial number (1 to 12 printable ASCII
        characters). UVVIS_ORV only."""
        self._call("set_serial_number",
                   _arguments.ascii_text(serial_number, "serial_number", SERIAL_NUMBER_BYTES))

    @property
    def temperature_c(self) -> float:
        """The instrument's internal temperature, degrees Celsius."""
        return float(self._get("get_temperature", ctypes.c_float)[0])

    @property
    def calibration(self) -> Tuple[float, float, float, float]:
        """The four calibration coefficients stored in the instrument."""
        values = (ctypes.c_double * 4)()
        self._call("get_calibration_coefficients", values)
        return (values[0], values[1], values[2], values[3])

    # -- flash, reset, external spectrum -----------------------------------

    @property
    def flash_write_enabled(self) -> bool:
        """Whether the flash write-protect gate is open (flash writes allowed)."""
        return bool(self._get("get_flash_write_protect", ctypes.c_int32)[0])

    def enable_flash_write(self) -> None:
        """Opens the flash write-protect gate. :meth:`flash_write` opens it
        itself on UVVIS_ORV; NIR_LEGACY needs this first. A reset closes it."""
        self._call("set_flash_write_protect")

    def flash_read(self, address: int, length: int) -> bytes:
        """Up to ``length`` bytes of flash from ``address`` (0 to 65535); fewer
        when the instrument delivers fewer (UVVIS_ORV: at most 1024 a call)."""
        where = _arguments.integer(address, "address", 0, _arguments.UINT16_MAX)
        size = _arguments.integer(length, "length", 1, MAX_FLASH_BLOCK)
        buffer = (ctypes.c_uint8 * size)()
        stored = self._call("flash_read", where, buffer, size)
        return bytes(buffer)[:min(stored, size)]

    def flash_write(self, address: int, data: bytes) -> None:
        """Writes ``data`` (1 or more bytes) to flash at ``address``.

        Raises :class:`orv.InvalidParamError` for a block longer than the
        protocol allows (UVVIS_ORV: 2016 bytes), :class:`orv.WriteProtectedError`
        when the gate is closed (NIR_LEGACY: :meth:`enable_flash_write` first).
        """
        where = _arguments.integer(address, "address", 0, _arguments.UINT16_MAX)
        block = _arguments.byte_block(data, "data", MAX_FLASH_BLOCK)
        buffer = (ctypes.c_uint8 * len(block)).from_buffer_copy(block)
        self._call("flash_write", where, buffer, len(block))

    def reset(self) -> None:
        """Resets the instrument to its power-up settings; drops the selection."""
        self._call("reset_device")
        self._pixel_count = None

    def external_spectrum(self, parameter: int) -> Samples:
        """Starts an externally controlled acquisition with ``parameter``
        (0 to 65535), waits for it and returns its samples. UVVIS_ORV only."""
        value = _arguments.integer(parameter, "parameter", 0, _arguments.UINT16_MAX)
        capacity = self._pixels()
        samples = np.zeros(capacity, dtype=np.uint16)
        stored = self._call("external_spectrum_control", value,
                            samples.ctypes.data_as(ctypes.POINTER(ctypes.c_uint16)), capacity)
        return samples[:min(stored // 2, capacity)]


def set_protocol_preference(protocol: Optional[Protocol]) -> None:
    """Which protocol instruments opened later are driven with: ``None``
    detects it (the default), :attr:`Protocol.UVVIS_ORV` or
    :attr:`Protocol.NIR_LEGACY` skip detection. Applies to the whole process,
    instruments open already keep theirs."""
    preferences = {None: 0, Protocol.UVVIS_ORV: 1, Protocol.NIR_LEGACY: 2}
    if protocol not in preferences:
        raise ValueError(f"protocol must be None, Protocol.UVVIS_ORV or Protocol.NIR_LEGACY, "
                         f"not {protocol!r}")
    function = "orv_set_protocol_preference"
    current = native()
    code = current.functions[function](preferences[protocol])
    if code != 0:
        raise error_for_code(code, function, "", current.result_name)
