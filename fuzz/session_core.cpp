// The fixed run of exports of a session (see exchange_session.h).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "scripted_bridge.h"
#include "session.h"

namespace fuzz {
namespace {

constexpr int32_t FLASH_READ_MAX_BYTES = 1024;  // UVVIS_ORV: 256 words per read
constexpr int32_t SPECTRUM_MAX_SAMPLES = 2048;  // UVVIS_ORV: 1024 words of samples

}  // namespace

bool Session::open() {
    expect("set_protocol_preference", orv_set_protocol_preference(config_.preference), OK);
    const int rc = config_.handle ? orv_device_open(0, &handle_) : orv_open_device(0);
    if (config_.open_fails) {
        expect("open_device", rc, OPEN_FAILED);
        FUZZ_CHECK(orv_is_open() == 0);
        FUZZ_CHECK(handle_ == nullptr);
        return false;
    }
    expect("open_device", rc, OK);
    FUZZ_CHECK(orv_is_open() == (config_.handle ? 0 : 1));
    FUZZ_CHECK(config_.handle == (handle_ != nullptr));

    auto &protocol = guards_.add<int32_t>(1);
    auto &caps = guards_.add<uint32_t>(1);
    expect("get_device_protocol", SESSION_CALL(get_device_protocol, protocol.get()), OK);
    expect("get_capabilities", SESSION_CALL(get_capabilities, caps.get()), OK);
    protocol_ = protocol[0];
    switch (config_.preference) {
    case ORV_PREFER_UVVIS: FUZZ_CHECK(protocol_ == ORV_PROTOCOL_UVVIS); break;
    case ORV_PREFER_NIR: FUZZ_CHECK(protocol_ == ORV_PROTOCOL_NIR_LEGACY); break;
    default:
        FUZZ_CHECK(protocol_ == ORV_PROTOCOL_UVVIS || protocol_ == ORV_PROTOCOL_NIR_LEGACY);
        break;
    }
    FUZZ_CHECK(caps[0] == (nir() ? ORV_CAPS_NIR : ORV_CAPS_UVVIS));
    exchange_errors_ = nir() ? NIR_EXCHANGE_ERRORS : UVVIS_EXCHANGE_ERRORS;
    return true;
}

// Unreadable texts stay empty; the record itself is always delivered.
void Session::device_info() {
    auto &info = guards_.add<orv_device_info>(1);
    expect("get_device_info", SESSION_CALL(get_device_info, info.get()), OK);
    const orv_device_info &i = info[0];
    FUZZ_CHECK(i.protocol == protocol_);
    FUZZ_CHECK(std::strcmp(i.protocol_name, nir() ? "NIR_LEGACY" : "UVVIS_ORV") == 0);
    FUZZ_CHECK(terminated(i.model, sizeof i.model));
    FUZZ_CHECK(terminated(i.serial_number, sizeof i.serial_number));
    FUZZ_CHECK(terminated(i.hardware_version, sizeof i.hardware_version));
    if (nir()) {
        FUZZ_CHECK(std::strcmp(i.serial_number, "NIR") == 0);
        FUZZ_CHECK(std::strncmp(i.model, "NIR", 3) == 0);  // "NIR" or "NIR-T<t>-<mmmm>"
    }
}

void Session::wavelengths() {
    auto &count = guards_.add<uint16_t>(1);
    const int count_rc = SESSION_CALL(get_wavelength_count, count.get());
    expect_getter("get_wavelength_count", count_rc, OK | exchange_errors_, count);

    auto &table = guards_.add<double>(static_cast<size_t>(config_.capacity));
    const int rc = SESSION_CALL(get_full_wavelength_data, table.get(), config_.capacity);
    if (!nir() && count_rc == ORV_OK && config_.capacity < count[0]) {
        // The cached count already shows the buffer is too small: refused before sending.
        expect("get_full_wavelength_data", rc, INVALID_PARAM);
        FUZZ_CHECK(table.untouched());
    } else {
        expect("get_full_wavelength_data", rc, OK | exchange_errors_ | INVALID_PARAM);
    }

    auto &first = guards_.add<double>(1);
    auto &last = guards_.add<double>(1);
    // NIR_LEGACY reads the table twice on the way; it may have grown in between.
    const int range_rc = SESSION_CALL(get_full_wavelength_range, first.get(), last.get());
    expect_getter("get_full_wavelength_range", range_rc,
                  OK | exchange_errors_ | (nir() ? INVALID_PARAM : 0), first);
    if (range_rc != ORV_OK) {
        FUZZ_CHECK(last.untouched());
        return;
    }
    if (nir()) FUZZ_CHECK(!(first[0] > last[0]));  // always ascending
    if (std::isfinite(first[0]) && std::isfinite(last[0])) {
        range_known_ = true;
        range_low_ = std::min(first[0], last[0]);
        range_high_ = std::max(first[0], last[0]);
    }
}

void Session::spectrum() {
    auto &samples = guards_.add<uint16_t>(static_cast<size_t>(config_.capacity));
    expect("get_full_spectrum_data",
           SESSION_CALL(get_full_spectrum_data, samples.get(), config_.capacity),
           OK | exchange_errors_ | INVALID_PARAM);
}

void Session::selection() {
    double start = 300.0 + config_.select_start;
    double end = start + config_.select_width;
    if (range_known_) {
        start = range_low_ + (range_high_ - range_low_) * config_.select_start / 255.0;
        end = start + (range_high_ - start) * config_.select_width / 255.0;
    }
    const int set_rc = SESSION_CALL(set_selected_wavelength_range, start, end);
    expect("set_selected_wavelength_range", set_rc, OK | exchange_errors_ | INVALID_PARAM);
    const bool selected = set_rc == ORV_OK;
    selected_ = selected;

    auto &range = guards_.add<orv_wavelength_range>(1);
    const int get_rc = SESSION_CALL(get_selected_wavelength_range, range.get());
    expect_getter("get_selected_wavelength_range", get_rc, selected ? OK : GENERIC, range);
    uint16_t selected_count = 0;
    if (selected) {
        const orv_wavelength_range &r = range[0];
        FUZZ_CHECK(r.requested_start == start && r.requested_end == end);
        FUZZ_CHECK(r.first_index <= r.last_index);
        FUZZ_CHECK(r.count == r.last_index - r.first_index + 1);
        FUZZ_CHECK(start <= r.first_wavelength && r.first_wavelength <= end);
        FUZZ_CHECK(start <= r.last_wavelength && r.last_wavelength <= end);
        selected_count = r.count;
    }

    // Without a selection both reads say so; with one, a buffer below its
    // count is refused before anything is sent.
    const bool too_small = selected && config_.capacity < selected_count;
    const uint32_t read_codes = !selected   ? GENERIC
                                : too_small ? INVALID_PARAM
                                            : OK | exchange_errors_ | INVALID_PARAM;
    auto &values = guards_.add<double>(static_cast<size_t>(config_.capacity));
    expect_getter("get_selected_wavelength_data",
                  SESSION_CALL(get_selected_wavelength_data, values.get(), config_.capacity),
                  read_codes, values);
    auto &samples = guards_.add<uint16_t>(static_cast<size_t>(config_.capacity));
    expect_getter("get_selected_spectrum_data",
                  SESSION_CALL(get_selected_spectrum_data, samples.get(), config_.capacity),
                  read_codes, samples);
}

void Session::flash_read() {
    auto &data = guards_.add<uint8_t>(static_cast<size_t>(config_.flash_length));
    // NIR_LEGACY hands over at most the length asked; UVVIS_ORV reports the
    // whole words it received, at most 1024 bytes.
    const int32_t words_bytes =
        std::min(4 * ((config_.flash_length + 3) / 4), FLASH_READ_MAX_BYTES);
    expect_byte_count(
        "flash_read",
        SESSION_CALL(flash_read, config_.flash_address, data.get(), config_.flash_length),
        nir() ? config_.flash_length : words_bytes, data);
}

void Session::external_spectrum() {
    auto &samples = guards_.add<uint16_t>(static_cast<size_t>(config_.external_capacity));
    const int rc = SESSION_CALL(external_spectrum_control, config_.external_parameter,
                                samples.get(), config_.external_capacity);
    if (refused_on_nir("external_spectrum_control", rc, samples)) return;
    // Two bytes per sample, at most the buffer and at most one spectrum.
    expect_byte_count("external_spectrum_control", rc,
                      2 * std::min(config_.external_capacity, SPECTRUM_MAX_SAMPLES), samples);
    if (rc > 0) FUZZ_CHECK(rc % 2 == 0);
}

void Session::stored_settings() {
    auto &integration = guards_.add<uint32_t>(1);
    auto &average = guards_.add<uint8_t>(1);
    auto &smoothing = guards_.add<uint8_t>(1);
    expect_uvvis_getter("get_stored_integration_time",
                        SESSION_CALL(get_stored_integration_time, integration.get()), integration);
    expect_uvvis_getter("get_stored_average_number",
                        SESSION_CALL(get_stored_average_number, average.get()), average);
    expect_uvvis_getter("get_stored_smoothing_width",
                        SESSION_CALL(get_stored_smoothing_width, smoothing.get()), smoothing);

    // A NIR_LEGACY instrument accepts the smoothing width without effect.
    expect("set_stored_smoothing_width", SESSION_CALL(set_stored_smoothing_width, 1),
           nir() ? OK : OK | exchange_errors_);
    expect("set_stored_integration_time", SESSION_CALL(set_stored_integration_time, 10000),
           nir() ? UNSUPPORTED : OK | exchange_errors_);
}

void Session::run() {
    if (open()) {
        device_info();
        wavelengths();
        spectrum();
        selection();
        flash_read();
        external_spectrum();
        stored_settings();
        if (config_.identity) identity();
        if (config_.acquisition) acquisition();
        if (config_.maintenance) maintenance();
        expect_still_open();  // no failure closes the device
    }
    close();
    FUZZ_CHECK(orv_is_open() == 0);
    FUZZ_CHECK(scripted_bridge_open_handles() == 0);
}

void Session::expect_still_open() {
    FUZZ_CHECK(orv_is_open() == (config_.handle ? 0 : 1));
    int32_t protocol = ORV_PROTOCOL_UNKNOWN;
    FUZZ_CHECK(SESSION_CALL(get_device_protocol, &protocol) == ORV_OK);
    FUZZ_CHECK(protocol == protocol_);
}

void Session::close() {
    if (config_.handle) {
        orv_device_close(handle_);
        handle_ = nullptr;
    } else {
        orv_close_device();
    }
}

}  // namespace fuzz
