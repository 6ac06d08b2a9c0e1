// orv_parallel_reads: many instruments at once. For each count N, N
// simulated UVVIS_ORV instruments (2048 pixels, 10 ms integration, the
// default link: 1 ms latency, 1 000 000 bytes/s, real time) are read for a
// fixed time
//  - through handles, one thread per instrument, and
//  - through the process-wide interface by one thread that visits them one
//    after another (open, one full spectrum, next), the baseline;
// and it prints the spectra per second of both, the CPU time per spectrum
// and the process's peak resident memory after the handle run:
//
//   orv_parallel_reads [--seconds S] [N ...]      (default: 3 s, N = 1 2 8 64)
//
// Counts are run in ascending order in one process, so the peak after the
// run of N is the peak of that run. Exits 1 when the aggregate rate through
// handles misses 0.9 x N x the rate of one instrument for N <= 8, or
// 0.8 x N x it for larger N (the first count is the single instrument).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "orv.h"
#include "orvsim.h"
#include "peak_rss.h"

namespace {

constexpr int kMaxInstruments = 64;
constexpr uint16_t kPixels = 2048;
constexpr uint32_t kIntegrationUs = 10000;

using Clock = std::chrono::steady_clock;

// kMaxInstruments bridges PARALLEL01 ... of the simulator's 2048-pixel
// UVVIS_ORV model at its default link timing and noise.
std::string scenario() {
    return R"({"time_scale": 1.0, "bridges": [{"serial": "PARALLEL", "description": "SIMULATED",
        "repeat": )" +
           std::to_string(kMaxInstruments) + R"(, "instrument": {"model": "SIM-UV2048"}}]})";
}

// What one run measured.
struct Run {
    long spectra = 0;
    long failures = 0;
    double wall_s = 0;
    double cpu_s = 0;
    double per_second() const { return wall_s > 0 ? spectra / wall_s : 0; }
    double cpu_us_per_spectrum() const { return spectra > 0 ? cpu_s * 1e6 / spectra : 0; }
};

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Times `body` (which returns the spectra read and counts its failures).
template <class Body>
Run measure(Body &&body) {
    Run run;
    const double cpu0 = cpu_seconds();
    const auto t0 = Clock::now();
    body(run);
    run.wall_s = std::chrono::duration<double>(Clock::now() - t0).count();
    run.cpu_s = cpu_seconds() - cpu0;
    return run;
}

// N handles, one thread each, reading full spectra until the deadline.
Run read_through_handles(int n, double seconds) {
    std::vector<orv_device *> handles(static_cast<size_t>(n), nullptr);
    for (int i = 0; i < n; ++i) {
        orv_device *&h = handles[static_cast<size_t>(i)];
        uint16_t count = 0;
        if (orv_device_open(i, &h) != ORV_OK ||
            orv_device_set_integration_time(h, kIntegrationUs) != ORV_OK ||
            orv_device_set_average_number(h, 1) != ORV_OK ||
            orv_device_get_wavelength_count(h, &count) != ORV_OK || count != kPixels) {
            std::fprintf(stderr, "orv_parallel_reads: instrument %d does not open\n", i);
            std::exit(2);
        }
    }
    Run run = measure([&](Run &r) {
        std::atomic<long> spectra{0};
        std::atomic<long> failures{0};
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        std::vector<std::thread> threads;
        for (orv_device *h : handles) {
            threads.emplace_back([h, deadline, &spectra, &failures] {
                std::vector<uint16_t> samples(kPixels);
                while (Clock::now() < deadline) {
                    if (orv_device_get_full_spectrum_data(h, samples.data(), kPixels) == ORV_OK)
                        ++spectra;
                    else
                        ++failures;
                }
            });
        }
        for (std::thread &t : threads) t.join();
        r.spectra = spectra;
        r.failures = failures;
    });
    for (orv_device *h : handles) orv_device_close(h);
    return run;
}

// One thread, the process-wide interface: each instrument in turn is opened
// and one spectrum read (one instrument stays open).
Run read_one_after_another(int n, double seconds) {
    Run run = measure([&](Run &r) {
        std::vector<uint16_t> samples(kPixels);
        const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        for (int i = 0; Clock::now() < deadline; i = (i + 1) % n) {
            if (n > 1 || orv_is_open() == 0) {
                if (orv_open_device(i) != ORV_OK) {
                    ++r.failures;
                    continue;
                }
            }
            if (orv_get_full_spectrum_data(samples.data(), kPixels) == ORV_OK)
                ++r.spectra;
            else
                ++r.failures;
        }
    });
    orv_close_device();
    return run;
}

int usage() {
    std::fprintf(stderr,
                 "usage: orv_parallel_reads [--seconds S] [N ...] (1 <= N <= %d, ascending)\n",
                 kMaxInstruments);
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    double seconds = 3.0;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        char *end = nullptr;
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(seconds > 0)) return usage();
            continue;
        }
        const long n = std::strtol(argv[i], &end, 10);
        if (*argv[i] == '\0' || *end != '\0' || n < 1 || n > kMaxInstruments ||
            (!counts.empty() && n < counts.back()))
            return usage();
        counts.push_back(static_cast<int>(n));
    }
    if (counts.empty()) counts = {1, 2, 8, 64};

    if (orvsim_load_scenario_json(scenario().c_str()) != 0) {
        std::fprintf(stderr, "orv_parallel_reads: scenario refused: %s\n", orvsim_last_error());
        return 2;
    }
    // Every instrument is a UVVIS_ORV one: no detection probes at open.
    orv_set_protocol_preference(ORV_PREFER_UVVIS);

    std::printf(
        "%d-pixel UVVIS_ORV instruments, %.0f ms integration, default link, %.1f s per run\n",
        kPixels, kIntegrationUs / 1000.0, seconds);
    std::printf("%4s  %-13s %8s %10s %11s %9s %15s %14s %9s\n", "N", "interface", "spectra",
                "spectra/s", "per instr.", "vs N x 1", "CPU us/spectrum", "peak RSS KiB",
                "failures");
    double single_rate = 0;
    bool met = true;
    for (int n : counts) {
        const Run handles = read_through_handles(n, seconds);
        const long peak_kib = orvbench::peak_rss_kib();
        const Run visits = read_one_after_another(n, seconds);
        if (single_rate == 0) single_rate = handles.per_second() / n;
        const double ratio = handles.per_second() / (n * single_rate);
        const double target = n <= 8 ? 0.9 : 0.8;
        const bool ok = ratio >= target && handles.failures == 0;
        met = met && ok;
        std::printf("%4d  %-13s %8ld %10.1f %11.2f %9.3f %15.1f %14ld %9ld  %s %.1f\n", n,
                    "handles", handles.spectra, handles.per_second(), handles.per_second() / n,
                    ratio, handles.cpu_us_per_spectrum(), peak_kib, handles.failures,
                    ok ? "met" : "MISSED", target);
        std::printf("%4d  %-13s %8ld %10.1f %11.2f %9.3f %15.1f %14s %9ld\n", n, "one by one",
                    visits.spectra, visits.per_second(), visits.per_second() / n,
                    visits.per_second() / (n * single_rate), visits.cpu_us_per_spectrum(), "",
                    visits.failures);
        std::fflush(stdout);
    }
    std::printf("%s\n",
                met ? "parallel reads: all targets met" : "parallel reads: a target was missed");
    return met ? 0 : 1;
}
