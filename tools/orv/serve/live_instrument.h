// One instrument of `orv serve`: a thread that reads spectra one after the
// other (unless paused) and keeps the latest, settings changes carried out by
// that thread between two reads, and waits with deadlines for both. It also
// keeps a dark and a reference taken from its spectra, and turns a spectrum
// into the values of a measurement mode with them (orvproc's arithmetic).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "device/instrument.h"
#include "measurement.h"
#include "stop_signal.h"

namespace orvcli {

struct LiveSpectrum {
    std::uint64_t sequence = 0;  // 1, 2, ... per instrument
    Spectrum spectrum;
    AcquisitionSettings settings;  // in force when it was read
};

enum class StoredRole { dark, reference };

// A spectrum kept as dark or reference, with what it was taken with.
struct StoredSpectrumCapture {
    std::shared_ptr<const LiveSpectrum> live;
    orvproc::Capture capture;
};

struct LiveStatus {
    SeriesSource source;  // identity and current settings
    bool paused = false;
    std::string error;  // the last read failure, "" after a good read
    std::shared_ptr<const StoredSpectrumCapture> dark;  // null: none stored
    std::shared_ptr<const StoredSpectrumCapture> reference;
};

// A spectrum's values in a mode: `values` (NaN where undefined) or, when
// the mode lacks its dark or reference or they do not fit the spectrum's
// conditions, `refusal` naming why.
struct LiveMeasurement {
    orvproc::Processed processed;
    std::string refusal;
    std::shared_ptr<const StoredSpectrumCapture> dark;  // the ones used
    std::shared_ptr<const StoredSpectrumCapture> reference;
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

    // Keeps the latest complete spectrum as the dark or reference; null when
    // there is none yet.
    std::shared_ptr<const StoredSpectrumCapture> store(StoredRole role);

    // The values of `mode` for `live` (one of this instrument's spectra)
    // with the dark and reference stored now.
    LiveMeasurement measure(const LiveSpectrum &live, orvproc::Mode mode);

private:
    void run();
    orvproc::Capture capture_of(const LiveSpectrum &live) const;
    void apply_pending(std::unique_lock<std::mutex> &lock);

    std::unique_ptr<Instrument> instrument_;
    std::string chip_serial_;
    std::shared_ptr<const std::vector<double>> wavelengths_;
    std::string description_;  // describe_instrument() of its identity

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
    std::shared_ptr<const StoredSpectrumCapture> dark_;
    std::shared_ptr<const StoredSpectrumCapture> reference_;
    std::thread thread_;
};

}  // namespace orvcli
