#include "nir_instrument.h"

#include <algorithm>

#include "crc.h"

namespace orvsim {
namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

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
    : state_(config), faults_(config.faults) {}

void NirInstrument::receive(const uint8_t *data, size_t len, WriteResult &result) {
    if (len < 3) return;
    // A UVVIS_ORV packet is not for this instrument, whatever its last bytes.
    if (data[0] == 0xAA && data[1] == 0xAA) return;
    const Bytes command(data, data + len - 2);
    const NirCommand *row = find_nir_command(command);
    const bool frame_ok = crc_ok(data, len);
    // Bytes that do not look like a frame at all are ignored, like line noise.
    if (!frame_ok && !(row && row->fits(command.size()))) return;

    const FaultSpec *fault = faults_.match_command(command);
    const NirOutcome outcome = carry_out(command, frame_ok, fault);
    if (outcome.why) {
        const size_t shown = std::min<size_t>(command.size(), 2);
        result.refusals.push_back(
            Refusal{kNak, "cmd=" + to_hex(command.data(), shown) + " why=" + outcome.why});
    }
    std::optional<Reply> reply = apply_frame_fault(fault, outcome);
    if (fault) apply_common_fault(*fault, reply, result, len);
    if (reply) result.replies.push_back(std::move(*reply));
}

// A frame that looks like one: refused unless its CRC is right and it is a
// known command of the right length; carried out unless a fault keeps it
// from taking effect.
NirOutcome NirInstrument::carry_out(const Bytes &command, bool frame_ok, const FaultSpec *fault) {
    const NirCommand *row = find_nir_command(command);
    if (!frame_ok) return NirOutcome{false, {}, 0, "CRC"};
    if (!row) return NirOutcome{false, {}, 0, "unknown"};
    if (!row->fits(command.size())) return NirOutcome{false, {}, 0, "length"};
    if (fault && fault_suppresses_request(*fault)) return NirOutcome{};
    return row->handler(state_, command);
}

Reply NirInstrument::apply_frame_fault(const FaultSpec *fault, const NirOutcome &outcome) const {
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

}  // namespace orvsim
