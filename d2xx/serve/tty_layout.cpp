#include "tty_layout.h"

#include "chip.h"
#include "ftd2xx.h"

namespace orvserve {
namespace {

constexpr size_t kPortsPerHub = 15;  // what a LocId holds per port digit
constexpr size_t kBridgesPerBus = kPortsPerHub * kPortsPerHub;

// The release number the provider reads as this chip type (0 for an
// unknown chip); nullopt for a type it never reports, or reports with a
// channel letter added to serial and description.
std::optional<uint16_t> bcd_device_of(uint32_t type) {
    for (uint32_t bcd = 0; bcd <= 0x1000; bcd += 0x100) {
        if (orvtty::chip_type(bcd) == type && !orvtty::has_channels(orvtty::chip_type(bcd)))
            return static_cast<uint16_t>(bcd);
    }
    return std::nullopt;
}

bool has_line_end(const std::string &text) {
    return text.find('\n') != std::string::npos || text.find('\r') != std::string::npos;
}

}  // namespace

std::vector<std::string> unservable(const orvsim::Scenario &scenario) {
    std::vector<std::string> problems;
    if (scenario.create_list_status != 0 || scenario.get_list_status != 0)
        problems.push_back("list: failing list calls cannot be shown through ttys");
    for (size_t i = 0; i < scenario.bridges.size(); ++i) {
        const orvsim::BridgeConfig &b = scenario.bridges[i];
        const std::string name = "bridges[" + std::to_string(i) + "] (" + b.serial + "): ";
        auto problem = [&](const std::string &text) { problems.push_back(name + text); };
        if (b.open_status != 0) problem("open_status: a tty cannot refuse to open");
        if (!bcd_device_of(b.type))
            problem("type " + std::to_string(b.type) + ": not a single-channel chip type");
        if (b.flags & ~uint32_t{FT_FLAGS_HISPEED})
            problem("flags: only the high-speed bit can be shown");
        if (has_line_end(b.serial) || has_line_end(b.description))
            problem("serial or description: a line end cannot be part of a sysfs attribute");
        if (!b.has_instrument) continue;
        for (const orvsim::FaultSpec &f : b.instrument.faults) {
            if (f.kind == orvsim::FaultKind::WriteError || f.kind == orvsim::FaultKind::ShortWrite)
                problem("fault write_error/short_write: the host's write has succeeded already");
            if (f.kind == orvsim::FaultKind::ReadError && !f.persistent)
                problem("fault read_error: only a persistent one (an unplug) can be shown");
        }
    }
    return problems;
}

std::string tty_name(size_t position) { return "ttyUSB" + std::to_string(position); }

orvtty::tree::SysfsBridge fake_bridge(const orvsim::BridgeConfig &bridge, size_t position,
                                      const std::string &node) {
    orvtty::tree::SysfsBridge f;
    f.tty = tty_name(position);
    f.node = node;
    f.serial = bridge.serial;
    f.product = bridge.description;
    f.vid = static_cast<uint16_t>(bridge.id >> 16);
    f.pid = static_cast<uint16_t>(bridge.id & 0xFFFF);
    f.bcd_device = bcd_device_of(bridge.type).value_or(0);
    f.busnum = static_cast<unsigned>(1 + position / kBridgesPerBus);
    f.devpath = std::to_string(position / kPortsPerHub % kPortsPerHub + 1) + "." +
                std::to_string(position % kPortsPerHub + 1);
    f.interface = 0;
    f.driver = "ftdi_sio";
    f.speed_mbps = (bridge.flags & FT_FLAGS_HISPEED) ? 480 : 12;
    return f;
}

}  // namespace orvserve
