// The tests every device command makes before anything is sent, in order:
// a device is open, the pointer and size arguments, the protocol (and the
// outputs that are only tested after it). None of them may reach the wire.
#include <functional>

#include "sim_session.h"

namespace {

struct Call {
    const char *name;
    std::function<int()> run;
    bool uvvis_only;
};

uint8_t g_byte;
uint16_t g_samples[16];
char g_text[16];

// Every command with an argument it must refuse (null pointer, size too small).
const std::vector<Call> &bad_argument_calls() {
    static const std::vector<Call> calls = {
        {"get_integration_time", [] { return orv_get_integration_time(nullptr); }, false},
        {"get_xenon_pulse", [] { return orv_get_xenon_pulse(nullptr, nullptr); }, true},
        {"get_xenon_mode", [] { return orv_get_xenon_mode(nullptr); }, true},
        {"get_average_number", [] { return orv_get_average_number(nullptr); }, false},
        {"get_level_output", [] { return orv_get_level_output(nullptr); }, false},
        {"get_usb_baud_rate", [] { return orv_get_usb_baud_rate(nullptr); }, true},
        {"get_usb_status", [] { return orv_get_usb_status(nullptr); }, true},
        {"get_trigger", [] { return orv_get_external_trigger_config(&g_byte, &g_byte, nullptr); },
         true},
        {"get_capture_status", [] { return orv_get_spectrum_capture_status(nullptr); }, true},
        {"get_dac_voltage", [] { return orv_get_dac_voltage(nullptr); }, true},
        {"get_wavelength_count", [] { return orv_get_wavelength_count(nullptr); }, false},
        {"get_full_wavelength_range",
         [] { return orv_get_full_wavelength_range(nullptr, nullptr); }, false},
        {"get_full_wavelength_data", [] { return orv_get_full_wavelength_data(nullptr, 16); },
         false},
        {"get_full_spectrum_data", [] { return orv_get_full_spectrum_data(g_samples, 0); }, false},
        {"set_selected_range", [] { return orv_set_selected_wavelength_range(500.0, 500.0); },
         false},
        {"get_selected_range", [] { return orv_get_selected_wavelength_range(nullptr); }, false},
        {"get_selected_data", [] { return orv_get_selected_wavelength_data(nullptr, 16); }, false},
        {"get_selected_spectrum", [] { return orv_get_selected_spectrum_data(nullptr, 16); },
         false},
        {"get_calibration", [] { return orv_get_calibration_coefficients(nullptr); }, false},
        {"get_temperature", [] { return orv_get_temperature(nullptr); }, false},
        {"get_hardware_version", [] { return orv_get_hardware_version(g_text, 1); }, false},
        {"get_detector_serial", [] { return orv_get_detector_serial_number(g_text, 0); }, true},
        {"get_device_model", [] { return orv_get_device_model(nullptr, 16); }, false},
        {"get_slit_width", [] { return orv_get_slit_width(nullptr); }, true},
        {"set_serial_number", [] { return orv_set_serial_number(nullptr); }, true},
        {"get_serial_number", [] { return orv_get_serial_number(g_text, 1); }, false},
        {"get_device_info", [] { return orv_get_device_info(nullptr); }, false},
        {"get_flash_write_protect", [] { return orv_get_flash_write_protect(nullptr); }, false},
        {"flash_read", [] { return orv_flash_read(0, nullptr, 16); }, false},
        {"flash_write", [] { return orv_flash_write(0, &g_byte, 0); }, false},
        {"external_spectrum", [] { return orv_external_spectrum_control(0, g_samples, 0); }, true},
        {"get_stored_integration", [] { return orv_get_stored_integration_time(nullptr); }, true},
        {"get_stored_average", [] { return orv_get_stored_average_number(nullptr); }, true},
        {"get_stored_smoothing", [] { return orv_get_stored_smoothing_width(nullptr); }, true},
    };
    return calls;
}

// Setters, whose arguments are all values the instrument judges.
const std::vector<Call> &setter_calls() {
    static const std::vector<Call> calls = {
        {"set_integration_time", [] { return orv_set_integration_time(1000); }, false},
        {"set_xenon_pulse", [] { return orv_set_xenon_pulse(1, 2); }, true},
        {"set_xenon_mode", [] { return orv_set_xenon_mode(1); }, true},
        {"set_average_number", [] { return orv_set_average_number(1); }, false},
        {"set_level_output", [] { return orv_set_level_output(1); }, false},
        {"set_usb_baud_rate", [] { return orv_set_usb_baud_rate(1); }, true},
        {"set_trigger", [] { return orv_set_external_trigger_config(1, 2, 3); }, true},
        {"set_dac_voltage", [] { return orv_set_dac_voltage(1); }, true},
        {"set_serial_number", [] { return orv_set_serial_number("X"); }, true},
        {"set_flash_write_protect", [] { return orv_set_flash_write_protect(); }, false},
        {"reset_device", [] { return orv_reset_device(); }, false},
        {"set_stored_integration", [] { return orv_set_stored_integration_time(1); }, true},
        {"set_stored_average", [] { return orv_set_stored_average_number(1); }, true},
        {"set_stored_smoothing", [] { return orv_set_stored_smoothing_width(1); }, false},
    };
    return calls;
}

class Checks : public SimSession {};

TEST_F(Checks, EveryCommandNeedsAnOpenDeviceFirst) {
    orv_close_device();
    for (const auto &c : bad_argument_calls()) EXPECT_EQ(c.run(), ORV_ERR_NOT_OPEN) << c.name;
    for (const auto &c : setter_calls()) EXPECT_EQ(c.run(), ORV_ERR_NOT_OPEN) << c.name;
}

TEST_F(Checks, BadArgumentsAreRefusedWithoutTrafficOnUvvis) {
    open_instrument(UV2048);
    for (const auto &c : bad_argument_calls()) EXPECT_EQ(c.run(), ORV_ERR_INVALID_PARAM) << c.name;
    // A block that does not fit one write packet is refused before anything is sent.
    std::vector<uint8_t> block(2017);
    EXPECT_EQ(orv_flash_write(0, block.data(), 2017), ORV_ERR_INVALID_PARAM);
    EXPECT_EQ(writes(), 0);
}

TEST_F(Checks, UvvisOnlyCommandsOnNirAreUnsupportedWhateverTheirArguments) {
    open_instrument(NIR256);
    for (const auto &c : bad_argument_calls()) {
        EXPECT_EQ(c.run(), c.uvvis_only ? ORV_ERR_UNSUPPORTED : ORV_ERR_INVALID_PARAM) << c.name;
    }
    for (const auto &c : setter_calls()) {
        if (c.uvvis_only) {
            EXPECT_EQ(c.run(), ORV_ERR_UNSUPPORTED) << c.name;
        }
    }
    // NIR instruments keep no smoothing width: accepted without a word sent.
    EXPECT_EQ(orv_set_stored_smoothing_width(3), ORV_OK);
    EXPECT_EQ(writes(), 0);
}

}  // namespace
