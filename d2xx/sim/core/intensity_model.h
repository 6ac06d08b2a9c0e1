// Spectra that look like spectra: a smooth lamp curve with a few emission
// lines on a dark offset, proportional to the integration time, with seeded
// noise that averaging reduces, clipped at the detector's full scale.
#pragma once

#include <cstdint>
#include <vector>

#include "config.h"

namespace orvsim {

class SpectrumModel {
public:
    explicit SpectrumModel(OpticalConfig config);

    const std::vector<float> &wavelengths() const { return config_.wavelengths; }
    size_t pixels() const { return config_.wavelengths.size(); }

    // One spectrum, the average of `averages` scans (0 counts as 1). Every
    // call takes the next spectrum of the seeded sequence.
    std::vector<uint16_t> acquire(uint32_t integration_us, uint32_t averages);

private:
    OpticalConfig config_;
    std::vector<double> shape_;  // noise-free counts per pixel at the reference integration time
    uint64_t spectra_taken_ = 0;
};

}  // namespace orvsim
