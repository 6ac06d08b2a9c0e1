// One spectrometer of the OrvSpectrometer device server, driven by a worker
// thread of its own. Nothing here knows Tango: the device (OrvSpectrometer.cpp)
// reads snapshots, hands over requests and set points, and is told about new
// spectra and state changes through a Listener, always from the instrument's
// publisher thread.
//
// The worker owns the liborv handle: it opens the instrument, applies the set
// points before the next acquisition, acquires, reads the temperature, and on
// a failure closes the handle, reports the fault and reconnects on its
// schedule. No request of a client waits on the instrument: requests only
// take the worker's lock, which the worker never holds while it talks to the
// instrument.
//
// The worker never calls the listener itself: it queues what happened and
// goes on to the next acquisition at once, and the publisher thread hands the
// queue to the listener in order. So the instrument does not stand idle while
// a spectrum is processed and its events are sent, and every call of the
// listener (every event of the device) comes from that one thread.
#ifndef ORV_TANGO_INSTRUMENT_H
#define ORV_TANGO_INSTRUMENT_H

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct orv_device;

namespace orv_tango {

enum class Phase { Init, On, Running, Fault };

// Limits of the writable settings, checked before anything is handed over.
struct Limits {
    static constexpr double MIN_INTEGRATION_MS = 0.001;  // 1 us, the protocol's unit
    static constexpr double MAX_INTEGRATION_MS = 100000.0;
    static constexpr long MIN_AVERAGES = 1;
    static constexpr long MAX_AVERAGES = 255;
    static constexpr long MAX_BYTE_SETTING = 255;         // level output, xenon mode
    static constexpr long MAX_DAC = 4095;                 // 12-bit DAC
    static constexpr std::size_t XENON_PULSE_VALUES = 2;  // first, second
    static constexpr std::size_t TRIGGER_BYTES = 3;       // bytes 0, 1 and 3
    // Most pixels believed from an instrument's wavelength count.
    static constexpr std::uint16_t MAX_PIXELS = 16384;
};

struct Identity {
    std::string model;
    std::string serial_number;
    std::string hardware_version;
    std::string protocol;  // "UVVIS_ORV", "NIR_LEGACY"
    bool uvvis = false;    // the settings of UV-VIS instruments only exist
};

struct Spectrum {
    std::vector<double> counts;
    std::int64_t counter = 0;                     // 1 for the first spectrum of the device
    std::chrono::system_clock::time_point ended;  // end of the acquisition
    std::uint32_t integration_us = 0;             // what it was taken with
    unsigned average = 1;                         // the instrument's own averaging
};

using XenonPulse = std::array<std::uint32_t, Limits::XENON_PULSE_VALUES>;
using TriggerConfig = std::array<std::uint8_t, Limits::TRIGGER_BYTES>;

// What the instrument runs with. An empty optional leaves the instrument's own
// value; a value is applied at every (re)connect and whenever it changes.
struct SetPoints {
    std::optional<std::uint32_t> integration_us;
    std::optional<std::uint8_t> averages;
    std::optional<std::uint8_t> level_output;
    std::optional<std::uint8_t> xenon_mode;
    std::optional<std::uint16_t> dac;
    std::optional<XenonPulse> xenon_pulse;
    std::optional<TriggerConfig> trigger;

