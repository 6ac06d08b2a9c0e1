// orv_hdf5_series_bench: a series of 2048-pixel spectra written as orv read
// --format hdf5 writes it (the writer of tools/orv/output/hdf5_format.cpp,
// with its flush after every spectrum), as counts and as processed values.
// One iteration is one spectrum; the items per second are spectra per second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/hdf5_format.h"

namespace {

constexpr std::size_t kPixels = 2048;

void BM_Hdf5Series(benchmark::State &state, bool processed) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        (std::string("orv_hdf5_series_bench") + (processed ? "_values" : "_counts") + ".h5");
    orvcli::SeriesSource source;
    source.identity = {
        "BENCH01", "SIMULATED UV-VIS Spectrometer", "UVVIS_ORV", "SIM-UV2048", "BENCH-0001", "1.0",
        true};
    source.settings.integration_us = 10000;
    auto wavelengths = std::make_shared<std::vector<double>>(kPixels);
    std::vector<std::uint16_t> counts(kPixels);
    for (std::size_t i = 0; i < kPixels; ++i) {
        (*wavelengths)[i] = 190.0 + 0.4 * static_cast<double>(i);
        counts[i] = static_cast<std::uint16_t>(1000 + (i * 37) % 30000);
    }
    orvcli::Spectrum spectrum("BENCH01", 1, std::chrono::system_clock::now(), wavelengths, counts);
    orvcli::MeasurementHeader header;
    header.mode = orvproc::Mode::absorbance;
    if (processed)
        for (std::uint16_t count : counts) spectrum.values.push_back(count / 30000.0);
    {
        const std::unique_ptr<orvcli::Hdf5SeriesFile> file =
            orvcli::create_hdf5_series(path.string(), processed ? &header : nullptr);
        file->begin({source}, spectrum.time);
        for (auto _ : state) {
            spectrum.time += std::chrono::milliseconds(1);
            ++spectrum.number;
            file->write(spectrum);
        }
        file->end();
        file->commit();
    }
    state.SetItemsProcessed(state.iterations());
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

BENCHMARK_CAPTURE(BM_Hdf5Series, counts, false)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Hdf5Series, absorbance, true)->MinTime(2.0);

}  // namespace
