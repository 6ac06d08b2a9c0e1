// UVVIS_ORV response packets made by hand, as an instrument sends them, for
// tests that feed liborv replies of their own choosing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "orv.h"
#include "wire/uvvis_packet.h"

namespace orvtest {

// The header fields of a response an instrument chooses; the rest are fixed.
struct ResponseFields {
    uint8_t srv = ORV_SRV_RESP_DATA;
    uint8_t reg = ORV_REG_PARAMS;
    uint32_t addr = 0;
    uint8_t fsn = 0xEE;  // echoed from liborv's requests
    uint8_t reply = ORV_REPLY_ACK;
    uint8_t ans_byte25 = 0;
    uint8_t packets = 1;
    uint8_t index = 1;
};

// The packet: header, data padded to whole words, CRC-32 over all but the
// preamble.
inline std::vector<uint8_t> make_response(const ResponseFields &f,
                                          const std::vector<uint8_t> &data) {
    const size_t words = (data.size() + 3) / 4;
    std::vector<uint8_t> p(ORV_PACKET_MIN_SIZE + 4 * words, 0);
    std::copy(ORV_PREAMBLE, ORV_PREAMBLE + 8, p.begin());
    p[8] = 0xCC;
    p[10] = 0x02;  // TA
    p[12] = 0x01;  // SA
    p[13] = f.srv;
    p[14] = f.fsn;
    p[16] = p[18] = static_cast<uint8_t>(words);  // FileLen, DataLen
    p[19] = f.packets;
    p[20] = f.index;
    p[21] = f.reg;
    p[22] = static_cast<uint8_t>(f.addr >> 16);
    p[23] = static_cast<uint8_t>(f.addr >> 8);
    p[24] = static_cast<uint8_t>(f.addr);
    p[25] = f.ans_byte25;
    p[27] = f.reply;
    std::copy(data.begin(), data.end(), p.begin() + ORV_PACKET_HEADER_SIZE);
    const size_t crc_at = p.size() - 4;
    const auto crc = static_cast<uint32_t>(orv_crc32(p.data() + 8, static_cast<int>(crc_at - 8)));
    for (int i = 0; i < 4; ++i)
        p[crc_at + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return p;
}

}  // namespace orvtest
