// Register payloads (see register_values.h).
#include "wire/register_values.h"

#include "wire/registers.h"

payload word_u8(uint8_t value) {
    payload p;
    p.bytes[3] = value;
    p.len = 4;
    return p;
}

payload word_u16(uint16_t value) {
    payload p;
    put_be16(p.bytes + 2, value);
    p.len = 4;
    return p;
}

payload word_u32(uint32_t value) {
    payload p;
    put_be32(p.bytes, value);
    p.len = 4;
    return p;
}

payload words_u32(uint32_t first, uint32_t second) {
    payload p;
    put_be32(p.bytes, first);
    put_be32(p.bytes + 4, second);
    p.len = 8;
    return p;
}

payload handshake_request(uint8_t operation, uint16_t parameter, uint32_t tail) {
    payload p = words_u32(0, tail);
    p.bytes[0] = operation;
    p.bytes[1] = registers::HANDSHAKE_MARK;
    put_be16(p.bytes + 2, parameter);
    return p;
}
