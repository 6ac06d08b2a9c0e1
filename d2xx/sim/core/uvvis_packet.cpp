#include "uvvis_packet.h"

#include <algorithm>
#include <cstring>

#include "crc.h"

namespace orvsim::uvvis {
namespace {

// True when the buffer begins with the preamble, or with as much of it as it holds.
bool could_start_packet(const Bytes &b) {
    size_t n = std::min(b.size(), sizeof kPreamble);
    return std::memcmp(b.data(), kPreamble, n) == 0;
}

}  // namespace

std::optional<Request> RequestParser::next() {
    while (!buffer_.empty()) {
        if (!could_start_packet(buffer_)) {  // skip to the next byte that could start one
            buffer_.erase(buffer_.begin(),
                          std::find(buffer_.begin() + 1, buffer_.end(), kPreamble[0]));
            continue;
        }
        if (buffer_.size() < kHeaderSize) return std::nullopt;
        uint32_t words = read_be16(&buffer_[17]);
        if (words > kMaxDataWords) {  // not a packet we could take: resynchronise
            buffer_.erase(buffer_.begin());
            continue;
        }
        size_t total = kHeaderSize + 4u * words + 4u;
        if (buffer_.size() < total) return std::nullopt;
        return take(total);
    }
    return std::nullopt;
}

// Cuts the first `total` bytes, a whole packet, off the buffer.
Request RequestParser::take(size_t total) {
    Request r;
    r.version = buffer_[8];
    r.target = static_cast<uint16_t>(read_be16(&buffer_[9]));
    r.source = static_cast<uint16_t>(read_be16(&buffer_[11]));
    r.srv = buffer_[13];
    r.fsn = buffer_[14];
    r.file_len = static_cast<uint16_t>(read_be16(&buffer_[15]));
    r.data_len = static_cast<uint16_t>(read_be16(&buffer_[17]));
    r.packets = buffer_[19];
    r.index = buffer_[20];
    r.reg = buffer_[21];
    r.address = read_be24(&buffer_[22]);
    r.ans = read_be24(&buffer_[25]);
    r.data.assign(buffer_.begin() + kHeaderSize,
                  buffer_.begin() + static_cast<std::ptrdiff_t>(total - 4));
    r.crc_ok = crc32(&buffer_[8], total - 12) == read_be32(&buffer_[total - 4]);
    r.wire_size = total;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(total));
    return r;
}

const char *broken_fixed_field(const Request &r) {
    if (r.version != kVersion) return "VER";
    if (r.target != kInstrumentAddress) return "TA";
    if (r.source != kHostAddress) return "SA";
    if (r.fsn != kRequestFileSn) return "FSN";
    if (r.packets != kPackets || r.index != kPacketIndex) return "SN";
    if (r.ans != 0) return "ANS";
    if (r.srv == kSrvRead && r.data_len != 0) return "DataLen";
    if (r.srv != kSrvRead && r.file_len != r.data_len) return "FileLen";
    return nullptr;
}

uint8_t status_for_reply(uint8_t reply) {
    if (reply == kReplyAck) return 0x0;
    if (reply == kReplyWriteProtect) return 0xE;
    return 0xB;
}

Bytes build_response(const Response &r) {
    Bytes p(kPreamble, kPreamble + sizeof kPreamble);
    const uint32_t words = static_cast<uint32_t>((r.data.size() + 3) / 4);
    p.push_back(kVersion);
    append_be16(p, kHostAddress);        // target
    append_be16(p, kInstrumentAddress);  // source
    p.push_back(r.srv);
    p.push_back(r.fsn);
    append_be16(p, words);  // FileLen
    append_be16(p, words);  // DataLen
    p.push_back(kPackets);
    p.push_back(kPacketIndex);
    p.push_back(r.reg);
    p.push_back(static_cast<uint8_t>(r.address >> 16));
    p.push_back(static_cast<uint8_t>(r.address >> 8));
    p.push_back(static_cast<uint8_t>(r.address));
    p.push_back(static_cast<uint8_t>(status_for_reply(r.reply) << 4));
    p.push_back(0x00);
    p.push_back(r.reply);
    p.insert(p.end(), r.data.begin(), r.data.end());
    p.resize(kHeaderSize + 4u * words, 0);
    append_be32(p, crc32(&p[8], p.size() - 8));
    return p;
}

void refresh_crc(Bytes &packet) {
    if (packet.size() < kHeaderSize + 4) return;
    store_be32(&packet[packet.size() - 4], crc32(&packet[8], packet.size() - 12));
}

void set_data_len(Bytes &packet, uint16_t words) {
    if (packet.size() < kHeaderSize + 4) return;
    store_be16(&packet[17], words);
    refresh_crc(packet);
}

}  // namespace orvsim::uvvis
