// orv_hdf5_series_bench: a series of 2048-pixel spectra written as orv read
// --format hdf5 writes it (the writer of tools/orv/output/hdf5_format.cpp,
// with its flush after every spectrum), as counts and as processed values.
// One iteration is one spectrum; the items per second are spectra per second.
//
//   orv_hdf5_series_bench [Google Benchmark options]
//   orv_hdf5_series_bench --rss N...   one series of counts, printing
//                                      "spectra=N peak_rss_kib=K" after each N
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/hdf5_format.h"
#include "peak_rss.h"

namespace {

constexpr std::size_t kPixels = 2048;

// A series file in the temporary folder, begun, and the spectrum written into
// it again and again (with a new time and number each time).
struct Series {
    explicit Series(bool processed)
        : path(std::filesystem::temp_directory_path() /
               (std::string("orv_hdf5_series_bench") + (processed ? "_values" : "_counts") +
                ".h5")) {
        orvcli::SeriesSource source;
        source.identity = {"BENCH01",    "SIMULATED UV-VIS Spectrometer",
                           "UVVIS_ORV",  "SIM-UV2048",
                           "BENCH-0001", "1.0",
                           true};
        source.settings.integration_us = 10000;
        auto wavelengths = std::make_shared<std::vector<double>>(kPixels);
        std::vector<std::uint16_t> counts(kPixels);
        for (std::size_t i = 0; i < kPixels; ++i) {
            (*wavelengths)[i] = 190.0 + 0.4 * static_cast<double>(i);
            counts[i] = static_cast<std::uint16_t>(1000 + (i * 37) % 30000);
        }
        spectrum =
            orvcli::Spectrum("BENCH01", 0, std::chrono::system_clock::now(), wavelengths, counts);
        header.mode = orvproc::Mode::absorbance;
        if (processed)
            for (std::uint16_t count : counts) spectrum.values.push_back(count / 30000.0);
        file = orvcli::create_hdf5_series(path.string(), processed ? &header : nullptr);
        file->begin({source}, spectrum.time);
    }
    ~Series() {
        file.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    void write() {
        spectrum.time += std::chrono::milliseconds(1);
        ++spectrum.number;
        file->write(spectrum);
    }
    void close() {
        file->end();
        file->commit();
    }

    std::filesystem::path path;
    orvcli::Spectrum spectrum;
    orvcli::MeasurementHeader header;
    std::unique_ptr<orvcli::Hdf5SeriesFile> file;
};

void BM_Hdf5Series(benchmark::State &state, bool processed) {
    Series series(processed);
    for (auto _ : state) series.write();
    series.close();
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(BM_Hdf5Series, counts, false)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Hdf5Series, absorbance, true)->MinTime(2.0);

// The peak resident memory after each count of spectra of one series.
int report_peaks(int argc, char **argv) {
    Series series(false);
    long written = 0;
    for (int i = 2; i < argc; ++i) {
        const long count = std::strtol(argv[i], nullptr, 10);
        if (count < written) return 2;
        for (; written < count; ++written) series.write();
        std::printf("spectra=%ld peak_rss_kib=%ld\n", written, orvbench::peak_rss_kib());
        std::fflush(stdout);
    }
    series.close();
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1 && std::strcmp(argv[1], "--rss") == 0) return report_peaks(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
