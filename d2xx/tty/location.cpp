#include "location.h"

#include <tuple>

#include "sysfs_files.h"

namespace orvtty {

namespace {

constexpr uint64_t UNKNOWN_LAST = uint64_t{1} << 32;
constexpr size_t MAX_LOC_ID_PORTS = 5;

std::optional<std::vector<uint32_t>> parse_ports(const std::string &devpath) {
    std::vector<uint32_t> ports;
    size_t start = 0;
    for (;;) {
        const size_t dot = devpath.find('.', start);
        const auto port = parse_number(devpath.substr(start, dot - start), 10);
        if (!port) return std::nullopt;
        ports.push_back(*port);
        if (dot == std::string::npos) return ports;
        start = dot + 1;
    }
}

auto order_key(const Location &l) {
    static const std::vector<uint32_t> no_ports;
    return std::make_tuple(l.bus ? *l.bus : UNKNOWN_LAST, !l.ports.has_value(),
                           std::cref(l.ports ? *l.ports : no_ports),
                           l.interface ? *l.interface : UNKNOWN_LAST);
}

}  // namespace

Location parse_location(const std::string &busnum, const std::string &devpath,
                        const std::string &interface_number) {
    return Location{parse_number(busnum, 10), parse_ports(devpath),
                    parse_number(interface_number, 16)};
}

uint32_t loc_id(const Location &l) {
    if (!l.bus || !l.ports || !l.interface) return 0;
    if (*l.bus > 0xff || l.ports->empty() || l.ports->size() > MAX_LOC_ID_PORTS ||
        *l.interface > 0xf) {
        return 0;
    }
    uint32_t id = *l.bus << 24;
    int shift = 20;
    for (const uint32_t port : *l.ports) {
        if (port > 0xf) return 0;
        id |= port << shift;
        shift -= 4;
    }
    return id | *l.interface;
}

bool comes_before(const Location &a, const Location &b) { return order_key(a) < order_key(b); }

}  // namespace orvtty
