#include "instrument_lookup.h"

#include <orv.h>

#include <vector>

namespace orv_tango {

namespace {

// liborv looks bridges up among the first 64 list positions.
constexpr int MAX_BRIDGES = 64;
// A chip serial is at most 15 bytes; room for a longer one from a driver.
constexpr int SERIAL_BUFFER = 64;

std::vector<std::string> chip_serials() {
    std::vector<std::string> serials;
    for (int index = 0; index < MAX_BRIDGES; ++index) {
        char serial[SERIAL_BUFFER] = {};
        if (orv_get_chip_serial_by_index(index, serial, SERIAL_BUFFER) != ORV_OK) break;
        serials.emplace_back(serial);
    }
    return serials;
}

std::string joined(const std::vector<std::string> &serials) {
    std::string text;
    for (const auto &serial : serials) text += (text.empty() ? "" : ", ") + serial;
    return text;
}

Opened open_chip(const std::string &chip) {
    Opened opened;
    opened.result = orv_device_open_by_chip_serial(chip.c_str(), &opened.device);
    if (opened.result == ORV_OK) return opened;
    opened.device = nullptr;
    opened.problem = "bridge " + chip + " cannot be opened (" + orv_result_name(opened.result) +
                     "): it is busy, held by another program or device, or refused to open";
    return opened;
}

}  // namespace

Opened open_instrument(const std::string &serial) {
    const std::vector<std::string> chips = chip_serials();
    if (chips.empty())
        return {nullptr, ORV_ERR_DEVICE_NOT_FOUND,
                "no instrument attached (the D2XX device list is empty or cannot be read)"};
    if (serial.empty()) {
        if (chips.size() == 1) return open_chip(chips.front());
        return {nullptr, ORV_ERR_INVALID_PARAM,
                std::to_string(chips.size()) + " bridges attached (" + joined(chips) +
                    "): set the property SerialNumber to the one this device drives"};
    }
    for (const auto &chip : chips)
        if (chip == serial) return open_chip(chip);
    for (const auto &chip : chips) {
        orv_device *device = nullptr;
        if (orv_device_open_by_chip_serial(chip.c_str(), &device) != ORV_OK) continue;
        char own[32] = {};
        if (orv_device_get_serial_number(device, own, sizeof own) == ORV_OK && serial == own)
            return {device, ORV_OK, {}};
        orv_device_close(device);
    }
    return {nullptr, ORV_ERR_DEVICE_NOT_FOUND,
            "no instrument with serial " + serial + " among the attached bridges (" +
                joined(chips) + ")"};
}

}  // namespace orv_tango
