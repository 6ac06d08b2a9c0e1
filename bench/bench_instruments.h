// Simulated instruments for the measurements: a scenario whose link costs no
// modelled time, so that a timed read measures only what the host (liborv,
// the binding and the simulated provider) spends, and the set-up that brings
// an instrument to the state the benchmark program times its reads in.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace orvbench {

// The instruments of the instant scenario, by bridge position: a 2048-pixel
// instrument of each protocol, so that their reads compare directly, and the
// 256-pixel NIR instrument as the simulator models it by default.
enum class Instrument { uvvis = 0, nir = 1, nir_256 = 2 };

std::size_t pixels(Instrument instrument);
// The instrument of a name as the benchmarks use it: "uvvis", "nir", "nir_256".
std::optional<Instrument> instrument_named(std::string_view name);

// Loads the instant scenario into the provider. False (with a line on
// standard error) when the provider refuses it.
bool load_instant_scenario();

int bridge_index(Instrument instrument);
const char *chip_serial(Instrument instrument);
// Protocol and pixel count, e.g. "NIR_LEGACY 256 px", for benchmark labels.
const char *label(Instrument instrument);

// Opens the instrument through liborv, sets 1 us integration and 1 scan, and
// reads the wavelength count once so that it is cached, as in the benchmark
// program before its timed reads. ORV_OK or the first failing result code.
int open_for_reads(Instrument instrument);

}  // namespace orvbench
