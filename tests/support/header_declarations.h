// What liborv's public header, orv.h in the source tree, declares: read from
// the file itself, so that a test comparing the library with it cannot drift
// from it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace orvtest {

// Every result code: each "#define ORV_OK ..." and "#define ORV_ERR_<x> ...",
// its name and value, in header order. Empty when orv.h cannot be read.
std::vector<std::pair<std::string, int>> header_result_codes();

// The <name> of every handle twin "orv_device_<name>(orv_device *device, ...)"
// the header declares, in header order.
std::vector<std::string> header_twin_names();

}  // namespace orvtest
