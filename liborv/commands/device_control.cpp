// Device reset and the externally controlled spectrum acquisition.
#include "commands/device_commands.h"
#include "commands/readout.h"
#include "commands/request_patterns.h"
#include "link/device_state.h"
#include "link/timeouts.h"
#include "wire/nir_frame.h"

namespace {

using namespace registers;

constexpr int EXTERNAL_POLL_LIMIT = 200;
constexpr unsigned EXTERNAL_POLL_PAUSE_MS = 10;

}  // namespace

int reset_device(orv_device &device) {
    int rc =
        set_dual(device, RESET, word_u8(RESET_VALUE), {{NIR_CMD_RESET}, 1, NIR_GET_IDLE_GAP_MS});
    // The instrument may come back with other settings: the selection and the
    // cached wavelength count no longer hold.
    if (rc == ORV_OK) invalidate_selected_range_state(device);
    return rc;
}

int external_spectrum_control(orv_device &device, uint16_t parameter, uint16_t *samples,
                              int32_t capacity) {
    int rc = check_call(device, {.supported = protocols::uvvis_only,
                                 .late_args_ok = samples != nullptr && capacity >= 1});
    if (rc != ORV_OK) return rc;
    rc = write_register(device, EXTERNAL_CONTROL, handshake_request(EXTERNAL_START, parameter, 0));
    if (rc != ORV_OK) return rc;
    rc = poll_until_done(device, EXTERNAL_CONTROL, EXTERNAL_POLL_LIMIT, EXTERNAL_POLL_PAUSE_MS);
    if (rc != ORV_OK) return rc;
    int written = 0;
    rc =
        read_register(device, {SPECTRUM, 0, spectrum_wait(device)}, [&](const uint8_t *d, int len) {
            written = decode_spectrum_samples(d, len, samples, capacity);
        });
    return rc != ORV_OK ? rc : 2 * written;
}
