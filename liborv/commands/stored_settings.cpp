// Settings stored in the instrument (register C2h), apart from the live
// ones: they never touch the cached integration time and average number.
#include "commands/device_commands.h"
#include "commands/request_patterns.h"
#include "link/device_state.h"
#include "wire/byte_order.h"

using namespace registers;

int set_stored_integration_time(orv_device &device, uint32_t microseconds) {
    return set_uvvis(device, STORED_INTEGRATION, word_u32(microseconds));
}

int get_stored_integration_time(orv_device &device, uint32_t *microseconds) {
    return get_uvvis(device, microseconds != nullptr, STORED_INTEGRATION,
                     [&](const uint8_t *d, int) { *microseconds = get_be32(d); });
}

int set_stored_average_number(orv_device &device, uint8_t count) {
    return set_uvvis(device, STORED_AVERAGE, word_u8(count));
}

int get_stored_average_number(orv_device &device, uint8_t *count) {
    return get_uvvis(device, count != nullptr, STORED_AVERAGE,
                     [&](const uint8_t *d, int) { *count = byte_in_word(d); });
}

int set_stored_smoothing_width(orv_device &device, uint8_t width) {
    // NIR instruments have no stored smoothing: accepted without effect.
    int rc = check_call(device, {});
    if (rc != ORV_OK) return rc;
    if (is_nir_device(device)) return ORV_OK;
    return write_register(device, STORED_SMOOTHING, word_u8(width));
}

int get_stored_smoothing_width(orv_device &device, uint8_t *width) {
    return get_uvvis(device, width != nullptr, STORED_SMOOTHING,
                     [&](const uint8_t *d, int) { *width = byte_in_word(d); });
}
