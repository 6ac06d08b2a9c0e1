// The checked-in test vectors (vectors/modes.json) still hold what this
// library computes: the same inputs, the same values bit for bit (absorbance
// to its last bits, which depend on the C library's log10), NaN at the same
// pixels, the same undefined counts. The Python package's tests check
// their results against the same file (python/tests/test_measurement.py).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "shared_vectors.h"

namespace orvproc {
namespace {

nlohmann::json checked_in() {
    std::ifstream in(ORV_PROCESSING_VECTORS);
    return nlohmann::json::parse(in);
}

TEST(SharedVectors, InputsAreTheGeneratorsAndValuesThisLibrarys) {
    const nlohmann::json file = checked_in();
    const nlohmann::json inputs = vectors::inputs();
    ASSERT_EQ(file.at("spectra"), inputs.at("spectra"))
        << "run processing_vectors after changing the cases";
    const nlohmann::json &cases = inputs.at("cases");
    ASSERT_EQ(file.at("cases").size(), cases.size());
    std::size_t nan_cases = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const nlohmann::json &stored = file.at("cases")[i];
        for (const char *key : {"spectra", "mode", "boxcar", "full_scale"})
            ASSERT_EQ(stored.at(key), cases[i].at(key)) << "case " << i << ": " << key;
        const nlohmann::json now = vectors::computed(inputs.at("spectra"), cases[i]);
        EXPECT_EQ(now.at("undefined"), stored.at("undefined")) << "case " << i;
        const nlohmann::json &values = now.at("values");
        ASSERT_EQ(values.size(), stored.at("values").size()) << "case " << i;
        bool any_nan = false;
        for (std::size_t p = 0; p < values.size(); ++p) {
            const nlohmann::json &want = stored.at("values")[p];
            any_nan = any_nan || want.is_null();
            ASSERT_EQ(values[p].is_null(), want.is_null()) << "case " << i << " pixel " << p;
            if (want.is_null()) continue;
            // log10 of another C library (mingw's) may differ in the last bits.
            const double got = values[p].get<double>(), wanted = want.get<double>();
            if (cases[i].at("mode") == "absorbance") {
                ASSERT_NEAR(got, wanted, std::abs(wanted) * 1e-15)
                    << "case " << i << " pixel " << p;
            } else {
                ASSERT_EQ(got, wanted) << "case " << i << " pixel " << p;
            }
        }
        nan_cases += any_nan ? 1 : 0;
    }
    // The ratio modes of both spectra leave pixels undefined: the file tests the rules.
    EXPECT_GE(nan_cases, 12u);
}

}  // namespace
}  // namespace orvproc
