// Settings stored in the instrument (register C2h), apart from the live
// ones: they never touch the cached integration time and average number.
#include "commands/request_patterns.h"
#include "link/device_state.h"
#include "wire/byte_order.h"

using namespace registers;

ORV_API int orv_set_stored_integration_time(uint32_t microseconds) {
    return set_uvvis(STORED_INTEGRATION, word_u32(microseconds));
}

ORV_API int orv_get_stored_integration_time(uint32_t *microseconds) {
    return get_uvvis(microseconds != nullptr, STORED_INTEGRATION,
                     [&](const uint8_t *d, int) { *microseconds = get_be32(d); });
}

ORV_API int orv_set_stored_average_number(uint8_t count) {
    return set_uvvis(STORED_AVERAGE, word_u8(count));
}

ORV_API int orv_get_stored_average_number(uint8_t *count) {
    return get_uvvis(count != nullptr, STORED_AVERAGE,
                     [&](const uint8_t *d, int) { *count = byte_in_word(d); });
}

ORV_API int orv_set_stored_smoothing_width(uint8_t width) {
    // NIR instruments have no stored smoothing: accepted without effect.
    int rc = check_call({});
    if (rc != ORV_OK) return rc;
    if (is_nir_device()) return ORV_OK;
    return write_register(STORED_SMOOTHING, word_u8(width));
}

ORV_API int orv_get_stored_smoothing_width(uint8_t *width) {
    return get_uvvis(width != nullptr, STORED_SMOOTHING,
                     [&](const uint8_t *d, int) { *width = byte_in_word(d); });
}
