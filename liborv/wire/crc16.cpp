// CRC-16/MODBUS, the checksum closing every NIR_LEGACY frame: reflected
// polynomial A001h, initial value FFFFh, no final XOR (model in crc.h).
#include "orv.h"
#include "wire/crc.h"

ORV_API int orv_crc16_legacy(const uint8_t *data, int len) {
    constexpr crc_model MODBUS = crc_model::crc16_modbus;
    if (data == nullptr || len <= 0) return static_cast<int>(params_of(MODBUS).initial);
    return static_cast<int>(crc_of<MODBUS>(data, static_cast<size_t>(len)));
}
