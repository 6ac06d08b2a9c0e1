// CRC-32/ISO-HDLC (the checksum of zlib and Ethernet): reflected polynomial
// EDB88320h, initial value and final XOR FFFFFFFFh (model in crc.h).
#include "orv.h"
#include "wire/crc.h"

ORV_API int orv_crc32(const uint8_t *data, int len) {
    if (data == nullptr || len <= 0) return 0;
    return static_cast<int>(crc_of<crc_model::crc32_iso_hdlc>(data, static_cast<size_t>(len)));
}
