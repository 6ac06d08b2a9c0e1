// How values sit in UVVIS_ORV register words, both ways: the payloads a
// write carries and the bytes a read's words are decoded from. A "byte in
// word" is the last byte of its word, a "half in word" the last two.
#pragma once

#include <cstdint>

#include "wire/byte_order.h"

// A register payload of up to 12 bytes, built by the helpers below.
struct payload {
    uint8_t bytes[12] = {};
    int len = 0;
};
payload word_u8(uint8_t value);                      // 00 00 00 value ("byte in word")
payload word_u16(uint16_t value);                    // 00 00 high low ("half in word")
payload word_u32(uint32_t value);                    // big-endian 32-bit value
payload words_u32(uint32_t first, uint32_t second);  // two big-endian words
// The request word of the flash and external-spectrum handshakes (see
// registers.h): operation, mark, the 16-bit address or parameter, then a
// 32-bit tail (0 or a CRC-32).
payload handshake_request(uint8_t operation, uint16_t parameter, uint32_t tail);

inline uint8_t byte_in_word(const uint8_t *word) { return word[3]; }
inline uint16_t half_in_word(const uint8_t *word) { return get_be16(word + 2); }
