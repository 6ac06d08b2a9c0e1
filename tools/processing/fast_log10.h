// log10 without a call or a branch, so that a loop over a spectrum's pixels
// vectorizes (std::log10 is a call per pixel). Within 1 ulp of the exact
// log10 over its domain (tests/processing/fast_log10_test.cpp sweeps it
// against a long double log10).
//
// Domain: positive, finite, normal doubles (DBL_MIN and up). Zero, negative
// numbers, subnormals, infinity and NaN give an unspecified finite or NaN
// value without a fault; a caller replaces them before or after.
//
// The method: x = 2^k m with m in [sqrt(1/2), sqrt(2)), split from the
// bits; f = m - 1 is exact; with s = f / (2 + f),
//   ln(m) = 2 atanh(s) = 2s + 2s^3/3 + 2s^5/5 + ... = f - f^2/2 + s (f^2/2 + R)
// where R = 2z/3 + 2z^2/5 + ..., z = s^2 <= 0.0295, is a polynomial close to
// the series (kG). The sum is kept in two parts (the leading bits of
// f - f^2/2 and the rest) and each is multiplied by log10(e) split the same
// way, k by log10(2) split into a part whose product is exact and the rest,
// so that no rounding but the last is as large as half an ulp of the result.
#pragma once

#include <cstdint>
#include <cstring>

namespace orvproc {

namespace fast_log10_detail {

inline double from_bits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline std::uint64_t to_bits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// g(z) = 2/3 + 2z/5 + 2z^2/7 + ... on [0, 0.02944]: the polynomial of degree
// 6 through g at the 7 Chebyshev nodes of the interval (solved in exact
// rational arithmetic), within 5e-16 of g; as R = z g(z) makes at most a
// hundredth of ln(m), that is 5e-18 of the result.
constexpr double kG[] = {0x1.5555555555558p-1, 0x1.99999999952d7p-2, 0x1.2492492df281ap-2,
                         0x1.c71c62e3f11e6p-3, 0x1.7462b51cb66b1p-3, 0x1.39fe51a7c18f9p-3,
                         0x1.2b5900de53b32p-3};

// sqrt(1/2), the low end of the mantissa's range.
constexpr std::uint64_t kSqrtHalfBits = 0x3fe6a09e667f3bcdULL;
constexpr std::uint64_t kOneBits = 0x3ff0000000000000ULL;
constexpr std::uint64_t kMantissaMask = 0x000fffffffffffffULL;
// 2^52 as bits: OR-ed with an integer below 2^52 it makes the double 2^52 + i.
constexpr std::uint64_t kTwo52Bits = 0x4330000000000000ULL;

// log10(e) and log10(2), each the sum of a part of 32 (42) significant bits,
// so that its product with a 21-bit (11-bit) number is exact, and the rest.
constexpr double kLog10eHigh = 0x1.bcb7b152p-2;
constexpr double kLog10eLow = 0x1.b9438ca9aadd5p-36;
constexpr double kLog10TwoHigh = 0x1.34413509f78p-2;
constexpr double kLog10TwoLow = 0x1.fef311f12b358p-46;
constexpr double kLog10e = 0x1.bcb7b1526e50ep-2;  // rounded

}  // namespace fast_log10_detail

inline double fast_log10(double x) {
    using namespace fast_log10_detail;
    // Adding the distance from sqrt(1/2) to 1 carries into the exponent
    // exactly when the mantissa is at or above sqrt(2).
    const std::uint64_t shifted = to_bits(x) + (kOneBits - kSqrtHalfBits);
    const double k = from_bits((shifted >> 52) | kTwo52Bits) - (0x1p52 + 1023);
    const double m = from_bits((shifted & kMantissaMask) + kSqrtHalfBits);

    const double f = m - 1;
    const double d = m + 1;
    // s = f / (2 + f) = f / d without a division (a vector division is as
    // slow per value as a scalar one, and long): y0 within 0.13 % of 1 / d
    // (a parabola through 1 / (1 + m) at three Chebyshev nodes of m's range),
    // then 1 / d = y0 / (1 - e) = y0 (1 + e)(1 + e^2)(1 + e^4) up to e^8 < 1e-23,
    // e = 1 - d y0.
    const double y0 = 0.8721746920820462 + m * (-0.48871833192913394 + m * 0.11686289071326847);
    const double e = 1 - d * y0;
    const double e2 = e * e;
    const double e4 = e2 * e2;
    const double y1 = y0 + y0 * e;
    const double y2 = y1 + y1 * e2;
    const double s = f * (y2 + y2 * e4);
    const double z = s * s;
    // g(z) in pairs (Estrin's scheme): the products of a pixel depend on one
    // another three deep, not six, so that the processor overlaps more pixels.
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double g =
        (kG[0] + z * kG[1]) + z2 * (kG[2] + z * kG[3]) + z4 * ((kG[4] + z * kG[5]) + z2 * kG[6]);
    const double half_square = 0.5 * f * f;
    // ln(m) = high + low, high with the low 32 bits of its mantissa cleared;
    // s (f^2/2 + R) as s f^2/2 + (s z) g.
    const double high = from_bits(to_bits(f - half_square) & 0xffffffff00000000ULL);
    const double low = ((f - high) - half_square + s * half_square) + (s * z) * g;

    const double k_part = k * kLog10TwoHigh;   // exact
    const double m_part = high * kLog10eHigh;  // exact
    const double sum = k_part + m_part;
    // What the sum rounded off (|k_part| > |m_part| or k_part = 0) and the
    // low parts; of these only low * log10(e) waits for the polynomial.
    const double rest =
        low * kLog10e + ((high * kLog10eLow + k * kLog10TwoLow) + ((k_part - sum) + m_part));
    return rest + sum;
}

}  // namespace orvproc
