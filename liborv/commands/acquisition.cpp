// Live acquisition parameters: integration time, averaging, xenon lamp,
// level output, USB baud rate and status, external trigger, capture status
// and DAC voltage. The integration time and average number are remembered
// in the device state: they set the spectrum read timeout.
#include "commands/request_patterns.h"
#include "link/device_state.h"
#include "link/timeouts.h"
#include "wire/byte_order.h"
#include "wire/nir_frame.h"

namespace {

using namespace registers;

// The average number is never cached as 0: the timeout counts 0 scans as 1.
void remember_average(uint8_t count) { g_current_average_number = count == 0 ? 1 : count; }

}  // namespace

ORV_API int orv_set_integration_time(uint32_t microseconds) {
    nir_command nir{{NIR_CMD_INTEGRATION}, 5, NIR_SET_IDLE_GAP_MS};
    put_be32(nir.bytes + 1, microseconds);
    int rc = set_dual(INTEGRATION, word_u32(microseconds), nir);
    if (rc == ORV_OK) g_current_integration_us = microseconds;
    return rc;
}

ORV_API int orv_get_integration_time(uint32_t *microseconds) {
    auto decode = [&](const uint8_t *d, int) {
        *microseconds = get_be32(d);
        g_current_integration_us = *microseconds;
    };
    return get_dual(microseconds != nullptr, INTEGRATION, decode,
                    {nir_shape::query, NIR_CMD_INTEGRATION, 4, 4}, decode);
}

ORV_API int orv_set_xenon_pulse(uint32_t first, uint32_t second) {
    return set_uvvis(XENON_PULSE, words_u32(first, second));
}

ORV_API int orv_get_xenon_pulse(uint32_t *first, uint32_t *second) {
    return get_uvvis(first != nullptr && second != nullptr, XENON_PULSE,
                     [&](const uint8_t *d, int) {
                         *first = get_be32(d);
                         *second = get_be32(d + 4);
                     });
}

ORV_API int orv_set_xenon_mode(uint8_t mode) { return set_uvvis(XENON_MODE, word_u8(mode)); }

ORV_API int orv_get_xenon_mode(uint8_t *mode) {
    return get_uvvis(mode != nullptr, XENON_MODE,
                     [&](const uint8_t *d, int) { *mode = byte_in_word(d); });
}

ORV_API int orv_set_average_number(uint8_t count) {
    // The NIR command carries the count as a 16-bit value.
    int rc =
        set_dual(AVERAGE, word_u8(count), {{NIR_CMD_AVERAGE, 0x00, count}, 3, NIR_SET_IDLE_GAP_MS});
    if (rc == ORV_OK) remember_average(count);
    return rc;
}

ORV_API int orv_get_average_number(uint8_t *count) {
    auto take = [&](uint8_t value) {
        *count = value;
        remember_average(value);
    };
    return get_dual(
        count != nullptr, AVERAGE, [&](const uint8_t *d, int) { take(byte_in_word(d)); },
        {nir_shape::query, NIR_CMD_AVERAGE, 2, 2}, [&](const uint8_t *d, int) { take(d[1]); });
}

ORV_API int orv_set_level_output(uint8_t level) {
    return set_dual(LEVEL, word_u8(level), {{NIR_CMD_LEVEL, level}, 2, NIR_SET_IDLE_GAP_MS});
}

ORV_API int orv_get_level_output(uint8_t *level) {
    return get_dual(
        level != nullptr, LEVEL, [&](const uint8_t *d, int) { *level = byte_in_word(d); },
        {nir_shape::query, NIR_CMD_LEVEL, 1, 1}, [&](const uint8_t *d, int) { *level = d[0]; });
}

ORV_API int orv_set_usb_baud_rate(uint16_t code) {
    return set_uvvis(USB_BAUD_RATE, word_u16(code));
}

ORV_API int orv_get_usb_baud_rate(uint16_t *code) {
    return get_uvvis(code != nullptr, USB_BAUD_RATE,
                     [&](const uint8_t *d, int) { *code = half_in_word(d); });
}

ORV_API int orv_get_usb_status(int32_t *status) {
    return get_uvvis(status != nullptr, USB_STATUS, [&](const uint8_t *d, int) {
        *status = byte_in_word(d) == USB_STATUS_OK ? 1 : 0;
    });
}

ORV_API int orv_set_external_trigger_config(uint8_t byte0, uint8_t byte1, uint8_t byte3) {
    payload p;
    p.bytes[0] = byte0;
    p.bytes[1] = byte1;
    p.bytes[3] = byte3;
    p.len = 4;
    return set_uvvis(TRIGGER, p);
}

ORV_API int orv_get_external_trigger_config(uint8_t *byte0, uint8_t *byte1, uint8_t *byte3) {
    return get_uvvis(byte0 != nullptr && byte1 != nullptr && byte3 != nullptr, TRIGGER,
                     [&](const uint8_t *d, int) {
                         *byte0 = d[0];
                         *byte1 = d[1];
                         *byte3 = d[3];
                     });
}

ORV_API int orv_get_spectrum_capture_status(uint64_t *status) {
    return get_uvvis(status != nullptr, CAPTURE_STATUS,
                     [&](const uint8_t *d, int) { *status = get_be64(d); });
}

ORV_API int orv_set_dac_voltage(uint16_t value) {
    return set_uvvis(DAC, word_u32(static_cast<uint32_t>(value) << DAC_SHIFT));
}

ORV_API int orv_get_dac_voltage(uint16_t *value) {
    return get_uvvis(value != nullptr, DAC, [&](const uint8_t *d, int) {
        *value = static_cast<uint16_t>(get_be32(d) >> DAC_SHIFT);
    });
}
