// The UVVIS_ORV request/response exchange over the D2XX bridge.
#include "link/uvvis_exchange.h"

#include <cstdio>
#include <cstring>

#include "link/bridge_io.h"
#include "link/device_state.h"
#include "link/timeouts.h"
#include "platform/platform.h"
#include "wire/uvvis_packet.h"

namespace {

constexpr const char *TRACE_VARIABLE = "ORV_TRACE_TIMING";

// Builds the request for one exchange; 0 when the write does not fit.
int build_request(uint8_t reg, uint32_t addr, const uint8_t *data, int len, int is_query,
                  uint8_t *out) {
    if (is_query != 0) return uvvis_build_query(reg, addr, len, out);
    if (len < 0 || len > ORV_MAX_WRITE_DATA || (len > 0 && data == nullptr)) return 0;
    return uvvis_build_write(reg, addr, data, len, out);
}

double now_ms() { return orv::platform::monotonic_ms(); }

}  // namespace

int send_and_recv(const orv_device &device, uint8_t reg, uint32_t addr, const uint8_t *data,
                  int len, uint8_t *out_data, int out_capacity, int *out_len, int is_query) {
    const bool tracing = reg == ORV_REG_SPECTRUM && orv::platform::env_exists(TRACE_VARIABLE);

    uint8_t request[ORV_REQUEST_BUFFER_SIZE];
    int request_len = build_request(reg, addr, data, len, is_query, request);
    if (request_len == 0) return ORV_ERR_INVALID_PARAM;
    if (!device.is_open) return ORV_ERR_NOT_OPEN;
    FT_HANDLE bridge = device.ft_handle;

    purge_bridge(bridge);
    double t0 = tracing ? now_ms() : 0.0;
    int rc = ft_write_all(bridge, request, static_cast<uint32_t>(request_len));
    if (rc != ORV_OK) return rc;
    double t1 = tracing ? now_ms() : 0.0;

    set_read_timeout(bridge, reg == ORV_REG_SPECTRUM
                                 ? static_cast<uint32_t>(spectrum_read_timeout_ms(device))
                                 : ORV_REGISTER_READ_TIMEOUT_MS);

    uint8_t response[ORV_PACKET_MAX_SIZE];
    rc = ft_read_exact(bridge, response, ORV_PACKET_HEADER_SIZE);
    if (rc != ORV_OK) return rc;
    double t2 = tracing ? now_ms() : 0.0;

    const uint32_t packet_len = uvvis_packet_length(response);
    if (packet_len > ORV_PACKET_MAX_SIZE) return ORV_ERR_TRANSPORT;
    rc = ft_read_exact(bridge, response + ORV_PACKET_HEADER_SIZE,
                       packet_len - ORV_PACKET_HEADER_SIZE);
    if (rc != ORV_OK) return rc;

    if (tracing) {
        double t3 = now_ms();
        std::printf(
            "[trace C6] write=%.3f ms, wait_header=%.3f ms, read_body=%.3f ms, total=%.3f ms, "
            "expected=%d\n",
            t1 - t0, t2 - t1, t3 - t2, t3 - t0, static_cast<int>(packet_len));
        std::fflush(stdout);
    }
    restore_default_timeouts(bridge);

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
