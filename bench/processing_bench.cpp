// orv_processing_bench: one 2048-pixel spectrum processed in each measurement
// mode against a dark and a reference (orvproc::process), as the orv command
// and the Tango server do for every spectrum. The spectra are made so that
// every pixel is defined in every mode: a benchmark whose pixels turned NaN
// early would measure a shortcut, so a run with an undefined pixel is an error.
// BM_ProcessInto: the same into a result whose storage is reused.
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

struct Inputs {
    orvproc::Capture dark = spectrum(0);
    orvproc::Capture reference = spectrum(1);
    orvproc::Capture sample = spectrum(-1);
    // False (and the run an error) when a pixel would be undefined.
    bool all_defined(benchmark::State &state, orvproc::Mode mode) const {
        if (orvproc::process(mode, sample, &dark, &reference).undefined.total() == 0) return true;
        state.SkipWithError("the benchmark's spectra leave pixels undefined");
        return false;
    }
};

// A new result per spectrum, as the orv command and the Tango server do.
void BM_Process(benchmark::State &state, orvproc::Mode mode) {
    const Inputs in;
    if (!in.all_defined(state, mode)) return;
    for (auto _ : state) {
        orvproc::Processed processed = orvproc::process(mode, in.sample, &in.dark, &in.reference);
        benchmark::DoNotOptimize(processed.values.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPixels));
}

// One result filled again and again: no allocation after the first.
void BM_ProcessInto(benchmark::State &state, orvproc::Mode mode) {
    const Inputs in;
    if (!in.all_defined(state, mode)) return;
    orvproc::Processed processed;
    for (auto _ : state) {
        orvproc::process(mode, in.sample, &in.dark, &in.reference, processed);
        benchmark::DoNotOptimize(processed.values.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPixels));
}

BENCHMARK_CAPTURE(BM_Process, absorbance, orvproc::Mode::absorbance);
BENCHMARK_CAPTURE(BM_Process, transmittance, orvproc::Mode::transmittance);
BENCHMARK_CAPTURE(BM_Process, dark_corrected, orvproc::Mode::dark_corrected);
BENCHMARK_CAPTURE(BM_ProcessInto, absorbance, orvproc::Mode::absorbance);

}  // namespace
