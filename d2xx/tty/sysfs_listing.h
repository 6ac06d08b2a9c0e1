// The FTDI bridges the kernel's ftdi_sio driver serves, read from sysfs:
// every tty whose usb-serial port device is bound to that driver.
#ifndef ORV_TTY_SYSFS_LISTING_H
#define ORV_TTY_SYSFS_LISTING_H

#include <cstdint>
#include <string>
#include <vector>

#include "environment.h"
#include "ftd2xx.h"
#include "location.h"

namespace orvtty {

inline constexpr const char *FTDI_DRIVER = "ftdi_sio";

// Text capacities of the list node, without the terminating zero.
inline constexpr size_t SERIAL_CHARS = sizeof(FT_DEVICE_LIST_INFO_NODE::SerialNumber) - 1;
inline constexpr size_t DESCRIPTION_CHARS = sizeof(FT_DEVICE_LIST_INFO_NODE::Description) - 1;

struct ListedBridge {
    std::string tty;       // "ttyUSB0"
    std::string node;      // device root + "/ttyUSB0"
    std::string port_dir;  // the usb-serial port device folder (has latency_timer)
    Location location;
    uint32_t flags = 0;  // FT_FLAGS_HISPEED when attached at high speed or faster
    uint32_t type = 0;
    uint32_t id = 0;  // vendor << 16 | product
    uint32_t loc_id = 0;
    std::string serial;       // at most SERIAL_CHARS bytes, channel letter included
    std::string description;  // at most DESCRIPTION_CHARS bytes, channel letter included
};

// The bridges below roots.sysfs, in list order (bus, port path, interface,
// then tty name). Missing attributes leave fields empty or zero; an
// unreadable tree gives an empty list.
std::vector<ListedBridge> list_bridges(const Roots &roots);

}  // namespace orvtty

#endif
