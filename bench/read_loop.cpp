// orv_read_loop: reads spectra the way the benchmark program's timing loop
// does (through the binding: export look-up, buffer, liborv, conversion to
// doubles), as many times as asked, on an instant-link instrument. The
// benchmark program's iteration counts are fixed; this runs the same read
// any number of times:
//
//   orv_read_loop [--instrument uvvis|nir|nir_256] 10 1000
//
// prints "reads=0 peak_rss_kib=..." after set-up, then one such line after
// each given count of reads (counts ascending). The memory check compares
// the peaks; the instruction profile runs it under callgrind with two counts
// and takes the difference, so that set-up costs cancel.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_instruments.h"
#include "device_ops.h"
#include "peak_rss.h"
#include "platform.h"
#include "sdk.h"

namespace {

int fail(const char *what) {
    std::fprintf(stderr, "orv_read_loop: %s\n", what);
    return 2;
}

void print_peak(unsigned long reads) {
    std::printf("reads=%lu peak_rss_kib=%ld\n", reads, orvbench::peak_rss_kib());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
    auto instrument = orvbench::Instrument::uvvis;
    std::vector<unsigned long> checkpoints;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--instrument") == 0 && i + 1 < argc) {
            auto named = orvbench::instrument_named(argv[++i]);
            if (!named) return fail("instruments: uvvis, nir, nir_256");
            instrument = *named;
            continue;
        }
        char *end = nullptr;
        const unsigned long n = std::strtoul(argv[i], &end, 10);
        if (*argv[i] == '\0' || *end != '\0' || (!checkpoints.empty() && n < checkpoints.back()))
            return fail("usage: orv_read_loop [--instrument NAME] COUNT... (ascending)");
        checkpoints.push_back(n);
    }
    if (!orvbench::load_instant_scenario()) return fail("the instant scenario does not load");

    auto exe = velmar::platform::executable_path();
    if (!exe) return fail("no executable path");
    auto sdk = velmar::VelmarSdk::load_from(
        {exe->substr(0, exe->find_last_of('/') + 1) + velmar::platform::kSdkLibraryName});
    if (!sdk) return fail("liborv cannot be loaded");
    const velmar::VelmarSdk &library = sdk.value();

    // The same steps as the program before its timed reads.
    if (!velmar::open_device(library, velmar::DeviceId{orvbench::chip_serial(instrument)}))
        return fail("open failed");
    auto wavelengths = velmar::read_wavelengths(library);
    if (!wavelengths) return fail("wavelength table read failed");
    if (!velmar::set_integration_time_us(library, 1) || !velmar::set_average_number(library, 1))
        return fail("settings refused");
    const std::size_t expected = wavelengths.value().size();
    print_peak(0);

    unsigned long reads = 0;
    for (unsigned long checkpoint : checkpoints) {
        for (; reads < checkpoint; ++reads) {
            auto spectrum = velmar::read_spectrum(library, expected);
            if (!spectrum) return fail("spectrum read failed");
        }
        print_peak(reads);
    }
    (void)velmar::close_device(library);
    return 0;
}
