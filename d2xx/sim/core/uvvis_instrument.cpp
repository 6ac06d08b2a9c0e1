#include "uvvis_instrument.h"

#include <algorithm>
#include <cstdio>

namespace orvsim {

using uvvis::Request;

UvvisState::UvvisState(const InstrumentConfig &c)
    : InstrumentState(c),
      stored(c.stored),
      serial_number(c.serial_number.begin(), c.serial_number.end()),
      flash_control(c.flash_busy_polls),
      external_control(c.external_busy_polls) {
    serial_number.resize(12, 0);
}

UvvisInstrument::UvvisInstrument(const InstrumentConfig &config)
    : state_(config), faults_(config.faults) {}

namespace {

RegisterResult refusal(uint8_t reply, const char *why) { return RegisterResult{reply, {}, 0, why}; }

// The transcript fields of a refused request.
Refusal refusal_note(const Request &request, const RegisterResult &result) {
    char fields[64];
    std::snprintf(fields, sizeof fields, "reg=%02X addr=%06X why=%s",
                  static_cast<unsigned>(request.reg), static_cast<unsigned>(request.address),
                  result.why);
    return Refusal{result.reply, fields};
}

// Why a write's data do not fit the register (its length, or bytes the
// register's layout leaves zero), or null when they fit.
const char *misfit_write(const RegisterRow &row, const Request &request) {
    if (row.write_words != 0 && request.data.size() != 4u * row.write_words) return "length";
    size_t reserved = row.layout == Layout::ByteInWord   ? 3
                      : row.layout == Layout::HalfInWord ? 2
                                                         : 0;
    reserved = std::min(reserved, request.data.size());
    const bool zero = std::all_of(request.data.begin(),
                                  request.data.begin() + static_cast<std::ptrdiff_t>(reserved),
                                  [](uint8_t b) { return b == 0; });
    return zero ? nullptr : "reserved";
}

}  // namespace

void UvvisInstrument::receive(const uint8_t *data, size_t len, WriteResult &result) {
    parser_.feed(data, len);
    while (std::optional<Request> request = parser_.next()) {
        const bool is_write = request->srv != uvvis::kSrvRead;
        const FaultSpec *fault = faults_.match_register(request->reg, request->address, is_write);
        RegisterResult outcome = carry_out(*request, fault);
        if (outcome.why) result.refusals.push_back(refusal_note(*request, outcome));
        std::optional<Reply> reply = answer(*request, std::move(outcome), fault);
        if (fault) apply_common_fault(*fault, reply, result, len);
        if (reply) result.replies.push_back(std::move(*reply));
    }
}

// Checks a request as strictly as the protocol allows, then lets the
// register's handler carry it out.
RegisterResult UvvisInstrument::execute(const Request &request) {
    if (!request.crc_ok) return refusal(uvvis::kReplyCrcMismatch, "CRC");
    if (const char *field = uvvis::broken_fixed_field(request))
        return refusal(uvvis::kReplyInvalid, field);
    const RegisterRow *row = find_register(request.reg, request.address);
    if (!row) return refusal(uvvis::kReplyInvalid, "register");
    const bool is_read = request.srv == uvvis::kSrvRead;
    RegisterHandler handler = is_read ? row->read : row->write;
    if (!handler) return refusal(uvvis::kReplyInvalid, "access");
    if (!is_read) {
        if (const char *why = misfit_write(*row, request))
            return refusal(uvvis::kReplyInvalid, why);
        if (row->write_protected && !state_.gate_open)
            return refusal(uvvis::kReplyWriteProtect, "gate");
    }
    RegisterResult result = handler(state_, request);
    if (!is_read || result.reply != uvvis::kReplyAck) return result;
    fill_unused(*row, result.data);
    // A read answers with the words asked for, at most what the register holds.
    if (request.file_len > 0 && result.data.size() > 4u * request.file_len) {
        result.data.resize(4u * request.file_len);
    }
    return result;
}

// Puts the filler byte where the register's layout carries nothing.
void UvvisInstrument::fill_unused(const RegisterRow &row, Bytes &data) const {
    size_t first = 0, end = 0;
    switch (row.layout) {
    case Layout::Data: return;
    case Layout::ByteInWord: end = 3; break;
    case Layout::HalfInWord: end = 2; break;
    case Layout::Status:
        first = 4;
        end = 8;
        break;
    }
    for (size_t i = first; i < std::min(end, data.size()); ++i) data[i] = state_.config.filler;
}

// What the instrument does with a request: refuses an unknown service,
// carries out the others unless a fault keeps the request from taking effect.
RegisterResult UvvisInstrument::carry_out(const Request &request, const FaultSpec *fault) {
    const bool known_service = request.srv == uvvis::kSrvRead ||
                               request.srv == uvvis::kSrvWriteAck ||
                               request.srv == uvvis::kSrvWriteNoAck;
    if (!known_service) return refusal(uvvis::kReplyInvalid, "SRV");
    if (fault && fault_suppresses_request(*fault)) return RegisterResult{};
    return execute(request);
}

// The answer to one request with the packet-level faults applied; the faults
// both protocols share are applied by the caller.
std::optional<Reply> UvvisInstrument::answer(const Request &request, RegisterResult result,
                                             const FaultSpec *fault) const {
    if (request.srv == uvvis::kSrvWriteNoAck) return std::nullopt;  // carried out, never answered

    uvvis::Response response;
    response.srv = request.srv == uvvis::kSrvRead ? uvvis::kSrvRespData : uvvis::kSrvRespWriteAck;
    response.fsn = request.fsn;
    response.reg = request.reg;
    response.address = request.address;
    response.reply = result.reply;
    if (result.reply == uvvis::kReplyAck) response.data = std::move(result.data);
    if (fault) apply_data_fault(*fault, response);

    Reply reply;
    reply.bytes = uvvis::build_response(response);
    reply.work_ms = result.work_ms;
    if (fault) apply_packet_fault(*fault, reply.bytes);
    return reply;
}

// Faults that change what the answer says: its reply code or its data.
void UvvisInstrument::apply_data_fault(const FaultSpec &fault, uvvis::Response &response) {
    switch (fault.kind) {
    case FaultKind::ReplyCode:
        response.reply = fault.code;
        response.data.clear();
        break;
    case FaultKind::ExtraData:
        response.data.resize(std::max<size_t>(response.data.size(), fault.count), 0x5A);
        break;
    case FaultKind::ShortData:
        response.data.resize(std::min<size_t>(response.data.size(), fault.count), 0);
        break;
    case FaultKind::Data:
        response.reply = uvvis::kReplyAck;
        response.data = fault.bytes;
        break;
    default: break;
    }
}

// Faults that break the built packet.
void UvvisInstrument::apply_packet_fault(const FaultSpec &fault, Bytes &p) {
    switch (fault.kind) {
    case FaultKind::ShortHeader:
        p.resize(std::min<size_t>(fault.count, uvvis::kHeaderSize - 1));
        break;
    case FaultKind::ShortBody:
        p.resize(p.size() - std::min<size_t>(fault.count, p.size() - uvvis::kHeaderSize));
        break;
    case FaultKind::DataLen: uvvis::set_data_len(p, static_cast<uint16_t>(fault.count)); break;
    case FaultKind::BadPreamble: p[7] = 0xAA; break;
    case FaultKind::BadCrc: p.back() ^= 0xFF; break;
    default: break;
    }
}

}  // namespace orvsim
