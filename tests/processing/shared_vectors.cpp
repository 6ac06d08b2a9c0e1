#include "shared_vectors.h"

#include <cmath>

namespace orvproc::vectors {
namespace {

// A small linear congruential generator: the same numbers on every system.
class Sequence {
public:
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    // -range..range
    int noise(int range) { return static_cast<int>(next() % (2u * range + 1)) - range; }

private:
    std::uint32_t state_ = 12345;
};

std::uint16_t clamp16(double value) {
    return static_cast<std::uint16_t>(std::min(65535.0, std::max(0.0, std::round(value))));
}

// Rows of `acquisitions` spectra around `mean`.
nlohmann::json rows(Sequence &sequence, const std::vector<double> &mean, int acquisitions,
                    int noise) {
    nlohmann::json all = nlohmann::json::array();
    for (int a = 0; a < acquisitions; ++a) {
        std::vector<std::uint16_t> row;
        for (double value : mean) row.push_back(clamp16(value + sequence.noise(noise)));
        all.push_back(row);
    }
    return all;
}

Capture captured(const nlohmann::json &acquisitions, double full_scale) {
    std::vector<Capture> each;
    for (const nlohmann::json &row : acquisitions) {
        const auto counts = row.get<std::vector<std::uint16_t>>();
        Conditions conditions{"vectors", std::vector<double>(counts.size(), 0.0), 1000, 1, ""};
        for (std::size_t i = 0; i < counts.size(); ++i) conditions.wavelengths_nm[i] = 400 + i;
        each.push_back(capture_of(conditions, counts, full_scale));
    }
    return host_average(each);
}

}  // namespace

nlohmann::json inputs() {
    nlohmann::json cases = nlohmann::json::array();
    nlohmann::json spectra = nlohmann::json::object();
    const auto add = [&](const std::string &name, const nlohmann::json &sample,
                         const nlohmann::json &dark, const nlohmann::json &reference) {
        spectra[name] = {{"sample", sample}, {"dark", dark}, {"reference", reference}};
        for (const char *mode :
             {"counts", "dark-corrected", "transmittance", "reflectance", "absorbance"})
            for (unsigned width : {1u, 5u, 301u})
                cases.push_back({{"spectra", name},
                                 {"mode", mode},
                                 {"boxcar", width},
                                 {"full_scale", kFullScale}});
    };
    // Per pixel: 900 of 1000, 400 of 1000, S = D, S < D, S saturated, R = D,
    // R < D, D saturated, R saturated, zero everywhere, S - D of one count.
    add("edges", {{1000, 500, 100, 50, 65535, 900, 700, 500, 500, 0, 101}},
        {{100, 100, 100, 100, 100, 100, 800, 65535, 100, 0, 100}},
        {{1100, 1100, 1100, 1100, 1100, 100, 600, 1100, 65535, 0, 60000}});
    // A lamp through a sample with an absorbance band; a weak lamp at the
    // ends, where the noise makes S - D and R - D touch zero.
    Sequence sequence;
    std::vector<double> lamp, through, dark_level;
    const std::size_t pixels = 320;
    for (std::size_t i = 0; i < pixels; ++i) {
        const double x = static_cast<double>(i) / (pixels - 1);
        const double light = 66000 * std::exp(-std::pow((x - 0.5) / 0.15, 2));
        const double absorbance = 0.3 + 1.2 * std::exp(-std::pow((x - 0.6) / 0.05, 2));
        lamp.push_back(800 + light);
        through.push_back(800 + light * std::pow(10.0, -absorbance));
        dark_level.push_back(800);
    }
    // One after the other: the order of a call's arguments is the compiler's.
    const nlohmann::json reference = rows(sequence, lamp, 2, 40);
    const nlohmann::json dark = rows(sequence, dark_level, 3, 40);
    const nlohmann::json sample = rows(sequence, through, 1, 40);
    add("noisy", sample, dark, reference);
    return {{"spectra", spectra}, {"cases", cases}};
}

nlohmann::json computed(const nlohmann::json &spectra, nlohmann::json one_case) {
    const nlohmann::json &counts = spectra.at(one_case.at("spectra").get<std::string>());
    const double full_scale = one_case.at("full_scale").get<double>();
    const auto width = one_case.at("boxcar").get<unsigned>();
    const std::optional<Mode> mode = mode_named(one_case.at("mode").get<std::string>());
    const Capture sample = boxcar(captured(counts.at("sample"), full_scale), width);
    const Capture dark = boxcar(captured(counts.at("dark"), full_scale), width);
    const Capture reference = boxcar(captured(counts.at("reference"), full_scale), width);
    const Processed result = process(mode.value(), sample, &dark, &reference);
    nlohmann::json values = nlohmann::json::array();
    for (double value : result.values)
        values.push_back(std::isnan(value) ? nlohmann::json(nullptr) : nlohmann::json(value));
    one_case["values"] = values;
    one_case["undefined"] = {{"saturated", result.undefined.saturated},
                             {"reference_not_above", result.undefined.reference_not_above},
                             {"sample_not_above", result.undefined.sample_not_above}};
    return one_case;
}

}  // namespace orvproc::vectors
