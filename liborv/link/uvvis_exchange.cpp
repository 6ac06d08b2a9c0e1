// The UVVIS_ORV request/response exchange over the D2XX bridge.
#include "link/uvvis_exchange.h"

#include <cstdio>
#include <cstring>

#include "link/bridge_io.h"
#include "link/device_state.h"
#include "platform/platform.h"
#include "wire/uvvis_packet.h"

namespace {

// Builds the request packet; 0 when the write does not fit.
int build_request(const uvvis_request &r, uint8_t *out) {
    if (r.op == uvvis_request::kind::read)
        return uvvis_build_query(r.reg, r.addr, r.reply_words, out);
    if (r.payload_len < 0 || r.payload_len > ORV_MAX_WRITE_DATA ||
        (r.payload_len > 0 && r.payload == nullptr))
        return 0;
    return uvvis_build_write(r.reg, r.addr, r.payload, r.payload_len, out);
}

double now_ms() { return orv::platform::monotonic_ms(); }

// Reads one whole packet: the header, then the rest its DataLen announces
// (more than ORV_PACKET_MAX_SIZE is ORV_ERR_TRANSPORT). *header_ms (when not
// null) receives the moment the header was in.
int read_packet(FT_HANDLE bridge, uint8_t *packet, uint32_t *packet_len, double *header_ms) {
    int rc = ft_read_exact(bridge, packet, ORV_PACKET_HEADER_SIZE);
    if (rc != ORV_OK) return rc;
    if (header_ms != nullptr) *header_ms = now_ms();
    const uint32_t len = uvvis_packet_length(packet);
    if (len > ORV_PACKET_MAX_SIZE) return ORV_ERR_TRANSPORT;
    rc = ft_read_exact(bridge, packet + ORV_PACKET_HEADER_SIZE, len - ORV_PACKET_HEADER_SIZE);
    if (rc != ORV_OK) return rc;
    *packet_len = len;
    return ORV_OK;
}

// Reads packets until one that is not another request's answer arrives,
// which is then the reply (or a broken packet, which the caller reports).
// Another request's answer is dropped whole; reading on ends at deadline_ms
// with ORV_ERR_TIMEOUT, and the read timeout is cut to what is left of it.
int read_answer(FT_HANDLE bridge, const uint8_t *request, uint8_t *packet, uint32_t *packet_len,
                double deadline_ms, double *header_ms) {
    for (;;) {
        int rc = read_packet(bridge, packet, packet_len, header_ms);
        if (rc != ORV_OK) return rc;
        // A broken packet cannot say whose answer it is: it is the reply, and fails its check.
        if (!uvvis_packet_intact(packet, static_cast<int>(*packet_len)) ||
            uvvis_answers_request(packet, static_cast<int>(*packet_len), request))
            return ORV_OK;
        const double left_ms = deadline_ms - now_ms();
        if (left_ms < 1.0) return ORV_ERR_TIMEOUT;
        set_read_timeout(bridge, static_cast<uint32_t>(left_ms));
    }
}

}  // namespace

int uvvis_exchange(const orv_device &device, const uvvis_request &r, const uvvis_reply &out) {
    const bool tracing = r.trace;

    uint8_t request[ORV_REQUEST_BUFFER_SIZE];
    int request_len = build_request(r, request);
    if (request_len == 0) return ORV_ERR_INVALID_PARAM;
    if (!device.is_open) return ORV_ERR_NOT_OPEN;
    FT_HANDLE bridge = device.ft_handle;

    purge_bridge(bridge);
    double t0 = tracing ? now_ms() : 0.0;
    int rc = ft_write_all(bridge, request, static_cast<uint32_t>(request_len));
    if (rc != ORV_OK) return rc;
    const double t1 = now_ms();

    set_read_timeout(bridge, r.deadline_ms);

    uint8_t response[ORV_PACKET_MAX_SIZE];
    uint32_t packet_len = 0;
    double t2 = 0.0;
    rc = read_answer(bridge, request, response, &packet_len, t1 + r.deadline_ms,
                     tracing ? &t2 : nullptr);
    if (rc != ORV_OK) return rc;

    if (tracing) {
        double t3 = now_ms();
        std::printf(
            "[trace %02X] write=%.3f ms, wait_header=%.3f ms, read_body=%.3f ms, total=%.3f ms, "
            "expected=%d\n",
            static_cast<unsigned>(r.reg), t1 - t0, t2 - t1, t3 - t2, t3 - t0,
            static_cast<int>(packet_len));
        std::fflush(stdout);
    }
    restore_default_timeouts(bridge);

    uvvis_response_data reply{};
    rc = uvvis_check_response(response, static_cast<int>(packet_len), &reply);
    if (rc != ORV_OK) return rc;

    int copied = reply.size;
    if (copied > out.capacity) copied = out.capacity > 0 ? out.capacity : 0;
    if (out.data != nullptr && copied > 0)
        std::memcpy(out.data, reply.bytes, static_cast<size_t>(copied));
    if (out.len != nullptr) *out.len = copied;
    return ORV_OK;
}
