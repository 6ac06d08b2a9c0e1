#include "instrument.h"

#include <orv.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

#include "instrument_lookup.h"

namespace orv_tango {

namespace {

// How often the temperature is read while the instrument is connected.
constexpr auto TEMPERATURE_PERIOD = std::chrono::seconds(1);

std::string value_text(std::uint32_t value) { return std::to_string(value); }
template <std::size_t N, class T>
std::string value_text(const std::array<T, N> &values) {
    std::string text;
    for (const T value : values) text += (text.empty() ? "" : ",") + std::to_string(value);
    return text;
}

std::string nm(double value) {
    std::ostringstream text;
    text << value << " nm";
    return text.str();
}

// The grouped settings, as liborv takes them.
int set_xenon_pulse(orv_device *device, const XenonPulse &pulse) {
    return orv_device_set_xenon_pulse(device, pulse[0], pulse[1]);
}
int get_xenon_pulse(orv_device *device, XenonPulse *pulse) {
    return orv_device_get_xenon_pulse(device, &(*pulse)[0], &(*pulse)[1]);
}
int set_trigger(orv_device *device, const TriggerConfig &bytes) {
    return orv_device_set_external_trigger_config(device, bytes[0], bytes[1], bytes[2]);
}
int get_trigger(orv_device *device, TriggerConfig *bytes) {
    return orv_device_get_external_trigger_config(device, &(*bytes)[0], &(*bytes)[1], &(*bytes)[2]);
}

std::string text_of(const char *field, std::size_t size) {
    std::size_t length = 0;
    while (length < size && field[length] != '\0') ++length;
    return {field, length};
}

}  // namespace

// Where the worker's time goes (Config::profile): each step's total and
// count. The worker and the publisher each write only their own steps; the
// summary is written once both have ended.
struct Instrument::Profile {
    using Clock = std::chrono::steady_clock;
    struct Step {
        double total_ms = 0.0;
        std::uint64_t count = 0;
        void add(Clock::time_point began) {
            total_ms += std::chrono::duration<double, std::milli>(Clock::now() - began).count();
            ++count;
        }
        double mean_ms() const { return count == 0 ? 0.0 : total_ms / static_cast<double>(count); }
    };
    Step wait, apply, read, hand_over, temperature, gap;  // the worker's
    Step deliver;                                         // the publisher's, per spectrum
    std::optional<Clock::time_point> last_read_end;       // of the iteration before

    std::string summary(const std::string &name) const {
        char text[512];
        std::snprintf(text, sizeof text,
                      "%s: worker profile: %llu reads, read %.3f ms, between two reads %.3f ms "
                      "(%llu gaps); per step: wait %.3f ms (%llu), apply %.3f ms (%llu), hand-over "
                      "%.3f ms, temperature %.3f ms (%llu); publisher %.3f ms per spectrum\n",
                      name.c_str(), static_cast<unsigned long long>(read.count), read.mean_ms(),
                      gap.mean_ms(), static_cast<unsigned long long>(gap.count), wait.mean_ms(),
                      static_cast<unsigned long long>(wait.count), apply.mean_ms(),
                      static_cast<unsigned long long>(apply.count), hand_over.mean_ms(),
                      temperature.mean_ms(), static_cast<unsigned long long>(temperature.count),
                      deliver.mean_ms());
        return text;
    }
};

namespace {

// The start of a profiled step: a time only when there is a profile.
std::chrono::steady_clock::time_point mark(bool profiling) {
    return profiling ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
}

}  // namespace

struct Instrument::Session {
    orv_device *device = nullptr;
    std::uint16_t pixels = 0;
    std::vector<std::uint16_t> samples;  // the read in progress, kept between reads
    bool uvvis = false;
    bool failed = false;  // the last connect or operation failed
    std::chrono::steady_clock::time_point next_temperature{};
    std::chrono::steady_clock::time_point retry_at{};

