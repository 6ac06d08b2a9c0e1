// The NIR_LEGACY byte-command protocol: frames a command with its CRC-16,
// collects the reply (to a known length, or until the line stays quiet) and
// checks its CRC-16 and ACK.
#include "link/nir_exchange.h"

#include <cstring>

#include "link/device_state.h"
#include "link/uvvis_exchange.h"
#include "platform/platform.h"

namespace {

constexpr int NIR_FRAME_BUFFER = NIR_MAX_COMMAND + 2;
constexpr uint32_t NIR_POLL_READ_TIMEOUT_MS = 50;
constexpr unsigned NIR_POLL_PAUSE_MS = 5;
constexpr int NIR_REPLY_OVERHEAD = 3;  // ACK byte + CRC-16

void restore_default_timeouts() {
    FT_SetTimeouts(g_ft_handle, ORV_DEFAULT_TIMEOUT_MS, ORV_DEFAULT_TIMEOUT_MS);
}

// Receives one reply into buf (NIR_REPLY_BUFFER bytes): an exact length when
// expected_payload >= 0, else until timeout_ms pass without a byte.
int receive_reply(uint8_t *buf, int *received, int timeout_ms, int expected_payload) {
    unsigned wait_ms = timeout_ms > 0 ? static_cast<unsigned>(timeout_ms) : 0;
    if (expected_payload < 0) return nir_read_available(buf, NIR_REPLY_BUFFER, received, wait_ms);
    int64_t reply_len = int64_t{expected_payload} + NIR_REPLY_OVERHEAD;
    if (reply_len > NIR_REPLY_BUFFER) return ORV_ERR_INVALID_PARAM;
    return nir_read_exact_response(buf, static_cast<int>(reply_len), received, wait_ms);
}

// Length, CRC-16 (before the ACK, so a NAK with a broken CRC reports the CRC)
// and ACK of a complete reply.
int check_reply(const uint8_t *reply, int received) {
    if (received <= 2) return ORV_ERR_TRANSPORT;
    int crc = orv_crc16_legacy(reply, received - 2);
    if (reply[received - 2] != static_cast<uint8_t>(crc >> 8) ||
        reply[received - 1] != static_cast<uint8_t>(crc))
        return ORV_ERR_CRC_MISMATCH;
    if (reply[0] != NIR_ACK) return ORV_ERR_TRANSPORT;  // NAK or garbage
    return ORV_OK;
}

}  // namespace

int nir_send_command_with_expected_payload(const uint8_t *cmd, int cmd_len, uint8_t *out,
                                           int *out_len, int capacity, int timeout_ms,
                                           int expected_payload) {
    if (g_device_open == 0) return ORV_ERR_NOT_OPEN;
    if (cmd == nullptr || cmd_len < 1 || cmd_len > NIR_MAX_COMMAND) return ORV_ERR_INVALID_PARAM;

    uint8_t frame[NIR_FRAME_BUFFER];
    std::memcpy(frame, cmd, static_cast<size_t>(cmd_len));
    int crc = orv_crc16_legacy(cmd, cmd_len);
    set_be16(frame + cmd_len, static_cast<uint32_t>(crc));

    FT_Purge(g_ft_handle, FT_PURGE_RX | FT_PURGE_TX);
    int rc = ft_write_all(frame, static_cast<uint32_t>(cmd_len + 2));
    if (rc != ORV_OK) return rc;

    uint8_t reply[NIR_REPLY_BUFFER];
    int received = 0;
    rc = receive_reply(reply, &received, timeout_ms, expected_payload);
    if (rc != ORV_OK) return rc;
    rc = check_reply(reply, received);
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

int nir_send_command(const uint8_t *cmd, int cmd_len, uint8_t *out, int *out_len, int capacity,
                     int timeout_ms) {
    return nir_send_command_with_expected_payload(cmd, cmd_len, out, out_len, capacity, timeout_ms,
                                                  -1);
}

int nir_write_u32_command(uint8_t code, int32_t value) {
    uint8_t cmd[5] = {code};
    set_be32(cmd + 1, static_cast<uint32_t>(value));
    return nir_send_command(cmd, sizeof cmd, nullptr, nullptr, 0, NIR_SET_IDLE_GAP_MS);
}

int nir_query_command(uint8_t code, uint8_t *out, int *out_len, int capacity) {
    const uint8_t cmd[2] = {NIR_CMD_QUERY, code};
    return nir_send_command(cmd, sizeof cmd, out, out_len, capacity, NIR_GET_IDLE_GAP_MS);
}

int nir_get_command(uint8_t code, uint8_t *out, int *out_len, int capacity) {
    const uint8_t cmd[1] = {code};
    return nir_send_command(cmd, sizeof cmd, out, out_len, capacity, NIR_GET_IDLE_GAP_MS);
}

int nir_query_spectrum(uint8_t *out, int *out_len, int capacity) {
    uint16_t count = g_wavelength_count_cache;
    if (count == 0) {
        int rc = orv_get_wavelength_count(&count);
        if (rc != ORV_OK) return rc;
    }
    // count 16-bit samples plus 12 bytes of frame header and trailer.
    const int expected = (int{count} + 6) * 2;
    const uint8_t cmd[1] = {NIR_CMD_SPECTRUM};
    return nir_send_command_with_expected_payload(cmd, sizeof cmd, out, out_len, capacity,
                                                  static_cast<int>(spectrum_read_timeout_ms()),
                                                  expected);
}

int nir_read_available(uint8_t *buf, int capacity, int *out_count, unsigned idle_gap_ms) {
    double last_activity = perf_now_ms();
    if (buf == nullptr || out_count == nullptr || capacity <= 0) return ORV_ERR_INVALID_PARAM;

    FT_SetTimeouts(g_ft_handle, NIR_POLL_READ_TIMEOUT_MS, ORV_DEFAULT_TIMEOUT_MS);
    int got = 0;
    while (got < capacity) {
        const DWORD wanted = static_cast<DWORD>(capacity - got);
        DWORD returned = 0;
        // The short read timeout stays in force after a failed read; every
        // later exchange sets its own before reading.
        if (FT_Read(g_ft_handle, buf + got, wanted, &returned) != FT_OK) return ORV_ERR_TRANSPORT;
        if (returned > wanted) return ORV_ERR_TRANSPORT;  // driver overran the buffer it was given
        const double now = perf_now_ms();
        if (returned > 0) {
            got += static_cast<int>(returned);
            last_activity = now;
        } else if (now - last_activity >= idle_gap_ms) {
            break;
        } else {
            orv::platform::sleep_ms(NIR_POLL_PAUSE_MS);
        }
    }
    restore_default_timeouts();
    *out_count = got;
    return got > 0 ? ORV_OK : ORV_ERR_TIMEOUT;
}

int nir_read_exact_response(uint8_t *buf, int count, int *out_count, unsigned read_timeout_ms) {
    if (buf == nullptr || out_count == nullptr || count < 1) return ORV_ERR_INVALID_PARAM;
    FT_SetTimeouts(g_ft_handle, read_timeout_ms, ORV_DEFAULT_TIMEOUT_MS);
    int rc = ft_read_exact(buf, static_cast<uint32_t>(count));
    restore_default_timeouts();
    if (rc != ORV_OK) return rc;
    *out_count = count;
    return ORV_OK;
}
