#include "bench_instruments.h"

#include <cstdint>
#include <cstdio>
#include <iterator>

#include "orv.h"
#include "orvsim.h"

namespace orvbench {
namespace {

// Latency 0, the highest throughput the provider accepts and the smallest
// time scale: every modelled duration (latency, the 1 us integration,
// transfer) rounds to zero, so answers are readable as soon as they are
// queued. The simulator cannot model an integration time of 0 (1 us is the
// least an instrument accepts); scaled by 1e-6 it is 1 ps.
// The NIR instrument gets 2048 pixels so that both protocols move a spectrum
// of the same size. Without noise the simulator skips its noise draws, the
// largest part of its own cost per spectrum, which is in every timed read.
constexpr const char *kInstantScenario = R"json({
  "time_scale": 0.000001,
  "latency_ms": 0,
  "throughput_bytes_per_s": 10000000000,
  "bridges": [
    { "serial": "ORVBENCH01", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV2048", "integration_us": 1, "noise_counts": 0 } },
    { "serial": "ORVBENCH02", "description": "SIMULATED NIR Spectrometer",
      "instrument": { "model": "SIM-NIR256", "pixels": 2048,
                      "wavelengths": { "polynomial": [900.0, 0.4] }, "integration_us": 1,
                      "noise_counts": 0 } },
    { "serial": "ORVBENCH03", "description": "SIMULATED NIR Spectrometer",
      "instrument": { "model": "SIM-NIR256", "integration_us": 1, "noise_counts": 0 } }
  ]
})json";

struct InstrumentInfo {
    const char *name;
    const char *chip_serial;
    const char *label;
    std::size_t pixels;
};
constexpr InstrumentInfo kInstruments[] = {
    {"uvvis", "ORVBENCH01", "UVVIS_ORV 2048 px", 2048},
    {"nir", "ORVBENCH02", "NIR_LEGACY 2048 px", 2048},
    {"nir_256", "ORVBENCH03", "NIR_LEGACY 256 px", 256},
};

const InstrumentInfo &info(Instrument instrument) {
    return kInstruments[static_cast<int>(instrument)];
}

constexpr uint32_t kIntegrationUs = 1;
constexpr uint8_t kAverage = 1;

}  // namespace

bool load_instant_scenario() {
    if (orvsim_load_scenario_json(kInstantScenario) == 0) return true;
    std::fprintf(stderr, "instant scenario refused: %s\n", orvsim_last_error());
    return false;
}

int bridge_index(Instrument instrument) { return static_cast<int>(instrument); }

const char *chip_serial(Instrument instrument) { return info(instrument).chip_serial; }

const char *label(Instrument instrument) { return info(instrument).label; }

std::size_t pixels(Instrument instrument) { return info(instrument).pixels; }

std::optional<Instrument> instrument_named(std::string_view name) {
    for (int i = 0; i < static_cast<int>(std::size(kInstruments)); ++i) {
        if (name == kInstruments[i].name) return static_cast<Instrument>(i);
    }
    return std::nullopt;
}

int open_for_reads(Instrument instrument) {
    int rc = orv_open_device(bridge_index(instrument));
    if (rc == ORV_OK) rc = orv_set_integration_time(kIntegrationUs);
    if (rc == ORV_OK) rc = orv_set_average_number(kAverage);
    uint16_t count = 0;
    if (rc == ORV_OK) rc = orv_get_wavelength_count(&count);
    if (rc == ORV_OK && count != pixels(instrument)) rc = ORV_ERR_GENERIC;
    return rc;
}

}  // namespace orvbench
