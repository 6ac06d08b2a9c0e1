// An in-process stand-in for liborv: a Library whose exports are plain
// functions over a scriptable set of devices, so the typed operations and the
// scan can be tested without loading anything.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "orv.h"
#include "sdk.h"

namespace fake {

struct Device {
    int open_code = ORV_OK;
    int info_code = ORV_OK;
    orv_device_info info{};
    int wavelength_count_code = ORV_OK;
    std::uint16_t wavelength_count = 16;
};

// Everything the fake exports answer and record. Reset by each test.
struct State {
    std::map<std::string, Device> devices;  // by chip serial
    std::string open_serial;                // empty when closed
    int close_calls = 0;
    std::vector<std::string> open_calls;

    int is_open_override = 1;  // answer of orv_is_open while a device is open
    std::string model_text = "SIM-MODEL";
    int model_code = 0;
    std::string serial_text = "SN1";
    int serial_code = 0;

    int wavelength_data_code = ORV_OK;
    std::vector<std::uint16_t> spectrum = std::vector<std::uint16_t>(16, 900);
    int spectrum_code = ORV_OK;
    int spectrum_calls = 0;
    int spectrum_timeout_call = 0;  // this call (1-based) times out

    int set_code = ORV_OK;
    std::vector<std::uint32_t> set_values;
    int smoothing_code = ORV_OK;
    int live_integration_code = ORV_OK;
    int stored_integration_code = ORV_OK;
    int average_code = ORV_OK;

    int scan_result = 0;
    std::vector<std::string> chip_serials;  // answers of orv_get_chip_serial_by_index
    std::set<int> chip_serial_failures;
};

extern State state;

// A device record with the given identity texts.
Device device(const std::string &model, const std::string &serial, std::uint16_t wavelengths = 16);

class Library final : public velmar::Library {
public:
    Library();  // exports every fake function
    void remove(const std::string &name) { exports_.erase(name); }
    template <class Fn>
    void replace(const std::string &name, Fn replacement) {
        exports_[name] = reinterpret_cast<velmar::platform::RawFunction>(replacement);
    }
    mutable std::vector<std::string> looked_up;

protected:
    velmar::Result<velmar::platform::RawFunction, velmar::LoaderError> lookup(
        const char *name) const override;

private:
    std::map<std::string, velmar::platform::RawFunction> exports_;
};

}  // namespace fake
