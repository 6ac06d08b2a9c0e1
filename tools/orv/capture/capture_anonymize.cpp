#include <fmt/format.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "capture/capture_tools.h"
#include "orv.h"

namespace orvcli {
namespace {

using orvcapture::Call;
using orvcapture::Record;

// UVVIS_ORV framing: the header before the data, and the CRC's first byte
// (offset 8: the CRC covers everything after the preamble).
constexpr std::size_t kHeaderBytes = 28;
constexpr std::size_t kCrcFrom = 8;

// The registers whose reply is a serial, and the width of its text.
struct SerialField {
    std::uint8_t reg;
    std::uint32_t addr;
    std::size_t width;
};
constexpr SerialField kSerialFields[] = {
    {ORV_REG_STORED, 0x04, 12},  // instrument serial
    {ORV_REG_PARAMS, 0x44, 8},   // detector serial
};

class Pseudonyms {
public:
    // The pseudonym of `text`, as long as it: the same text always gets the same one.
    std::string of(const std::string &text) {
        auto found = names_.find(text);
        if (found != names_.end()) return found->second;
        // "ANON" and a number filling the rest; a text of four bytes or fewer only the number.
        const std::size_t prefix = text.size() > 4 ? 4 : 0;
        const std::string name = std::string("ANON", prefix) +
                                 fmt::format("{:0{}}", names_.size() + 1, text.size() - prefix);
        return names_.emplace(text, name.substr(0, text.size())).first->second;
    }

private:
    std::map<std::string, std::string> names_;
};

std::unique_ptr<orv_parsed_packet> parse(const std::vector<std::uint8_t> &bytes) {
    auto packet = std::make_unique<orv_parsed_packet>();
    if (bytes.size() > sizeof packet->raw ||
        orv_parse_response(bytes.data(), static_cast<int>(bytes.size()), packet.get()) != ORV_OK ||
        !packet->pre_ok)
        return nullptr;
    return packet;
}

// The serial field a request asks for, or null.
const SerialField *asked_serial(const Record &write) {
    const auto request = parse(write.data);
    if (!request || request->srv != ORV_SRV_READ) return nullptr;
    for (const SerialField &field : kSerialFields)
        if (request->reg == field.reg && request->addr == field.addr) return &field;
    return nullptr;
}

// Replaces the serial in the reply the reads carry; the original text, or "".
std::string replace_in_reply(std::vector<Record *> &reads, const SerialField &field,
                             Pseudonyms &pseudonyms) {
    std::vector<std::uint8_t> reply;
    for (const Record *read : reads)
        reply.insert(reply.end(), read->data.begin(), read->data.end());
    const auto packet = parse(reply);
    if (!packet || packet->srv != ORV_SRV_RESP_DATA) return {};
    const std::size_t crc_at = kHeaderBytes + 4 * std::size_t{packet->data_len};
    if (reply.size() < crc_at + 4) return {};
    std::size_t length = 0;
    const std::size_t width = std::min<std::size_t>(field.width, crc_at - kHeaderBytes);
    while (length < width && reply[kHeaderBytes + length] != 0) ++length;
    if (length == 0) return {};
    const std::string text(reply.begin() + kHeaderBytes, reply.begin() + kHeaderBytes + length);
    const std::string name = pseudonyms.of(text);
    std::copy(name.begin(), name.end(), reply.begin() + kHeaderBytes);
    if (packet->crc_ok) {
        const auto crc = static_cast<std::uint32_t>(
            orv_crc32(reply.data() + kCrcFrom, static_cast<int>(crc_at - kCrcFrom)));
        for (int i = 0; i < 4; ++i)
            reply[crc_at + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    }
    std::size_t at = 0;
    for (Record *read : reads) {
        std::copy(reply.begin() + at, reply.begin() + at + read->data.size(), read->data.begin());
        at += read->data.size();
    }
    return text;
}

}  // namespace

Anonymized anonymize_capture(orvcapture::Capture &capture) {
    Pseudonyms pseudonyms;
    std::set<std::string> chips, instruments;
    struct Pending {
        const SerialField *field = nullptr;
        std::vector<Record *> reads;
    };
    std::map<int, Pending> pending;  // device -> the serial request awaiting its reply
    auto finish = [&](Pending &request) {
        if (request.field) {
            const std::string text = replace_in_reply(request.reads, *request.field, pseudonyms);
            if (!text.empty()) instruments.insert(text);
        }
        request = Pending{};
    };
    for (Record &record : capture.calls) {
        if (record.call == Call::GetDeviceInfoList) {
            for (orvcapture::Node &node : record.devices) {
                if (node.serial.empty()) continue;
                chips.insert(node.serial);
                node.serial = pseudonyms.of(node.serial);
            }
        } else if (record.call == Call::Write) {
            finish(pending[record.dev]);
            pending[record.dev].field = asked_serial(record);
        } else if (record.call == Call::Read && !record.data.empty()) {
            Pending &request = pending[record.dev];
            if (request.field) request.reads.push_back(&record);
        }
    }
    for (auto &[device, request] : pending) finish(request);
    return {chips.size(), instruments.size()};
}

}  // namespace orvcli
