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

double sample_absorbance(const OpticalConfig &config, double nm) {
    double a = config.sample_baseline;
    for (const AbsorptionBand &band : config.sample_bands)
        a += band.absorbance * gaussian_peak(nm, band.nm, band.width_nm);
    return a;
}

SpectrumModel::SpectrumModel(OpticalConfig config)
    : config_(std::move(config)), light_path_(config_.light_path) {
    if (config_.has_sample) {
        transmission_.reserve(config_.wavelengths.size());
        for (float w : config_.wavelengths)
            transmission_.push_back(std::pow(10.0, -sample_absorbance(config_, w)));
    }
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
    const bool through_sample = light_path_.sample_in && !transmission_.empty();
    std::vector<uint16_t> out;
    out.reserve(shape_.size());
    for (size_t i = 0; i < shape_.size(); ++i) {
        double light = 0;
        if (light_path_.lamp_on) light = shape_[i] * (through_sample ? transmission_[i] : 1.0);
        double v = config_.dark_counts + light * gain;
        // A noiseless instrument draws nothing: the normal deviate costs a
        // logarithm and a cosine per pixel. Each spectrum seeds its own
        // generator, so skipping draws changes no other spectrum.
        if (noise > 0) v += noise * rng.gaussian();
        v = std::clamp(std::round(v), 0.0, ceiling);
        out.push_back(static_cast<uint16_t>(v));
    }
    return out;
}

bool SpectrumModel::set_light_path(const LightPath &path) {
    if (path.sample_in && transmission_.empty()) return false;
    light_path_ = path;
    return true;
}

}  // namespace orvsim
