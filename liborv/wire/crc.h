// The two checksums of the wire formats as running CRC registers, and the
// ways of computing them. Library-internal; orv_crc32 and orv_crc16_legacy
// are these registers with the models' initial value and final XOR.
//
// Both are reflected CRCs (least significant bit first): a register of width
// w bits is the remainder of message(x) * x^w modulo the polynomial, each
// byte's bit 0 being its highest power. Two ways compute the same register:
//   - table: slicing-by-16, sixteen 256-entry tables, 16 bytes per step;
//     works everywhere;
//   - clmul: carry-less multiplication (x86-64 PCLMULQDQ) folds 64 bytes per
//     step down to 16, which the tables then finish; only on CPUs that have
//     the instruction (crc_clmul_supported()).
// crc_update picks the faster one for the CPU and the length.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC models of the two protocols.
enum class crc_model {
    crc32_iso_hdlc,  // UVVIS_ORV packets, flash blocks: polynomial 04C11DB7h
    crc16_modbus,    // NIR_LEGACY frames: polynomial 8005h
};

// A model: its polynomial in reflected form (bit-reversed, without x^width),
// its width, the register it starts from and what is XORed onto the result.
struct crc_params {
    uint32_t reflected_poly;
    int width;
    uint32_t initial;
    uint32_t final_xor;
};

constexpr crc_params params_of(crc_model model) {
    return model == crc_model::crc32_iso_hdlc
               ? crc_params{0xEDB88320u, 32, 0xFFFFFFFFu, 0xFFFFFFFFu}
               : crc_params{0xA001u, 16, 0xFFFFu, 0};
}

// The register after `len` bytes of data, starting from `crc` (no initial
// value or final XOR applied here). data may be null only when len is 0.
template <crc_model M>
uint32_t crc_update_table(uint32_t crc, const uint8_t *data, size_t len);

// The same by carry-less multiplication. Call only when
// crc_clmul_supported() is true; any length works.
template <crc_model M>
uint32_t crc_update_clmul(uint32_t crc, const uint8_t *data, size_t len);

// Whether this CPU multiplies carry-less (PCLMULQDQ); decided once.
bool crc_clmul_supported();

// Below this length the tables are faster than setting up the folding.
inline constexpr size_t CRC_CLMUL_MIN_LEN = 64;

// The register after data, by the fastest way this CPU has.
template <crc_model M>
uint32_t crc_update(uint32_t crc, const uint8_t *data, size_t len) {
    if (len >= CRC_CLMUL_MIN_LEN && crc_clmul_supported())
        return crc_update_clmul<M>(crc, data, len);
    return crc_update_table<M>(crc, data, len);
}

// The model's CRC of data: initial register, data, final XOR.
template <crc_model M>
uint32_t crc_of(const uint8_t *data, size_t len) {
    return crc_update<M>(params_of(M).initial, data, len) ^ params_of(M).final_xor;
}
