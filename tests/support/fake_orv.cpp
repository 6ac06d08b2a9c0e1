#include "fake_orv.h"

#include <algorithm>
#include <cstring>

namespace fake {

State state;

namespace {

Device *open_device() {
    auto found = state.devices.find(state.open_serial);
    return found == state.devices.end() ? nullptr : &found->second;
}

void copy_text(char *out, std::size_t capacity, const std::string &text) {
    std::memcpy(out, text.data(), std::min(capacity, text.size()));
}

int is_open() { return state.open_serial.empty() ? 0 : state.is_open_override; }

int open_by_chip_serial(const char *chip_serial) {
    state.open_calls.emplace_back(chip_serial);
    auto found = state.devices.find(chip_serial);
    if (found == state.devices.end()) return ORV_ERR_DEVICE_NOT_FOUND;
    if (found->second.open_code != ORV_OK) return found->second.open_code;
    state.open_serial = chip_serial;
    return ORV_OK;
}

int open_by_index(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= state.chip_serials.size())
        return ORV_ERR_OPEN_FAILED;
    return open_by_chip_serial(state.chip_serials[index].c_str());
}

void close_device() {
    ++state.close_calls;
    state.open_serial.clear();
}

int get_device_info(orv_device_info *out) {
    Device *device = open_device();
    if (device == nullptr) return ORV_ERR_NOT_OPEN;
    if (device->info_code != ORV_OK) return device->info_code;
    *out = device->info;
    return ORV_OK;
}

int get_model(char *text, int32_t size) {
    copy_text(text, static_cast<std::size_t>(size) - 1, state.model_text);
    return state.model_code;
}

int get_serial(char *text, int32_t size) {
    copy_text(text, static_cast<std::size_t>(size) - 1, state.serial_text);
    return state.serial_code;
}

int get_wavelength_count(uint16_t *count) {
    Device *device = open_device();
    if (device == nullptr) return ORV_ERR_NOT_OPEN;
    *count = device->wavelength_count;
    return device->wavelength_count_code;
}

int get_wavelength_data(double *values, int32_t capacity) {
    if (state.wavelength_data_code != ORV_OK) return state.wavelength_data_code;
    if (values == nullptr || capacity < 1) return ORV_ERR_INVALID_PARAM;
    for (int32_t i = 0; i < capacity; ++i) values[i] = 200.0 + i;
    return ORV_OK;
}

int get_spectrum(uint16_t *samples, int32_t capacity) {
    if (++state.spectrum_calls == state.spectrum_timeout_call) return ORV_ERR_TIMEOUT;
    if (state.spectrum_code != ORV_OK) return state.spectrum_code;
    std::copy_n(state.spectrum.begin(), std::min<std::size_t>(capacity, state.spectrum.size()),
                samples);
    return ORV_OK;
}

int set_u32(uint32_t value) {
    state.set_values.push_back(value);
    return state.set_code;
}

int set_u8(uint8_t value) { return set_u32(value); }

int set_smoothing(uint8_t value) {
    state.set_values.push_back(value);
    return state.smoothing_code;
}

int get_integration(uint32_t *value) {
    *value = 10000;
    return state.live_integration_code;
}

int get_stored_integration(uint32_t *value) {
    *value = 20000;
    return state.stored_integration_code;
}

int get_average(uint8_t *value) {
    *value = 3;
    return state.average_code;
}

int scan_devices() { return state.scan_result; }

int chip_serial_by_index(int index, char *buf, int size) {
    if (state.chip_serial_failures.count(index) != 0) return ORV_ERR_DEVICE_NOT_FOUND;
    copy_text(buf, static_cast<std::size_t>(size),
              state.chip_serials.at(static_cast<std::size_t>(index)));
    return ORV_OK;
}

template <class Fn>
velmar::platform::RawFunction raw(Fn function) {
    return reinterpret_cast<velmar::platform::RawFunction>(function);
}

}  // namespace

Device device(const std::string &model, const std::string &serial, std::uint16_t wavelengths) {
    Device d;
    copy_text(d.info.model, sizeof d.info.model, model);
    copy_text(d.info.serial_number, sizeof d.info.serial_number, serial);
    d.wavelength_count = wavelengths;
    return d;
}

Library::Library()
    : exports_{
          {"orv_is_open", raw(&is_open)},
          {"orv_open_device", raw(&open_by_index)},
          {"orv_open_device_by_chip_serial", raw(&open_by_chip_serial)},
          {"orv_close_device", raw(&close_device)},
          {"orv_get_device_info", raw(&get_device_info)},
          {"orv_get_device_model", raw(&get_model)},
          {"orv_get_serial_number", raw(&get_serial)},
          {"orv_get_wavelength_count", raw(&get_wavelength_count)},
          {"orv_get_full_wavelength_data", raw(&get_wavelength_data)},
          {"orv_get_full_spectrum_data", raw(&get_spectrum)},
          {"orv_set_integration_time", raw(&set_u32)},
          {"orv_set_average_number", raw(&set_u8)},
          {"orv_set_stored_smoothing_width", raw(&set_smoothing)},
          {"orv_get_integration_time", raw(&get_integration)},
          {"orv_get_stored_integration_time", raw(&get_stored_integration)},
          {"orv_get_average_number", raw(&get_average)},
          {"orv_get_stored_average_number", raw(&get_average)},
          {"orv_scan_devices", raw(&scan_devices)},
          {"orv_get_chip_serial_by_index", raw(&chip_serial_by_index)},
      } {}

velmar::Result<velmar::platform::RawFunction, velmar::LoaderError> Library::lookup(
    const char *name) const {
    looked_up.emplace_back(name);
    auto found = exports_.find(name);
    if (found == exports_.end()) return velmar::LoaderError{127};
    return found->second;
}

}  // namespace fake
