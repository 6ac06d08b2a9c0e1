#include "device/bridge_list.h"

#include <fmt/format.h>

#include "failure.h"

namespace orvcli {

std::string format_usb_id(std::uint32_t usb_id) {
    return fmt::format("{:04x}:{:04x}", usb_id >> 16, usb_id & 0xFFFFu);
}

std::string bridge_name(const Bridge &bridge) {
    return bridge.chip_serial.empty() ? fmt::format("device {}", bridge.index) : bridge.chip_serial;
}

std::vector<Bridge> list_bridges() {
    std::vector<orv_bridge_info> records(ORV_MAX_BRIDGES);
    int count = 0;
    int listed = 0;
    if (orv_list_bridges(records.data(), static_cast<int>(records.size()), &count, &listed) !=
        ORV_OK) {
        char why[512] = "";
        if (orv_d2xx_provider(why, sizeof why) != ORV_OK)
            throw Failure(ExitStatus::device, fmt::format("no D2XX provider: {}", why));
        throw Failure(ExitStatus::device,
                      fmt::format("list the D2XX devices: the provider {} cannot list them", why));
    }
    if (listed > ORV_MAX_BRIDGES)
        fmt::print(stderr, "orv: the D2XX provider lists {} devices; only the first {} are used\n",
                   listed, ORV_MAX_BRIDGES);
    std::vector<Bridge> bridges;
    bridges.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const orv_bridge_info &record = records[static_cast<std::size_t>(i)];
        bridges.push_back({record.index, record.chip_serial, record.description, record.usb_id,
                           (record.flags & ORV_BRIDGE_OPENED) != 0});
    }
    return bridges;
}

}  // namespace orvcli
