#include "export_table.h"

#include <algorithm>

#include "orv.h"

namespace hardening {
namespace {

constexpr uint64_t kFill = 0xEEEEEEEEEEEEEEEEull;
constexpr int32_t kCapacity = 2048;
constexpr int32_t kText = 64;

template <class T>
T *as(void *block) {
    return static_cast<T *>(block);
}

}  // namespace

Block::Block() : words_(kBlockBytes / sizeof(uint64_t), kFill) {}

bool Block::untouched() const {
    return std::all_of(words_.begin(), words_.end(), [](uint64_t w) { return w == kFill; });
}

const std::vector<ExportCall> &device_exports() {
    static const std::vector<ExportCall> calls = {
        {"set_integration_time", false, false,
         [](void *) { return orv_set_integration_time(20000); }},
        {"get_integration_time", false, true,
         [](void *b) { return orv_get_integration_time(as<uint32_t>(b)); }},
        {"set_xenon_pulse", true, false, [](void *) { return orv_set_xenon_pulse(1, 2); }},
        {"get_xenon_pulse", true, true,
         [](void *b) { return orv_get_xenon_pulse(as<uint32_t>(b), as<uint32_t>(b) + 1); }},
        {"set_xenon_mode", true, false, [](void *) { return orv_set_xenon_mode(1); }},
        {"get_xenon_mode", true, true, [](void *b) { return orv_get_xenon_mode(as<uint8_t>(b)); }},
        {"set_average_number", false, false, [](void *) { return orv_set_average_number(2); }},
        {"get_average_number", false, true,
         [](void *b) { return orv_get_average_number(as<uint8_t>(b)); }},
        {"set_level_output", false, false, [](void *) { return orv_set_level_output(1); }},
        {"get_level_output", false, true,
         [](void *b) { return orv_get_level_output(as<uint8_t>(b)); }},
        {"set_usb_baud_rate", true, false, [](void *) { return orv_set_usb_baud_rate(3); }},
        {"get_usb_baud_rate", true, true,
         [](void *b) { return orv_get_usb_baud_rate(as<uint16_t>(b)); }},
        {"get_usb_status", true, true, [](void *b) { return orv_get_usb_status(as<int32_t>(b)); }},
        {"set_external_trigger_config", true, false,
         [](void *) { return orv_set_external_trigger_config(1, 2, 3); }},
        {"get_external_trigger_config", true, true,
         [](void *b) {
             return orv_get_external_trigger_config(as<uint8_t>(b), as<uint8_t>(b) + 1,
                                                    as<uint8_t>(b) + 2);
         }},
        {"get_spectrum_capture_status", true, true,
         [](void *b) { return orv_get_spectrum_capture_status(as<uint64_t>(b)); }},
        {"set_dac_voltage", true, false, [](void *) { return orv_set_dac_voltage(100); }},
        {"get_dac_voltage", true, true,
         [](void *b) { return orv_get_dac_voltage(as<uint16_t>(b)); }},
        {"get_wavelength_count", false, true,
         [](void *b) { return orv_get_wavelength_count(as<uint16_t>(b)); }},
        {"get_full_wavelength_range", false, true,
         [](void *b) { return orv_get_full_wavelength_range(as<double>(b), as<double>(b) + 1); }},
        {"get_full_wavelength_data", false, true,
         [](void *b) { return orv_get_full_wavelength_data(as<double>(b), kCapacity); }},
        {"get_full_spectrum_data", false, true,
         [](void *b) { return orv_get_full_spectrum_data(as<uint16_t>(b), kCapacity); }},
        {"set_selected_wavelength_range", false, false,
         [](void *) { return orv_set_selected_wavelength_range(0.0, 1e9); }},
        {"get_calibration_coefficients", false, true,
         [](void *b) { return orv_get_calibration_coefficients(as<double>(b)); }},
        {"get_temperature", false, true, [](void *b) { return orv_get_temperature(as<float>(b)); }},
        {"get_hardware_version", false, true,
         [](void *b) { return orv_get_hardware_version(as<char>(b), kText); }},
        {"get_detector_serial_number", true, true,
         [](void *b) { return orv_get_detector_serial_number(as<char>(b), kText); }},
        {"get_device_model", false, true,
         [](void *b) { return orv_get_device_model(as<char>(b), kText); }},
        {"get_slit_width", true, true, [](void *b) { return orv_get_slit_width(as<uint8_t>(b)); }},
        {"set_serial_number", true, false,
         [](void *) { return orv_set_serial_number("HARDENED"); }},
        {"get_serial_number", false, true,
         [](void *b) { return orv_get_serial_number(as<char>(b), kText); }},
        {"set_flash_write_protect", false, false,
         [](void *) { return orv_set_flash_write_protect(); }},
        {"get_flash_write_protect", false, true,
         [](void *b) { return orv_get_flash_write_protect(as<int32_t>(b)); }},
        {"reset_device", false, false, [](void *) { return orv_reset_device(); }},
        {"flash_read", false, true,
         [](void *b) { return orv_flash_read(0x100, as<uint8_t>(b), 64); }},
        {"flash_write", false, false,
         [](void *) {
             static const uint8_t block[16] = {1, 2, 3};
             return orv_flash_write(0x100, block, sizeof block);
         }},
        {"external_spectrum_control", true, true,
         [](void *b) { return orv_external_spectrum_control(0x0102, as<uint16_t>(b), kCapacity); }},
        {"set_stored_integration_time", true, false,
         [](void *) { return orv_set_stored_integration_time(5000); }},
        {"get_stored_integration_time", true, true,
         [](void *b) { return orv_get_stored_integration_time(as<uint32_t>(b)); }},
        {"set_stored_average_number", true, false,
         [](void *) { return orv_set_stored_average_number(2); }},
        {"get_stored_average_number", true, true,
         [](void *b) { return orv_get_stored_average_number(as<uint8_t>(b)); }},
        {"set_stored_smoothing_width", false, false,
         [](void *) { return orv_set_stored_smoothing_width(1); }},
        {"get_stored_smoothing_width", true, true,
         [](void *b) { return orv_get_stored_smoothing_width(as<uint8_t>(b)); }},
    };
    return calls;
}

}  // namespace hardening
