// Byte order of the values on the wire, the one vocabulary every layer uses:
// get_* reads a value at p, put_* stores one there. Integers and doubles
// travel most significant byte first on both protocols; the singles of a
// wavelength table travel least significant byte first.
#pragma once

#include <cstdint>
#include <cstring>

inline uint16_t get_be16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

inline uint32_t get_be24(const uint8_t *p) {
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

inline uint32_t get_be32(const uint8_t *p) { return (uint32_t{p[0]} << 24) | get_be24(p + 1); }

inline uint64_t get_be64(const uint8_t *p) {
    return (uint64_t{get_be32(p)} << 32) | get_be32(p + 4);
}

// An IEEE 754 double sent most significant byte first.
inline double get_be_double(const uint8_t *p) {
    const uint64_t bits = get_be64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// An IEEE 754 single sent least significant byte first.
inline float get_le_float(const uint8_t *p) {
    const uint32_t bits =
        (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Stores the low 16 bits of v.
inline void put_be16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void put_be32(uint8_t *p, uint32_t v) {
    put_be16(p, v >> 16);
    put_be16(p + 2, v);
}
