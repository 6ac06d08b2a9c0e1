"""The settings beyond integration time and averages, on both protocols:
the xenon pulse and the external trigger (UV-VIS only), the selected
wavelength range (both), and the defaults stored in the instrument (UV-VIS
only). What a protocol lacks is refused by name; what an instrument gets is
read back from the simulator's transcript.
"""

from __future__ import annotations

import pytest
import tango

from conftest import nir, uv, wait_for, wait_state

UV, NIR = "ORVSIM01", "ORVSIM03"
PULSE, TRIGGER, INTEGRATION = (0xC1, 0x01), (0xC1, 0x51), (0xC1, 0x00)
STORED_INTEGRATION, STORED_AVERAGES, STORED_SMOOTHING = (0xC2, 0x00), (0xC2, 0x01), (0xC2, 0x02)


def refusal(call) -> str:
    with pytest.raises(tango.DevFailed) as failure:
        call()
    return " ".join(str(error.desc) for error in failure.value.args)


def both(running):
    device, nir_device = running.device("uv"), running.device("nir")
    wait_state(device, tango.DevState.ON)
    wait_state(nir_device, tango.DevState.ON)
    return device, nir_device


def test_xenon_pulse_and_trigger_are_written_whole_and_kept_over_a_reconnect(server):
    running = server([uv(UV), nir(NIR)],
                     {"uv": {"SerialNumber": UV}, "nir": {"SerialNumber": NIR}})
    device, nir_device = both(running)
    device.xenonPulse = [100, 70000]
    device.externalTrigger = [1, 2, 3]
    pulse = (100).to_bytes(4, "big") + (70000).to_bytes(4, "big")
    # Each apply writes every set point again: the last write is what counts.
    wait_for(lambda: running.writes(0, *PULSE)[-1:] == [pulse], what="the pulse written")
    wait_for(lambda: running.writes(0, *TRIGGER)[-1:] == [bytes([1, 2, 0, 3])],
             what="the trigger bytes written (byte 2 left 0)")
    assert list(device.xenonPulse) == [100, 70000]
    assert list(device.externalTrigger) == [1, 2, 3]

    # Only whole groups, nothing sent for a refused one.
    assert "takes 2 values" in refusal(lambda: device.write_attribute("xenonPulse", [5]))
    assert "takes 3 values" in refusal(lambda: device.write_attribute("externalTrigger", [1, 2]))
    with pytest.raises(tango.DevFailed):  # more than the attribute holds
        device.write_attribute("xenonPulse", [1, 2, 3])
    pulses, triggers = running.writes(0, *PULSE), running.writes(0, *TRIGGER)
    assert set(pulses) == {pulse} and set(triggers) == {bytes([1, 2, 0, 3])}
    device.Reset()  # a reconnect applies both again
    wait_for(lambda: running.writes(0, *PULSE) == pulses + [pulse] and
             running.writes(0, *TRIGGER) == triggers + [bytes([1, 2, 0, 3])],
             what="both applied once to the reopened instrument")
    assert running.opens(0) == 2

    for name, value in (("xenonPulse", [1, 2]), ("externalTrigger", [1, 2, 3])):
        assert "NIR_LEGACY" in refusal(lambda: nir_device.write_attribute(name, value))
        assert nir_device.read_attribute(name).quality == tango.AttrQuality.ATTR_INVALID