    // Takes every value present in changes.
    void merge(const SetPoints &changes);
};

// A selected wavelength range: the interval asked for, and the table
// positions the instrument's wavelength table has inside it.
struct RangeRequest {
    double start = 0.0;  // nm
    double end = 0.0;
};
struct SelectedRange {
    double first_wavelength = 0.0;  // nm, at first_index
    double last_wavelength = 0.0;
    std::uint16_t first_index = 0;
    std::uint16_t count = 0;  // at least 1; first_index + count <= the pixels
};

// Settings stored in the instrument (UV-VIS instruments only): read at every
// connect and after every store.
struct StoredDefaults {
    std::optional<std::uint32_t> integration_us;
    std::optional<std::uint8_t> averages;
    std::optional<std::uint8_t> smoothing_width;
};

// A copy of everything a client may read, taken under the worker's lock.
struct Snapshot {
    Phase phase = Phase::Init;
    std::string status;
    Identity identity;
    // The wavelength table, shared by every snapshot (one copy per connect).
    std::shared_ptr<const std::vector<double>> wavelengths =
        std::make_shared<const std::vector<double>>();
    std::shared_ptr<const Spectrum> spectrum;  // the last complete one, or null
    std::optional<double> temperature;
    SetPoints applied;  // the values the instrument reported after the last apply
    SetPoints wanted;   // the set points handed over
    std::optional<RangeRequest> range_wanted;  // kept over reconnects
    std::optional<SelectedRange> range;        // as the instrument applied it
    StoredDefaults stored;
    bool continuous = false;
};

class Listener {
public:
    virtual ~Listener() = default;
    // Called first on the publisher thread; the result lives as long as the thread.
    virtual std::shared_ptr<void> publisher_context() { return {}; }
    virtual void phase_changed(Phase phase, const std::string &status) = 0;
    virtual void spectrum_ready(const std::shared_ptr<const Spectrum> &spectrum) = 0;
    virtual void temperature_read(double celsius) = 0;
};

struct Config {
    std::string serial;                   // instrument or chip serial; empty = the only bridge
    unsigned reconnect_period_ms = 2000;  // 0: only reset() reconnects
    std::string name;                     // the device's name, for messages
    std::string refusal;                  // not empty: why the device cannot work at all
    bool profile = false;                 // time the worker's steps; a summary at stop()
};

// Whether the environment asks for the workers' profile: ORV_TANGO_PROFILE
// set and not empty (platform_posix.cpp).
bool profile_requested();

class Instrument {
public:
    Instrument(Config config, Listener &listener);
    ~Instrument();
    Instrument(const Instrument &) = delete;
    Instrument &operator=(const Instrument &) = delete;

    void start();
    // Asks the worker to stop and waits for it; the longest wait is the
    // instrument operation in progress (liborv bounds each one). What the
    // worker queued is handed to the listener before it returns.
    void stop();

    // Requests. Each returns at once; an empty string when taken, else why not.
    std::string acquire();
    std::string start_continuous();
    void stop_continuous();
    void reset();
    void set_points(const SetPoints &changes);  // merges the values present
    std::string select_range(double start_nm, double end_nm);
    void clear_range();
    // The live integration time and averages become the stored defaults.
    std::string store_defaults();
    std::string store_smoothing_width(std::uint8_t width);
    // The stored integration time and averages become the set points.
    std::string restore_defaults();

    Snapshot snapshot() const;

    // Most spectra queued for the listener; an acquisition that finds the
    // queue full waits for room up to PUBLISH_WAIT, then drops the oldest.
    static constexpr std::size_t MAX_QUEUED_SPECTRA = 8;
    static constexpr std::chrono::milliseconds PUBLISH_WAIT{2000};

private:
    struct Session;
    struct Profile;
    // What the worker tells the listener, queued in order.
    struct Notice {
        enum class Kind { phase, spectrum, temperature } kind = Kind::phase;
        Phase phase = Phase::Init;
        std::string status;
        std::shared_ptr<const Spectrum> spectrum;
        double celsius = 0.0;
    };
    void run();
    void publish();
    // Queues a notice; called with the lock held.
    void notify(Notice notice);
    void queue_spectrum(std::shared_ptr<const Spectrum> spectrum);
    bool wait_for_work(std::unique_lock<std::mutex> &lock, const Session &session);
    bool connect(Session &session);
    bool apply_set_points(Session &session);
    bool apply_range(Session &session, std::string &refused);
    bool store(Session &session, const StoredDefaults &values);
    bool read_stored(Session &session);
    std::string stored_refusal() const;
    bool acquire_once(Session &session);
    void read_temperature(Session &session);
    void fail(Session &session, const std::string &what, int result);
    void publish_phase(Phase phase, const std::string &status);
    std::string retry_text() const;

    const Config config_;
    Listener &listener_;

    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool reset_requested_ = false;
    bool acquire_requested_ = false;
    bool set_points_changed_ = false;
    std::optional<StoredDefaults> store_requested_;
    Snapshot state_;
    Phase published_phase_ = Phase::Init;
    std::string published_status_;
    std::int64_t counter_ = 0;
    std::deque<Notice> notices_;  // for the publisher, oldest first
    std::size_t queued_spectra_ = 0;
    std::condition_variable noticed_;  // a notice queued, or the publisher is to stop
    std::condition_variable room_;     // the publisher took a spectrum
    bool publisher_stopping_ = false;
    std::unique_ptr<Profile> profile_;  // config_.profile only
    std::thread worker_;
    std::thread publisher_;
};

}  // namespace orv_tango

#endif
