// The CRC registers of crc.h computed bit by bit, straight from the
// definition: eight reflected shift-and-XOR steps per byte. This is the
// reference the tests and the fuzz targets hold the fast ways against;
// liborv itself never uses it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/crc.h"

template <crc_model M>
constexpr uint32_t crc_update_reference(uint32_t crc, const uint8_t *data, size_t len) {
    constexpr uint32_t poly = params_of(M).reflected_poly;
    for (size_t i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ poly : crc >> 1;
    }
    return crc;
}

template <crc_model M>
constexpr uint32_t crc_of_reference(const uint8_t *data, size_t len) {
    return crc_update_reference<M>(params_of(M).initial, data, len) ^ params_of(M).final_xor;
}
