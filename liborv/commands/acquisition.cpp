// Live acquisition parameters: integration time, averaging, xenon lamp,
// level output, USB baud rate and status, external trigger, capture status
// and DAC voltage. The integration time and average number are remembered
// in the device state: they set the spectrum read timeout.
#include "commands/device_commands.h"
#include "commands/request_patterns.h"
#include "link/device_state.h"
#include "link/timeouts.h"
#include "wire/byte_order.h"
#include "wire/nir_frame.h"

namespace {

using namespace registers;

// The average number is never cached as 0: the timeout counts 0 scans as 1.
void remember_average(orv_device &device, uint8_t count) {
    device.current_average_number = count == 0 ? 1 : count;
}

}  // namespace

int set_integration_time(orv_device &device, uint32_t microseconds) {
    nir_command nir{{NIR_CMD_INTEGRATION}, 5, NIR_SET_IDLE_GAP_MS};
    put_be32(nir.bytes + 1, microseconds);
    int rc = set_dual(device, INTEGRATION, word_u32(microseconds), nir);
    if (rc == ORV_OK) device.current_integration_us = microseconds;
    return rc;
}

int get_integration_time(orv_device &device, uint32_t *microseconds) {
    auto decode = [&](const uint8_t *d, int) {
        *microseconds = get_be32(d);
        device.current_integration_us = *microseconds;
    };
    return get_dual(device, microseconds != nullptr, INTEGRATION, decode,
                    {nir_shape::query, NIR_CMD_INTEGRATION, 4, 4}, decode);
}

int set_xenon_pulse(orv_device &device, uint32_t first, uint32_t second) {
    return set_uvvis(device, XENON_PULSE, words_u32(first, second));
}

int get_xenon_pulse(orv_device &device, uint32_t *first, uint32_t *second) {
    return get_uvvis(device, first != nullptr && second != nullptr, XENON_PULSE,
                     [&](const uint8_t *d, int) {
                         *first = get_be32(d);
                         *second = get_be32(d + 4);
                     });
}

int set_xenon_mode(orv_device &device, uint8_t mode) {
    return set_uvvis(device, XENON_MODE, word_u8(mode));
}

int get_xenon_mode(orv_device &device, uint8_t *mode) {
    return get_uvvis(device, mode != nullptr, XENON_MODE,
                     [&](const uint8_t *d, int) { *mode = byte_in_word(d); });
}

int set_average_number(orv_device &device, uint8_t count) {
    // The NIR command carries the count as a 16-bit value.
    int rc = set_dual(device, AVERAGE, word_u8(count),
                      {{NIR_CMD_AVERAGE, 0x00, count}, 3, NIR_SET_IDLE_GAP_MS});
    if (rc == ORV_OK) remember_average(device, count);
    return rc;
}

int get_average_number(orv_device &device, uint8_t *count) {
    auto take = [&](uint8_t value) {
        *count = value;
        remember_average(device, value);
    };
    return get_dual(
        device, count != nullptr, AVERAGE, [&](const uint8_t *d, int) { take(byte_in_word(d)); },
        {nir_shape::query, NIR_CMD_AVERAGE, 2, 2}, [&](const uint8_t *d, int) { take(d[1]); });
}

int set_level_output(orv_device &device, uint8_t level) {
    return set_dual(device, LEVEL, word_u8(level),
                    {{NIR_CMD_LEVEL, level}, 2, NIR_SET_IDLE_GAP_MS});
}

int get_level_output(orv_device &device, uint8_t *level) {
    return get_dual(
        device, level != nullptr, LEVEL, [&](const uint8_t *d, int) { *level = byte_in_word(d); },
        {nir_shape::query, NIR_CMD_LEVEL, 1, 1}, [&](const uint8_t *d, int) { *level = d[0]; });
}

int set_usb_baud_rate(orv_device &device, uint16_t code) {
    return set_uvvis(device, USB_BAUD_RATE, word_u16(code));
}

int get_usb_baud_rate(orv_device &device, uint16_t *code) {
    return get_uvvis(device, code != nullptr, USB_BAUD_RATE,
                     [&](const uint8_t *d, int) { *code = half_in_word(d); });
}

int get_usb_status(orv_device &device, int32_t *status) {
    return get_uvvis(device, status != nullptr, USB_STATUS, [&](const uint8_t *d, int) {
        *status = byte_in_word(d) == USB_STATUS_OK ? 1 : 0;
    });
}

int set_external_trigger_config(orv_device &device, uint8_t byte0, uint8_t byte1, uint8_t byte3) {
    payload p;
    p.bytes[0] = byte0;
    p.bytes[1] = byte1;
    p.bytes[3] = byte3;
    p.len = 4;
    return set_uvvis(device, TRIGGER, p);
}

int get_external_trigger_config(orv_device &device, uint8_t *byte0, uint8_t *byte1,
                                uint8_t *byte3) {
    return get_uvvis(device, byte0 != nullptr && byte1 != nullptr && byte3 != nullptr, TRIGGER,
                     [&](const uint8_t *d, int) {
                         *byte0 = d[0];
                         *byte1 = d[1];
                         *byte3 = d[3];
                     });
}

int get_spectrum_capture_status(orv_device &device, uint64_t *status) {
    return get_uvvis(device, status != nullptr, CAPTURE_STATUS,
                     [&](const uint8_t *d, int) { *status = get_be64(d); });
}

int set_dac_voltage(orv_device &device, uint16_t value) {
    return set_uvvis(device, DAC, word_u32(static_cast<uint32_t>(value) << DAC_SHIFT));
}

int get_dac_voltage(orv_device &device, uint16_t *value) {
    return get_uvvis(device, value != nullptr, DAC, [&](const uint8_t *d, int) {
        *value = static_cast<uint16_t>(get_be32(d) >> DAC_SHIFT);
    });
}