    void close() {
        orv_device_close(device);
        device = nullptr;
    }
};

void SetPoints::merge(const SetPoints &changes) {
    auto take = [](auto &into, const auto &from) {
        if (from) into = from;
    };
    take(integration_us, changes.integration_us);
    take(averages, changes.averages);
    take(level_output, changes.level_output);
    take(xenon_mode, changes.xenon_mode);
    take(dac, changes.dac);
    take(xenon_pulse, changes.xenon_pulse);
    take(trigger, changes.trigger);
}

Instrument::Instrument(Config config, Listener &listener)
    : config_(std::move(config)), listener_(listener) {
    state_.status = "Opening the instrument";
    if (config_.profile) profile_ = std::make_unique<Profile>();
}

Instrument::~Instrument() { stop(); }

void Instrument::start() {
    std::lock_guard guard(lock_);
    if (worker_.joinable()) return;
    stopping_ = false;
    publisher_stopping_ = false;
    publisher_ = std::thread([this] { publish(); });
    worker_ = std::thread([this] { run(); });
}

void Instrument::stop() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    room_.notify_all();
    if (worker_.joinable()) worker_.join();
    {
        std::lock_guard guard(lock_);
        publisher_stopping_ = true;
    }
    noticed_.notify_all();
    if (publisher_.joinable()) publisher_.join();
    if (profile_ && profile_->read.count + profile_->wait.count > 0) {
        std::fputs(profile_->summary(config_.name).c_str(), stderr);
        *profile_ = Profile{};
    }
}

void Instrument::notify(Notice notice) {
    if (notice.kind == Notice::Kind::spectrum) ++queued_spectra_;
    notices_.push_back(std::move(notice));
    noticed_.notify_one();
}

// Called by the worker without the lock. A listener slower than the
// instrument holds the worker back only when MAX_QUEUED_SPECTRA wait, and
// for PUBLISH_WAIT at most: then the oldest queued spectrum goes unsent (the
// attributes still have the newest).
void Instrument::queue_spectrum(std::shared_ptr<const Spectrum> spectrum) {
    std::unique_lock lock(lock_);
    if (queued_spectra_ >= MAX_QUEUED_SPECTRA && !room_.wait_for(lock, PUBLISH_WAIT, [this] {
            return stopping_ || queued_spectra_ < MAX_QUEUED_SPECTRA;
        })) {
        const auto oldest = std::find_if(notices_.begin(), notices_.end(), [](const Notice &n) {
            return n.kind == Notice::Kind::spectrum;
        });
        if (oldest != notices_.end()) {
            notices_.erase(oldest);
            --queued_spectra_;
        }
    }
    Notice notice;
    notice.kind = Notice::Kind::spectrum;
    notice.spectrum = std::move(spectrum);
    notify(std::move(notice));
}

// The publisher thread: hands every notice to the listener, in order, and
// ends once stop() has ended the worker and the queue is empty.
void Instrument::publish() {
    const std::shared_ptr<void> context = listener_.publisher_context();
    std::unique_lock lock(lock_);
    for (;;) {
        noticed_.wait(lock, [this] { return !notices_.empty() || publisher_stopping_; });
        if (notices_.empty()) break;
        Notice notice = std::move(notices_.front());
        notices_.pop_front();
        const bool spectrum = notice.kind == Notice::Kind::spectrum;
        if (spectrum) --queued_spectra_;
        lock.unlock();
        room_.notify_one();
        switch (notice.kind) {
        case Notice::Kind::phase: listener_.phase_changed(notice.phase, notice.status); break;
        case Notice::Kind::temperature: listener_.temperature_read(notice.celsius); break;
        case Notice::Kind::spectrum: {
            const auto began = mark(profile_ != nullptr);
            listener_.spectrum_ready(notice.spectrum);
            if (profile_) profile_->deliver.add(began);
            break;
        }
        }
        lock.lock();
    }
}

std::string Instrument::acquire() {
    {
        std::lock_guard guard(lock_);
        if (state_.phase == Phase::Running) return "an acquisition is in progress";
        if (state_.phase != Phase::On) return "the instrument is not ready: " + state_.status;
        acquire_requested_ = true;
        state_.phase = Phase::Running;
    }
    wake_.notify_all();
    return {};
}

std::string Instrument::start_continuous() {
    {
        std::lock_guard guard(lock_);
        if (state_.phase != Phase::On && state_.phase != Phase::Running)
            return "the instrument is not ready: " + state_.status;
        state_.continuous = true;
        state_.phase = Phase::Running;
    }
    wake_.notify_all();
    return {};
}

void Instrument::stop_continuous() {
    std::lock_guard guard(lock_);
    state_.continuous = false;
}

void Instrument::reset() {
    {
        std::lock_guard guard(lock_);
        reset_requested_ = true;
        state_.continuous = false;
        acquire_requested_ = false;
    }
    wake_.notify_all();
}

void Instrument::set_points(const SetPoints &changes) {
    {
        std::lock_guard guard(lock_);
        state_.wanted.merge(changes);
        set_points_changed_ = true;
    }
    wake_.notify_all();
}

