// The bridges the D2XX provider lists: index, chip serial, description, USB id
// and flags, as liborv lists them (orv_list_bridges), from the provider liborv
// drives (ORV_D2XX_LIBRARY when set, else the default one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orv.h"

namespace orvcli {

// USB vendor and product id of the instruments' bridge (0403h:6001h).
inline constexpr std::uint32_t kInstrumentUsbId = ORV_INSTRUMENT_USB_ID;

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

// The provider's list, at most ORV_MAX_BRIDGES entries (a note on stderr when
// it has more). A device Failure when there is no provider (with liborv's
// reason) or the provider cannot list its bridges.
std::vector<Bridge> list_bridges();

}  // namespace orvcli
