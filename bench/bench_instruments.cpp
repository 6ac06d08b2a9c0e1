#include "bench_instruments.h"

#include <cstdint>
#include <cstdio>

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
// of the same size.
constexpr const char *kInstantScenario = R"json({
  "time_scale": 0.000001,
  "latency_ms": 0,
  "throughput_bytes_per_s": 10000000000,
  "bridges": [
    { "serial": "ORVBENCH01", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV2048", "integration_us": 1 } },
    { "serial": "ORVBENCH02", "description": "SIMULATED NIR Spectrometer",
      "instrument": { "model": "SIM-NIR256", "pixels": 2048,
                      "wavelengths": { "polynomial": [900.0, 0.4] }, "integration_us": 1 } }
  ]
})json";

constexpr uint32_t kIntegrationUs = 1;
constexpr uint8_t kAverage = 1;

}  // namespace

bool load_instant_scenario() {
    if (orvsim_load_scenario_json(kInstantScenario) == 0) return true;
    std::fprintf(stderr, "instant scenario refused: %s\n", orvsim_last_error());
    return false;
}

int bridge_index(Instrument instrument) { return static_cast<int>(instrument); }

const char *chip_serial(Instrument instrument) {
    return instrument == Instrument::uvvis ? "ORVBENCH01" : "ORVBENCH02";
}

const char *protocol_name(Instrument instrument) {
    return instrument == Instrument::uvvis ? "UVVIS_ORV" : "NIR_LEGACY";
}

int open_for_reads(Instrument instrument) {
    int rc = orv_open_device(bridge_index(instrument));
    if (rc == ORV_OK) rc = orv_set_integration_time(kIntegrationUs);
    if (rc == ORV_OK) rc = orv_set_average_number(kAverage);
    uint16_t count = 0;
    if (rc == ORV_OK) rc = orv_get_wavelength_count(&count);
    if (rc == ORV_OK && count != kPixels) rc = ORV_ERR_GENERIC;
    return rc;
}

}  // namespace orvbench
