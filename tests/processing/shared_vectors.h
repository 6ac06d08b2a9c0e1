// Test vectors the C++ and the Python implementation of the measurement modes
// are both checked against (tests/processing/vectors/modes.json, written once
// by processing_vectors and checked in). Each case is counts in (sample, dark
// and reference, each one or more acquisitions averaged on the host), a mode
// and a boxcar width, and the values out (null where NaN) with the undefined
// counts: what orv read --mode computes.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "measurement.h"

namespace orvproc::vectors {

// {"spectra": {name: {"sample", "dark", "reference"}}, "cases": [{"spectra":
// name, "mode", "boxcar", "full_scale"}]}: edge pixels (zero, negative,
// equal, saturated) and noisy spectra from a fixed pseudo-random sequence,
// each in every mode with several boxcar widths.
nlohmann::json inputs();

// The case with its "values" and "undefined" filled in by this library.
nlohmann::json computed(const nlohmann::json &spectra, nlohmann::json one_case);

}  // namespace orvproc::vectors
