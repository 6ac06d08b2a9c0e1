// Which bridges a command works on, from the -d DEVICE option: a list index,
// a chip serial, "all" (where a command allows it), or nothing: then the one
// instrument attached. "Instruments" are the bridges with the instruments'
// USB id; an index or chip serial may name any bridge.
#pragma once

#include <string>
#include <vector>

#include "device/bridge_list.h"

namespace orvcli {

enum class AllowAll { no, yes };

// The chosen bridges, in list order. A device Failure names what was asked
// for and lists the choices when there is none or more than one to pick from.
// A text equal to a listed chip serial is that bridge; otherwise digits are
// an index.
std::vector<Bridge> choose_bridges(const std::vector<Bridge> &bridges, const std::string &device,
                                   AllowAll allow_all);

// The bridges with the instruments' USB id: "0 ORVSIM01, 1 ORVSIM02".
std::string describe_choices(const std::vector<Bridge> &bridges);

}  // namespace orvcli
