// Where a bridge sits on the USB tree (bus, port path, interface): the order
// of the device list and the D2XX LocId.
#ifndef ORV_TTY_LOCATION_H
#define ORV_TTY_LOCATION_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvtty {

struct Location {
    std::optional<uint32_t> bus;                 // sysfs busnum
    std::optional<std::vector<uint32_t>> ports;  // sysfs devpath "1.4.2" -> {1, 4, 2}
    std::optional<uint32_t> interface;           // bInterfaceNumber
};

// From the attribute texts; a missing or garbled part stays unknown.
Location parse_location(const std::string &busnum, const std::string &devpath,
                        const std::string &interface_number);

// Bits 31-24 the bus, 23-4 up to five port numbers one hex digit each (the
// port nearest the host first, unused digits 0), 3-0 the interface. 0 when
// the location is unknown or does not fit (bus above 255, a port above 15,
// more than five ports, an interface above 15).
uint32_t loc_id(const Location &location);

// The list order: by bus, then port path (numerically, a hub's port before
// the ports below it), then interface; unknown parts after known ones.
bool comes_before(const Location &a, const Location &b);

}  // namespace orvtty

#endif
