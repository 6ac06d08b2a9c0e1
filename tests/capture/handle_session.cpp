// Every command of the handle interface on every listed device, with a flash round
// trip, each call and what it returned on one line of standard output: run
// live against the simulator (with faults that give error replies and a
// timeout) behind the recorder to make a capture of the corpus, and run
// against the replayed capture, which must print the same lines.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "orv.h"

namespace {

orv_device *g_device = nullptr;

// Values read from what the call filled in go through show(): as arguments
// of line() they could be read before the call (the order in which a
// function's arguments are evaluated is the compiler's choice).
void line(const char *call, int rc, const std::string &values = "") {
    std::printf("%s %d%s%s\n", call, rc, values.empty() ? "" : " ", values.c_str());
}

// The values after the call: they are read once it has returned.
template <class Values>
void show(const char *call, int rc, Values values) {
    line(call, rc, values());
}

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

template <class T>
std::string sum_of(const std::vector<T> &values, int rc) {
    double sum = 0;
    // ORV_OK: the whole buffer; a count: that many
    const size_t n = rc == ORV_OK ? values.size() : rc > 0 ? static_cast<size_t>(rc) : 0;
    for (size_t i = 0; i < n && i < values.size(); ++i) sum += values[i];
    return "sum=" + number(sum);
}

std::string hex(const uint8_t *bytes, int length) {
    std::string text;
    char digits[3];
    for (int i = 0; i < length; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

template <class Get>
void text_call(const char *call, Get get) {
    char text[64] = {};
    const int rc = get(g_device, text, static_cast<int32_t>(sizeof text));
    line(call, rc, rc == ORV_OK ? std::string("'") + text + "'" : "");
}

void settings() {
    uint32_t u32 = 0, second = 0;
    uint16_t u16 = 0;
    uint8_t u8 = 0, b1 = 0, b3 = 0;
    int32_t i32 = 0;
    line("set_integration_time", orv_device_set_integration_time(g_device, 20000));
    show("get_integration_time", orv_device_get_integration_time(g_device, &u32),
         [&] { return std::to_string(u32); });
    line("set_xenon_pulse", orv_device_set_xenon_pulse(g_device, 3, 7));
    show("get_xenon_pulse", orv_device_get_xenon_pulse(g_device, &u32, &second),
         [&] { return std::to_string(u32) + "," + std::to_string(second); });
    line("set_xenon_mode", orv_device_set_xenon_mode(g_device, 1));
    show("get_xenon_mode", orv_device_get_xenon_mode(g_device, &u8),
         [&] { return std::to_string(u8); });
    line("set_average_number", orv_device_set_average_number(g_device, 4));
    show("get_average_number", orv_device_get_average_number(g_device, &u8),
         [&] { return std::to_string(u8); });
    line("set_level_output", orv_device_set_level_output(g_device, 1));
    show("get_level_output", orv_device_get_level_output(g_device, &u8),
         [&] { return std::to_string(u8); });
    line("set_usb_baud_rate", orv_device_set_usb_baud_rate(g_device, 2));
    show("get_usb_baud_rate", orv_device_get_usb_baud_rate(g_device, &u16),
         [&] { return std::to_string(u16); });
    show("get_usb_status", orv_device_get_usb_status(g_device, &i32),
         [&] { return std::to_string(i32); });
    line("set_external_trigger_config", orv_device_set_external_trigger_config(g_device, 1, 2, 3));
    u8 = 0;
    show("get_external_trigger_config",
         orv_device_get_external_trigger_config(g_device, &u8, &b1, &b3),
         [&] { return std::to_string(u8) + "," + std::to_string(b1) + "," + std::to_string(b3); });
    uint64_t status = 0;
    show("get_spectrum_capture_status", orv_device_get_spectrum_capture_status(g_device, &status),
         [&] { return std::to_string(status); });
    line("set_dac_voltage", orv_device_set_dac_voltage(g_device, 1234));
    show("get_dac_voltage", orv_device_get_dac_voltage(g_device, &u16),
         [&] { return std::to_string(u16); });
    line("set_stored_integration_time", orv_device_set_stored_integration_time(g_device, 30000));
    show("get_stored_integration_time", orv_device_get_stored_integration_time(g_device, &u32),
         [&] { return std::to_string(u32); });
    line("set_stored_average_number", orv_device_set_stored_average_number(g_device, 2));
    show("get_stored_average_number", orv_device_get_stored_average_number(g_device, &u8),
         [&] { return std::to_string(u8); });
    line("set_stored_smoothing_width", orv_device_set_stored_smoothing_width(g_device, 3));
    show("get_stored_smoothing_width", orv_device_get_stored_smoothing_width(g_device, &u8),
         [&] { return std::to_string(u8); });
}

void readout() {
    uint16_t count = 0;
    show("get_wavelength_count", orv_device_get_wavelength_count(g_device, &count),
         [&] { return std::to_string(count); });
    double first = 0, last = 0;
    show("get_full_wavelength_range", orv_device_get_full_wavelength_range(g_device, &first, &last),
         [&] { return number(first) + "," + number(last); });
    const int32_t capacity = count > 0 ? count : 1;
    std::vector<double> wavelengths(static_cast<size_t>(capacity));
    int rc = orv_device_get_full_wavelength_data(g_device, wavelengths.data(), capacity);
    show("get_full_wavelength_data", rc, [&] { return sum_of(wavelengths, rc); });
    std::vector<uint16_t> samples(static_cast<size_t>(capacity));
    rc = orv_device_get_full_spectrum_data(g_device, samples.data(), capacity);
    show("get_full_spectrum_data", rc, [&] { return sum_of(samples, rc); });
    line("set_selected_wavelength_range",
         orv_device_set_selected_wavelength_range(g_device, first + (last - first) / 4,
                                                  last - (last - first) / 4));
    orv_wavelength_range range{};
    show("get_selected_wavelength_range",
         orv_device_get_selected_wavelength_range(g_device, &range), [&] {
             return std::to_string(range.first_index) + ".." + std::to_string(range.last_index);
         });
    rc = orv_device_get_selected_wavelength_data(g_device, wavelengths.data(), capacity);
    wavelengths.resize(std::min<size_t>(range.count, wavelengths.size()));  // the selection only
    show("get_selected_wavelength_data", rc, [&] { return sum_of(wavelengths, rc); });
    rc = orv_device_get_selected_spectrum_data(g_device, samples.data(), capacity);
    samples.resize(std::min<size_t>(range.count, samples.size()));
    show("get_selected_spectrum_data", rc, [&] { return sum_of(samples, rc); });
    samples.assign(static_cast<size_t>(capacity), 0);
    rc = orv_device_external_spectrum_control(g_device, 1, samples.data(), capacity);
    show("external_spectrum_control", rc, [&] { return sum_of(samples, rc); });
}

void identity() {
    int32_t protocol = 0;
    uint32_t capabilities = 0;
    show("get_device_protocol", orv_device_get_device_protocol(g_device, &protocol),
         [&] { return std::to_string(protocol); });
    show("get_capabilities", orv_device_get_capabilities(g_device, &capabilities),
         [&] { return std::to_string(capabilities); });
    double coefficients[4] = {};
    show("get_calibration_coefficients",
         orv_device_get_calibration_coefficients(g_device, coefficients), [&] {
             return number(coefficients[0]) + "," + number(coefficients[1]) + "," +
                    number(coefficients[2]) + "," + number(coefficients[3]);
         });
    float temperature = 0;
    show("get_temperature", orv_device_get_temperature(g_device, &temperature),
         [&] { return number(temperature); });
    text_call("get_hardware_version", orv_device_get_hardware_version);
    text_call("get_detector_serial_number", orv_device_get_detector_serial_number);
    text_call("get_device_model", orv_device_get_device_model);
    uint8_t width = 0;
    show("get_slit_width", orv_device_get_slit_width(g_device, &width),
         [&] { return std::to_string(width); });
    line("set_serial_number", orv_device_set_serial_number(g_device, "CORPUS000001"));
    text_call("get_serial_number", orv_device_get_serial_number);
    orv_device_info info{};
    show("get_device_info", orv_device_get_device_info(g_device, &info), [&] {
        return std::string(info.protocol_name) + "/" + info.model + "/" + info.serial_number + "/" +
               info.hardware_version;
    });
}

void flash() {
    int32_t open = -1;
    line("set_flash_write_protect", orv_device_set_flash_write_protect(g_device));
    show("get_flash_write_protect", orv_device_get_flash_write_protect(g_device, &open),
         [&] { return std::to_string(open); });
    uint8_t written[64];
    for (int i = 0; i < 64; ++i) written[i] = static_cast<uint8_t>(i * 7 + 1);
    line("flash_write", orv_device_flash_write(g_device, 0x0100, written, sizeof written));
    uint8_t read[64] = {};
    const int rc = orv_device_flash_read(g_device, 0x0100, read, sizeof read);
    show("flash_read", rc, [&] { return rc > 0 ? hex(read, rc) : ""; });
    line("flash_round_trip", std::memcmp(read, written, sizeof read) == 0 ? 0 : 1);
}

}  // namespace

int main() {
    int count = 0, listed = 0;
    show("list_bridges", orv_list_bridges(nullptr, 0, &count, &listed),
         [&] { return std::to_string(listed); });
    for (int index = 0; index < listed; ++index) {
        const int rc = orv_device_open(index, &g_device);
        line("open", rc, std::to_string(index));
        if (rc != ORV_OK) continue;
        identity();
        settings();
        readout();
        flash();
        line("reset_device", orv_device_reset_device(g_device));
        orv_device_close(g_device);
    }
    return 0;
}
