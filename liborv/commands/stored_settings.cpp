// Settings stored in the instrument (register C2h), apart from the live
// ones: they never touch the cached integration time and average number.
#include "commands/request_patterns.h"
#include "link/detect.h"
#include "link/device_state.h"

namespace {

constexpr reg_addr STORED_INTEGRATION{ORV_REG_STORED, 0x00};
constexpr reg_addr STORED_AVERAGE{ORV_REG_STORED, 0x01};
constexpr reg_addr STORED_SMOOTHING{ORV_REG_STORED, 0x02};

}  // namespace

extern "C" {

int orv_set_stored_integration_time(uint32_t microseconds) {
    return set_uvvis(STORED_INTEGRATION, word_u32(microseconds));
}

int orv_get_stored_integration_time(uint32_t *microseconds) {
    return get_uvvis(microseconds != nullptr, {STORED_INTEGRATION, 1},
                     [&](const uint8_t *d, int) { *microseconds = be32(d); });
}

int orv_set_stored_average_number(uint8_t count) {
    return set_uvvis(STORED_AVERAGE, word_u8(count));
}

int orv_get_stored_average_number(uint8_t *count) {
    return get_uvvis(count != nullptr, {STORED_AVERAGE, 1},
                     [&](const uint8_t *d, int) { *count = d[3]; });
}

int orv_set_stored_smoothing_width(uint8_t width) {
    // NIR instruments have no stored smoothing: accepted without effect.
    int rc = check_call({});
    if (rc != ORV_OK) return rc;
    if (is_nir_device()) return ORV_OK;
    return write_register(STORED_SMOOTHING, word_u8(width).bytes, 4);
}

int orv_get_stored_smoothing_width(uint8_t *width) {
    return get_uvvis(width != nullptr, {STORED_SMOOTHING, 1},
                     [&](const uint8_t *d, int) { *width = d[3]; });
}

}  // extern "C"
