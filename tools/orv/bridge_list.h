// The bridges the D2XX provider lists: index, chip serial, description and
// USB id. Read through the provider's own list calls, from the same provider
// library liborv uses (ORV_D2XX_LIBRARY when set, else the default name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct _ft_device_list_info_node;

namespace orvcli {

// USB vendor and product id of the instruments' bridge (0403h:6001h).
inline constexpr std::uint32_t kInstrumentUsbId = 0x04036001;
// liborv reaches the first 64 list positions; orv lists no more.
inline constexpr std::size_t kMaxBridges = 64;

struct Bridge {
    int index = 0;
    std::string chip_serial;
    std::string description;
    std::uint32_t usb_id = 0;  // vendor << 16 | product
    bool opened = false;       // open in some process (the provider's flag)
};

// "0403:6001"
std::string format_usb_id(std::uint32_t usb_id);

// How a bridge is named in messages: its chip serial, or "device 3" without one.
std::string bridge_name(const Bridge &bridge);

// The first `count` list nodes; texts are read only up to their field size.
std::vector<Bridge> bridges_from_nodes(const _ft_device_list_info_node *nodes, std::size_t count);

// The provider's list, at most kMaxBridges entries (a note on stderr when it
// has more). A device Failure when the provider cannot be loaded or listed.
std::vector<Bridge> list_bridges();

}  // namespace orvcli
