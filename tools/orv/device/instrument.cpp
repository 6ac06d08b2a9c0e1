#include "device/instrument.h"

#include <fmt/format.h>

#include <algorithm>

#include "device/fixed_field.h"
#include "failure.h"

namespace orvcli {
Instrument::Instrument(const Bridge &bridge) : bridge_(bridge), name_(bridge_name(bridge)) {
    check(orv_device_open(bridge.index, &device_), "open");
    check(orv_device_get_device_protocol(device_, &protocol_), "read the protocol of");
}

Instrument::~Instrument() { orv_device_close(device_); }

void Instrument::check(int code, std::string_view doing) const {
    if (code >= ORV_OK) return;
    throw Failure(ExitStatus::instrument,
                  fmt::format("{} {}: {}", doing, name_, orv_result_name(code)));
}

bool Instrument::check_supported(int code, std::string_view doing) const {
    if (code == ORV_ERR_UNSUPPORTED) return false;
    check(code, doing);
    return true;
}

std::string Instrument::protocol_name() const {
    switch (protocol_) {
    case ORV_PROTOCOL_UVVIS: return "UVVIS_ORV";
    case ORV_PROTOCOL_NIR_LEGACY: return "NIR_LEGACY";
    default: return "UNKNOWN";
    }
}

InstrumentIdentity Instrument::identity() const {
    orv_device_info info{};
    check(orv_device_get_device_info(device_, &info), "read the identity of");
    InstrumentIdentity identity;
    identity.chip_serial = bridge_.chip_serial;
    identity.description = bridge_.description;
    identity.protocol = text_of_field(info.protocol_name);
    identity.model = text_of_field(info.model);
    identity.serial = text_of_field(info.serial_number);
    identity.hardware_version = text_of_field(info.hardware_version);
    identity.simulated = looks_simulated(identity.description, identity.model);
    return identity;
}

AcquisitionSettings Instrument::settings() const {
    AcquisitionSettings settings;
    check(orv_device_get_integration_time(device_, &settings.integration_us),
          "read the integration time from");
    std::uint8_t average = 0;
    check(orv_device_get_average_number(device_, &average), "read the average number from");
    settings.average = average;
    if (range_selected_) {
        orv_wavelength_range range{};
        check(orv_device_get_selected_wavelength_range(device_, &range),
              "read the selected range of");
        settings.range = WavelengthRange{range.requested_start, range.requested_end};
    }
    return settings;
}

void Instrument::apply(const AcquisitionSettings &settings) {
    // The range is checked against the instrument's table before any setting
    // is sent; liborv wants it inside the table's ends.
    if (settings.range) {
        double first = 0, last = 0;
        check(orv_device_get_full_wavelength_range(device_, &first, &last),
              "read the wavelength range of");
        const double low = std::min(first, last), high = std::max(first, last);
        if (settings.range->start_nm < low || settings.range->end_nm > high)
            throw Failure(ExitStatus::usage,
                          fmt::format("--range {}: {} covers {} to {} nm only",
                                      format_wavelength_range(*settings.range), name_, low, high));
    }
    if (settings.integration_us != 0)
        check(orv_device_set_integration_time(device_, settings.integration_us),
              "set the integration time on");
    if (settings.average != 0)
        check(orv_device_set_average_number(device_, static_cast<std::uint8_t>(settings.average)),
              "set the average number on");
    if (settings.range) {
        check(orv_device_set_selected_wavelength_range(device_, settings.range->start_nm,
                                                       settings.range->end_nm),
              fmt::format("select {} nm on", format_wavelength_range(*settings.range)));
        range_selected_ = true;
    }
}

std::size_t Instrument::sample_count() const {
    if (range_selected_) {
        orv_wavelength_range range{};
        check(orv_device_get_selected_wavelength_range(device_, &range),
              "read the selected range of");
        return range.count;
    }
    if (full_count_ == 0) {
        std::uint16_t count = 0;
        check(orv_device_get_wavelength_count(device_, &count), "read the wavelength count of");
        if (count == 0)
            throw Failure(ExitStatus::instrument,
                          fmt::format("read the wavelength count of {}: it reports none", name_));
        full_count_ = count;
    }
    return full_count_;
}

std::vector<double> Instrument::wavelengths() const {
    std::vector<double> values(sample_count());
    const auto capacity = static_cast<std::int32_t>(values.size());
    if (range_selected_)
        check(orv_device_get_selected_wavelength_data(device_, values.data(), capacity),
              "read the selected wavelengths of");
    else
        check(orv_device_get_full_wavelength_data(device_, values.data(), capacity),
              "read the wavelengths of");
    return values;
}

std::vector<std::uint16_t> Instrument::read_counts() const {
    std::vector<std::uint16_t> samples(sample_count());
    const auto capacity = static_cast<std::int32_t>(samples.size());
    if (range_selected_)
        check(orv_device_get_selected_spectrum_data(device_, samples.data(), capacity),
              "read spectrum from");
    else
        check(orv_device_get_full_spectrum_data(device_, samples.data(), capacity),
              "read spectrum from");
    return samples;
}

}  // namespace orvcli
