// What a scenario describes, after parsing and validation: bridges, the
// instruments behind them and the faults they inject.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bytes.h"

namespace orvsim {

struct ReplayScript;

enum class Protocol { Uvvis, Nir, Silent };

enum class FaultKind {
    // both protocols
    NoAnswer,
    Delay,
    ReadError,
    WriteError,
    ShortWrite,
    Raw,
    // UVVIS_ORV
    ShortHeader,
    ShortBody,
    DataLen,
    BadPreamble,
    BadCrc,
    ReplyCode,
    ExtraData,
    ShortData,
    Data,
    // NIR_LEGACY (BadCrc and Data are shared with UVVIS_ORV)
    Nak,
    NakBadCrc,
    ShortReply,
    BadFirstByte,
    Split,
    Endless
};

struct FaultSpec {
    FaultKind kind = FaultKind::NoAnswer;
    // Match: UVVIS_ORV register/address/access; NIR_LEGACY command prefix.
    bool any_register = true;
    uint8_t reg = 0;
    bool any_address = true;
    uint32_t address = 0;
    enum class Access { Any, Read, Write } access = Access::Any;
    Bytes command_prefix;
    // Occurrence: 0 = every matching exchange, else the n-th (1-based) and
    // `times` matches from there.
    uint32_t occurrence = 0;
    uint32_t times = 1;
    // Parameters (meaning depends on the kind).
    double ms = 0;
    uint32_t count = 0;
    bool count_given = false;
    uint8_t code = 0;
    Bytes bytes;
    bool persistent = false;
};

struct SpectralLine {
    double nm = 0;
    double counts = 0;
    double width_nm = 1;
};

// A band of the sample's absorbance spectrum: a gaussian of `absorbance`
// AU at its peak.
struct AbsorptionBand {
    double nm = 0;
    double absorbance = 0;
    double width_nm = 1;
};

// What stands between the lamp and the detector: the lamp off gives dark
// spectra; the holder is blank or holds the scenario's sample.
struct LightPath {
    bool lamp_on = true;
    bool sample_in = false;
};

struct OpticalConfig {
    std::vector<float> wavelengths;  // final table in the order the instrument reports it
    double full_scale = 65535;
    double dark_counts = 800;
    double peak_counts = 30000;
    double reference_integration_us = 10000;
    double lamp_center_nm = 560;
    double lamp_width_nm = 260;
    std::vector<SpectralLine> lines;
    double noise_counts = 40;
    uint64_t noise_seed = 1;
    // The sample: absorbance = baseline + its bands; absent unless given.
    bool has_sample = false;
    double sample_baseline = 0;
    std::vector<AbsorptionBand> sample_bands;
    LightPath light_path;  // at power-up
};

// Live acquisition settings: their power-up values come from the scenario,
// reset restores them.
struct LiveSettings {
    uint32_t integration_us = 10000;
    uint8_t average = 1;
    std::array<uint32_t, 2> xenon_pulse{0, 0};
    uint8_t xenon_mode = 0;
    uint8_t level = 0;
    uint16_t baud = 0;
    uint8_t usb_status = 0xAA;
    std::array<uint8_t, 4> trigger{};
    uint32_t dac = 0;
};

struct StoredSettings {
    uint32_t integration_us = 10000;
    uint8_t average = 1;
    uint8_t smoothing = 0;
};

enum class FrameHeader { Long, Short, None };

struct InstrumentConfig {
    Protocol protocol = Protocol::Uvvis;
    OpticalConfig optics;
    // identity
    std::string model_text;
    uint32_t model_reply_bytes = 16;
    std::string serial_number;
    std::string detector_serial;
    Bytes hardware_version;  // 8 bytes
    std::array<double, 4> calibration{};
    uint16_t temperature_raw = 0;
    uint8_t slit_width = 0;
    // settings
    LiveSettings power_up;
    uint32_t integration_min_us = 1;
    uint32_t integration_max_us = 100000000;
    Bytes capture_status;  // 8 bytes
    StoredSettings stored;
    // Byte sent where a reply carries nothing (the free bytes of a register
    // word, padding); 0 gives the zeros of a lenient instrument.
    uint8_t filler = 0xA5;
    // flash and handshakes
    uint32_t flash_size = 65536;
    bool lenient_commit_crc = false;  // a commit CRC may cover the block's pad bytes
    uint32_t flash_busy_polls = 2;
    uint32_t external_busy_polls = 1;
    // NIR_LEGACY
    std::string version_text;
    Bytes model_bytes;  // 8 bytes
    uint32_t calibration_reply_bytes = 32;
    FrameHeader frame_header = FrameHeader::Long;
    bool frame_trailer = true;
    uint32_t flash_read_bytes = 256;

    std::vector<FaultSpec> faults;
    // Non-zero: once the instrument has answered this many requests, its
    // bridge is unplugged; the next request finds it gone.
    uint32_t unplug_after = 0;
    // Set: the instrument replays this script of a capture (replay.h)
    // instead of simulating a protocol.
    std::shared_ptr<const ReplayScript> replay;
};

struct LinkTiming {
    double latency_ms = 1.0;
    double throughput_bytes_per_s = 1000000.0;
    double time_scale = 1.0;
};

struct BridgeConfig {
    std::string serial;
    std::string description;  // raw bytes, not necessarily UTF-8
    uint32_t id = 0x04036001;
    uint32_t loc_id = 0;
    uint32_t type = 5;
    uint32_t flags = 0;
    uint32_t open_status = 0;
    // FT_Open fails from this attempt on (1 = every attempt); 0 = never.
    uint32_t open_fails_from = 0;
    LinkTiming timing;
    bool has_instrument = false;
    InstrumentConfig instrument;
};

struct Scenario {
    std::string source;  // file name or "built-in default" / "JSON text"
    uint32_t create_list_status = 0;
    uint32_t get_list_status = 0;
    std::vector<BridgeConfig> bridges;
};

}  // namespace orvsim
