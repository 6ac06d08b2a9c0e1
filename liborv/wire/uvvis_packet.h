// Library-internal parts of the UVVIS_ORV packet format: the two request
// builders and their big-endian store helpers. The decoder and the CRC are
// exported (orv.h).
#pragma once

#include <cstdint>

#include "orv.h"

// The eight preamble bytes that open every packet.
inline constexpr uint8_t ORV_PREAMBLE[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAB};

void put_be16(uint8_t *p, uint32_t v);
void put_be32(uint8_t *p, uint32_t v);

// Builds a 32-byte read request for `words` 32-bit words of register `reg`
// at the 24-bit address `addr` into out (>= 32 bytes). Returns 32.
int orv_build_query(uint8_t reg, uint32_t addr, int words, uint8_t *out);

// Builds a write request carrying len data bytes, padded with zeros to whole
// words, into out (>= 32 + len rounded up to 4). Returns the packet length,
// 32 + 4 * ((len + 3) / 4).
int orv_build_write(uint8_t reg, uint32_t addr, const uint8_t *data, int len, uint8_t *out);
