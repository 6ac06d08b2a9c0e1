// orv_processing_bench: one 2048-pixel spectrum processed in each measurement
// mode against a dark and a reference (orvproc::process), as the orv command
// and the Tango server do for every spectrum. The spectra are made so that
// every pixel is defined in every mode: a benchmark whose pixels turned NaN
// early would measure a shortcut, so a run with an undefined pixel is an error.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "measurement.h"

namespace {

constexpr std::size_t kPixels = 2048;

orvproc::Conditions conditions() {
    orvproc::Conditions taken;
    taken.instrument = "SIM-UV2048 BENCH01";
    taken.wavelengths_nm.resize(kPixels);
    for (std::size_t i = 0; i < kPixels; ++i) taken.wavelengths_nm[i] = 190.0 + 0.4 * i;
    taken.integration_us = 10000;
    return taken;
}

// Counts of a dark level plus `gain` times a smooth lamp profile.
orvproc::Capture spectrum(double gain) {
    std::vector<std::uint16_t> counts(kPixels);
    for (std::size_t i = 0; i < kPixels; ++i) {
        const double x = static_cast<double>(i) / kPixels;
        const double lamp = 30000.0 * (0.3 + 0.7 * std::sin(3.14159 * x));
        // A transmission between 5 and 95 % that changes along the spectrum.
        const double transmission = gain < 0 ? 0.5 + 0.45 * std::cos(40 * x) : gain;
        counts[i] = static_cast<std::uint16_t>(1000 + (i % 7) + transmission * lamp);
    }
    return orvproc::capture_of(conditions(), counts);
}

void BM_Process(benchmark::State &state, orvproc::Mode mode) {
    const orvproc::Capture dark = spectrum(0);
    const orvproc::Capture reference = spectrum(1);
    const orvproc::Capture sample = spectrum(-1);
    const orvproc::Processed once = orvproc::process(mode, sample, &dark, &reference);
    if (once.undefined.total() != 0) {
        state.SkipWithError("the benchmark's spectra leave pixels undefined");
        return;
    }
    for (auto _ : state) {
        orvproc::Processed processed = orvproc::process(mode, sample, &dark, &reference);
        benchmark::DoNotOptimize(processed.values.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPixels));
}

BENCHMARK_CAPTURE(BM_Process, absorbance, orvproc::Mode::absorbance);
BENCHMARK_CAPTURE(BM_Process, transmittance, orvproc::Mode::transmittance);
BENCHMARK_CAPTURE(BM_Process, dark_corrected, orvproc::Mode::dark_corrected);

}  // namespace
