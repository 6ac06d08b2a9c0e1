// The request patterns of the device commands (see request_patterns.h).
#include "commands/request_patterns.h"

#include "commands/scratch.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/uvvis_exchange.h"
#include "platform/platform.h"

int read_register(orv_device &device, const reg_read &read, reply_decoder decode) {
    const int capacity = registers::field_bytes(read.at);
    const int min_bytes = read.min_bytes < 0 ? capacity : read.min_bytes;
    auto buf = make_scratch<uint8_t>(static_cast<std::size_t>(capacity));
    if (!buf) return ORV_ERR_INVALID_PARAM;
    int received = 0;
    int rc = send_and_recv(device, read.at.reg, read.at.addr, nullptr, read.at.words, buf.get(),
                           capacity, &received, 1);
    if (rc != ORV_OK) return rc;
    if (received < min_bytes) return ORV_ERR_TRANSPORT;
    return decode(buf.get(), received);
}

int write_register(orv_device &device, reg_field at, const uint8_t *data, int len) {
    return send_and_recv(device, at.reg, at.addr, data, len, nullptr, 0, nullptr, 0);
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
        rc = nir_spectrum_command(device, read.count, buf.get(), &received, read.capacity);
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