std::string Instrument::select_range(double start_nm, double end_nm) {
    if (!std::isfinite(start_nm) || !std::isfinite(end_nm))
        return "the wavelength range takes two finite numbers";
    if (!(start_nm < end_nm))
        return "the wavelength range's start " + nm(start_nm) + " is not below its end " +
               nm(end_nm);
    {
        std::lock_guard guard(lock_);
        const std::vector<double> &table = *state_.wavelengths;
        if (!table.empty()) {
            const auto [low, high] = std::minmax_element(table.begin(), table.end());
            const bool inside = std::any_of(table.begin(), table.end(), [&](double wavelength) {
                return wavelength >= start_nm && wavelength <= end_nm;
            });
            if (start_nm < *low || end_nm > *high || !inside)
                return "the wavelength range " + nm(start_nm) + " to " + nm(end_nm) +
                       " is not inside the instrument's " + nm(*low) + " to " + nm(*high);
        }
        state_.range_wanted = RangeRequest{start_nm, end_nm};
        set_points_changed_ = true;
    }
    wake_.notify_all();
    return {};
}

void Instrument::clear_range() {
    {
        std::lock_guard guard(lock_);
        state_.range_wanted.reset();
        set_points_changed_ = true;
    }
    wake_.notify_all();
}

// Why the stored defaults cannot be reached now; empty when they can.
// Called with the lock held.
std::string Instrument::stored_refusal() const {
    if (state_.phase != Phase::On && state_.phase != Phase::Running)
        return "the instrument is not ready: " + state_.status;
    if (!state_.identity.uvvis)
        return "stored defaults do not exist on a " + state_.identity.protocol + " instrument";
    return {};
}

std::string Instrument::store_defaults() {
    {
        std::lock_guard guard(lock_);
        if (std::string refused = stored_refusal(); !refused.empty()) return refused;
        const SetPoints &wanted = state_.wanted, &applied = state_.applied;
        StoredDefaults values = store_requested_.value_or(StoredDefaults{});
        values.integration_us =
            wanted.integration_us ? wanted.integration_us : applied.integration_us;
        values.averages = wanted.averages ? wanted.averages : applied.averages;
        if (!values.integration_us || !values.averages)
            return "the live integration time and averages are not known yet";
        store_requested_ = values;
    }
    wake_.notify_all();
    return {};
}

std::string Instrument::store_smoothing_width(std::uint8_t width) {
    {
        std::lock_guard guard(lock_);
        if (std::string refused = stored_refusal(); !refused.empty()) return refused;
        StoredDefaults values = store_requested_.value_or(StoredDefaults{});
        values.smoothing_width = width;
        store_requested_ = values;
    }
    wake_.notify_all();
    return {};
}

std::string Instrument::restore_defaults() {
    {
        std::lock_guard guard(lock_);
        if (std::string refused = stored_refusal(); !refused.empty()) return refused;
        if (!state_.stored.integration_us || !state_.stored.averages)
            return "the stored defaults have not been read";
        state_.wanted.integration_us = state_.stored.integration_us;
        state_.wanted.averages = state_.stored.averages;
        set_points_changed_ = true;
    }
    wake_.notify_all();
    return {};
}

Snapshot Instrument::snapshot() const {
    std::lock_guard guard(lock_);
    return state_;
}

std::string Instrument::retry_text() const {
    if (config_.reconnect_period_ms == 0) return "; Reset reconnects";
    return "; reconnecting every " + std::to_string(config_.reconnect_period_ms) + " ms";
}

void Instrument::publish_phase(Phase phase, const std::string &status) {
    {
        std::lock_guard guard(lock_);
        // A request may have moved the phase on since the worker decided.
        if (phase == Phase::On && (acquire_requested_ || state_.continuous)) phase = Phase::Running;
        state_.phase = phase;
        state_.status = status;
        if (phase == published_phase_ && status == published_status_) return;
        published_phase_ = phase;
        published_status_ = status;
        Notice notice;
        notice.phase = phase;
        notice.status = status;
        notify(std::move(notice));
    }
}

void Instrument::fail(Session &session, const std::string &what, int result) {
    session.close();
    session.failed = true;
    session.retry_at =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.reconnect_period_ms);
    {
        std::lock_guard guard(lock_);
        state_.continuous = false;
        acquire_requested_ = false;
        state_.temperature.reset();
    }
    std::string status = config_.name + ": " + what;
    if (result != ORV_OK) status += std::string(" (") + orv_result_name(result) + ")";
    publish_phase(Phase::Fault, status + retry_text());
}

