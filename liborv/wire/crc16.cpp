// CRC-16/MODBUS, the checksum closing every NIR_LEGACY frame: reflected
// polynomial A001h, initial value FFFFh, no final XOR, bit by bit.
#include <cstdint>

#include "orv.h"

ORV_API int orv_crc16_legacy(const uint8_t *data, int len) {
    uint16_t crc = 0xFFFF;
    if (data == nullptr || len <= 0) return crc;
    for (int i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
    }
    return crc;
}
