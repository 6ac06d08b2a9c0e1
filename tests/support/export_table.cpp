#include "export_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "device_interface.h"
#include "orv.h"

namespace orvtest {
namespace {

constexpr uint64_t kFill = 0xEEEEEEEEEEEEEEEEull;
constexpr int32_t kCapacity = 2048;
constexpr int32_t kText = 64;

template <class T>
T *as(void *block) {
    return static_cast<T *>(block);
}

// Shapes of the table's rows.
ExportCall getter(const char *name, bool uvvis_only, std::function<int(void *)> call,
                  std::function<int(void *)> refused) {
    return {name, uvvis_only, true, true, std::move(call), std::move(refused)};
}

ExportCall setter(const char *name, bool uvvis_only, std::function<int(void *)> call,
                  std::function<int(void *)> refused = {}) {
    return {name, uvvis_only, false, true, std::move(call), std::move(refused)};
}

// Reads the device state or a selection: no exchange of its own to fail.
ExportCall state_getter(const char *name, std::function<int(void *)> call,
                        std::function<int(void *)> refused) {
    return {name, false, true, false, std::move(call), std::move(refused)};
}

const std::vector<ExportCall> &build_table() {
    static const std::vector<ExportCall> calls = {
        state_getter(
            "get_device_protocol",
            [](void *b) { return DEVICE_CALL(get_device_protocol, as<int32_t>(b)); },
            [](void *) { return DEVICE_CALL(get_device_protocol, nullptr); }),
        state_getter(
            "get_capabilities",
            [](void *b) { return DEVICE_CALL(get_capabilities, as<uint32_t>(b)); },
            [](void *) { return DEVICE_CALL(get_capabilities, nullptr); }),
        setter("set_integration_time", false,
               [](void *) { return DEVICE_CALL(set_integration_time, 20000); }),
        getter(
            "get_integration_time", false,
            [](void *b) { return DEVICE_CALL(get_integration_time, as<uint32_t>(b)); },
            [](void *) { return DEVICE_CALL(get_integration_time, nullptr); }),
        setter("set_xenon_pulse", true, [](void *) { return DEVICE_CALL(set_xenon_pulse, 1, 2); }),
        getter(
            "get_xenon_pulse", true,
            [](void *b) {
                return DEVICE_CALL(get_xenon_pulse, as<uint32_t>(b), as<uint32_t>(b) + 1);
            },
            [](void *) { return DEVICE_CALL(get_xenon_pulse, nullptr, nullptr); }),
        setter("set_xenon_mode", true, [](void *) { return DEVICE_CALL(set_xenon_mode, 1); }),
        getter(
            "get_xenon_mode", true,
            [](void *b) { return DEVICE_CALL(get_xenon_mode, as<uint8_t>(b)); },
            [](void *) { return DEVICE_CALL(get_xenon_mode, nullptr); }),
        setter("set_average_number", false,
               [](void *) { return DEVICE_CALL(set_average_number, 2); }),
        getter(
            "get_average_number", false,
            [](void *b) { return DEVICE_CALL(get_average_number, as<uint8_t>(b)); },
            [](void *) { return DEVICE_CALL(get_average_number, nullptr); }),
        setter("set_level_output", false, [](void *) { return DEVICE_CALL(set_level_output, 1); }),
        getter(
            "get_level_output", false,
            [](void *b) { return DEVICE_CALL(get_level_output, as<uint8_t>(b)); },
            [](void *) { return DEVICE_CALL(get_level_output, nullptr); }),
        setter("set_usb_baud_rate", true, [](void *) { return DEVICE_CALL(set_usb_baud_rate, 3); }),
        getter(
            "get_usb_baud_rate", true,
            [](void *b) { return DEVICE_CALL(get_usb_baud_rate, as<uint16_t>(b)); },
            [](void *) { return DEVICE_CALL(get_usb_baud_rate, nullptr); }),
        getter(
            "get_usb_status", true,
            [](void *b) { return DEVICE_CALL(get_usb_status, as<int32_t>(b)); },
            [](void *) { return DEVICE_CALL(get_usb_status, nullptr); }),
        setter("set_external_trigger_config", true,
               [](void *) { return DEVICE_CALL(set_external_trigger_config, 1, 2, 3); }),
        getter(
            "get_external_trigger_config", true,
            [](void *b) {
                return DEVICE_CALL(get_external_trigger_config, as<uint8_t>(b), as<uint8_t>(b) + 1,
                                   as<uint8_t>(b) + 2);
            },
            [](void *b) {
                return DEVICE_CALL(get_external_trigger_config, as<uint8_t>(b), as<uint8_t>(b) + 1,
                                   nullptr);
            }),
        getter(
            "get_spectrum_capture_status", true,
            [](void *b) { return DEVICE_CALL(get_spectrum_capture_status, as<uint64_t>(b)); },
            [](void *) { return DEVICE_CALL(get_spectrum_capture_status, nullptr); }),
        setter("set_dac_voltage", true, [](void *) { return DEVICE_CALL(set_dac_voltage, 100); }),
        getter(
            "get_dac_voltage", true,
            [](void *b) { return DEVICE_CALL(get_dac_voltage, as<uint16_t>(b)); },
            [](void *) { return DEVICE_CALL(get_dac_voltage, nullptr); }),
        getter(
            "get_wavelength_count", false,
            [](void *b) { return DEVICE_CALL(get_wavelength_count, as<uint16_t>(b)); },
            [](void *) { return DEVICE_CALL(get_wavelength_count, nullptr); }),
        getter(
            "get_full_wavelength_range", false,
            [](void *b) {
                return DEVICE_CALL(get_full_wavelength_range, as<double>(b), as<double>(b) + 1);
            },
            [](void *) { return DEVICE_CALL(get_full_wavelength_range, nullptr, nullptr); }),
        getter(
            "get_full_wavelength_data", false,
            [](void *b) { return DEVICE_CALL(get_full_wavelength_data, as<double>(b), kCapacity); },
            [](void *) { return DEVICE_CALL(get_full_wavelength_data, nullptr, 16); }),
        getter(
            "get_full_spectrum_data", false,
            [](void *b) { return DEVICE_CALL(get_full_spectrum_data, as<uint16_t>(b), kCapacity); },
            [](void *b) { return DEVICE_CALL(get_full_spectrum_data, as<uint16_t>(b), 0); }),
        setter(
            "set_selected_wavelength_range", false,
            [](void *) { return DEVICE_CALL(set_selected_wavelength_range, 0.0, 1e9); },
            [](void *) { return DEVICE_CALL(set_selected_wavelength_range, 500.0, 500.0); }),
        state_getter(
            "get_selected_wavelength_range",
            [](void *b) {
                return DEVICE_CALL(get_selected_wavelength_range, as<orv_wavelength_range>(b));
            },
            [](void *) { return DEVICE_CALL(get_selected_wavelength_range, nullptr); }),
        state_getter(
            "get_selected_wavelength_data",
            [](void *b) {
                return DEVICE_CALL(get_selected_wavelength_data, as<double>(b), kCapacity);
            },
            [](void *) { return DEVICE_CALL(get_selected_wavelength_data, nullptr, 16); }),
        state_getter(
            "get_selected_spectrum_data",
            [](void *b) {
                return DEVICE_CALL(get_selected_spectrum_data, as<uint16_t>(b), kCapacity);
            },
            [](void *) { return DEVICE_CALL(get_selected_spectrum_data, nullptr, 16); }),
        getter(
            "get_calibration_coefficients", false,
            [](void *b) { return DEVICE_CALL(get_calibration_coefficients, as<double>(b)); },
            [](void *) { return DEVICE_CALL(get_calibration_coefficients, nullptr); }),
        getter(
            "get_temperature", false,
            [](void *b) { return DEVICE_CALL(get_temperature, as<float>(b)); },
            [](void *) { return DEVICE_CALL(get_temperature, nullptr); }),
        getter(
            "get_hardware_version", false,
            [](void *b) { return DEVICE_CALL(get_hardware_version, as<char>(b), kText); },
            [](void *b) { return DEVICE_CALL(get_hardware_version, as<char>(b), 1); }),
        getter(
            "get_detector_serial_number", true,
            [](void *b) { return DEVICE_CALL(get_detector_serial_number, as<char>(b), kText); },
            [](void *b) { return DEVICE_CALL(get_detector_serial_number, as<char>(b), 0); }),
        getter(
            "get_device_model", false,
            [](void *b) { return DEVICE_CALL(get_device_model, as<char>(b), kText); },
            [](void *) { return DEVICE_CALL(get_device_model, nullptr, 16); }),
        getter(
            "get_slit_width", true,
            [](void *b) { return DEVICE_CALL(get_slit_width, as<uint8_t>(b)); },
            [](void *) { return DEVICE_CALL(get_slit_width, nullptr); }),
        setter(
            "set_serial_number", true,
            [](void *) { return DEVICE_CALL(set_serial_number, "HARDENED"); },
            [](void *) { return DEVICE_CALL(set_serial_number, nullptr); }),
        getter(
            "get_serial_number", false,
            [](void *b) { return DEVICE_CALL(get_serial_number, as<char>(b), kText); },
            [](void *b) { return DEVICE_CALL(get_serial_number, as<char>(b), 1); }),
        {"get_device_info", false, true, false,
         [](void *b) { return DEVICE_CALL(get_device_info, as<orv_device_info>(b)); },
         [](void *) { return DEVICE_CALL(get_device_info, nullptr); }},
        setter("set_flash_write_protect", false,
               [](void *) { return DEVICE_CALL(set_flash_write_protect); }),
        getter(
            "get_flash_write_protect", false,
            [](void *b) { return DEVICE_CALL(get_flash_write_protect, as<int32_t>(b)); },
            [](void *) { return DEVICE_CALL(get_flash_write_protect, nullptr); }),
        setter("reset_device", false, [](void *) { return DEVICE_CALL(reset_device); }),
        getter(
            "flash_read", false,
            [](void *b) { return DEVICE_CALL(flash_read, 0x100, as<uint8_t>(b), 64); },
            [](void *) { return DEVICE_CALL(flash_read, 0, nullptr, 16); }),
        setter(
            "flash_write", false,
            [](void *) {
                static const uint8_t block[16] = {1, 2, 3};
                return DEVICE_CALL(flash_write, 0x100, block, sizeof block);
            },
            [](void *b) { return DEVICE_CALL(flash_write, 0, as<uint8_t>(b), 0); }),
        getter(
            "external_spectrum_control", true,
            [](void *b) {
                return DEVICE_CALL(external_spectrum_control, 0x0102, as<uint16_t>(b), kCapacity);
            },
            [](void *b) { return DEVICE_CALL(external_spectrum_control, 0, as<uint16_t>(b), 0); }),
        setter("set_stored_integration_time", true,
               [](void *) { return DEVICE_CALL(set_stored_integration_time, 5000); }),
        getter(
            "get_stored_integration_time", true,
            [](void *b) { return DEVICE_CALL(get_stored_integration_time, as<uint32_t>(b)); },
            [](void *) { return DEVICE_CALL(get_stored_integration_time, nullptr); }),
        setter("set_stored_average_number", true,
               [](void *) { return DEVICE_CALL(set_stored_average_number, 2); }),
        getter(
            "get_stored_average_number", true,
            [](void *b) { return DEVICE_CALL(get_stored_average_number, as<uint8_t>(b)); },
            [](void *) { return DEVICE_CALL(get_stored_average_number, nullptr); }),
        setter("set_stored_smoothing_width", false,
               [](void *) { return DEVICE_CALL(set_stored_smoothing_width, 1); }),
        getter(
            "get_stored_smoothing_width", true,
            [](void *b) { return DEVICE_CALL(get_stored_smoothing_width, as<uint8_t>(b)); },
            [](void *) { return DEVICE_CALL(get_stored_smoothing_width, nullptr); }),
    };
    return calls;
}

}  // namespace

const std::vector<ExportCall> &device_exports() { return build_table(); }

const ExportCall &export_named(const std::string &name) {
    for (const ExportCall &c : device_exports())
        if (name == c.name) return c;
    ADD_FAILURE() << "no export orv_" << name;
    return device_exports().front();
}

Block::Block() : words_(kBlockBytes / sizeof(uint64_t), kFill) {}

bool Block::untouched() const {
    return std::all_of(words_.begin(), words_.end(), [](uint64_t w) { return w == kFill; });
}

}  // namespace orvtest
