// Spectra that look like spectra: a smooth lamp curve with a few emission
// lines on a dark offset, proportional to the integration time, with seeded
// noise that averaging reduces, clipped at the detector's full scale. The
// light path decides what of the lamp reaches the detector: nothing with the
// lamp off, the lamp and lines times 10^-A(nm) through the sample
// (Beer-Lambert), all of them through a blank holder; dark counts and noise
// come on top of that.
#pragma once

#include <cstdint>
#include <vector>

#include "config.h"

namespace orvsim {

// The sample's absorbance (AU) at a wavelength: baseline plus bands.
double sample_absorbance(const OpticalConfig &config, double nm);

class SpectrumModel {
public:
    explicit SpectrumModel(OpticalConfig config);

    const std::vector<float> &wavelengths() const { return config_.wavelengths; }
    size_t pixels() const { return config_.wavelengths.size(); }

    // One spectrum, the average of `averages` scans (0 counts as 1). Every
    // call takes the next spectrum of the seeded sequence.
    std::vector<uint16_t> acquire(uint32_t integration_us, uint32_t averages);

    const LightPath &light_path() const { return light_path_; }
    // False (and nothing changes) for a sample when the scenario gives none.
    bool set_light_path(const LightPath &path);

private:
    OpticalConfig config_;
    std::vector<double>
        shape_;  // noise-free lamp counts per pixel at the reference integration time
    std::vector<double> transmission_;  // of the sample, per pixel; empty without a sample
    LightPath light_path_;
    uint64_t spectra_taken_ = 0;
};

}  // namespace orvsim
