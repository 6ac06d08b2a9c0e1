// The NIR_LEGACY command exchange over the D2XX bridge.
#include "link/nir_exchange.h"

#include <cstring>

#include "link/bridge_io.h"
#include "link/d2xx_calls.h"
#include "link/device_state.h"
#include "link/timeouts.h"
#include "platform/platform.h"
#include "wire/nir_frame.h"

namespace {

// Receives one reply into buf (NIR_REPLY_BUFFER bytes): an exact length when
// expected_payload >= 0, else until timeout_ms pass without a byte.
int receive_reply(FT_HANDLE bridge, uint8_t *buf, int *received, int timeout_ms,
                  int expected_payload) {
    unsigned wait_ms = timeout_ms > 0 ? static_cast<unsigned>(timeout_ms) : 0;
    if (expected_payload < 0)
        return nir_read_available(bridge, buf, NIR_REPLY_BUFFER, received, wait_ms);
    int64_t reply_len = int64_t{expected_payload} + NIR_REPLY_OVERHEAD;
    if (reply_len > NIR_REPLY_BUFFER) return ORV_ERR_INVALID_PARAM;
    return nir_read_exact_response(bridge, buf, static_cast<int>(reply_len), received, wait_ms);
}

}  // namespace

int nir_send_command_with_expected_payload(const orv_device &device, const uint8_t *cmd,
                                           int cmd_len, uint8_t *out, int *out_len, int capacity,
                                           int timeout_ms, int expected_payload) {
    if (!device.is_open) return ORV_ERR_NOT_OPEN;
    if (cmd == nullptr || cmd_len < 1 || cmd_len > NIR_MAX_COMMAND) return ORV_ERR_INVALID_PARAM;

    uint8_t frame[NIR_MAX_FRAME];
    const int frame_len = nir_build_frame(cmd, cmd_len, frame);

    FT_HANDLE bridge = device.ft_handle;
    purge_bridge(bridge);
    int rc = ft_write_all(bridge, frame, static_cast<uint32_t>(frame_len));
    if (rc != ORV_OK) return rc;

    uint8_t reply[NIR_REPLY_BUFFER];
    int received = 0;
    rc = receive_reply(bridge, reply, &received, timeout_ms, expected_payload);
    if (rc != ORV_OK) return rc;
    rc = nir_check_reply(reply, received);
    if (rc != ORV_OK) return rc;

    if (out_len != nullptr) {
        int data_len = received - NIR_REPLY_OVERHEAD;
        if (data_len > capacity) data_len = capacity;
        if (data_len < 0) data_len = 0;
        if (data_len > 0 && out != nullptr)
            std::memcpy(out, reply + 1, static_cast<size_t>(data_len));
        *out_len = data_len;
    }
    return ORV_OK;
}

int nir_send_command(const orv_device &device, const uint8_t *cmd, int cmd_len, uint8_t *out,
                     int *out_len, int capacity, int timeout_ms) {
    return nir_send_command_with_expected_payload(device, cmd, cmd_len, out, out_len, capacity,
                                                  timeout_ms, -1);
}

int nir_query_command(const orv_device &device, uint8_t code, uint8_t *out, int *out_len,
                      int capacity) {
    const uint8_t cmd[2] = {NIR_CMD_QUERY, code};
    return nir_send_command(device, cmd, sizeof cmd, out, out_len, capacity, NIR_GET_IDLE_GAP_MS);
}

int nir_get_command(const orv_device &device, uint8_t code, uint8_t *out, int *out_len,
                    int capacity) {
    const uint8_t cmd[1] = {code};
    return nir_send_command(device, cmd, sizeof cmd, out, out_len, capacity, NIR_GET_IDLE_GAP_MS);
}

int nir_spectrum_command(const orv_device &device, uint16_t count, uint8_t *out, int *out_len,
                         int capacity) {
    const uint8_t cmd[1] = {NIR_CMD_SPECTRUM};
    return nir_send_command_with_expected_payload(
        device, cmd, sizeof cmd, out, out_len, capacity,
        static_cast<int>(spectrum_read_timeout_ms(device)), nir_spectrum_reply_bytes(count));
}

int nir_read_available(FT_HANDLE bridge, uint8_t *buf, int capacity, int *out_count,
                       unsigned idle_gap_ms) {
    double last_activity = orv::platform::monotonic_ms();
    if (buf == nullptr || out_count == nullptr || capacity <= 0) return ORV_ERR_INVALID_PARAM;

    set_read_timeout(bridge, NIR_POLL_READ_TIMEOUT_MS);
    int got = 0;
    while (got < capacity) {
        const DWORD wanted = static_cast<DWORD>(capacity - got);
        DWORD returned = 0;
        // The short read timeout stays in force after a failed read; every
        // later exchange sets its own before reading.
        if (d2xx().FT_Read(bridge, buf + got, wanted, &returned) != FT_OK) return ORV_ERR_TRANSPORT;
        if (returned > wanted) return ORV_ERR_TRANSPORT;  // driver overran the buffer it was given
        const double now = orv::platform::monotonic_ms();
        if (returned > 0) {
            got += static_cast<int>(returned);
            last_activity = now;
        } else if (now - last_activity >= idle_gap_ms) {
            break;
        } else {
            orv::platform::sleep_ms(NIR_POLL_PAUSE_MS);
        }
    }
    restore_default_timeouts(bridge);
    *out_count = got;
    return got > 0 ? ORV_OK : ORV_ERR_TIMEOUT;
}

int nir_read_exact_response(FT_HANDLE bridge, uint8_t *buf, int count, int *out_count,
                            unsigned read_timeout_ms) {
    if (buf == nullptr || out_count == nullptr || count < 1) return ORV_ERR_INVALID_PARAM;
    set_read_timeout(bridge, read_timeout_ms);
    int rc = ft_read_exact(bridge, buf, static_cast<uint32_t>(count));
    restore_default_timeouts(bridge);
    if (rc != ORV_OK) return rc;
    *out_count = count;
    return ORV_OK;
}
