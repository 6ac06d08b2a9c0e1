// The instrument worker against the simulated provider, with a listener that
// can be held up: the worker goes on acquiring while the listener is busy, a
// full queue holds it back for a bounded time only, and every notice reaches
// the listener in order, from one thread, before stop() returns.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "instrument.h"
#include "orvsim.h"

namespace {

using namespace std::chrono_literals;
using orv_tango::Instrument;
using orv_tango::Phase;

// One 2048-pixel UV-VIS instrument, a hundred times faster than real time.
const char *const SCENARIO =
    R"({"time_scale": 0.01, "bridges": [{"serial": "ORVTANGO1", "description": "SIMULATED",
        "instrument": {"model": "SIM-UV2048"}}]})";

class Recorder : public orv_tango::Listener {
public:
    // While closed, spectrum_ready waits (10 s at most) until it is opened.
    void close_gate() {
        std::lock_guard guard(lock_);
        open_ = false;
    }
    void open_gate() {
        {
            std::lock_guard guard(lock_);
            open_ = true;
        }
        changed_.notify_all();
    }
    // Waits until spectrum_ready is entered `count` times (or 10 s passed).
    bool entered(std::size_t count) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, 10s, [&] { return entries_ >= count; });
    }

    std::vector<std::int64_t> counters() const {
        std::lock_guard guard(lock_);
        return counters_;
    }
    std::vector<Phase> phases() const {
        std::lock_guard guard(lock_);
        return phases_;
    }
    std::set<std::thread::id> threads() const {
        std::lock_guard guard(lock_);
        return threads_;
    }
    std::thread::id context_thread() const {
        std::lock_guard guard(lock_);
        return context_thread_;
    }

private:
    std::shared_ptr<void> publisher_context() override {
        std::lock_guard guard(lock_);
        context_thread_ = std::this_thread::get_id();
        return {};
    }
    void phase_changed(Phase phase, const std::string &) override {
        std::lock_guard guard(lock_);
        threads_.insert(std::this_thread::get_id());
        phases_.push_back(phase);
    }
    void spectrum_ready(const std::shared_ptr<const orv_tango::Spectrum> &spectrum) override {
        std::unique_lock lock(lock_);
        threads_.insert(std::this_thread::get_id());
        ++entries_;
        changed_.notify_all();
        changed_.wait_for(lock, 10s, [this] { return open_; });
        counters_.push_back(spectrum->counter);
    }
    void temperature_read(double) override {
        std::lock_guard guard(lock_);
        threads_.insert(std::this_thread::get_id());
    }

    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = true;
    std::size_t entries_ = 0;
    std::vector<std::int64_t> counters_;
    std::vector<Phase> phases_;
    std::set<std::thread::id> threads_;
    std::thread::id context_thread_;
};

class InstrumentWorker : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(orvsim_load_scenario_json(SCENARIO), 0) << orvsim_last_error();
    }
    void TearDown() override { orvsim_load_default_scenario(); }

    std::int64_t acquired(const Instrument &instrument) {
        const orv_tango::Snapshot now = instrument.snapshot();
        return now.spectrum ? now.spectrum->counter : 0;
    }
    // Waits until the instrument has acquired `count` spectra (10 s at most).
    bool reaches(const Instrument &instrument, std::int64_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (acquired(instrument) < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    bool ready(const Instrument &instrument) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (instrument.snapshot().phase != Phase::On) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // Starts the instrument and continuous acquisition with the listener
    // held in the first spectrum.
    void acquire_into_a_busy_listener(Instrument &instrument) {
        instrument.start();
        ASSERT_TRUE(ready(instrument)) << instrument.snapshot().status;
        recorder_.close_gate();
        ASSERT_EQ(instrument.start_continuous(), "");
        ASSERT_TRUE(recorder_.entered(1));
    }

    orv_tango::Config config() {
        orv_tango::Config result;
        result.name = "test/orv/1";
        return result;
    }
    Recorder recorder_;
};

TEST_F(InstrumentWorker, AcquiresOnWhileTheListenerIsBusyAndDeliversEverythingInOrder) {
    Instrument instrument(config(), recorder_);
    ASSERT_NO_FATAL_FAILURE(acquire_into_a_busy_listener(instrument));
    // The listener sits in the first spectrum; the instrument does not wait.
    EXPECT_TRUE(reaches(instrument, 5));
    EXPECT_TRUE(recorder_.counters().empty());

    instrument.stop_continuous();
    recorder_.open_gate();
    instrument.stop();  // hands over what is queued before it returns
    const std::vector<std::int64_t> counters = recorder_.counters();
    ASSERT_GE(counters.size(), 5u);
    EXPECT_EQ(counters.back(), acquired(instrument));
    for (std::size_t i = 0; i < counters.size(); ++i)
        EXPECT_EQ(counters[i], static_cast<std::int64_t>(i) + 1) << "spectrum " << i;

    // Every call came from the one thread that made the listener's context,
    // not from the test's.
    const std::set<std::thread::id> threads = recorder_.threads();
    EXPECT_EQ(threads, std::set<std::thread::id>{recorder_.context_thread()});
    EXPECT_NE(recorder_.context_thread(), std::this_thread::get_id());
    const std::vector<Phase> phases = recorder_.phases();
    ASSERT_GE(phases.size(), 2u);
    EXPECT_EQ(phases.front(), Phase::Init);
    EXPECT_EQ(phases[1], Phase::On);
}

TEST_F(InstrumentWorker, AFullQueueHoldsTheWorkerBackForABoundedTimeThenDropsTheOldest) {
    Instrument instrument(config(), recorder_);
    ASSERT_NO_FATAL_FAILURE(acquire_into_a_busy_listener(instrument));
    // One spectrum in the listener, a full queue, one waiting for room.
    const auto limit = static_cast<std::int64_t>(Instrument::MAX_QUEUED_SPECTRA) + 2;
    ASSERT_TRUE(reaches(instrument, limit));
    std::this_thread::sleep_for(Instrument::PUBLISH_WAIT / 4);
    EXPECT_EQ(acquired(instrument), limit) << "the worker did not wait for room";
    // After PUBLISH_WAIT it goes on, dropping the oldest queued spectra.
    EXPECT_TRUE(reaches(instrument, limit + 1));

    instrument.stop_continuous();
    recorder_.open_gate();
    instrument.stop();
    const std::vector<std::int64_t> counters = recorder_.counters();
    ASSERT_FALSE(counters.empty());
    EXPECT_EQ(counters.front(), 1);
    EXPECT_EQ(counters.back(), acquired(instrument)) << "the newest spectrum was dropped";
    EXPECT_LT(counters.size(), static_cast<std::size_t>(acquired(instrument)));
    for (std::size_t i = 1; i < counters.size(); ++i) EXPECT_LT(counters[i - 1], counters[i]);
}

}  // namespace
