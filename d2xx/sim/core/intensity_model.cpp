#include "intensity_model.h"

#include <algorithm>
#include <cmath>

namespace orvsim {
namespace {

// splitmix64: a small generator whose sequence is the same on every platform
// (the standard distributions are not).
struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) / 9007199254740992.0; }
    double gaussian() {  // Box-Muller
        const double two_pi = 6.283185307179586;
        return std::sqrt(-2.0 * std::log(uniform())) * std::cos(two_pi * uniform());
    }
};

double gaussian_peak(double x, double center, double width) {
    double t = (x - center) / width;
    return std::exp(-0.5 * t * t);
}

}  // namespace

SpectrumModel::SpectrumModel(OpticalConfig config) : config_(std::move(config)) {
    shape_.reserve(config_.wavelengths.size());
    for (float w : config_.wavelengths) {
        double nm = w;
        double counts =
            config_.peak_counts * gaussian_peak(nm, config_.lamp_center_nm, config_.lamp_width_nm);
        for (const SpectralLine &line : config_.lines)
            counts += line.counts * gaussian_peak(nm, line.nm, line.width_nm);
        shape_.push_back(counts);
    }
}

std::vector<uint16_t> SpectrumModel::acquire(uint32_t integration_us, uint32_t averages) {
    const double gain = static_cast<double>(integration_us) / config_.reference_integration_us;
    const double noise =
        config_.noise_counts / std::sqrt(static_cast<double>(std::max<uint32_t>(averages, 1)));
    const double ceiling = std::min(config_.full_scale, 65535.0);
    Random rng{config_.noise_seed * 0x2545F4914F6CDD1Dull + spectra_taken_++};
    std::vector<uint16_t> out;
    out.reserve(shape_.size());
    for (double s : shape_) {
        double v = config_.dark_counts + s * gain;
        // A noiseless instrument draws nothing: the normal deviate costs a
        // logarithm and a cosine per pixel. Each spectrum seeds its own
        // generator, so skipping draws changes no other spectrum.
        if (noise > 0) v += noise * rng.gaussian();
        v = std::clamp(std::round(v), 0.0, ceiling);
        out.push_back(static_cast<uint16_t>(v));
    }
    return out;
}

}  // namespace orvsim
