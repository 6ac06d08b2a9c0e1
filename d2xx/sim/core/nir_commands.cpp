// The command table of the simulated NIR_LEGACY instrument. Adding a command
// means adding a row (and, when it needs one, a handler).
#include <algorithm>

#include "nir_instrument.h"

namespace orvsim {
namespace {

NirOutcome ack(Bytes data = {}) { return NirOutcome{true, std::move(data), 0}; }
NirOutcome nak(const char *why) { return NirOutcome{false, {}, 0, why}; }

// --- settings ---

NirOutcome set_integration(NirState &s, const Bytes &c) {
    const uint32_t us = read_be32(&c[1]);
    if (us < s.config.integration_min_us || us > s.config.integration_max_us) return nak("range");
    s.live.integration_us = us;
    return ack();
}
NirOutcome get_integration(NirState &s, const Bytes &) {
    Bytes b;
    append_be32(b, s.live.integration_us);
    return ack(b);
}

NirOutcome set_average(NirState &s, const Bytes &c) {
    const uint32_t n = read_be16(&c[1]);
    if (n > 255) return nak("range");
    s.live.average = static_cast<uint8_t>(n);
    return ack();
}
NirOutcome get_average(NirState &s, const Bytes &) {
    Bytes b;
    append_be16(b, s.live.average);
    return ack(b);
}

NirOutcome set_level(NirState &s, const Bytes &c) {
    s.live.level = c[1];
    return ack();
}
NirOutcome get_level(NirState &s, const Bytes &) { return ack({s.live.level}); }

NirOutcome set_gate(NirState &s, const Bytes &c) {
    s.gate_open = c[1] == 0xEA;
    return ack();
}
NirOutcome get_gate(NirState &s, const Bytes &) {
    return ack({static_cast<uint8_t>(s.gate_open ? 0xEA : 0x00)});
}

NirOutcome reset(NirState &s, const Bytes &) {
    s.reset();
    return ack();
}

// --- identity ---

NirOutcome calibration(NirState &s, const Bytes &) {
    Bytes b;
    for (double v : s.config.calibration) append_be64_double(b, v);
    b.resize(std::max<size_t>(b.size(), s.config.calibration_reply_bytes), s.config.filler);
    return ack(b);
}

NirOutcome temperature(NirState &s, const Bytes &) {
    Bytes b;
    append_be16(b, s.config.temperature_raw);
    return ack(b);
}

NirOutcome version(NirState &s, const Bytes &) {
    return ack(Bytes(s.config.version_text.begin(), s.config.version_text.end()));
}

NirOutcome model(NirState &s, const Bytes &) { return ack(s.config.model_bytes); }

// --- data ---

NirOutcome wavelengths(NirState &s, const Bytes &) {
    Bytes b;
    for (float w : s.spectrum.wavelengths()) append_le_float(b, w);
    return ack(b);
}

// Header (long, short or none), big-endian samples, optional trailer.
Bytes spectrum_frame(const InstrumentConfig &config, const std::vector<uint16_t> &samples) {
    Bytes f;
    if (config.frame_header == FrameHeader::Long)
        f = {0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
    if (config.frame_header == FrameHeader::Short) f = {0xAA, 0x55, 0xBB, 0x44};
    for (uint16_t v : samples) append_be16(f, v);
    if (config.frame_trailer) f.insert(f.end(), {0xDD, 0xDD, 0xAA, 0xAA});
    return f;
}

NirOutcome spectrum(NirState &s, const Bytes &) {
    const uint32_t scans = std::max<uint32_t>(s.live.average, 1);
    NirOutcome out =
        ack(spectrum_frame(s.config, s.spectrum.acquire(s.live.integration_us, scans)));
    out.work_ms = s.live.integration_us / 1000.0 * scans;
    return out;
}

NirOutcome flash_read(NirState &s, const Bytes &c) {
    return ack(s.flash.read(read_be16(&c[2]), s.config.flash_read_bytes));
}

// AFh AH AL data: needs the gate open, and the block must fit.
NirOutcome flash_write(NirState &s, const Bytes &c) {
    if (!s.gate_open) return nak("gate");
    return s.flash.write(read_be16(&c[1]), Bytes(c.begin() + 3, c.end())) ? ack() : nak("range");
}

NirOutcome refuse(NirState &, const Bytes &) { return nak("unknown"); }

constexpr uint8_t Q = 0x3F;  // query: 3Fh and the code of the setting

const NirCommand kCommands[] = {
    {{0x69}, 1, "set integration time", 5, false, set_integration},
    {{Q, 0x69}, 2, "get integration time", 2, false, get_integration},
    {{0x41}, 1, "set average number", 3, false, set_average},
    {{Q, 0x41}, 2, "get average number", 2, false, get_average},
    {{0x40}, 1, "set level output", 2, false, set_level},
    {{Q, 0x40}, 2, "get level output", 2, false, get_level},
    {{0xA5}, 1, "set write-protect gate", 2, false, set_gate},
    {{Q, 0xA5}, 2, "get write-protect gate", 2, false, get_gate},
    {{0x52}, 1, "reset", 1, false, reset},
    {{0x78}, 1, "calibration", 1, false, calibration},
    {{0x74}, 1, "temperature", 1, false, temperature},
    {{0x56}, 1, "version", 1, false, version},
    {{0xBB}, 1, "model", 1, false, model},
    {{Q, 0x53}, 2, "wavelength table", 2, false, wavelengths},
    {{0x53}, 1, "spectrum", 1, false, spectrum},
    {{Q, 0xAF}, 2, "flash read", 4, false, flash_read},
    {{0xAF}, 1, "flash write", 3, true, flash_write},
    // A query of a setting the instrument does not have: well formed, refused.
    {{Q}, 1, "query of an unknown setting", 2, false, refuse},
};

}  // namespace

const NirCommand *find_nir_command(const Bytes &command) {
    const NirCommand *best = nullptr;
    for (const NirCommand &row : kCommands) {
        if (command.size() < row.code_len ||
            !std::equal(row.code, row.code + row.code_len, command.begin()))
            continue;
        if (!best || row.code_len > best->code_len) best = &row;
    }
    return best;
}

}  // namespace orvsim
