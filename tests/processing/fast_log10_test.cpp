// fast_log10 against the C library's log10 in long double (64 bits of
// mantissa where the platform has them): within 1 ulp of the exact value over
// its domain, exact where the answer is, and the same for the values
// absorbance feeds it (ratios of dark-corrected counts).
#include "fast_log10.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace orvproc {
namespace {

// Where long double is double (not on the x86 systems built here), the
// reference itself is 1 ulp off.
constexpr double kMaxUlps = std::numeric_limits<long double>::digits > 53 ? 1.0 : 2.0;

// |fast_log10(x) - log10(x)| in units of the last place of log10(x).
double error_ulps(double x) {
    const long double exact = std::log10(static_cast<long double>(x));
    const double rounded = static_cast<double>(exact);
    const double ulp = std::nextafter(std::fabs(rounded), HUGE_VAL) - std::fabs(rounded);
    return static_cast<double>(std::fabs(static_cast<long double>(fast_log10(x)) - exact) / ulp);
}

struct Worst {
    double ulps = 0;
    double at = 0;
    void operator()(double x) {
        const double error = error_ulps(x);
        if (error > ulps) ulps = error, at = x;
    }
    std::string where() const {
        char text[64];
        std::snprintf(text, sizeof text, "%.3f ulp at %a", ulps, at);
        return text;
    }
};

TEST(FastLog10, WithinOneUlpOverRandomValuesOfEveryBinade) {
    std::mt19937_64 random(20261211);
    std::uniform_real_distribution<double> exponent(-1021, 1023);
    std::uniform_real_distribution<double> mantissa(1, 2);
    Worst worst;
    for (int i = 0; i < 300000; ++i)
        worst(std::exp2(std::floor(exponent(random))) * mantissa(random));
    // Dense where the mantissa's range is split and where the sum is largest.
    std::uniform_real_distribution<double> around_one(0.5, 2);
    for (int i = 0; i < 300000; ++i) worst(around_one(random));
    EXPECT_LE(worst.ulps, kMaxUlps) << worst.where();
}

TEST(FastLog10, NearOneTheSmallResultKeepsItsRelativeAccuracy) {
    // -log10 of a ratio just below or above 1: an absorbance of 1e-16 AU
    // must not come out as 0 or with only its leading digits right.
    Worst worst;
    for (int k = 1; k < 20000; ++k) {
        worst(1 + k * DBL_EPSILON);
        worst(1 - k * DBL_EPSILON / 2);
        worst(1 + k * 1e-9);
        worst(1 - k * 1e-9);
    }
    EXPECT_LE(worst.ulps, kMaxUlps) << worst.where();
    EXPECT_EQ(fast_log10(1.0), 0.0);
    EXPECT_FALSE(std::signbit(fast_log10(1.0)));
}

TEST(FastLog10, PowersOfTwoTheMantissaSplitAndTheDomainsEnds) {
    Worst worst;
    for (int k = -1022; k <= 1023; ++k) {
        const double power = std::ldexp(1.0, k);
        worst(power);
        worst(std::nextafter(power, 0.0));
        worst(std::nextafter(power, HUGE_VAL));
        // sqrt(2) 2^k and its neighbours: where x moves from one k to the next.
        const double split = std::ldexp(std::sqrt(2.0), k);
        worst(split);
        worst(std::nextafter(split, 0.0));
        worst(std::nextafter(split, HUGE_VAL));
    }
    worst(DBL_MIN);
    worst(DBL_MAX);
    EXPECT_LE(worst.ulps, kMaxUlps) << worst.where();
    // Exact answers: the powers of ten a double holds exactly.
    double power = 1;
    for (int k = 0; k <= 22; ++k, power *= 10) EXPECT_EQ(fast_log10(power), k) << power;
}

TEST(FastLog10, RatiosOfCountsAsAbsorbanceMakesThem) {
    // (S - D) / (R - D) of counts averaged over up to 16 scans: from one
    // sixteenth of a count over full scale to full scale over a sixteenth.
    std::mt19937_64 random(7);
    std::uniform_int_distribution<int> counts(1, 65535 * 16);
    Worst worst;
    for (int i = 0; i < 200000; ++i) worst((counts(random) / 16.0) / (counts(random) / 16.0));
    EXPECT_LE(worst.ulps, kMaxUlps) << worst.where();
}

}  // namespace
}  // namespace orvproc
