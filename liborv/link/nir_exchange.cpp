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

// Up to n more bytes of a reply whose start is in: they follow at link
// speed, so reading ends when all are in, when a read brings nothing, or
// when a read waited the whole tail gap (what was still to come has come).
int read_reply_tail(FT_HANDLE bridge, uint8_t *buf, int n, int *got) {
    set_read_timeout(bridge, NIR_REPLY_TAIL_GAP_MS);
    *got = 0;
    while (*got < n) {
        const DWORD wanted = static_cast<DWORD>(n - *got);
        DWORD returned = 0;
        const double start = orv::platform::monotonic_ms();
        if (d2xx().FT_Read(bridge, buf + *got, wanted, &returned) != FT_OK)
            return ORV_ERR_TRANSPORT;
        if (returned > wanted) return ORV_ERR_TRANSPORT;  // driver overran the buffer it was given
        *got += static_cast<int>(returned);
        if (returned == 0 || orv::platform::monotonic_ms() - start >= NIR_REPLY_TAIL_GAP_MS) break;
    }
    return ORV_OK;
}

// Receives a reply of known size into buf (NIR_REPLY_BUFFER bytes): at
// least size.least data bytes within wait_ms, then what follows of the rest.
int receive_known_size(FT_HANDLE bridge, uint8_t *buf, int *received, unsigned wait_ms,
                       nir_reply_size size) {
    if (size.least < 0 || size.most < size.least ||
        int64_t{size.most} + NIR_REPLY_OVERHEAD > NIR_REPLY_BUFFER)
        return ORV_ERR_INVALID_PARAM;
    const int least = size.least + NIR_REPLY_OVERHEAD;
    set_read_timeout(bridge, wait_ms);
    int rc = ft_read_exact(bridge, buf, static_cast<uint32_t>(least));
    int tail = 0;
    if (rc == ORV_OK && size.most > size.least)
        rc = read_reply_tail(bridge, buf + least, size.most - size.least, &tail);
    restore_default_timeouts(bridge);
    if (rc != ORV_OK) return rc;
    *received = least + tail;
    return ORV_OK;
}

// Receives one reply into buf (NIR_REPLY_BUFFER bytes): of known size, or
// (size null) until timeout_ms pass without a byte.
int receive_reply(FT_HANDLE bridge, uint8_t *buf, int *received, int timeout_ms,
                  const nir_reply_size *size) {
    unsigned wait_ms = timeout_ms > 0 ? static_cast<unsigned>(timeout_ms) : 0;
    if (size == nullptr)
        return nir_read_available(bridge, buf, NIR_REPLY_BUFFER, received, wait_ms);
    return receive_known_size(bridge, buf, received, wait_ms, *size);
}

// The exchange of both reply kinds.
int exchange(const orv_device &device, const uint8_t *cmd, int cmd_len, uint8_t *out, int *out_len,
             int capacity, int timeout_ms, const nir_reply_size *size) {
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
    rc = receive_reply(bridge, reply, &received, timeout_ms, size);
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

}  // namespace

int nir_send_command_with_known_size(const orv_device &device, const uint8_t *cmd, int cmd_len,
                                     uint8_t *out, int *out_len, int capacity, int timeout_ms,
                                     nir_reply_size size) {
    return exchange(device, cmd, cmd_len, out, out_len, capacity, timeout_ms, &size);
}

int nir_send_command(const orv_device &device, const uint8_t *cmd, int cmd_len, uint8_t *out,
                     int *out_len, int capacity, int timeout_ms) {
    return exchange(device, cmd, cmd_len, out, out_len, capacity, timeout_ms, nullptr);
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

int nir_spectrum_exchange(const orv_device &device, uint16_t count, uint32_t timeout_ms,
                          uint8_t *out, int *out_len, int capacity) {
    const uint8_t cmd[1] = {NIR_CMD_SPECTRUM};
    return nir_send_command_with_known_size(
        device, cmd, sizeof cmd, out, out_len, capacity, static_cast<int>(timeout_ms),
        {nir_spectrum_least_bytes(count), nir_spectrum_reply_bytes(count)});
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