bool Instrument::connect(Session &session) {
    const std::string target =
        config_.serial.empty() ? "the only instrument attached" : "instrument " + config_.serial;
    publish_phase(Phase::Init, config_.name + ": opening " + target);
    if (!config_.refusal.empty()) {
        fail(session, config_.refusal, ORV_OK);
        return false;
    }
    Opened opened = open_instrument(config_.serial);
    if (opened.device == nullptr) {
        fail(session, opened.problem, opened.result);
        return false;
    }
    session.device = opened.device;

    orv_device_info info{};
    int rc = orv_device_get_device_info(session.device, &info);
    if (rc != ORV_OK) {
        fail(session, "reading the identity of " + target + " failed", rc);
        return false;
    }
    std::uint16_t pixels = 0;
    rc = orv_device_get_wavelength_count(session.device, &pixels);
    if (rc == ORV_OK && (pixels == 0 || pixels > Limits::MAX_PIXELS)) rc = ORV_ERR_TRANSPORT;
    if (rc != ORV_OK) {
        fail(session, "reading the wavelength count of " + target + " failed", rc);
        return false;
    }
    std::vector<double> wavelengths(pixels);
    rc = orv_device_get_full_wavelength_data(session.device, wavelengths.data(), pixels);
    if (rc != ORV_OK) {
        fail(session, "reading the wavelength table of " + target + " failed", rc);
        return false;
    }
    session.pixels = pixels;
    session.uvvis = info.protocol == ORV_PROTOCOL_UVVIS;
    session.failed = false;
    {
        std::lock_guard guard(lock_);
        state_.identity.model = text_of(info.model, sizeof info.model);
        state_.identity.serial_number = text_of(info.serial_number, sizeof info.serial_number);
        state_.identity.hardware_version =
            text_of(info.hardware_version, sizeof info.hardware_version);
        state_.identity.protocol = text_of(info.protocol_name, sizeof info.protocol_name);
        state_.identity.uvvis = session.uvvis;
        state_.wavelengths = std::make_shared<const std::vector<double>>(std::move(wavelengths));
        set_points_changed_ = false;
    }
    if (!apply_set_points(session) || !read_stored(session)) return false;
    read_temperature(session);
    if (session.device == nullptr) return false;
    publish_phase(Phase::On, config_.name + ": " + target + " is ready");
    return true;
}

bool Instrument::apply_set_points(Session &session) {
    SetPoints wanted;
    {
        std::lock_guard guard(lock_);
        wanted = state_.wanted;
    }
    SetPoints applied;
    SetPoints dropped;  // the set points the instrument refused
    orv_device *device = session.device;
    // Each setting: write the set point when there is one, then read back what
    // the instrument runs with. A write the instrument refuses while it still
    // answers the read drops the set point; a failed read is a fault.
    std::string refused;
    auto one = [&](const auto &want, auto &got, auto &drop, const char *name, auto set, auto get) {
        if (want) {
            const int rc = set(device, *want);
            if (rc != ORV_OK) {
                refused += std::string(refused.empty() ? "" : "; ") + name + " " +
                           value_text(*want) + " refused (" + orv_result_name(rc) + ")";
                drop = want;
            }
        }
        typename std::remove_reference_t<decltype(got)>::value_type value{};
        const int rc = get(device, &value);
        if (rc != ORV_OK) {
            fail(session, std::string("reading back the ") + name + " failed", rc);
            return false;
        }
        got = value;
        return true;
    };
    bool ok =
        one(wanted.integration_us, applied.integration_us, dropped.integration_us,
            "integration time", orv_device_set_integration_time, orv_device_get_integration_time) &&
        one(wanted.averages, applied.averages, dropped.averages, "number of averages",
            orv_device_set_average_number, orv_device_get_average_number) &&
        one(wanted.level_output, applied.level_output, dropped.level_output, "level output",
            orv_device_set_level_output, orv_device_get_level_output);
    if (ok && session.uvvis)
        ok = one(wanted.xenon_mode, applied.xenon_mode, dropped.xenon_mode, "xenon mode",
                 orv_device_set_xenon_mode, orv_device_get_xenon_mode) &&
             one(wanted.dac, applied.dac, dropped.dac, "DAC voltage", orv_device_set_dac_voltage,
                 orv_device_get_dac_voltage) &&
             one(wanted.xenon_pulse, applied.xenon_pulse, dropped.xenon_pulse, "xenon pulse",
                 set_xenon_pulse, get_xenon_pulse) &&
             one(wanted.trigger, applied.trigger, dropped.trigger, "external trigger configuration",
                 set_trigger, get_trigger);
    if (ok) ok = apply_range(session, refused);
    if (!ok) return false;
    {
        std::lock_guard guard(lock_);
        state_.applied = applied;
        // A refused set point is dropped unless a new one was written meanwhile.
        auto drop = [](auto &current, const auto &refused_value) {
            if (refused_value && current == refused_value) current.reset();
        };
        drop(state_.wanted.integration_us, dropped.integration_us);
        drop(state_.wanted.averages, dropped.averages);
        drop(state_.wanted.level_output, dropped.level_output);
        drop(state_.wanted.xenon_mode, dropped.xenon_mode);
        drop(state_.wanted.dac, dropped.dac);
        drop(state_.wanted.xenon_pulse, dropped.xenon_pulse);
        drop(state_.wanted.trigger, dropped.trigger);
    }
    if (!refused.empty()) {
        const Phase phase = snapshot().phase == Phase::Running ? Phase::Running : Phase::On;
        publish_phase(phase, config_.name + ": " + refused);
    }
    return true;
}

