// One instrument of `orv serve`: a thread that reads spectra one after the
// other (unless paused) and keeps the latest, settings changes carried out by
// that thread between two reads, and waits with deadlines for both.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "device/instrument.h"
#include "stop_signal.h"

namespace orvcli {

struct LiveSpectrum {
    std::uint64_t sequence = 0;  // 1, 2, ... per instrument
    Spectrum spectrum;
    AcquisitionSettings settings;  // in force when it was read
};

struct LiveStatus {
    SeriesSource source;  // identity and current settings
    bool paused = false;
    std::string error;  // the last read failure, "" after a good read
};

class LiveInstrument {
public:
    LiveInstrument(std::unique_ptr<Instrument> instrument, SeriesSource source);
    ~LiveInstrument();  // stops and joins the thread
    LiveInstrument(const LiveInstrument &) = delete;
    LiveInstrument &operator=(const LiveInstrument &) = delete;

    const std::string &chip_serial() const { return chip_serial_; }

    // A spectrum newer than `after`, waiting for one until the deadline;
    // null when there is none by then.
    std::shared_ptr<const LiveSpectrum> newer_than(std::uint64_t after,
                                                   std::chrono::steady_clock::time_point deadline);
    std::shared_ptr<const LiveSpectrum> latest();

    LiveStatus status();
    void set_paused(bool paused);

    // Applies integration time and average number (0: keep) between two reads
    // and returns the settings read back. A Failure when the instrument
    // refuses them, or (instrument status) when the deadline passes first.
    AcquisitionSettings change(const AcquisitionSettings &wanted,
                               std::chrono::steady_clock::time_point deadline);

private:
    void run();
    void apply_pending(std::unique_lock<std::mutex> &lock);

    std::unique_ptr<Instrument> instrument_;
    std::string chip_serial_;
    std::shared_ptr<const std::vector<double>> wavelengths_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool paused_ = false;
    SeriesSource source_;
    std::string error_;
    std::shared_ptr<const LiveSpectrum> latest_;
    std::uint64_t change_requested_ = 0;  // numbers of change() calls
    std::uint64_t change_done_ = 0;
    std::optional<AcquisitionSettings> pending_;
    std::string change_error_;
    std::thread thread_;
};

}  // namespace orvcli
