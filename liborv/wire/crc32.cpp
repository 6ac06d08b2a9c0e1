// CRC-32/ISO-HDLC (the checksum of zlib and Ethernet): reflected polynomial
// EDB88320h, initial value and final XOR FFFFFFFFh, one byte per table step.
#include <cstdint>

#include "orv.h"

namespace {

uint32_t crc32_table[256];

// Entry i is i run through eight reflected shift-and-XOR steps.
bool init_crc32_table() {
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        crc32_table[i] = c;
    }
    return true;
}

}  // namespace

ORV_API int orv_crc32(const uint8_t *data, int len) {
    if (data == nullptr || len <= 0) return 0;
    // The table is built on the first call; a function-local static is
    // initialised exactly once even when threads race through that call.
    static const bool crc32_table_initialized = init_crc32_table();
    (void)crc32_table_initialized;
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 0; i < len; ++i) crc = crc32_table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return static_cast<int>(crc ^ 0xFFFFFFFFu);
}
