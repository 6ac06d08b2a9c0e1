// CRC-16/MODBUS, the checksum closing every NIR_LEGACY frame: reflected
// polynomial A001h, initial value FFFFh, no final XOR.
#include "orv.h"
#include "wire/crc.h"

ORV_API int orv_crc16_legacy(const uint8_t *data, int len) {
    constexpr uint32_t INITIAL = 0xFFFF;
    if (data == nullptr || len <= 0) return INITIAL;
    return static_cast<int>(
        crc_update<crc_model::crc16_modbus>(INITIAL, data, static_cast<size_t>(len)));
}
