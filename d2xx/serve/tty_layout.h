// Where a scenario's bridges appear to the tty provider: one ttyUSB<n> per
// bridge, on a USB topology whose list order is the scenario's order, with
// the attributes that give the bridge's list node.
#pragma once

#include <string>
#include <vector>

#include "config.h"
#include "sysfs_tree.h"

namespace orvserve {

// What the tty provider cannot show of a scenario, one text per problem,
// each naming the bridge ("bridges[2] (ORVSIM03): ..."). Empty: it can be
// served as it is.
std::vector<std::string> unservable(const orvsim::Scenario &scenario);

// The tty of bridge `position`: ttyUSB<position>.
std::string tty_name(size_t position);

// The fake sysfs entry of bridge `position` (list order), whose tty is
// backed by `node`. Bridge n is ttyUSB<n> on bus 1 + n / 225, port path
// <hub>.<port> with hub n / 15 % 15 + 1 and port n % 15 + 1, so that the
// provider's order (bus, then ports) is the scenario's.
orvtty::tree::SysfsBridge fake_bridge(const orvsim::BridgeConfig &bridge, size_t position,
                                      const std::string &node);

}  // namespace orvserve
