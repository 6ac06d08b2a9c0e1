// The optional groups of a session: identity and health, acquisition
// parameters, and flash write, write protect and reset.
#include <cstring>

#include "session.h"

namespace fuzz {
namespace {

constexpr int32_t UVVIS_MAX_FLASH_BLOCK = 2016;  // one write packet
constexpr uint16_t DAC_MAX = 4095;

}  // namespace

void Session::expect_text(const char *call, int rc, uint32_t allowed, int32_t min_size,
                          const Guarded<char> &text) {
    const int32_t size = static_cast<int32_t>(text.count());
    expect_getter(call, rc, size < min_size ? INVALID_PARAM : allowed, text);
    if (rc == ORV_OK) FUZZ_CHECK(terminated(text.get(), text.count()));
}

void Session::identity() {
    const size_t size = static_cast<size_t>(config_.text_size);
    const int32_t isize = config_.text_size;
    const uint32_t getter_codes = OK | exchange_errors_;  // short replies: ORV_ERR_TRANSPORT

    auto &coefficients = guards_.add<double>(4);
    expect_getter("get_calibration_coefficients",
                  SESSION_CALL(get_calibration_coefficients, coefficients.get()), getter_codes,
                  coefficients);
    auto &temperature = guards_.add<float>(1);
    expect_getter("get_temperature", SESSION_CALL(get_temperature, temperature.get()), getter_codes,
                  temperature);

    auto &version = guards_.add<char>(size);
    expect_text("get_hardware_version", SESSION_CALL(get_hardware_version, version.get(), isize),
                getter_codes, 2, version);
    // The detector serial takes any buffer of at least one byte, but exists on UVVIS_ORV only.
    auto &detector = guards_.add<char>(size);
    expect_text("get_detector_serial_number",
                SESSION_CALL(get_detector_serial_number, detector.get(), isize),
                nir() ? UNSUPPORTED : getter_codes, 1, detector);
    // On NIR_LEGACY the model falls back to "NIR" and the serial number is "NIR".
    auto &model = guards_.add<char>(size);
    expect_text("get_device_model", SESSION_CALL(get_device_model, model.get(), isize),
                nir() ? OK : getter_codes, 2, model);
    auto &serial = guards_.add<char>(size);
    const int serial_rc = SESSION_CALL(get_serial_number, serial.get(), isize);
    expect_text("get_serial_number", serial_rc, nir() ? OK : getter_codes, 2, serial);
    if (nir() && serial_rc == ORV_OK) FUZZ_CHECK(std::strncmp(serial.get(), "NIR", size - 1) == 0);

    auto &slit = guards_.add<uint8_t>(1);
    expect_uvvis_getter("get_slit_width", SESSION_CALL(get_slit_width, slit.get()), slit);
    expect_setter("set_serial_number", SESSION_CALL(set_serial_number, "FUZZ-SERIAL-NUMBER"), true);
}

void Session::acquisition() {
    const uint32_t getter_codes = OK | exchange_errors_;
    expect_setter("set_integration_time", SESSION_CALL(set_integration_time, 20000), false);
    auto &integration = guards_.add<uint32_t>(1);
    expect_getter("get_integration_time", SESSION_CALL(get_integration_time, integration.get()),
                  getter_codes, integration);
    expect_setter("set_average_number", SESSION_CALL(set_average_number, 0), false);
    auto &average = guards_.add<uint8_t>(1);
    expect_getter("get_average_number", SESSION_CALL(get_average_number, average.get()),
                  getter_codes, average);
    expect_setter("set_level_output", SESSION_CALL(set_level_output, 1), false);
    auto &level = guards_.add<uint8_t>(1);
    expect_getter("get_level_output", SESSION_CALL(get_level_output, level.get()), getter_codes,
                  level);

    expect_setter("set_xenon_pulse", SESSION_CALL(set_xenon_pulse, 100, 200), true);
    auto &pulse = guards_.add<uint32_t>(2);
    expect_uvvis_getter("get_xenon_pulse",
                        SESSION_CALL(get_xenon_pulse, pulse.get(), pulse.get() + 1), pulse);
    expect_setter("set_xenon_mode", SESSION_CALL(set_xenon_mode, 2), true);
    auto &mode = guards_.add<uint8_t>(1);
    expect_uvvis_getter("get_xenon_mode", SESSION_CALL(get_xenon_mode, mode.get()), mode);
    expect_setter("set_usb_baud_rate", SESSION_CALL(set_usb_baud_rate, 7), true);
    auto &baud = guards_.add<uint16_t>(1);
    expect_uvvis_getter("get_usb_baud_rate", SESSION_CALL(get_usb_baud_rate, baud.get()), baud);
    auto &usb = guards_.add<int32_t>(1);
    const int usb_rc = SESSION_CALL(get_usb_status, usb.get());
    expect_uvvis_getter("get_usb_status", usb_rc, usb);
    if (usb_rc == ORV_OK) FUZZ_CHECK(usb[0] == 0 || usb[0] == 1);
    expect_setter("set_external_trigger_config", SESSION_CALL(set_external_trigger_config, 1, 2, 3),
                  true);
    auto &trigger = guards_.add<uint8_t>(3);
    expect_uvvis_getter("get_external_trigger_config",
                        SESSION_CALL(get_external_trigger_config, trigger.get(), trigger.get() + 1,
                                     trigger.get() + 2),
                        trigger);
    auto &capture = guards_.add<uint64_t>(1);
    expect_uvvis_getter("get_spectrum_capture_status",
                        SESSION_CALL(get_spectrum_capture_status, capture.get()), capture);
    expect_setter("set_dac_voltage", SESSION_CALL(set_dac_voltage, 0x1FFF), true);
    auto &dac = guards_.add<uint16_t>(1);
    const int dac_rc = SESSION_CALL(get_dac_voltage, dac.get());
    expect_uvvis_getter("get_dac_voltage", dac_rc, dac);
    if (dac_rc == ORV_OK) FUZZ_CHECK(dac[0] <= DAC_MAX);
}

void Session::maintenance() {
    expect_setter("set_flash_write_protect", SESSION_CALL(set_flash_write_protect), false);
    auto &gate = guards_.add<int32_t>(1);
    const int gate_rc = SESSION_CALL(get_flash_write_protect, gate.get());
    expect_getter("get_flash_write_protect", gate_rc, OK | exchange_errors_, gate);
    if (gate_rc == ORV_OK) FUZZ_CHECK(gate[0] == 0 || gate[0] == 1);

    // The block is the caller's and read only; UVVIS_ORV refuses one that
    // does not fit a write packet before sending anything.
    auto &block = guards_.add<uint8_t>(static_cast<size_t>(config_.flash_length));
    const bool too_long = !nir() && config_.flash_length > UVVIS_MAX_FLASH_BLOCK;
    expect("flash_write",
           SESSION_CALL(flash_write, config_.flash_address, block.get(), config_.flash_length),
           too_long ? INVALID_PARAM : OK | exchange_errors_);
    FUZZ_CHECK(block.untouched());

    // A reset drops the selection; a failed one keeps it.
    const int reset_rc = SESSION_CALL(reset_device);
    expect("reset_device", reset_rc, OK | exchange_errors_);
    auto &range = guards_.add<orv_wavelength_range>(1);
    const bool still_selected = selected_ && reset_rc != ORV_OK;
    expect_getter("get_selected_wavelength_range",
                  SESSION_CALL(get_selected_wavelength_range, range.get()),
                  still_selected ? OK : GENERIC, range);
}

}  // namespace fuzz
