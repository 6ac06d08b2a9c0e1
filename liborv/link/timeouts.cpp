// The spectrum read timeout (see timeouts.h).
#include "link/timeouts.h"

#include "link/device_state.h"

namespace {

constexpr uint64_t SPECTRUM_TIMEOUT_MARGIN_MS = 1000;
constexpr uint64_t SPECTRUM_TIMEOUT_MAX_MS = 120000;

}  // namespace

uint64_t spectrum_read_timeout_ms(const orv_device &device) {
    uint64_t per_scan_ms = (uint64_t{device.current_integration_us} + 999) / 1000;
    uint64_t scans = device.current_average_number == 0 ? 1 : device.current_average_number;
    uint64_t timeout = per_scan_ms * scans + SPECTRUM_TIMEOUT_MARGIN_MS;
    return timeout < SPECTRUM_TIMEOUT_MAX_MS ? timeout : SPECTRUM_TIMEOUT_MAX_MS;
}