// The selection lives in the handle (liborv drops it on every open): it is
// selected again at every apply. A range the instrument's table refuses is
// dropped like a refused set point.
bool Instrument::apply_range(Session &session, std::string &refused) {
    std::optional<RangeRequest> wanted;
    {
        std::lock_guard guard(lock_);
        wanted = state_.range_wanted;
    }
    std::optional<SelectedRange> applied;
    if (wanted) {
        int rc =
            orv_device_set_selected_wavelength_range(session.device, wanted->start, wanted->end);
        orv_wavelength_range got{};
        if (rc == ORV_OK) rc = orv_device_get_selected_wavelength_range(session.device, &got);
        if (rc == ORV_OK && (got.count == 0 || got.first_index + got.count > session.pixels))
            rc = ORV_ERR_TRANSPORT;
        if (rc == ORV_OK) {
            applied = SelectedRange{got.first_wavelength, got.last_wavelength, got.first_index,
                                    got.count};
        } else if (rc == ORV_ERR_INVALID_PARAM) {
            refused += std::string(refused.empty() ? "" : "; ") + "wavelength range " +
                       nm(wanted->start) + " to " + nm(wanted->end) + " refused (" +
                       orv_result_name(rc) + ")";
        } else {
            fail(session, "selecting the wavelength range failed", rc);
            return false;
        }
    }
    std::lock_guard guard(lock_);
    state_.range = applied;
    if (wanted && !applied && state_.range_wanted && state_.range_wanted->start == wanted->start &&
        state_.range_wanted->end == wanted->end)
        state_.range_wanted.reset();
    return true;
}

bool Instrument::read_stored(Session &session) {
    StoredDefaults stored;
    if (session.uvvis) {
        std::uint32_t integration_us = 0;
        std::uint8_t averages = 0, smoothing = 0;
        int rc = orv_device_get_stored_integration_time(session.device, &integration_us);
        if (rc == ORV_OK) rc = orv_device_get_stored_average_number(session.device, &averages);
        if (rc == ORV_OK) rc = orv_device_get_stored_smoothing_width(session.device, &smoothing);
        if (rc != ORV_OK) {
            fail(session, "reading the stored defaults failed", rc);
            return false;
        }
        stored = {integration_us, averages, smoothing};
    }
    std::lock_guard guard(lock_);
    state_.stored = stored;
    return true;
}

bool Instrument::store(Session &session, const StoredDefaults &values) {
    std::string refused;
    auto one = [&](const auto &value, const char *name, auto set) {
        if (!value) return;
        const int rc = set(session.device, *value);
        if (rc != ORV_OK)
            refused += std::string(refused.empty() ? "" : "; ") + "storing the " + name + " " +
                       value_text(*value) + " refused (" + orv_result_name(rc) + ")";
    };
    one(values.integration_us, "integration time", orv_device_set_stored_integration_time);
    one(values.averages, "number of averages", orv_device_set_stored_average_number);
    one(values.smoothing_width, "smoothing width", orv_device_set_stored_smoothing_width);
    if (!read_stored(session)) return false;
    if (!refused.empty()) {
        const Phase phase = snapshot().phase == Phase::Running ? Phase::Running : Phase::On;
        publish_phase(phase, config_.name + ": " + refused);
    }
    return true;
}

