#include "device/series.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace orvcli {
namespace {

// Spectra read but not yet handed to the sink; a reader waits when the sink
// is this far behind.
constexpr std::size_t kMaxQueued = 256;

// The spectra on their way from the reading threads to the one thread that
// hands them to the sink, so formatting and writing overlap the next reads.
class Delivery {
public:
    Delivery(StopSignal &stop, const SpectrumSink &sink)
        : stop_(stop), sink_(sink), thread_([this] { run(); }) {}
    ~Delivery() {
        if (thread_.joinable()) finish();
    }
    Delivery(const Delivery &) = delete;
    Delivery &operator=(const Delivery &) = delete;

    // Queues a spectrum; false when the series failed and it was dropped.
    bool push(Spectrum spectrum) {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [this] { return queue_.size() < kMaxQueued || failure_; });
        if (failure_) return false;
        queue_.push_back(std::move(spectrum));
        ready_.notify_one();
        return true;
    }

    void fail(std::exception_ptr failure) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_) failure_ = failure;
        }
        stop_.request();
        room_.notify_all();
    }

    // Delivers what is queued, ends the thread, and returns the first failure.
    std::exception_ptr finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        ready_.notify_one();
        thread_.join();
        return failure_;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return !queue_.empty() || done_; });
            if (queue_.empty()) return;
            Spectrum spectrum = std::move(queue_.front());
            queue_.pop_front();
            room_.notify_one();
            if (failure_) continue;  // a failed series writes nothing more
            lock.unlock();
            try {
                sink_(spectrum);
            } catch (...) {
                fail(std::current_exception());
            }
            lock.lock();
        }
    }

    StopSignal &stop_;
    const SpectrumSink &sink_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
    std::deque<Spectrum> queue_;
    bool done_ = false;
    std::exception_ptr failure_;
    std::thread thread_;  // last: starts when everything else is ready
};

void run_one(Instrument &instrument, const SeriesPlan &plan, StopSignal &stop, Delivery &delivery) {
    try {
        const auto wavelengths =
            std::make_shared<const std::vector<double>>(instrument.wavelengths());
        auto next_start = std::chrono::steady_clock::now();
        for (unsigned number = 1; number <= plan.count; ++number) {
            if (number > 1) {
                next_start += plan.interval;
                if (stop.wait_until(next_start)) return;
            } else if (stop.requested()) {
                return;
            }
            next_start = std::max(next_start, std::chrono::steady_clock::now());
            Spectrum spectrum{instrument.bridge().chip_serial, number,
                              std::chrono::system_clock::time_point{}, wavelengths,
                              instrument.read_counts()};
            spectrum.time = std::chrono::system_clock::now();
            if (!delivery.push(std::move(spectrum))) return;
        }
    } catch (...) {
        delivery.fail(std::current_exception());
    }
}

}  // namespace

void run_series(const std::vector<Instrument *> &instruments, const SeriesPlan &plan,
                StopSignal &stop, const SpectrumSink &sink) {
    Delivery delivery(stop, sink);
    std::vector<std::thread> threads;
    threads.reserve(instruments.size());
    try {
        for (Instrument *instrument : instruments)
            threads.emplace_back(run_one, std::ref(*instrument), std::cref(plan), std::ref(stop),
                                 std::ref(delivery));
    } catch (...) {
        // No thread for every instrument: end those that started, then fail.
        delivery.fail(std::current_exception());
    }
    for (std::thread &thread : threads) thread.join();
    if (const std::exception_ptr failure = delivery.finish()) std::rethrow_exception(failure);
}

}  // namespace orvcli
