// The instrument's flash memory: the write-protect gate and block reads and
// writes. On UVVIS_ORV a transfer is a handshake through the flash control
// register (request or commit, then a completion poll) and the data moves
// through the flash data register.
#include <algorithm>

#include "commands/device_commands.h"
#include "commands/request_patterns.h"
#include "commands/scratch.h"
#include "link/device_state.h"
#include "link/nir_exchange.h"
#include "link/timeouts.h"
#include "wire/byte_order.h"
#include "wire/nir_frame.h"
#include "wire/uvvis_packet.h"

namespace {

using namespace registers;

constexpr int FLASH_POLL_LIMIT = 50;
constexpr unsigned FLASH_POLL_PAUSE_MS = 50;
constexpr int NIR_FLASH_HEADER = 3;  // AFh AH AL

int uvvis_flash_read(orv_device &device, uint16_t address, uint8_t *data, int32_t length) {
    int rc =
        write_register(device, FLASH_CONTROL, handshake_request(FLASH_READ_REQUEST, address, 0));
    if (rc != ORV_OK) return rc;
    rc = poll_until_done(device, FLASH_CONTROL, FLASH_POLL_LIMIT, FLASH_POLL_PAUSE_MS);
    if (rc != ORV_OK) return rc;
    // Whole words arrive; at most length bytes of them reach the caller.
    const int words = length > field_bytes(FLASH_DATA) ? FLASH_DATA.words : (length + 3) / 4;
    int received = 0;
    rc = read_register(device, {{FLASH_DATA.reg, FLASH_DATA.addr, words}, 0},
                       [&](const uint8_t *d, int len) {
                           std::copy_n(d, std::min(len, static_cast<int>(length)), data);
                           received = len;
                       });
    return rc != ORV_OK ? rc : received;
}

int uvvis_flash_write(orv_device &device, uint16_t address, const uint8_t *data, int32_t length) {
    int rc = write_register(device, WRITE_PROTECT, word_u8(GATE_OPEN));
    if (rc != ORV_OK) return rc;
    rc = write_register(device, FLASH_DATA, data, length);
    if (rc != ORV_OK) return rc;
    // The CRC covers the block as given, not the pad bytes of the packet.
    const uint32_t crc = static_cast<uint32_t>(orv_crc32(data, length));
    rc = write_register(device, FLASH_CONTROL, handshake_request(FLASH_COMMIT, address, crc));
    if (rc != ORV_OK) return rc;
    return poll_until_done(device, FLASH_CONTROL, FLASH_POLL_LIMIT, FLASH_POLL_PAUSE_MS);
}

int nir_flash_read(orv_device &device, uint16_t address, uint8_t *data, int32_t length) {
    uint8_t cmd[4] = {NIR_CMD_QUERY, NIR_CMD_FLASH};
    put_be16(cmd + 2, address);
    int received = 0;
    int rc =
        nir_send_command(device, cmd, sizeof cmd, data, &received, length, NIR_FLASH_IDLE_GAP_MS);
    return rc != ORV_OK ? rc : received;
}

int nir_flash_write(orv_device &device, uint16_t address, const uint8_t *data, int32_t length) {
    if (length > NIR_MAX_COMMAND - NIR_FLASH_HEADER) return ORV_ERR_INVALID_PARAM;
    const int frame_len = length + NIR_FLASH_HEADER;
    auto frame = make_scratch<uint8_t>(static_cast<std::size_t>(frame_len));
    if (!frame) return ORV_ERR_INVALID_PARAM;
    frame[0] = NIR_CMD_FLASH;
    put_be16(frame.get() + 1, address);
    std::copy_n(data, length, frame.get() + NIR_FLASH_HEADER);
    return nir_send_command(device, frame.get(), frame_len, nullptr, nullptr, 0,
                            NIR_FLASH_IDLE_GAP_MS);
}

}  // namespace

int set_flash_write_protect(orv_device &device) {
    return set_dual(device, WRITE_PROTECT, word_u8(GATE_OPEN),
                    {{NIR_CMD_WRITE_PROTECT, GATE_OPEN}, 2, NIR_SET_IDLE_GAP_MS});
}

int get_flash_write_protect(orv_device &device, int32_t *open) {
    return get_dual(
        device, open != nullptr, WRITE_PROTECT,
        [&](const uint8_t *d, int) { *open = byte_in_word(d) == GATE_OPEN ? 1 : 0; },
        {nir_shape::query, NIR_CMD_WRITE_PROTECT, 1, 1},
        [&](const uint8_t *d, int) { *open = d[0] == GATE_OPEN ? 1 : 0; });
}

int flash_read(orv_device &device, uint16_t address, uint8_t *data, int32_t length) {
    int rc = check_call(device, {.args_ok = data != nullptr && length >= 1});
    if (rc != ORV_OK) return rc;
    return is_nir_device(device) ? nir_flash_read(device, address, data, length)
                                 : uvvis_flash_read(device, address, data, length);
}

int flash_write(orv_device &device, uint16_t address, const uint8_t *data, int32_t length) {
    int rc = check_call(device, {.args_ok = data != nullptr && length >= 1});
    if (rc != ORV_OK) return rc;
    if (is_nir_device(device)) return nir_flash_write(device, address, data, length);
    // One write packet carries the block: nothing is sent when it does not fit.
    if (length > ORV_MAX_WRITE_DATA) return ORV_ERR_INVALID_PARAM;
    return uvvis_flash_write(device, address, data, length);
}