def test_a_selected_range_gives_its_part_of_each_spectrum_on_both_protocols(server):
    running = server([uv(UV), nir(NIR)],
                     {"uv": {"SerialNumber": UV}, "nir": {"SerialNumber": NIR}})
    for device in both(running):
        table = list(device.wavelengths)
        low, high = sorted((table[10], table[20]))
        assert device.read_attribute("selectedSpectrum").quality == \
            tango.AttrQuality.ATTR_INVALID
        device.SelectRange([low, high])
        device.Acquire()
        wait_state(device, tango.DevState.ON)
        wait_for(lambda: device.read_attribute("selectedRange").quality ==
                 tango.AttrQuality.ATTR_VALID, what="the range selected")
        inside = [n for n, wavelength in enumerate(table) if low <= wavelength <= high]
        assert len(inside) == 11
        assert list(device.selectedWavelengths) == [table[n] for n in inside]
        spectrum = list(device.spectrum)
        assert list(device.selectedSpectrum) == [spectrum[n] for n in inside]
        assert sorted(device.selectedRange) == [low, high]

        # Refused before anything reaches the instrument; the selection stays.
        span = f"{min(table):g} nm to {max(table):g} nm"
        assert "not below its end" in refusal(lambda: device.SelectRange([high, low]))
        assert span in refusal(lambda: device.SelectRange([min(table) - 1.0, high]))
        assert "finite" in refusal(lambda: device.SelectRange([float("nan"), high]))
        assert "takes 2 values" in refusal(lambda: device.SelectRange([low]))
        device.Reset()  # liborv forgets the selection on open; the device does not
        wait_state(device, tango.DevState.ON)
        wait_for(lambda: device.read_attribute("selectedRange").quality ==
                 tango.AttrQuality.ATTR_VALID, what="the range selected again")
        assert sorted(device.selectedRange) == [low, high]
        device.ClearRange()
        wait_for(lambda: device.read_attribute("selectedRange").quality ==
                 tango.AttrQuality.ATTR_INVALID, what="the range cleared")


def test_stored_defaults_are_stored_read_and_restored(server):
    running = server([uv(UV), nir(NIR)], {"uv": {"SerialNumber": UV},
                                          "nir": {"SerialNumber": NIR},
                                          "absent": {"SerialNumber": "GONE01"}})
    device, nir_device = both(running)
    assert device.storedIntegrationTime > 0 and device.storedAverages >= 1
    device.integrationTime = 42.0
    device.averages = 7
    device.StoreDefaults()
    wait_for(lambda: device.storedIntegrationTime == 42.0 and device.storedAverages == 7,
             what="the stored defaults read back")
    # Stores are one-shot actions: written once each, not with every apply.
    assert running.writes(0, *STORED_INTEGRATION) == [(42000).to_bytes(4, "big")]
    assert running.writes(0, *STORED_AVERAGES) == [bytes([0, 0, 0, 7])]
    device.storedSmoothingWidth = 5
    wait_for(lambda: device.storedSmoothingWidth == 5, what="the smoothing width stored")
    assert running.writes(0, *STORED_SMOOTHING) == [bytes([0, 0, 0, 5])]
    assert "maximum 255" in refusal(lambda: device.write_attribute("storedSmoothingWidth", 256))
    # A store is part of its request: one refused value of it stores nothing.
    assert "averages" in refusal(lambda: device.write_attributes(
        [("storedSmoothingWidth", 9), ("averages", 0)]))

    device.integrationTime = 10.0
    device.averages = 1
    device.RestoreDefaults()
    assert device.integrationTime == 42.0 and device.averages == 7
    wait_for(lambda: running.writes(0, *INTEGRATION)[-1:] == [(42000).to_bytes(4, "big")],
             what="the restored integration time applied")

    for command in ("StoreDefaults", "RestoreDefaults"):
        assert "NIR_LEGACY" in refusal(lambda: nir_device.command_inout(command))
    assert "NIR_LEGACY" in refusal(lambda: nir_device.write_attribute("storedSmoothingWidth", 1))
    assert nir_device.read_attribute("storedIntegrationTime").quality == \
        tango.AttrQuality.ATTR_INVALID
    absent = running.device("absent")
    wait_state(absent, tango.DevState.FAULT)
    assert "not allowed" in refusal(absent.StoreDefaults)
    assert running.writes(1, *STORED_SMOOTHING) == []
    assert running.writes(0, *STORED_SMOOTHING) == [bytes([0, 0, 0, 5])]
