#include "serve/live_instrument.h"

#include <fmt/format.h>

#include "commands/measurement_options.h"
#include "failure.h"

namespace orvcli {
namespace {

// After a failed read the next try waits this long.
constexpr std::chrono::seconds kRetryAfterFailure{1};

}  // namespace

LiveInstrument::LiveInstrument(std::unique_ptr<Instrument> instrument, SeriesSource source)
    : instrument_(std::move(instrument)),
      chip_serial_(instrument_->bridge().chip_serial),
      wavelengths_(std::make_shared<const std::vector<double>>(instrument_->wavelengths())),
      description_(describe_instrument(source.identity)),
      source_(std::move(source)) {
    thread_ = std::thread([this] { run(); });
}

LiveInstrument::~LiveInstrument() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void LiveInstrument::apply_pending(std::unique_lock<std::mutex> &lock) {
    const AcquisitionSettings wanted = *pending_;
    pending_.reset();
    const std::uint64_t number = change_requested_;
    lock.unlock();
    std::string error;
    AcquisitionSettings now;
    try {
        instrument_->apply(wanted);
        now = instrument_->settings();
    } catch (const Failure &failure) {
        error = failure.what();
    }
    lock.lock();
    if (error.empty()) source_.settings = now;
    change_error_ = error;
    change_done_ = number;
    changed_.notify_all();
}

void LiveInstrument::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (pending_) {
            apply_pending(lock);
            continue;
        }
        if (paused_) {
            changed_.wait(lock, [this] { return stopping_ || !paused_ || pending_; });
            continue;
        }
        const AcquisitionSettings settings = source_.settings;
        const std::uint64_t sequence = latest_ ? latest_->sequence + 1 : 1;
        lock.unlock();
        std::string error;
        std::shared_ptr<LiveSpectrum> live;
        try {
            live = std::make_shared<LiveSpectrum>(LiveSpectrum{
                sequence,
                {chip_serial_, static_cast<unsigned>(sequence), std::chrono::system_clock::now(),
                 wavelengths_, instrument_->read_counts()},
                settings});
            live->spectrum.time = std::chrono::system_clock::now();
        } catch (const Failure &failure) {
            error = failure.what();
        }
        lock.lock();
        error_ = error;
        if (live) {
            latest_ = std::move(live);
            changed_.notify_all();
        } else {
            changed_.wait_for(lock, kRetryAfterFailure, [this] { return stopping_ || pending_; });
        }
    }
}

std::shared_ptr<const LiveSpectrum> LiveInstrument::newer_than(
    std::uint64_t after, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, deadline,
                        [&] { return stopping_ || (latest_ && latest_->sequence > after); });
    return latest_ && latest_->sequence > after ? latest_ : nullptr;
}

std::shared_ptr<const LiveSpectrum> LiveInstrument::latest() {
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

LiveStatus LiveInstrument::status() {
    std::lock_guard<std::mutex> lock(mutex_);
    return {source_, paused_, error_, dark_, reference_};
}

void LiveInstrument::set_paused(bool paused) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paused_ = paused;
    }
    changed_.notify_all();
}

AcquisitionSettings LiveInstrument::change(const AcquisitionSettings &wanted,
                                           std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    pending_ = wanted;
    const std::uint64_t number = ++change_requested_;
    changed_.notify_all();
    if (!changed_.wait_until(lock, deadline, [&] { return change_done_ >= number || stopping_; }) ||
        change_done_ < number)
        throw Failure(ExitStatus::instrument,
                      fmt::format("change the settings of {}: not done in time", chip_serial_));
    if (!change_error_.empty()) throw Failure(ExitStatus::instrument, change_error_);
    return source_.settings;
}

orvproc::Capture LiveInstrument::capture_of(const LiveSpectrum &live) const {
    return orvproc::capture_of(
        conditions_of(description_, live.settings, *live.spectrum.wavelengths_nm,
                      format_utc(live.spectrum.time)),
        live.spectrum.counts);
}

std::shared_ptr<const StoredSpectrumCapture> LiveInstrument::store(StoredRole role) {
    const std::shared_ptr<const LiveSpectrum> live = latest();
    if (!live) return nullptr;
    auto stored = std::make_shared<const StoredSpectrumCapture>(
        StoredSpectrumCapture{live, capture_of(*live)});
    std::lock_guard<std::mutex> lock(mutex_);
    (role == StoredRole::dark ? dark_ : reference_) = stored;
    return stored;
}

LiveMeasurement LiveInstrument::measure(const LiveSpectrum &live, orvproc::Mode mode) {
    LiveMeasurement measurement;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        measurement.dark = dark_;
        measurement.reference = reference_;
    }
    try {
        measurement.processed = orvproc::process(
            mode, capture_of(live), measurement.dark ? &measurement.dark->capture : nullptr,
            measurement.reference ? &measurement.reference->capture : nullptr);
    } catch (const orvproc::MeasurementError &error) {
        measurement.refusal = error.what();
    }
    return measurement;
}

}  // namespace orvcli
