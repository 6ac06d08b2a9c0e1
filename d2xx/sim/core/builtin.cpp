#include "builtin.h"

namespace orvsim {

// The model table. Wavelength polynomials give about 190-1008 nm over 2048
// pixels, 200-987 nm over 1024 and 900-1683 nm over 256.
const char *const kBuiltinModels = R"json({
  "SIM-UV2048": {
    "protocol": "UVVIS_ORV", "model_text": "SIM-UV2048", "pixels": 2048,
    "wavelengths": { "polynomial": [190.0, 0.42, -0.00001] },
    "lamp": { "center_nm": 580, "width_nm": 230 },
    "lines": [ { "nm": 253.7, "counts": 9000, "width_nm": 1.2 },
               { "nm": 435.8, "counts": 14000, "width_nm": 1.2 },
               { "nm": 486.1, "counts": 6000, "width_nm": 1.5 },
               { "nm": 546.1, "counts": 18000, "width_nm": 1.2 },
               { "nm": 656.3, "counts": 11000, "width_nm": 1.5 } ],
    "noise_seed": 2048, "serial_number": "SIMUV2048-01", "detector_serial": "SIMD0001",
    "hardware_version": "01 02 0A 05 00 00 00 00", "calibration": [190.0, 0.42, -0.00001, 0.0],
    "temperature_raw": 400, "slit_width": 25
  },
  "SIM-UV1024": {
    "protocol": "UVVIS_ORV", "model_text": "SIM-UV1024", "pixels": 1024,
    "wavelengths": { "polynomial": [200.0, 0.78, -0.00001] },
    "lamp": { "center_nm": 600, "width_nm": 250 },
    "lines": [ { "nm": 404.7, "counts": 8000, "width_nm": 2.0 },
               { "nm": 546.1, "counts": 16000, "width_nm": 2.0 },
               { "nm": 763.5, "counts": 7000, "width_nm": 2.0 } ],
    "noise_seed": 1024, "serial_number": "SIMUV1024-01", "detector_serial": "SIMD0002",
    "hardware_version": "01 01 03 00 00 00 00 00", "calibration": [200.0, 0.78, -0.00001, 0.0],
    "temperature_raw": 420, "slit_width": 50
  },
  "SIM-NIR256": {
    "protocol": "NIR_LEGACY", "pixels": 256,
    "wavelengths": { "polynomial": [900.0, 3.2, -0.0005] },
    "lamp": { "center_nm": 1250, "width_nm": 320 },
    "lines": [ { "nm": 1083.0, "counts": 5000, "width_nm": 6.0 },
               { "nm": 1529.6, "counts": 4000, "width_nm": 6.0 } ],
    "noise_seed": 256, "version_text": "SIMULATED NIR 1.0", "model_bytes": "03 00 00 02 56 00 00 00",
    "calibration": [900.0, 3.2, -0.0005, 0.0], "temperature_raw": 400
  }
})json";

// Keep in step with d2xx/sim/scenarios/default.json (a test compares them).
const char *const kDefaultScenario = R"json({
  "time_scale": 1.0,
  "bridges": [
    { "serial": "ORVSIM01", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV2048" } },
    { "serial": "ORVSIM02", "description": "SIMULATED UV-VIS Spectrometer",
      "instrument": { "model": "SIM-UV1024" } },
    { "serial": "ORVSIM03", "description": "SIMULATED NIR Spectrometer",
      "instrument": { "model": "SIM-NIR256" } },
    { "serial": "ORVSIM04", "description": "SIMULATED USB Serial Converter", "product": "6015" }
  ]
})json";

}  // namespace orvsim
