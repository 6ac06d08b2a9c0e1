// The UVVIS_ORV request/response exchange over the D2XX bridge, and the exact
// read and write primitives the NIR_LEGACY command layer shares with it.
#include "link/uvvis_exchange.h"

#include <cstdio>
#include <cstring>

#include "link/device_state.h"
#include "platform/platform.h"
#include "wire/uvvis_packet.h"

namespace {

constexpr uint64_t SPECTRUM_TIMEOUT_MARGIN_MS = 1000;
constexpr uint64_t SPECTRUM_TIMEOUT_MAX_MS = 120000;
constexpr const char *TRACE_VARIABLE = "ORV_TRACE_TIMING";

// What the response's reply code (ANS byte 27) means for the caller.
int reply_code_result(uint8_t reply) {
    switch (reply) {
    case ORV_REPLY_ACK: return ORV_OK;
    case ORV_REPLY_CMD_TIMEOUT: return ORV_ERR_TIMEOUT;
    case ORV_REPLY_CRC_MISMATCH: return ORV_ERR_CRC_MISMATCH;
    case ORV_REPLY_WRITE_PROTECT: return ORV_ERR_WRITE_PROTECTED;
    default: return ORV_ERR_TRANSPORT;  // E2h "Invalid Command" and unknown codes
    }
}

// Builds the request for one exchange; 0 when the write does not fit.
int build_request(uint8_t reg, uint32_t addr, const uint8_t *data, int len, int is_query,
                  uint8_t *out) {
    if (is_query != 0) return orv_build_query(reg, addr, len, out);
    if (len < 0 || len > ORV_MAX_WRITE_DATA || (len > 0 && data == nullptr)) return 0;
    return orv_build_write(reg, addr, data, len, out);
}

}  // namespace

int ft_read_exact(uint8_t *buf, uint32_t n) {
    uint32_t got = 0;
    while (got < n) {
        DWORD returned = 0;
        if (FT_Read(g_ft_handle, buf + got, n - got, &returned) != FT_OK) return ORV_ERR_TRANSPORT;
        if (returned == 0) return ORV_ERR_TIMEOUT;
        // A driver that claims more than it was asked for cannot be trusted
        // with the rest of the buffer either.
        if (returned > n - got) return ORV_ERR_TRANSPORT;
        got += returned;
    }
    return ORV_OK;
}

int ft_write_all(const uint8_t *buf, uint32_t n) {
    DWORD written = 0;
    // FT_Write takes a non-const pointer but only reads the buffer.
    FT_STATUS status = FT_Write(g_ft_handle, const_cast<uint8_t *>(buf), n, &written);
    if (status != FT_OK || written != n) return ORV_ERR_TRANSPORT;
    return ORV_OK;
}

double perf_now_ms() { return orv::platform::monotonic_ms(); }

uint64_t spectrum_read_timeout_ms() {
    uint64_t per_scan_ms = (uint64_t{g_current_integration_us} + 999) / 1000;
    uint64_t scans = g_current_average_number == 0 ? 1 : g_current_average_number;
    uint64_t timeout = per_scan_ms * scans + SPECTRUM_TIMEOUT_MARGIN_MS;
    return timeout < SPECTRUM_TIMEOUT_MAX_MS ? timeout : SPECTRUM_TIMEOUT_MAX_MS;
}

int send_and_recv(uint8_t reg, uint32_t addr, const uint8_t *data, int len, uint8_t *out_data,
                  int out_capacity, int *out_len, int is_query) {
    const bool tracing = reg == ORV_REG_SPECTRUM && orv::platform::env_exists(TRACE_VARIABLE);

    uint8_t request[ORV_REQUEST_BUFFER_SIZE];
    int request_len = build_request(reg, addr, data, len, is_query, request);
    if (request_len == 0) return ORV_ERR_INVALID_PARAM;
    if (g_device_open == 0) return ORV_ERR_NOT_OPEN;

    FT_Purge(g_ft_handle, FT_PURGE_RX | FT_PURGE_TX);
    double t0 = tracing ? perf_now_ms() : 0.0;
    int rc = ft_write_all(request, static_cast<uint32_t>(request_len));
    if (rc != ORV_OK) return rc;
    double t1 = tracing ? perf_now_ms() : 0.0;

    uint32_t read_timeout = reg == ORV_REG_SPECTRUM
                                ? static_cast<uint32_t>(spectrum_read_timeout_ms())
                                : ORV_REGISTER_READ_TIMEOUT_MS;
    FT_SetTimeouts(g_ft_handle, read_timeout, ORV_DEFAULT_TIMEOUT_MS);

    uint8_t response[ORV_PACKET_MAX_SIZE];
    rc = ft_read_exact(response, ORV_PACKET_HEADER_SIZE);
    if (rc != ORV_OK) return rc;
    double t2 = tracing ? perf_now_ms() : 0.0;

    // DataLen (header bytes 17-18) gives the packet length: header, data, CRC.
    uint32_t packet_len = (uint32_t{be16(response + 17)} + 8) * 4;
    if (packet_len > ORV_PACKET_MAX_SIZE) return ORV_ERR_TRANSPORT;
    rc = ft_read_exact(response + ORV_PACKET_HEADER_SIZE, packet_len - ORV_PACKET_HEADER_SIZE);
    if (rc != ORV_OK) return rc;

    if (tracing) {
        double t3 = perf_now_ms();
        std::printf(
            "[trace C6] write=%.3f ms, wait_header=%.3f ms, read_body=%.3f ms, total=%.3f ms, "
            "expected=%d\n",
            t1 - t0, t2 - t1, t3 - t2, t3 - t0, static_cast<int>(packet_len));
        std::fflush(stdout);
    }
    FT_SetTimeouts(g_ft_handle, ORV_DEFAULT_TIMEOUT_MS, ORV_DEFAULT_TIMEOUT_MS);

    orv_parsed_packet parsed;
    if (orv_parse_response(response, static_cast<int>(packet_len), &parsed) != ORV_OK)
        return ORV_ERR_INVALID_PACKET;
    if (parsed.crc_ok == 0) return ORV_ERR_CRC_MISMATCH;
    rc = reply_code_result(parsed.ans_reply);
    if (rc != ORV_OK) return rc;

    int copied = parsed.data_size;
    if (copied > out_capacity) copied = out_capacity > 0 ? out_capacity : 0;
    if (out_data != nullptr && copied > 0)
        std::memcpy(out_data, parsed.data, static_cast<size_t>(copied));
    if (out_len != nullptr) *out_len = copied;
    return ORV_OK;
}
