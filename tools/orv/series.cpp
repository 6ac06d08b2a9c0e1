#include "series.h"

#include <exception>
#include <mutex>
#include <thread>

namespace orvcli {
namespace {

struct SharedState {
    StopSignal &stop;
    std::mutex sink_mutex;
    std::exception_ptr failure;
};

void run_one(Instrument &instrument, const SeriesPlan &plan, SharedState &state,
             const SpectrumSink &sink) {
    try {
        const auto wavelengths =
            std::make_shared<const std::vector<double>>(instrument.wavelengths());
        auto next_start = std::chrono::steady_clock::now();
        for (unsigned number = 1; number <= plan.count; ++number) {
            if (number > 1) {
                next_start += plan.interval;
                if (state.stop.wait_until(next_start)) return;
            } else if (state.stop.requested()) {
                return;
            }
            next_start = std::max(next_start, std::chrono::steady_clock::now());
            Spectrum spectrum{instrument.bridge().chip_serial, number,
                              std::chrono::system_clock::time_point{}, wavelengths,
                              instrument.read_counts()};
            spectrum.time = std::chrono::system_clock::now();
            std::lock_guard<std::mutex> lock(state.sink_mutex);
            if (state.failure) return;
            sink(spectrum);
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(state.sink_mutex);
        if (!state.failure) state.failure = std::current_exception();
        state.stop.request();
    }
}

}  // namespace

void run_series(const std::vector<Instrument *> &instruments, const SeriesPlan &plan,
                StopSignal &stop, const SpectrumSink &sink) {
    SharedState state{stop, {}, nullptr};
    std::vector<std::thread> threads;
    threads.reserve(instruments.size());
    for (Instrument *instrument : instruments)
        threads.emplace_back(run_one, std::ref(*instrument), std::cref(plan), std::ref(state),
                             std::cref(sink));
    for (std::thread &thread : threads) thread.join();
    if (state.failure) std::rethrow_exception(state.failure);
}

}  // namespace orvcli
