// The request patterns of the device commands (see register_io.h).
#include "commands/request_patterns.h"

#include "link/detect.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/uvvis_exchange.h"
#include "platform/platform.h"

namespace {

inline constexpr uint8_t STATUS_DONE = 0xAA;
inline constexpr uint8_t STATUS_FAILED = 0xEE;
inline constexpr uint8_t HANDSHAKE_MARK = 0xDD;

}  // namespace

int check_call(const call_checks &checks) {
    if (g_device_open == 0) return ORV_ERR_NOT_OPEN;
    if (!checks.args_ok) return ORV_ERR_INVALID_PARAM;
    if (checks.supported == protocols::uvvis_only && is_nir_device()) return ORV_ERR_UNSUPPORTED;
    if (!checks.late_args_ok) return ORV_ERR_INVALID_PARAM;
    return ORV_OK;
}

int read_register(const reg_read &read, reply_decoder decode) {
    const int capacity = read.words * 4;
    const int min_bytes = read.min_bytes < 0 ? capacity : read.min_bytes;
    auto buf = make_scratch<uint8_t>(static_cast<std::size_t>(capacity));
    if (!buf) return ORV_ERR_INVALID_PARAM;
    int received = 0;
    int rc = send_and_recv(read.at.reg, read.at.addr, nullptr, read.words, buf.get(), capacity,
                           &received, 1);
    if (rc != ORV_OK) return rc;
    if (received < min_bytes) return ORV_ERR_TRANSPORT;
    return decode(buf.get(), received);
}

int write_register(reg_addr at, const uint8_t *data, int len) {
    return send_and_recv(at.reg, at.addr, data, len, nullptr, 0, nullptr, 0);
}

payload word_u8(uint8_t value) {
    payload p;
    p.bytes[3] = value;
    p.len = 4;
    return p;
}

payload word_u16(uint16_t value) {
    payload p;
    set_be16(p.bytes + 2, value);
    p.len = 4;
    return p;
}

payload word_u32(uint32_t value) {
    payload p;
    set_be32(p.bytes, value);
    p.len = 4;
    return p;
}

payload words_u32(uint32_t first, uint32_t second) {
    payload p;
    set_be32(p.bytes, first);
    set_be32(p.bytes + 4, second);
    p.len = 8;
    return p;
}

payload handshake_request(uint8_t operation, uint16_t parameter, uint32_t tail) {
    payload p = words_u32(0, tail);
    p.bytes[0] = operation;
    p.bytes[1] = HANDSHAKE_MARK;
    set_be16(p.bytes + 2, parameter);
    return p;
}

int read_nir(const nir_read &read, reply_decoder decode) {
    auto buf = make_scratch<uint8_t>(static_cast<std::size_t>(read.capacity));
    if (!buf) return ORV_ERR_INVALID_PARAM;
    int received = 0;
    int rc = ORV_OK;
    switch (read.shape) {
    case nir_shape::query:
        rc = nir_query_command(read.code, buf.get(), &received, read.capacity);
        break;
    case nir_shape::get:
        rc = nir_get_command(read.code, buf.get(), &received, read.capacity);
        break;
    case nir_shape::spectrum: rc = nir_query_spectrum(buf.get(), &received, read.capacity); break;
    }
    if (rc != ORV_OK) return rc;
    if (received < read.min_bytes) return ORV_ERR_TRANSPORT;
    return decode(buf.get(), received);
}

int send_nir_frame(const nir_frame &frame) {
    return nir_send_command(frame.bytes, frame.len, nullptr, nullptr, 0, frame.idle_gap_ms);
}

int get_uvvis(bool late_args_ok, const reg_read &read, reply_decoder decode) {
    int rc = check_call({.supported = protocols::uvvis_only, .late_args_ok = late_args_ok});
    if (rc != ORV_OK) return rc;
    return read_register(read, decode);
}

int get_dual(bool args_ok, const reg_read &uvvis, reply_decoder decode_uvvis, const nir_read &nir,
             reply_decoder decode_nir) {
    int rc = check_call({.args_ok = args_ok});
    if (rc != ORV_OK) return rc;
    if (is_nir_device()) return read_nir(nir, decode_nir);
    return read_register(uvvis, decode_uvvis);
}

int set_uvvis(reg_addr at, const payload &value) {
    int rc = check_call({.supported = protocols::uvvis_only});
    if (rc != ORV_OK) return rc;
    return write_register(at, value.bytes, value.len);
}

int set_dual(reg_addr at, const payload &value, const nir_frame &nir) {
    int rc = check_call({});
    if (rc != ORV_OK) return rc;
    if (is_nir_device()) return send_nir_frame(nir);
    return write_register(at, value.bytes, value.len);
}

int poll_until_done(reg_addr control, int limit, unsigned pause_ms) {
    for (int left = limit; left > 0; --left) {
        uint8_t status = 0;
        int rc = read_register({control, 2}, [&](const uint8_t *d, int) { status = d[1]; });
        if (rc != ORV_OK) return rc;
        if (status == STATUS_DONE) return ORV_OK;
        if (status == STATUS_FAILED) return ORV_ERR_TRANSPORT;
        orv::platform::sleep_ms(pause_ms);
    }
    return ORV_ERR_TIMEOUT;
}
