// Every export that works on an open device, listed once: its name without
// the orv_ prefix, its parameters and the arguments that pass them on. From
// this list come
//  - the declarations below: the command of each, taking the device it works
//    on first, defined once in the file of its family;
//  - both exports of each (device_exports.cpp): orv_<name> on the built-in
//    device and orv_device_<name> on a handle, each under its device's lock.
// A new device export is one row here and its command (HACKING.md).
// Library-internal.
#pragma once

#include <cstdint>

#include "link/device_state.h"
#include "orv.h"

// The parameter or argument list of a row, after a leading one of its own:
// (a, b) gives ", a, b", () gives nothing.
#define AFTER_FIRST(...) __VA_OPT__(, ) __VA_ARGS__

// clang-format off
#define DEVICE_COMMANDS(X)                                                                         \
    X(get_device_protocol, (int32_t *out), (out))                                                  \
    X(get_capabilities, (uint32_t *out), (out))                                                    \
    X(set_integration_time, (uint32_t microseconds), (microseconds))                               \
    X(get_integration_time, (uint32_t *microseconds), (microseconds))                              \
    X(set_xenon_pulse, (uint32_t first, uint32_t second), (first, second))                         \
    X(get_xenon_pulse, (uint32_t *first, uint32_t *second), (first, second))                       \
    X(set_xenon_mode, (uint8_t mode), (mode))                                                      \
    X(get_xenon_mode, (uint8_t *mode), (mode))                                                     \
    X(set_average_number, (uint8_t count), (count))                                                \
    X(get_average_number, (uint8_t *count), (count))                                               \
    X(set_level_output, (uint8_t level), (level))                                                  \
    X(get_level_output, (uint8_t *level), (level))                                                 \
    X(set_usb_baud_rate, (uint16_t code), (code))                                                  \
    X(get_usb_baud_rate, (uint16_t *code), (code))                                                 \
    X(get_usb_status, (int32_t *status), (status))                                                 \
    X(set_external_trigger_config, (uint8_t byte0, uint8_t byte1, uint8_t byte3),                  \
      (byte0, byte1, byte3))                                                                       \
    X(get_external_trigger_config, (uint8_t *byte0, uint8_t *byte1, uint8_t *byte3),               \
      (byte0, byte1, byte3))                                                                       \
    X(get_spectrum_capture_status, (uint64_t *status), (status))                                   \
    X(set_dac_voltage, (uint16_t value), (value))                                                  \
    X(get_dac_voltage, (uint16_t *value), (value))                                                 \
    X(get_wavelength_count, (uint16_t *count), (count))                                            \
    X(get_full_wavelength_range, (double *first, double *last), (first, last))                     \
    X(get_full_wavelength_data, (double *values, int32_t capacity), (values, capacity))            \
    X(get_full_spectrum_data, (uint16_t *samples, int32_t capacity), (samples, capacity))          \
    X(set_selected_wavelength_range, (double start, double end), (start, end))                     \
    X(get_selected_wavelength_range, (orv_wavelength_range *out), (out))                           \
    X(get_selected_wavelength_data, (double *values, int32_t capacity), (values, capacity))        \
    X(get_selected_spectrum_data, (uint16_t *samples, int32_t capacity), (samples, capacity))      \
    X(get_calibration_coefficients, (double *coefficients), (coefficients))                        \
    X(get_temperature, (float *value), (value))                                                    \
    X(get_hardware_version, (char *text, int32_t size), (text, size))                              \
    X(get_detector_serial_number, (char *text, int32_t size), (text, size))                        \
    X(get_device_model, (char *text, int32_t size), (text, size))                                  \
    X(get_slit_width, (uint8_t *width), (width))                                                   \
    X(set_serial_number, (const char *text), (text))                                               \
    X(get_serial_number, (char *text, int32_t size), (text, size))                                 \
    X(get_device_info, (orv_device_info *out), (out))                                              \
    X(set_flash_write_protect, (), ())                                                             \
    X(get_flash_write_protect, (int32_t *open), (open))                                            \
    X(reset_device, (), ())                                                                        \
    X(flash_read, (uint16_t address, uint8_t *data, int32_t length), (address, data, length))      \
    X(flash_write, (uint16_t address, const uint8_t *data, int32_t length),                        \
      (address, data, length))                                                                     \
    X(external_spectrum_control, (uint16_t parameter, uint16_t *samples, int32_t capacity),        \
      (parameter, samples, capacity))                                                              \
    X(set_stored_integration_time, (uint32_t microseconds), (microseconds))                        \
    X(get_stored_integration_time, (uint32_t *microseconds), (microseconds))                       \
    X(set_stored_average_number, (uint8_t count), (count))                                         \
    X(get_stored_average_number, (uint8_t *count), (count))                                        \
    X(set_stored_smoothing_width, (uint8_t width), (width))                                        \
    X(get_stored_smoothing_width, (uint8_t *width), (width))
// clang-format on

// The commands: what each export does, on the device it is handed (checks
// first, see link/call_checks.h). The caller holds the device's lock.
#define DECLARE_DEVICE_COMMAND(name, params, args) int name(orv_device &device AFTER_FIRST params);
DEVICE_COMMANDS(DECLARE_DEVICE_COMMAND)
#undef DECLARE_DEVICE_COMMAND
