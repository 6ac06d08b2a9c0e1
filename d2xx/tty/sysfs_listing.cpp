#include "sysfs_listing.h"

#include <algorithm>
#include <optional>

#include "chip.h"
#include "sysfs_files.h"

namespace orvtty {

namespace {

// Reported USB speeds are in Mbit/s: "1.5", "12", "480", "5000", ...
constexpr uint32_t HIGH_SPEED_MBPS = 480;
constexpr unsigned CHANNEL_LETTERS = 26;

std::string attribute(const std::string &dir, const char *name) {
    return read_attribute(dir + "/" + name);
}

uint32_t usb_id(const std::string &text) {
    const auto value = parse_number(text, 16);
    return value && *value <= 0xffff ? *value : 0;
}

// sysfs spells a '/' in a device name as '!' (class entry "foo!bar" is
// /dev/foo/bar).
std::string node_name(std::string tty) {
    std::replace(tty.begin(), tty.end(), '!', '/');
    return tty;
}

// Serial and description of one channel of a multi-channel chip end in the
// channel letter ("FT1234A", "Dual RS232-HS A"); the base text is cut to
// leave room for it.
void name_channel(ListedBridge &b, const std::string &serial, const std::string &product) {
    const std::optional<uint32_t> channel = b.location.interface;
    if (has_channels(static_cast<ChipType>(b.type)) && channel && *channel < CHANNEL_LETTERS) {
        const char letter = static_cast<char>('A' + *channel);
        b.serial = serial.substr(0, SERIAL_CHARS - 1) + letter;
        b.description = product.substr(0, DESCRIPTION_CHARS - 2) + ' ' + letter;
    } else {
        b.serial = serial.substr(0, SERIAL_CHARS);
        b.description = product.substr(0, DESCRIPTION_CHARS);
    }
}

std::optional<ListedBridge> describe(const std::string &class_entry, const std::string &tty,
                                     const Roots &roots) {
    const std::string port = resolve(class_entry + "/device");
    if (port.empty() || last_component(read_link(port + "/driver")) != FTDI_DRIVER) {
        return std::nullopt;
    }
    const std::string interface = parent_of(port);
    const std::string usb = parent_of(interface);
    ListedBridge b;
    b.tty = tty;
    b.node = roots.dev + "/" + node_name(tty);
    b.port_dir = port;
    b.location = parse_location(attribute(usb, "busnum"), attribute(usb, "devpath"),
                                attribute(interface, "bInterfaceNumber"));
    b.loc_id = loc_id(b.location);
    b.type = chip_type(parse_number(attribute(usb, "bcdDevice"), 16));
    b.id = usb_id(attribute(usb, "idVendor")) << 16 | usb_id(attribute(usb, "idProduct"));
    const auto speed = parse_number(attribute(usb, "speed"), 10);
    b.flags = speed && *speed >= HIGH_SPEED_MBPS ? FT_FLAGS_HISPEED : 0u;
    name_channel(b, attribute(usb, "serial"), attribute(usb, "product"));
    return b;
}

}  // namespace

std::vector<ListedBridge> list_bridges(const Roots &roots) {
    const std::string class_dir = roots.sysfs + "/class/tty";
    std::vector<ListedBridge> bridges;
    for (const std::string &name : folder_entries(class_dir)) {
        if (auto bridge = describe(class_dir + "/" + name, name, roots)) {
            bridges.push_back(std::move(*bridge));
        }
    }
    std::sort(bridges.begin(), bridges.end(), [](const ListedBridge &a, const ListedBridge &b) {
        if (comes_before(a.location, b.location)) return true;
        if (comes_before(b.location, a.location)) return false;
        return a.tty < b.tty;
    });
    return bridges;
}

}  // namespace orvtty
