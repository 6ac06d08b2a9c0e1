// CRCs by carry-less multiplication (see crc.h): the message is folded 64
// bytes at a time into four 128-bit accumulators, those into one, and the
// remaining 16 bytes and the tail go through the tables. Any reflected CRC of
// up to 32 bits works this way; the fold constants follow from the model.
//
// Representation: a 64-bit lane loaded little-endian holds a polynomial with
// the coefficient of x^(63-i) in bit i (the message's first bit is its
// highest power). The carry-less product of two such lanes, read as a 128-bit
// lane the same way, is the product times x. A 128-bit accumulator X = H *
// x^64 + L (H the low lane) moved D bits further into the message is
// H * x^(D+64) + L * x^D, congruent modulo the polynomial to
// clmul(H, x^(D+63) mod P) + clmul(L, x^(D-1) mod P): both products stay
// below 128 bits, so the fold never loses a bit and the result has the same
// remainder. The register of a 16-byte block with that remainder is the
// register of all the bytes folded into it.
#include "wire/crc.h"

#if defined(__x86_64__)
#include <wmmintrin.h>

namespace {

constexpr uint64_t reverse_bits(uint64_t v, int width) {
    uint64_t r = 0;
    for (int i = 0; i < width; ++i)
        if (((v >> i) & 1u) != 0) r |= uint64_t{1} << (width - 1 - i);
    return r;
}

// x^n modulo the model's polynomial, coefficient of x^d in bit d.
constexpr uint64_t x_pow_mod(int n, crc_params p) {
    const uint64_t top = uint64_t{1} << p.width;
    const uint64_t poly = top | reverse_bits(p.reflected_poly, p.width);
    uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if ((r & top) != 0) r ^= poly;
    }
    return r;
}

// The multipliers that move an accumulator `bits` further: for its low lane
// (x^(bits+63) mod P) and its high lane (x^(bits-1) mod P), as lanes.
struct fold_distance {
    uint64_t low;
    uint64_t high;
};

constexpr fold_distance fold_by(int bits, crc_params p) {
    return {reverse_bits(x_pow_mod(bits + 63, p), 64), reverse_bits(x_pow_mod(bits - 1, p), 64)};
}

constexpr int BLOCK = 16;  // bytes of one accumulator
constexpr int LANES = 4;   // accumulators folded side by side
constexpr int STRIDE = BLOCK * LANES;

template <crc_model M>
constexpr fold_distance FOLD_STRIDE = fold_by(8 * STRIDE, params_of(M));
template <crc_model M>
constexpr fold_distance FOLD_BLOCK = fold_by(8 * BLOCK, params_of(M));

__attribute__((target("pclmul"))) __m128i multipliers(fold_distance d) {
    return _mm_set_epi64x(static_cast<long long>(d.high), static_cast<long long>(d.low));
}

// x moved forward by the multipliers' distance, with `next` added.
__attribute__((target("pclmul"))) __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul"))) __m128i load(const uint8_t *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

template <crc_model M>
__attribute__((target("pclmul"))) uint32_t fold_message(uint32_t crc, const uint8_t *data,
                                                        size_t len) {
    if (len < STRIDE) return crc_update_table<M>(crc, data, len);
    // The register enters as the first bytes of the message, XORed in.
    __m128i x[LANES];
    for (int i = 0; i < LANES; ++i) x[i] = load(data + BLOCK * i);
    x[0] = _mm_xor_si128(x[0], _mm_cvtsi32_si128(static_cast<int>(crc)));
    data += STRIDE;
    len -= STRIDE;

    const __m128i by_stride = multipliers(FOLD_STRIDE<M>);
    for (; len >= STRIDE; data += STRIDE, len -= STRIDE)
        for (int i = 0; i < LANES; ++i) x[i] = fold(x[i], by_stride, load(data + BLOCK * i));

    const __m128i by_block = multipliers(FOLD_BLOCK<M>);
    __m128i acc = x[0];
    for (int i = 1; i < LANES; ++i) acc = fold(acc, by_block, x[i]);
    for (; len >= BLOCK; data += BLOCK, len -= BLOCK) acc = fold(acc, by_block, load(data));

    uint8_t folded[BLOCK];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(folded), acc);
    return crc_update_table<M>(crc_update_table<M>(0, folded, BLOCK), data, len);
}

bool cpu_has_clmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul");
}

}  // namespace

template <crc_model M>
uint32_t crc_update_clmul(uint32_t crc, const uint8_t *data, size_t len) {
    return fold_message<M>(crc, data, len);
}

bool crc_clmul_supported() {
    static const bool supported = cpu_has_clmul();
    return supported;
}

#else  // no carry-less multiplication on this architecture: the tables do it all

template <crc_model M>
uint32_t crc_update_clmul(uint32_t crc, const uint8_t *data, size_t len) {
    return crc_update_table<M>(crc, data, len);
}

bool crc_clmul_supported() { return false; }

#endif

template uint32_t crc_update_clmul<crc_model::crc32_iso_hdlc>(uint32_t, const uint8_t *, size_t);
template uint32_t crc_update_clmul<crc_model::crc16_modbus>(uint32_t, const uint8_t *, size_t);
