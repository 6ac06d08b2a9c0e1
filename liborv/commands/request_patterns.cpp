// The request patterns of the device commands (see request_patterns.h).
#include "commands/request_patterns.h"

#include "commands/scratch.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/uvvis_exchange.h"
#include "platform/platform.h"

int read_register(const reg_read &read, reply_decoder decode) {
    const int capacity = registers::field_bytes(read.at);
    const int min_bytes = read.min_bytes < 0 ? capacity : read.min_bytes;
    auto buf = make_scratch<uint8_t>(static_cast<std::size_t>(capacity));
    if (!buf) return ORV_ERR_INVALID_PARAM;
    int received = 0;
    int rc = send_and_recv(read.at.reg, read.at.addr, nullptr, read.at.words, buf.get(), capacity,
                           &received, 1);
    if (rc != ORV_OK) return rc;
    if (received < min_bytes) return ORV_ERR_TRANSPORT;
    return decode(buf.get(), received);
}

int write_register(reg_field at, const uint8_t *data, int len) {
    return send_and_recv(at.reg, at.addr, data, len, nullptr, 0, nullptr, 0);
}

int write_register(reg_field at, const payload &value) {
    return write_register(at, value.bytes, value.len);
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
    case nir_shape::spectrum:
        rc = nir_spectrum_command(read.count, buf.get(), &received, read.capacity);
        break;
    }
    if (rc != ORV_OK) return rc;
    if (received < read.min_bytes) return ORV_ERR_TRANSPORT;
    return decode(buf.get(), received);
}

int send_nir_command(const nir_command &command) {
    return nir_send_command(command.bytes, command.len, nullptr, nullptr, 0, command.idle_gap_ms);
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

int set_uvvis(reg_field at, const payload &value) {
    int rc = check_call({.supported = protocols::uvvis_only});
    if (rc != ORV_OK) return rc;
    return write_register(at, value);
}

int set_dual(reg_field at, const payload &value, const nir_command &nir) {
    int rc = check_call({});
    if (rc != ORV_OK) return rc;
    if (is_nir_device()) return send_nir_command(nir);
    return write_register(at, value);
}

int poll_until_done(reg_field control, int limit, unsigned pause_ms) {
    for (int left = limit; left > 0; --left) {
        uint8_t status = 0;
        int rc = read_register(control, [&](const uint8_t *d, int) { status = d[1]; });
        if (rc != ORV_OK) return rc;
        if (status == registers::STATUS_DONE) return ORV_OK;
        if (status == registers::STATUS_FAILED) return ORV_ERR_TRANSPORT;
        orv::platform::sleep_ms(pause_ms);
    }
    return ORV_ERR_TIMEOUT;
}
