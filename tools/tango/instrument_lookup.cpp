#include "instrument_lookup.h"

#include <orv.h>

#include <vector>

namespace orv_tango {

namespace {

// The bridges liborv lists, or why there are none to look at.
struct Listing {
    std::vector<orv_bridge_info> bridges;
    std::string problem;  // empty when the provider listed its bridges
};

Listing list_bridges() {
    Listing listing;
    listing.bridges.resize(ORV_MAX_BRIDGES);
    int count = 0;
    if (orv_list_bridges(listing.bridges.data(), ORV_MAX_BRIDGES, &count, nullptr) != ORV_OK) {
        char why[512] = "";
        listing.problem = orv_d2xx_provider(why, sizeof why) == ORV_OK
                              ? std::string("the D2XX provider ") + why + " cannot list its devices"
                              : std::string("no D2XX provider: ") + why;
        count = 0;
    }
    listing.bridges.resize(static_cast<std::size_t>(count));
    return listing;
}

std::string name_of(const orv_bridge_info &bridge) {
    return bridge.chip_serial[0] != '\0' ? std::string(bridge.chip_serial)
                                         : "device " + std::to_string(bridge.index);
}

std::string joined(const std::vector<orv_bridge_info> &bridges) {
    std::string text;
    for (const auto &bridge : bridges) text += (text.empty() ? "" : ", ") + name_of(bridge);
    return text;
}

// By chip serial, which stays with the bridge when the list changes between
// listing and opening; by list position for a bridge that reports none.
int open_bridge(const orv_bridge_info &bridge, orv_device **device) {
    if (bridge.chip_serial[0] != '\0')
        return orv_device_open_by_chip_serial(bridge.chip_serial, device);
    return orv_device_open(bridge.index, device);
}

Opened open_chip(const orv_bridge_info &bridge) {
    Opened opened;
    opened.result = open_bridge(bridge, &opened.device);
    if (opened.result == ORV_OK) return opened;
    opened.device = nullptr;
    opened.problem = "bridge " + name_of(bridge) + " cannot be opened (" +
                     orv_result_name(opened.result) +
                     "): it is busy, held by another program or device, or refused to open";
    return opened;
}

}  // namespace

Opened open_instrument(const std::string &serial) {
    const Listing listing = list_bridges();
    const std::vector<orv_bridge_info> &bridges = listing.bridges;
    if (!listing.problem.empty())
        return {nullptr, ORV_ERR_DEVICE_NOT_FOUND,
                "the D2XX device list cannot be read: " + listing.problem};
    if (bridges.empty())
        return {nullptr, ORV_ERR_DEVICE_NOT_FOUND,
                "no instrument attached (the D2XX device list is empty)"};
    if (serial.empty()) {
        if (bridges.size() == 1) return open_chip(bridges.front());
        return {nullptr, ORV_ERR_INVALID_PARAM,
                std::to_string(bridges.size()) + " bridges attached (" + joined(bridges) +
                    "): set the property SerialNumber to the one this device drives"};
    }
    for (const auto &bridge : bridges)
        if (serial == bridge.chip_serial) return open_chip(bridge);
    for (const auto &bridge : bridges) {
        // A bridge in use cannot be opened to read its instrument's serial.
        if ((bridge.flags & ORV_BRIDGE_OPENED) != 0) continue;
        orv_device *device = nullptr;
        if (open_bridge(bridge, &device) != ORV_OK) continue;
        char own[32] = {};
        if (orv_device_get_serial_number(device, own, sizeof own) == ORV_OK && serial == own)
            return {device, ORV_OK, {}};
        orv_device_close(device);
    }
    return {nullptr, ORV_ERR_DEVICE_NOT_FOUND,
            "no instrument with serial " + serial + " among the attached bridges (" +
                joined(bridges) + ")"};
}

}  // namespace orv_tango
