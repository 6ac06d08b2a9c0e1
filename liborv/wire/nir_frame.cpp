// NIR_LEGACY command frames, reply checks and spectrum frames (see nir_frame.h).
#include "wire/nir_frame.h"

#include <cstring>
#include <initializer_list>

#include "orv.h"
#include "wire/byte_order.h"

namespace {

// The spectrum frame: an optional long or short header and an optional
// trailer around the samples.
constexpr uint8_t LONG_HEADER[8] = {0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
constexpr int SHORT_HEADER_LEN = 4;  // the first four bytes of the long header
constexpr uint8_t TRAILER[4] = {0xDD, 0xDD, 0xAA, 0xAA};

}  // namespace

int nir_build_frame(const uint8_t *cmd, int cmd_len, uint8_t *frame) {
    std::memcpy(frame, cmd, static_cast<size_t>(cmd_len));
    put_be16(frame + cmd_len, static_cast<uint32_t>(orv_crc16_legacy(cmd, cmd_len)));
    return cmd_len + 2;
}

int nir_check_reply(const uint8_t *reply, int received) {
    if (received <= 2) return ORV_ERR_TRANSPORT;
    if (get_be16(reply + received - 2) != orv_crc16_legacy(reply, received - 2))
        return ORV_ERR_CRC_MISMATCH;
    if (reply[0] != NIR_ACK) return ORV_ERR_TRANSPORT;  // NAK or garbage
    return ORV_OK;
}

int nir_spectrum_samples(const uint8_t *d, int len, int count) {
    if (d == nullptr || count < 1 || len < nir_spectrum_least_bytes(count)) return -1;
    const int sample_bytes = nir_spectrum_least_bytes(count);
    for (const int header : {static_cast<int>(sizeof LONG_HEADER), SHORT_HEADER_LEN, 0}) {
        const int trailer = len - header - sample_bytes;
        if (trailer != 0 && trailer != static_cast<int>(sizeof TRAILER)) continue;
        if (std::memcmp(d, LONG_HEADER, static_cast<size_t>(header)) != 0) continue;
        if (trailer != 0 && std::memcmp(d + len - trailer, TRAILER, sizeof TRAILER) != 0) continue;
        return header;
    }
    return -1;
}
