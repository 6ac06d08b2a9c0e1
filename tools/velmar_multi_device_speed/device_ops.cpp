#include "device_ops.h"

#include <array>
#include <iostream>
#include <limits>
#include <type_traits>

#include "orv_exports.h"
#include "text.h"

namespace velmar {
namespace {

using TextGetter = decltype(&::orv_get_device_model);
static_assert(std::is_same_v<TextGetter, decltype(&::orv_get_serial_number)>);
static_assert(std::is_same_v<decltype(&::orv_get_integration_time), int (*)(std::uint32_t *)>);
static_assert(
    std::is_same_v<decltype(&::orv_get_stored_integration_time), int (*)(std::uint32_t *)>);
static_assert(std::is_same_v<decltype(&::orv_get_average_number), int (*)(std::uint8_t *)>);
static_assert(std::is_same_v<decltype(&::orv_get_stored_average_number), int (*)(std::uint8_t *)>);
static_assert(std::is_same_v<decltype(&::orv_set_average_number), int (*)(std::uint8_t)>);
static_assert(std::is_same_v<decltype(&::orv_set_stored_smoothing_width), int (*)(std::uint8_t)>);

constexpr std::size_t kTextBufferSize = 128;

// Accepts a delivered array only when it holds exactly the reported number
// of values and that number is not zero.
Status check_payload(std::string_view what, std::size_t count, std::size_t length) {
    if (count == length && count != 0) return Unit{};
    std::cerr << "invalid velmar " << what << " payload: count=" << count << ", len=" << length
              << '\n';
    return SdkError::SdkInternalError;
}

// Reads a live setting, or the instrument's stored one when the live read
// fails for any reason; only the stored read's failure is reported.
template <class T>
Result<T> read_live_or_stored(const Library &library, std::string_view live_name,
                              std::string_view stored_name) {
    using Getter = int (*)(T *);
    if (auto live = library.function<Getter>(live_name)) {
        T value = 0;
        if (live.value()(&value) == ORV_OK) return value;
    }
    auto stored = library.function<Getter>(stored_name);
    if (!stored) return stored.error();
    T value = 0;
    const int code = stored.value()(&value);
    if (code == ORV_OK) return value;
    return map_result_code(code).error();
}

// Setters of one-byte settings: values above 255 are refused before anything
// is looked up.
Status set_byte_setting(const Library &library, std::string_view name, std::uint32_t value) {
    if (value > std::numeric_limits<std::uint8_t>::max()) return SdkError::InvalidParameter;
    auto setter = library.function<int (*)(std::uint8_t)>(name);
    if (!setter) return setter.error();
    return map_result_code(setter.value()(static_cast<std::uint8_t>(value)));
}

}  // namespace

Status map_result_code(std::int32_t code) {
    switch (code) {
    case ORV_OK: return Unit{};
    case ORV_ERR_DEVICE_NOT_FOUND: return SdkError::DeviceNotFound;
    case ORV_ERR_NOT_OPEN: return SdkError::DeviceNotOpen;
    case ORV_ERR_TRANSPORT: return SdkError::TransportError;
    case ORV_ERR_INVALID_PARAM: return SdkError::InvalidParameter;
    case ORV_ERR_TIMEOUT: return SdkError::Timeout;
    case ORV_ERR_UNSUPPORTED: return SdkError::UnsupportedFeature;
    default: return SdkError::SdkInternalError;
    }
}

Result<std::string> read_text(const Library &library, std::string_view export_name) {
    auto getter = library.function<TextGetter>(export_name);
    if (!getter) return getter.error();
    std::array<char, kTextBufferSize> buffer{};
    const int code = getter.value()(buffer.data(), static_cast<std::int32_t>(buffer.size()));
    if (code < 0) return map_result_code(code).error();
    return text_from_buffer(buffer.data(), buffer.size());
}

Result<SdkDeviceInfo> read_device_info(const Library &library) {
    auto get_info = library.function<decltype(&::orv_get_device_info)>(
        "orv_get_device_info", SdkError::UnsupportedFeature);
    if (!get_info) return get_info.error();
    orv_device_info record{};
    if (Status s = map_result_code(get_info.value()(&record)); !s) return s.error();

    auto model = text_from_buffer(record.model, sizeof record.model);
    if (!model) return model.error();
    auto serial = text_from_buffer(record.serial_number, sizeof record.serial_number);
    if (!serial) return serial.error();
    auto hardware = text_from_buffer(record.hardware_version, sizeof record.hardware_version);
    if (!hardware) return hardware.error();

    SdkDeviceInfo info{std::move(model).value(), std::move(serial).value(), std::nullopt};
    if (std::string_view firmware = trim_white_space(hardware.value()); !firmware.empty()) {
        info.firmware = std::string(firmware);
    }
    return info;
}

Status open_device_by_chip_serial(const Library &library, std::string_view chip_serial) {
    auto open = VELMAR_FIND_EXPORT(library, orv_open_device_by_chip_serial);
    if (!open) return open.error();
    if (chip_serial.find('\0') != std::string_view::npos) return SdkError::InvalidParameter;
    const std::string terminated(chip_serial);
    return map_result_code(open.value()(terminated.c_str()));
}

Result<std::string> open_device(const VelmarSdk &sdk, const DeviceSelector &selector) {
    if (const auto *index = std::get_if<DeviceIndex>(&selector)) {
        auto open = VELMAR_FIND_EXPORT(sdk.library(), orv_open_device);
        if (!open) return open.error();
        if (Status s = map_result_code(open.value()(static_cast<int>(index->value))); !s)
            return s.error();
        auto serial = read_text(sdk.library(), "orv_get_serial_number");
        if (serial) return serial;
        return "velmar-usb-" + std::to_string(index->value);
    }
    const std::string &text = std::holds_alternative<ChipSerial>(selector)
                                  ? std::get<ChipSerial>(selector).value
                                  : std::get<DeviceId>(selector).value;
    if (Status s = open_device_by_chip_serial(sdk.library(), text); !s) return s.error();
    return text;
}

Status close_device(const VelmarSdk &sdk) {
    auto close = VELMAR_FIND_EXPORT(sdk.library(), orv_close_device);
    if (!close) return close.error();
    close.value()();
    return Unit{};
}

Result<SdkDeviceInfo> device_info(const VelmarSdk &sdk) {
    auto is_open = VELMAR_FIND_EXPORT(sdk.library(), orv_is_open);
    if (!is_open) return is_open.error();
    const int open_state = is_open.value()();
    if (open_state < 0) return map_result_code(open_state).error();
    if (open_state == 0) return SdkError::DeviceNotOpen;

    if (auto info = read_device_info(sdk.library())) return info;

    // The summary record failed: read model and serial number one by one.
    auto model = read_text(sdk.library(), "orv_get_device_model");
    if (!model) return model.error();
    auto serial = read_text(sdk.library(), "orv_get_serial_number");
    if (!serial) return serial.error();
    return SdkDeviceInfo{std::move(model).value(), std::move(serial).value(), std::nullopt};
}

Result<std::vector<double>> read_wavelengths(const VelmarSdk &sdk) {
    auto get_count = VELMAR_FIND_EXPORT(sdk.library(), orv_get_wavelength_count);
    if (!get_count) return get_count.error();
    std::uint16_t count = 0;
    if (Status s = map_result_code(get_count.value()(&count)); !s) return s.error();

    auto get_table = VELMAR_FIND_EXPORT(sdk.library(), orv_get_full_wavelength_data);
    if (!get_table) return get_table.error();
    std::vector<double> table(count, 0.0);
    if (Status s = map_result_code(get_table.value()(table.data(), count)); !s) return s.error();

    if (Status s = check_payload("wavelengths", count, table.size()); !s) return s.error();
    return table;
}

Result<std::vector<double>> read_spectrum(const VelmarSdk &sdk, std::size_t expected) {
    auto get_spectrum = VELMAR_FIND_EXPORT(sdk.library(), orv_get_full_spectrum_data);
    if (!get_spectrum) return get_spectrum.error();
    // The export takes a signed 32-bit capacity; larger counts cannot be asked for.
    if (expected > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return SdkError::InvalidParameter;
    }
    std::vector<double> spectrum;
    {
        std::vector<std::uint16_t> samples(expected, 0);
        const int code = get_spectrum.value()(samples.data(), static_cast<std::int32_t>(expected));
        if (Status s = map_result_code(code); !s) return s.error();
        spectrum.assign(samples.begin(), samples.end());
    }
    if (Status s = check_payload("intensities", expected, spectrum.size()); !s) return s.error();
    return spectrum;
}

Status set_integration_time_us(const VelmarSdk &sdk, std::uint32_t microseconds) {
    auto set = VELMAR_FIND_EXPORT(sdk.library(), orv_set_integration_time);
    if (!set) return set.error();
    return map_result_code(set.value()(microseconds));
}

Result<std::uint32_t> integration_time_us(const VelmarSdk &sdk) {
    return read_live_or_stored<std::uint32_t>(sdk.library(), "orv_get_integration_time",
                                              "orv_get_stored_integration_time");
}

Status set_average_number(const VelmarSdk &sdk, std::uint32_t count) {
    return set_byte_setting(sdk.library(), "orv_set_average_number", count);
}

Result<std::uint8_t> average_number(const VelmarSdk &sdk) {
    return read_live_or_stored<std::uint8_t>(sdk.library(), "orv_get_average_number",
                                             "orv_get_stored_average_number");
}

Status set_stored_smoothing_width(const VelmarSdk &sdk, std::uint32_t width) {
    return set_byte_setting(sdk.library(), "orv_set_stored_smoothing_width", width);
}

}  // namespace velmar
