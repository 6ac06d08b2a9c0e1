// The OrvSpectrometer device (see OrvSpectrometer.h).
#include "OrvSpectrometer.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

#include "OrvSpectrometerClass.h"
#include "provider_choice.h"

namespace OrvSpectrometer_ns {

namespace {

using orv_tango::Limits;
using orv_tango::Phase;

constexpr long DEFAULT_RECONNECT_MS = 2000;
constexpr long MAX_RECONNECT_MS = 3600 * 1000;

[[noreturn]] void refuse(const std::string &reason, const std::string &why, const char *where) {
    Tango::Except::throw_exception(reason, why, where);
}

// A written value outside [low, high], refused with the limit it passes.
template <class T>
void check_range(const char *attribute, T value, T low, T high, const char *unit) {
    std::ostringstream why;
    if (!(value >= low))
        why << attribute << " " << value << unit << " is below the minimum " << low << unit;
    else if (!(value <= high))
        why << attribute << " " << value << unit << " is above the maximum " << high << unit;
    else
        return;
    refuse("OrvSpectrometer_OutOfRange", why.str(), attribute);
}

timeval to_timeval(std::chrono::system_clock::time_point when) {
    const auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(us / 1000000);
    tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
    return tv;
}

// Tango sends a value it was given after the device's monitor is released,
// when another client's request may already have replaced snapshot_ (and
// freed what it held). So every value goes out as a copy Tango owns and
// frees: a scalar made with new, an array with new[], a text with
// string_dup.
template <class T>
void send(Tango::Attribute &attr, T value) {
    attr.set_value(new T(value), 1, 0, true);
}

template <class T>
void send(Tango::Attribute &attr, const T *values, std::size_t count) {
    auto *copy = new T[count];
    std::copy(values, values + count, copy);
    attr.set_value(copy, static_cast<long>(count), 0, true);
}

// A spectrum, stamped with the end of its acquisition.
void send(Tango::Attribute &attr, const orv_tango::Spectrum &spectrum, std::size_t first,
          std::size_t count) {
    auto *copy = new Tango::DevDouble[count];
    std::copy_n(spectrum.counts.data() + first, count, copy);
    timeval ended = to_timeval(spectrum.ended);
    attr.set_value_date_quality(copy, ended, Tango::ATTR_VALID, static_cast<long>(count), 0, true);
}

void send_text(Tango::Attribute &attr, const std::string &text) {
    auto *copy = new Tango::DevString(Tango::string_dup(text.c_str()));
    attr.set_value(copy, 1, 0, true);
}

// A setting reads as its set point, else as the instrument's own value;
// without either, or on an instrument that lacks it, with quality INVALID.
template <class T, class V>
void read_setting(Tango::Attribute &attr, const std::optional<V> &wanted,
                  const std::optional<V> &applied, bool exists) {
    const std::optional<V> value = wanted ? wanted : applied;
    if (!value || !exists) return attr.set_quality(Tango::ATTR_INVALID);
    send(attr, static_cast<T>(*value));
}

// The value written to an integer setting, checked against its limits.
template <class T>
long written(Tango::WAttribute &attr, const char *attribute, long low, long high) {
    T value{};
    attr.get_write_value(value);
    check_range<long>(attribute, value, low, high, "");
    return value;
}

// A Tango monitor held for a scope. get_monitor() gives up with DevFailed
// after the monitor's timeout, so a wait for it is bounded.
class Held {
public:
    explicit Held(Tango::TangoMonitor &monitor) : monitor_(monitor) { monitor_.get_monitor(); }
    ~Held() { monitor_.rel_monitor(); }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;

private:
    Tango::TangoMonitor &monitor_;
};

// Event subscriptions are commands of the admin device, run under its
// monitor; cppTango 9.3 lets a push from another thread race with them and
// crash in ZmqEventSupplier::push_event. Pushing under the same monitor
// keeps the two apart. Taken before the device's own monitor, always.
Tango::TangoMonitor &admin_monitor() {
    return Tango::Util::instance()->get_dserver_device()->get_dev_monitor();
}

}  // namespace

OrvSpectrometer::OrvSpectrometer(Tango::DeviceClass *cl, const char *name)
    : TANGO_BASE_CLASS(cl, name) {
    init_device();
}

OrvSpectrometer::~OrvSpectrometer() { delete_device(); }

void OrvSpectrometer::get_device_property() {
    serialNumber.clear();
    reconnectPeriod = DEFAULT_RECONNECT_MS;
    provider.clear();
    Tango::DbData data;
    data.push_back(Tango::DbDatum("SerialNumber"));
    data.push_back(Tango::DbDatum("ReconnectPeriod"));
    data.push_back(Tango::DbDatum("Provider"));
    if (Tango::Util::instance()->_UseDb) get_db_device()->get_property(data);
    if (!data[0].is_empty()) data[0] >> serialNumber;
    if (!data[1].is_empty()) data[1] >> reconnectPeriod;
    if (!data[2].is_empty()) data[2] >> provider;
}

std::string OrvSpectrometer::provider_refusal() const {
    if (reconnectPeriod < 0 || reconnectPeriod > MAX_RECONNECT_MS)
        return "property ReconnectPeriod " + std::to_string(reconnectPeriod) +
               " ms is outside 0 to " + std::to_string(MAX_RECONNECT_MS) + " ms";
    return orv_tango::choose_provider(provider);
}

void OrvSpectrometer::init_device() {
    closing_ = false;
    pushed_state_ = Tango::UNKNOWN;
    set_state(Tango::INIT);
    get_device_property();

    orv_tango::Config config;
    config.serial = serialNumber;
    config.name = get_name();
    config.refusal = provider_refusal();
    config.reconnect_period_ms =
        config.refusal.empty() ? static_cast<unsigned>(reconnectPeriod) : DEFAULT_RECONNECT_MS;
    config.profile = orv_tango::profile_requested();

    set_change_event("State", true, false);
    set_change_event("spectrum", true, false);
    set_data_ready_event("spectrum", true);
    set_change_event("processedSpectrum", true, false);
    set_data_ready_event("processedSpectrum", true);
    set_change_event("acquisitionCounter", true, false);

    orv_tango::Listener &listener = *this;
    instrument_ = std::make_unique<orv_tango::Instrument>(config, listener);
    instrument_->start();
}

void OrvSpectrometer::delete_device() {
    closing_ = true;
    if (instrument_) instrument_->stop();
    instrument_.reset();
}

void OrvSpectrometer::always_executed_hook() {
    staged_ = {};
    staged_smoothing_.reset();
    write_refused_ = false;
}

void OrvSpectrometer::read_attr_hardware(std::vector<long> &) {
    snapshot_ = instrument_->snapshot();
}

void OrvSpectrometer::stage(const orv_tango::SetPoints &change) { staged_.merge(change); }

// After the write_<attribute> calls of one request: a request that writes
// several attributes changes all of them or none, so the instrument never
// runs with half of a client's settings. Throwing here fails (and does not
// memorize) the values that were accepted.
void OrvSpectrometer::write_attr_hardware(std::vector<long> &) {
    const orv_tango::SetPoints staged = std::exchange(staged_, {});
    const std::optional<std::uint8_t> smoothing = std::exchange(staged_smoothing_, {});
    if (std::exchange(write_refused_, false))
        refuse("OrvSpectrometer_NotApplied",
               "not applied: another value of the same write was refused", "write_attributes");
    if (smoothing) {
        // Refused only when the instrument is not ready: before any set point is handed over.
        const std::string refused = instrument_->store_smoothing_width(*smoothing);
        if (!refused.empty()) refuse("OrvSpectrometer_NotReady", refused, "storedSmoothingWidth");
    }
    instrument_->set_points(staged);
}

Tango::DevState OrvSpectrometer::state_of(const orv_tango::Snapshot &snapshot, std::string *why) {
    switch (snapshot.phase) {
    case Phase::Init: return Tango::INIT;
    case Phase::Fault: return Tango::FAULT;
    case Phase::On:
    case Phase::Running: break;
    }
    const Tango::DevState running = snapshot.phase == Phase::Running ? Tango::RUNNING : Tango::ON;
    if (!snapshot.temperature) return running;
    // The alarm limits a site configured on the temperature attribute.
    const double celsius = *snapshot.temperature;
    Tango::Attribute &attribute = dev_attr->get_attr_by_name("temperature");
    std::ostringstream text;
    try {
        if (attribute.is_alarmed().test(Tango::Attribute::min_level)) {
            Tango::DevDouble low = 0.0;
            attribute.get_min_alarm(low);
            if (celsius <= low) text << "temperature " << celsius << " degC at or below " << low;
        }
        if (attribute.is_alarmed().test(Tango::Attribute::max_level)) {
            Tango::DevDouble high = 0.0;
            attribute.get_max_alarm(high);
            if (celsius >= high) text << "temperature " << celsius << " degC at or above " << high;
        }
    } catch (const Tango::DevFailed &) {
        return running;
    }
    if (text.str().empty()) return running;
    if (why != nullptr) *why = text.str() + " degC (alarm limit)";
    return Tango::ALARM;
}

Tango::DevState OrvSpectrometer::dev_state() {
    const Tango::DevState state = state_of(instrument_->snapshot(), nullptr);
    set_state(state);
    return state;
}

Tango::ConstDevString OrvSpectrometer::dev_status() {
    const orv_tango::Snapshot snapshot = instrument_->snapshot();
    std::string alarm;
    const Tango::DevState state = state_of(snapshot, &alarm);
    status_ = snapshot.status;
    if (state == Tango::ALARM) status_ += "\n" + alarm;
    if (snapshot.phase == Phase::Running)
        status_ += snapshot.continuous ? "\nacquiring continuously" : "\nacquiring one spectrum";
    return status_.c_str();
}

// ---- attributes -------------------------------------------------------------

void OrvSpectrometer::read_spectrum(Tango::Attribute &attr) {
    if (!snapshot_.spectrum) {
        attr.set_quality(Tango::ATTR_INVALID);
        return;
    }
    send(attr, *snapshot_.spectrum, 0, snapshot_.spectrum->counts.size());
}

void OrvSpectrometer::read_wavelengths(Tango::Attribute &attr) {
    send(attr, snapshot_.wavelengths->data(), snapshot_.wavelengths->size());
}

void OrvSpectrometer::read_integrationTime(Tango::Attribute &attr) {
    const auto us = snapshot_.wanted.integration_us ? snapshot_.wanted.integration_us
                                                    : snapshot_.applied.integration_us;
    if (!us) return attr.set_quality(Tango::ATTR_INVALID);
    send(attr, static_cast<Tango::DevDouble>(*us) / 1000.0);
}

void OrvSpectrometer::write_integrationTime(Tango::WAttribute &attr) {
    Tango::DevDouble ms = 0.0;
    attr.get_write_value(ms);
    check_range("integrationTime", ms, Limits::MIN_INTEGRATION_MS, Limits::MAX_INTEGRATION_MS,
                " ms");
    orv_tango::SetPoints change;
    change.integration_us = static_cast<std::uint32_t>(std::llround(ms * 1000.0));
    stage(change);
}

void OrvSpectrometer::read_averages(Tango::Attribute &attr) {
    read_setting<Tango::DevLong>(attr, snapshot_.wanted.averages, snapshot_.applied.averages, true);
}

void OrvSpectrometer::write_averages(Tango::WAttribute &attr) {
    orv_tango::SetPoints change;
    change.averages = static_cast<std::uint8_t>(
        written<Tango::DevLong>(attr, "averages", Limits::MIN_AVERAGES, Limits::MAX_AVERAGES));
    stage(change);
}

void OrvSpectrometer::read_levelOutput(Tango::Attribute &attr) {
    read_setting<Tango::DevShort>(attr, snapshot_.wanted.level_output,
                                  snapshot_.applied.level_output, true);
}

void OrvSpectrometer::write_levelOutput(Tango::WAttribute &attr) {
    orv_tango::SetPoints change;
    change.level_output = static_cast<std::uint8_t>(
        written<Tango::DevShort>(attr, "levelOutput", 0, Limits::MAX_BYTE_SETTING));
    stage(change);
}

void OrvSpectrometer::refuse_on_nir(const char *attribute) {
    const orv_tango::Snapshot now = instrument_->snapshot();
    if (!now.identity.protocol.empty() && !now.identity.uvvis)
        refuse("OrvSpectrometer_Unsupported",
               std::string(attribute) + " does not exist on a " + now.identity.protocol +
                   " instrument",
               attribute);
}

void OrvSpectrometer::read_xenonMode(Tango::Attribute &attr) {
    read_setting<Tango::DevShort>(attr, snapshot_.wanted.xenon_mode, snapshot_.applied.xenon_mode,
                                  snapshot_.identity.uvvis);
}

void OrvSpectrometer::write_xenonMode(Tango::WAttribute &attr) {
    orv_tango::SetPoints change;
    change.xenon_mode = static_cast<std::uint8_t>(
        written<Tango::DevShort>(attr, "xenonMode", 0, Limits::MAX_BYTE_SETTING));
    refuse_on_nir("xenonMode");
    stage(change);
}

void OrvSpectrometer::read_dacVoltage(Tango::Attribute &attr) {
    read_setting<Tango::DevLong>(attr, snapshot_.wanted.dac, snapshot_.applied.dac,
                                 snapshot_.identity.uvvis);
}

void OrvSpectrometer::write_dacVoltage(Tango::WAttribute &attr) {
    orv_tango::SetPoints change;
    change.dac =
        static_cast<std::uint16_t>(written<Tango::DevLong>(attr, "dacVoltage", 0, Limits::MAX_DAC));
    refuse_on_nir("dacVoltage");
    stage(change);
}

namespace {

// A grouped setting is written whole: exactly its number of values.
template <class T, std::size_t N>
std::array<T, N> written_values(Tango::WAttribute &attr, const char *attribute,
                                const char *meaning) {
    const T *values = nullptr;
    attr.get_write_value(values);
    const long length = attr.get_write_value_length();
    if (values == nullptr || length != static_cast<long>(N))
        refuse("OrvSpectrometer_OutOfRange",
               std::string(attribute) + " takes " + std::to_string(N) + " values (" + meaning +
                   "), not " + std::to_string(length),
               attribute);
    std::array<T, N> copy{};
    std::copy(values, values + N, copy.begin());
    return copy;
}

// A grouped setting reads as read_setting reads a single one.
template <class T, std::size_t N>
void read_values(Tango::Attribute &attr, const std::optional<std::array<T, N>> &wanted,
                 const std::optional<std::array<T, N>> &applied, bool exists) {
    const std::optional<std::array<T, N>> &value = wanted ? wanted : applied;
    if (!value || !exists) return attr.set_quality(Tango::ATTR_INVALID);
    send(attr, value->data(), N);
}

// The part of a table the selected range covers; null when there is none.
const double *selected_part(const std::optional<orv_tango::SelectedRange> &range,
                            const std::vector<double> &table) {
    if (!range || std::size_t{range->first_index} + range->count > table.size()) return nullptr;
    return table.data() + range->first_index;
}

}  // namespace

template <class T, std::size_t N>
void OrvSpectrometer::write_values(Tango::WAttribute &attr, const char *attribute,
                                   const char *meaning,
                                   std::optional<std::array<T, N>> orv_tango::SetPoints::*member) {
    orv_tango::SetPoints change;
    change.*member = written_values<T, N>(attr, attribute, meaning);
    refuse_on_nir(attribute);
    stage(change);
}

void OrvSpectrometer::read_xenonPulse(Tango::Attribute &attr) {
    read_values(attr, snapshot_.wanted.xenon_pulse, snapshot_.applied.xenon_pulse,
                snapshot_.identity.uvvis);
}

void OrvSpectrometer::write_xenonPulse(Tango::WAttribute &attr) {
    write_values(attr, "xenonPulse", "first, second", &orv_tango::SetPoints::xenon_pulse);
}

void OrvSpectrometer::read_externalTrigger(Tango::Attribute &attr) {
    read_values(attr, snapshot_.wanted.trigger, snapshot_.applied.trigger,
                snapshot_.identity.uvvis);
}

void OrvSpectrometer::write_externalTrigger(Tango::WAttribute &attr) {
    write_values(attr, "externalTrigger", "bytes 0, 1 and 3", &orv_tango::SetPoints::trigger);
}

void OrvSpectrometer::read_selectedRange(Tango::Attribute &attr) {
    if (!snapshot_.range) return attr.set_quality(Tango::ATTR_INVALID);
    const std::array<Tango::DevDouble, 2> ends{snapshot_.range->first_wavelength,
                                               snapshot_.range->last_wavelength};
    send(attr, ends.data(), ends.size());
}

void OrvSpectrometer::read_selectedWavelengths(Tango::Attribute &attr) {
    const double *part = selected_part(snapshot_.range, *snapshot_.wavelengths);
    if (part == nullptr) return attr.set_quality(Tango::ATTR_INVALID);
    send(attr, part, snapshot_.range->count);
}

void OrvSpectrometer::read_selectedSpectrum(Tango::Attribute &attr) {
    const double *part =
        snapshot_.spectrum ? selected_part(snapshot_.range, snapshot_.spectrum->counts) : nullptr;
    if (part == nullptr) return attr.set_quality(Tango::ATTR_INVALID);
    send(attr, *snapshot_.spectrum, snapshot_.range->first_index, snapshot_.range->count);
}

void OrvSpectrometer::read_storedIntegrationTime(Tango::Attribute &attr) {
    if (!snapshot_.stored.integration_us) return attr.set_quality(Tango::ATTR_INVALID);
    send(attr, static_cast<Tango::DevDouble>(*snapshot_.stored.integration_us) / 1000.0);
}

void OrvSpectrometer::read_storedAverages(Tango::Attribute &attr) {
    read_setting<Tango::DevLong>(attr, snapshot_.stored.averages, {}, true);
}

void OrvSpectrometer::read_storedSmoothingWidth(Tango::Attribute &attr) {
    read_setting<Tango::DevShort>(attr, snapshot_.stored.smoothing_width, {}, true);
}

void OrvSpectrometer::write_storedSmoothingWidth(Tango::WAttribute &attr) {
    const long width =
        written<Tango::DevShort>(attr, "storedSmoothingWidth", 0, Limits::MAX_BYTE_SETTING);
    refuse_on_nir("storedSmoothingWidth");
    // A store into the instrument's memory, handed over with the request's
    // set points (write_attr_hardware).
    staged_smoothing_ = static_cast<std::uint8_t>(width);
}

void OrvSpectrometer::read_mode(Tango::Attribute &attr) {
    send_text(attr, std::string(orvproc::mode_info(measurements_.mode()).name));
}

void OrvSpectrometer::write_mode(Tango::WAttribute &attr) {
    Tango::DevString word = nullptr;
    attr.get_write_value(word);
    const std::string refused = measurements_.set_mode(word != nullptr ? word : "");
    if (!refused.empty()) refuse("OrvSpectrometer_UnknownMode", refused, "mode");
    // The last spectrum again, in the new mode, so processedSpectrum follows
    // at once rather than at the next acquisition.
    const orv_tango::Snapshot now = instrument_->snapshot();
    measurements_.process(now.spectrum, now.identity, *now.wavelengths);
}

void OrvSpectrometer::read_processedSpectrum(Tango::Attribute &attr) {
    const std::shared_ptr<const orv_tango::ProcessedSpectrum> processed = measurements_.last();
    if (!processed || !processed->problem.empty()) return attr.set_quality(Tango::ATTR_INVALID);
    auto *copy = new Tango::DevDouble[processed->values.size()];
    std::copy(processed->values.begin(), processed->values.end(), copy);
    timeval ended = to_timeval(processed->ended);
    attr.set_value_date_quality(copy, ended, Tango::ATTR_VALID,
                                static_cast<long>(processed->values.size()), 0, true);
}

void OrvSpectrometer::read_processedUnit(Tango::Attribute &attr) {
    send_text(attr, std::string(orvproc::mode_info(measurements_.mode()).unit));
}

void OrvSpectrometer::read_measurementStatus(Tango::Attribute &attr) {
    using Kind = orv_tango::Measurements::Kind;
    const std::shared_ptr<const orv_tango::ProcessedSpectrum> processed = measurements_.last();
    std::string text = processed ? processed->status
                                 : std::string(orvproc::mode_info(measurements_.mode()).name) +
                                       ": no spectrum yet";
    text += "\ndark: " + measurements_.stored_text(Kind::dark) +
            "\nreference: " + measurements_.stored_text(Kind::reference);
    send_text(attr, text);
}

void OrvSpectrometer::read_temperature(Tango::Attribute &attr) {
    if (!snapshot_.temperature) return attr.set_quality(Tango::ATTR_INVALID);
    send(attr, Tango::DevDouble{*snapshot_.temperature});
}

void OrvSpectrometer::read_acquisitionCounter(Tango::Attribute &attr) {
    send(attr, Tango::DevLong64{snapshot_.spectrum ? snapshot_.spectrum->counter : 0});
}

void OrvSpectrometer::read_text(Tango::Attribute &attr, const std::string &text) {
    if (snapshot_.identity.protocol.empty()) return attr.set_quality(Tango::ATTR_INVALID);
    send_text(attr, text);
}

void OrvSpectrometer::read_model(Tango::Attribute &attr) {
    read_text(attr, snapshot_.identity.model);
}
void OrvSpectrometer::read_serialNumber(Tango::Attribute &attr) {
    read_text(attr, snapshot_.identity.serial_number);
}
void OrvSpectrometer::read_hardwareVersion(Tango::Attribute &attr) {
    read_text(attr, snapshot_.identity.hardware_version);
}
void OrvSpectrometer::read_protocol(Tango::Attribute &attr) {
    read_text(attr, snapshot_.identity.protocol);
}

// ---- commands -----------------------------------------------------------------

void OrvSpectrometer::acquire() {
    const std::string refused = instrument_->acquire();
    if (!refused.empty()) refuse("OrvSpectrometer_NotReady", refused, "OrvSpectrometer::Acquire");
}

void OrvSpectrometer::start() {
    const std::string refused = instrument_->start_continuous();
    if (!refused.empty()) refuse("OrvSpectrometer_NotReady", refused, "OrvSpectrometer::Start");
}

void OrvSpectrometer::stop() { instrument_->stop_continuous(); }

void OrvSpectrometer::reset() { instrument_->reset(); }

void OrvSpectrometer::select_range(const Tango::DevVarDoubleArray &range) {
    if (range.length() != 2)
        refuse(
            "OrvSpectrometer_OutOfRange",
            "SelectRange takes 2 values (start, end in nm), not " + std::to_string(range.length()),
            "OrvSpectrometer::SelectRange");
    const std::string refused = instrument_->select_range(range[0], range[1]);
    if (!refused.empty())
        refuse("OrvSpectrometer_OutOfRange", refused, "OrvSpectrometer::SelectRange");
}

void OrvSpectrometer::clear_range() { instrument_->clear_range(); }

void OrvSpectrometer::store_defaults() {
    const std::string refused = instrument_->store_defaults();
    if (!refused.empty())
        refuse("OrvSpectrometer_NotReady", refused, "OrvSpectrometer::StoreDefaults");
}

void OrvSpectrometer::restore_defaults() {
    const std::string refused = instrument_->restore_defaults();
    if (!refused.empty())
        refuse("OrvSpectrometer_NotReady", refused, "OrvSpectrometer::RestoreDefaults");
}

void OrvSpectrometer::store_measurement(orv_tango::Measurements::Kind kind) {
    const orv_tango::Snapshot now = instrument_->snapshot();
    const std::string refused =
        measurements_.store(kind, now.spectrum, now.identity, *now.wavelengths);
    if (!refused.empty())
        refuse("OrvSpectrometer_NothingToStore", refused,
               kind == orv_tango::Measurements::Kind::dark ? "OrvSpectrometer::StoreDark"
                                                           : "OrvSpectrometer::StoreReference");
    measurements_.process(now.spectrum, now.identity, *now.wavelengths);
}

void OrvSpectrometer::store_dark() { store_measurement(orv_tango::Measurements::Kind::dark); }

void OrvSpectrometer::store_reference() {
    store_measurement(orv_tango::Measurements::Kind::reference);
}

// ---- events, from the instrument's publisher thread ------------------------------

std::shared_ptr<void> OrvSpectrometer::publisher_context() {
    // The publisher calls into Tango (events): omniORB must know the thread.
    return std::make_shared<omni_thread::ensure_self>();
}

void OrvSpectrometer::push_state() {
    if (closing_) return;
    try {
        // The device's monitor (serialization by device, the default):
        // the alarm limits and the state are read as a request would.
        const Held events(admin_monitor());
        const Held device(get_dev_monitor());
        Tango::DevState state = state_of(instrument_->snapshot(), nullptr);
        if (state == pushed_state_) return;
        pushed_state_ = state;
        set_state(state);
        push_change_event("State", &state);
    } catch (const Tango::DevFailed &) {
        // No client may stop the publisher; the next transition pushes again.
    }
}

void OrvSpectrometer::phase_changed(Phase, const std::string &) { push_state(); }

void OrvSpectrometer::temperature_read(double) { push_state(); }

void OrvSpectrometer::spectrum_ready(const std::shared_ptr<const orv_tango::Spectrum> &spectrum) {
    if (closing_) return;
    try {
        const Held events(admin_monitor());
        timeval ended = to_timeval(spectrum->ended);
        auto *counts = const_cast<Tango::DevDouble *>(spectrum->counts.data());
        push_change_event("spectrum", counts, ended, Tango::ATTR_VALID,
                          static_cast<long>(spectrum->counts.size()));
        push_data_ready_event("spectrum", static_cast<Tango::DevLong>(spectrum->counter));
        Tango::DevLong64 counter = spectrum->counter;
        push_change_event("acquisitionCounter", &counter, ended, Tango::ATTR_VALID);
        const orv_tango::Snapshot now = instrument_->snapshot();
        const std::shared_ptr<const orv_tango::ProcessedSpectrum> processed =
            measurements_.process(spectrum, now.identity, *now.wavelengths);
        if (processed && processed->problem.empty()) {
            auto *values = const_cast<Tango::DevDouble *>(processed->values.data());
            push_change_event("processedSpectrum", values, ended, Tango::ATTR_VALID,
                              static_cast<long>(processed->values.size()));
            push_data_ready_event("processedSpectrum",
                                  static_cast<Tango::DevLong>(processed->counter));
        }
    } catch (const Tango::DevFailed &) {
        // An event that cannot be sent is lost; the attribute still has it.
    }
}

}  // namespace OrvSpectrometer_ns
