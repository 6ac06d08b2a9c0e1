// The request patterns of the device commands (see request_patterns.h).
#include "commands/request_patterns.h"

#include "commands/scratch.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/uvvis_exchange.h"
#include "platform/platform.h"

namespace {

constexpr uint64_t SPECTRUM_TIMEOUT_MARGIN_MS = 1000;
constexpr uint64_t SPECTRUM_TIMEOUT_MAX_MS = 120000;
constexpr const char *TRACE_VARIABLE = "ORV_TRACE_TIMING";

}  // namespace

uint64_t spectrum_read_timeout_ms(const orv_device &device) {
    uint64_t per_scan_ms = (uint64_t{device.current_integration_us} + 999) / 1000;
    uint64_t scans = device.current_average_number == 0 ? 1 : device.current_average_number;
    uint64_t timeout = per_scan_ms * scans + SPECTRUM_TIMEOUT_MARGIN_MS;
    return timeout < SPECTRUM_TIMEOUT_MAX_MS ? timeout : SPECTRUM_TIMEOUT_MAX_MS;
}

reply_wait spectrum_wait(const orv_device &device) {
    return {static_cast<uint32_t>(spectrum_read_timeout_ms(device)),
            orv::platform::env_exists(TRACE_VARIABLE)};
}

int send_and_recv(const orv_device &device, uint8_t reg, uint32_t addr, const uint8_t *data,
                  int len, uint8_t *out_data, int out_capacity, int *out_len, int is_query) {
    const reply_wait wait = reg == ORV_REG_SPECTRUM ? spectrum_wait(device) : reply_wait{};
    uvvis_request request{
        .op = is_query != 0 ? uvvis_request::kind::read : uvvis_request::kind::write,
        .reg = reg,
        .addr = addr,
        .deadline_ms = wait.deadline_ms,
        .trace = wait.trace};
    if (is_query != 0) {
        request.reply_words = len;
    } else {
        request.payload = data;
        request.payload_len = len;
    }
    return uvvis_exchange(device, request, {out_data, out_capacity, out_len});
}

int nir_spectrum_command(const orv_device &device, uint16_t count, uint8_t *out, int *out_len,
                         int capacity) {
    return nir_spectrum_exchange(device, count, spectrum_wait(device).deadline_ms, out, out_len,
                                 capacity);
}

int read_register(orv_device &device, const reg_read &read, reply_decoder decode) {
    const int capacity = registers::field_bytes(read.at);
    const int min_bytes = read.min_bytes < 0 ? capacity : read.min_bytes;
    auto buf = make_scratch<uint8_t>(static_cast<std::size_t>(capacity));
    if (!buf) return ORV_ERR_INVALID_PARAM;
    int received = 0;
    const uvvis_request request{.op = uvvis_request::kind::read,
                                .reg = read.at.reg,
                                .addr = read.at.addr,
                                .reply_words = read.at.words,
                                .deadline_ms = read.wait.deadline_ms,
                                .trace = read.wait.trace};
    int rc = uvvis_exchange(device, request, {buf.get(), capacity, &received});
    if (rc != ORV_OK) return rc;
    if (received < min_bytes) return ORV_ERR_TRANSPORT;
    return decode(buf.get(), received);
}

int write_register(orv_device &device, reg_field at, const uint8_t *data, int len) {
    return uvvis_exchange(device,
                          {.op = uvvis_request::kind::write,
                           .reg = at.reg,
                           .addr = at.addr,
                           .payload = data,
                           .payload_len = len},
                          {});
}

int write_register(orv_device &device, reg_field at, const payload &value) {
    return write_register(device, at, value.bytes, value.len);
}

int read_nir(orv_device &device, const nir_read &read, reply_decoder decode) {
    auto buf = make_scratch<uint8_t>(static_cast<std::size_t>(read.capacity));
    if (!buf) return ORV_ERR_INVALID_PARAM;
    int received = 0;
    int rc = ORV_OK;
    switch (read.shape) {
    case nir_shape::query:
        rc = nir_query_command(device, read.code, buf.get(), &received, read.capacity);
        break;
    case nir_shape::get:
        rc = nir_get_command(device, read.code, buf.get(), &received, read.capacity);
        break;
    case nir_shape::spectrum:
        rc = nir_spectrum_exchange(device, read.count, read.deadline_ms, buf.get(), &received,
                                   read.capacity);
        break;
    }
    if (rc != ORV_OK) return rc;
    if (received < read.min_bytes) return ORV_ERR_TRANSPORT;
    return decode(buf.get(), received);
}

int send_nir_command(orv_device &device, const nir_command &command) {
    return nir_send_command(device, command.bytes, command.len, nullptr, nullptr, 0,
                            command.idle_gap_ms);
}

int get_uvvis(orv_device &device, bool late_args_ok, const reg_read &read, reply_decoder decode) {
    int rc = check_call(device, {.supported = protocols::uvvis_only, .late_args_ok = late_args_ok});
    if (rc != ORV_OK) return rc;
    return read_register(device, read, decode);
}

int get_dual(orv_device &device, bool args_ok, const reg_read &uvvis, reply_decoder decode_uvvis,
             const nir_read &nir, reply_decoder decode_nir) {
    int rc = check_call(device, {.args_ok = args_ok});
    if (rc != ORV_OK) return rc;
    if (is_nir_device(device)) return read_nir(device, nir, decode_nir);
    return read_register(device, uvvis, decode_uvvis);
}

int set_uvvis(orv_device &device, reg_field at, const payload &value) {
    int rc = check_call(device, {.supported = protocols::uvvis_only});
    if (rc != ORV_OK) return rc;
    return write_register(device, at, value);
}

int set_dual(orv_device &device, reg_field at, const payload &value, const nir_command &nir) {
    int rc = check_call(device, {});
    if (rc != ORV_OK) return rc;
    if (is_nir_device(device)) return send_nir_command(device, nir);
    return write_register(device, at, value);
}

int poll_until_done(orv_device &device, reg_field control, int limit, unsigned pause_ms) {
    for (int left = limit; left > 0; --left) {
        uint8_t status = 0;
        int rc = read_register(device, control, [&](const uint8_t *d, int) { status = d[1]; });
        if (rc != ORV_OK) return rc;
        if (status == registers::STATUS_DONE) return ORV_OK;
        if (status == registers::STATUS_FAILED) return ORV_ERR_TRANSPORT;
        orv::platform::sleep_ms(pause_ms);
    }
    return ORV_ERR_TIMEOUT;
}