bool Instrument::acquire_once(Session &session) {
    session.samples.resize(session.pixels);
    auto began = mark(profile_ != nullptr);
    if (profile_ && profile_->last_read_end) profile_->gap.add(*profile_->last_read_end);
    const int rc =
        orv_device_get_full_spectrum_data(session.device, session.samples.data(), session.pixels);
    if (profile_) {
        profile_->read.add(began);
        began = profile_->last_read_end.emplace(Profile::Clock::now());
    }
    if (rc != ORV_OK) {
        fail(session, "reading a spectrum failed", rc);
        return false;
    }
    auto spectrum = std::make_shared<Spectrum>();
    spectrum->ended = std::chrono::system_clock::now();
    spectrum->counts.assign(session.samples.begin(), session.samples.end());
    {
        std::lock_guard guard(lock_);
        spectrum->counter = ++counter_;
        // The settings read back after the last apply: what this spectrum
        // was taken with (nothing changes them between the apply and here).
        spectrum->integration_us = state_.applied.integration_us.value_or(0);
        spectrum->average = state_.applied.averages.value_or(1);
        state_.spectrum = spectrum;
    }
    queue_spectrum(std::move(spectrum));
    if (profile_) profile_->hand_over.add(began);
    return true;
}

void Instrument::read_temperature(Session &session) {
    session.next_temperature = std::chrono::steady_clock::now() + TEMPERATURE_PERIOD;
    float celsius = 0.0f;
    const int rc = orv_device_get_temperature(session.device, &celsius);
    if (rc != ORV_OK) {
        fail(session, "reading the temperature failed", rc);
        return;
    }
    std::lock_guard guard(lock_);
    state_.temperature = celsius;
    Notice notice;
    notice.kind = Notice::Kind::temperature;
    notice.celsius = celsius;
    notify(std::move(notice));
}

bool Instrument::wait_for_work(std::unique_lock<std::mutex> &lock, const Session &session) {
    if (session.device == nullptr) {
        // After a failure: the next attempt at the retry time, or at Reset.
        auto ready = [this] { return stopping_ || reset_requested_; };
        if (config_.reconnect_period_ms == 0)
            wake_.wait(lock, ready);
        else
            wake_.wait_until(lock, session.retry_at, ready);
        reset_requested_ = false;
        return !stopping_;
    }
    wake_.wait_until(lock, session.next_temperature, [this] {
        return stopping_ || reset_requested_ || acquire_requested_ || state_.continuous ||
               set_points_changed_ || store_requested_;
    });
    return !stopping_;
}

void Instrument::run() {
    Session session;
    std::unique_lock lock(lock_);
    bool connect_now = true;  // at the start and after a Reset: no waiting
    while (!stopping_) {
        if (session.device == nullptr) {
            if (!connect_now && !wait_for_work(lock, session)) break;
            connect_now = false;
            reset_requested_ = false;
            lock.unlock();
            connect(session);
            lock.lock();
            continue;
        }
        const auto waited = mark(profile_ != nullptr);
        if (!wait_for_work(lock, session)) break;
        if (profile_) profile_->wait.add(waited);
        if (reset_requested_) {
            reset_requested_ = false;
            lock.unlock();
            session.close();
            lock.lock();
            connect_now = true;
            continue;
        }
        const bool apply = std::exchange(set_points_changed_, false);
        const std::optional<StoredDefaults> to_store = std::exchange(store_requested_, {});
        const bool acquire = std::exchange(acquire_requested_, false) || state_.continuous;
        const bool temperature_due = std::chrono::steady_clock::now() >= session.next_temperature;
        lock.unlock();
        bool ok = !to_store || store(session, *to_store);
        if (ok && apply) {
            const auto began = mark(profile_ != nullptr);
            ok = apply_set_points(session);
            if (profile_) profile_->apply.add(began);
        }
        if (profile_ && !acquire) profile_->last_read_end.reset();
        if (ok && acquire) ok = acquire_once(session);
        if (ok && temperature_due) {
            const auto began = mark(profile_ != nullptr);
            read_temperature(session);
            if (profile_) profile_->temperature.add(began);
        }
        lock.lock();
        // Back to ON after a single acquisition, with the status it has
        // (publish_phase keeps RUNNING while acquisitions are asked for).
        if (session.device != nullptr && acquire) {
            const std::string status = state_.status;
            lock.unlock();
            publish_phase(Phase::On, status);
            lock.lock();
        }
    }
    lock.unlock();
    session.close();
}

}  // namespace orv_tango
