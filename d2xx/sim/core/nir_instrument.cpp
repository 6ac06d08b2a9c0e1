#include "nir_instrument.h"

#include <algorithm>

#include "crc.h"

namespace orvsim {
namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

// Command length without the CRC for the codes the instrument knows; 0 for
// the flash write, whose data run to the end of the frame.
int command_length(const Bytes &c) {
    switch (c[0]) {
    case 0x69: return 5;
    case 0x41: return 3;
    case 0x40:
    case 0xA5: return 2;
    case 0x52:
    case 0x78:
    case 0x74:
    case 0x56:
    case 0xBB:
    case 0x53: return 1;
    case 0x3F: return c.size() >= 2 && c[1] == 0xAF ? 4 : 2;
    case 0xAF: return 0;
    default: return -1;
    }
}

bool crc_ok(const uint8_t *frame, size_t len) {
    uint16_t crc = crc16_modbus(frame, len - 2);
    return frame[len - 2] == (crc >> 8) && frame[len - 1] == (crc & 0xFF);
}

}  // namespace

Bytes nir_frame(uint8_t first, const Bytes &data) {
    Bytes f(data.size() + 1);
    f[0] = first;
    std::copy(data.begin(), data.end(), f.begin() + 1);
    append_be16(f, crc16_modbus(f.data(), f.size()));
    return f;
}

NirInstrument::NirInstrument(const InstrumentConfig &config)
    : config_(config),
      live_(config.power_up),
      spectrum_(config.optics),
      flash_(config.flash_size),
      faults_(config.faults) {}

void NirInstrument::receive(const uint8_t *data, size_t len, WriteResult &result) {
    if (len < 3) return;
    // A UVVIS_ORV packet is not for this instrument, whatever its last bytes.
    if (data[0] == 0xAA && data[1] == 0xAA) return;
    Bytes command(data, data + len - 2);
    const int expected = command_length(command);
    const bool length_fits =
        expected == 0 ? command.size() >= 3 : static_cast<int>(command.size()) == expected;
    const bool frame_ok = crc_ok(data, len);
    // Bytes that do not look like a frame at all are ignored, like line noise.
    if (!frame_ok && !(expected >= 0 && length_fits)) return;

    const FaultSpec *fault = faults_.match_command(command);
    Outcome outcome;
    if (frame_ok && expected >= 0 && length_fits && !(fault && fault_suppresses_request(*fault))) {
        outcome = execute(command);
    }
    std::optional<Reply> reply = apply_frame_fault(fault, outcome);
    if (fault) apply_common_fault(*fault, reply, result, len);
    if (reply) result.replies.push_back(std::move(*reply));
}

Reply NirInstrument::apply_frame_fault(const FaultSpec *fault, const Outcome &outcome) const {
    Reply reply;
    reply.work_ms = outcome.work_ms;
    reply.bytes = outcome.ack ? nir_frame(kAck, outcome.data) : nir_frame(kNak, {});
    if (!fault) return reply;
    Bytes &b = reply.bytes;
    switch (fault->kind) {
    case FaultKind::Nak: b = nir_frame(kNak, {}); break;
    case FaultKind::NakBadCrc:
        b = nir_frame(kNak, {});
        b.back() ^= 0xFF;
        break;
    case FaultKind::BadCrc: b.back() ^= 0xFF; break;
    case FaultKind::ShortReply: b.resize(std::min<size_t>(b.size(), fault->count)); break;
    case FaultKind::BadFirstByte:
        b = nir_frame(fault->code, Bytes(b.begin() + 1, b.end() - 2));
        break;
    case FaultKind::Split:
        reply.split_at = fault->count_given ? fault->count : b.size() / 2;
        reply.split_pause_ms = fault->ms;
        break;
    case FaultKind::Endless: b.assign(65536, kAck); break;
    case FaultKind::Data: b = nir_frame(kAck, fault->bytes); break;
    default: break;
    }
    return reply;
}

Bytes NirInstrument::spectrum_frame(const std::vector<uint16_t> &samples) const {
    Bytes f;
    if (config_.frame_header == FrameHeader::Long)
        f = {0xAA, 0x55, 0xBB, 0x44, 0xCC, 0x33, 0xDD, 0x22};
    if (config_.frame_header == FrameHeader::Short) f = {0xAA, 0x55, 0xBB, 0x44};
    for (uint16_t v : samples) append_be16(f, v);
    if (config_.frame_trailer) f.insert(f.end(), {0xDD, 0xDD, 0xAA, 0xAA});
    return f;
}

NirInstrument::Outcome NirInstrument::execute(const Bytes &c) {
    Outcome ack{true, {}, 0};
    const Outcome nak{};
    switch (c[0]) {
    case 0x69: {
        uint32_t us = read_be32(&c[1]);
        if (us < config_.integration_min_us || us > config_.integration_max_us) return nak;
        live_.integration_us = us;
        return ack;
    }
    case 0x41: {
        uint32_t n = read_be16(&c[1]);
        if (n > 255) return nak;
        live_.average = static_cast<uint8_t>(n);
        return ack;
    }
    case 0x40: live_.level = c[1]; return ack;
    case 0xA5: gate_open_ = c[1] == 0xEA; return ack;
    case 0x52:
        live_ = config_.power_up;
        gate_open_ = false;
        return ack;
    case 0x78:
        for (double v : config_.calibration) append_be64_double(ack.data, v);
        ack.data.resize(std::max<size_t>(ack.data.size(), config_.calibration_reply_bytes), 0);
        return ack;
    case 0x74: append_be16(ack.data, config_.temperature_raw); return ack;
    case 0x56:
        ack.data.assign(config_.version_text.begin(), config_.version_text.end());
        return ack;
    case 0xBB: ack.data = config_.model_bytes; return ack;
    case 0x53: {
        const uint32_t scans = std::max<uint32_t>(live_.average, 1);
        ack.data = spectrum_frame(spectrum_.acquire(live_.integration_us, scans));
        ack.work_ms = live_.integration_us / 1000.0 * scans;
        return ack;
    }
    case 0xAF: {
        if (!gate_open_) return nak;
        Bytes block(c.begin() + 3, c.end());
        return flash_.write(read_be16(&c[1]), block) ? ack : nak;
    }
    case 0x3F:
        switch (c[1]) {
        case 0x69: append_be32(ack.data, live_.integration_us); return ack;
        case 0x41: append_be16(ack.data, live_.average); return ack;
        case 0x40: ack.data = {live_.level}; return ack;
        case 0xA5: ack.data = {static_cast<uint8_t>(gate_open_ ? 0xEA : 0x00)}; return ack;
        case 0x53:
            for (float w : spectrum_.wavelengths()) append_le_float(ack.data, w);
            return ack;
        case 0xAF: ack.data = flash_.read(read_be16(&c[2]), config_.flash_read_bytes); return ack;
        default: return nak;
        }
    default: return nak;
    }
}

}  // namespace orvsim
